#include "session/RestoreSession.h"

#include <algorithm>
#include <cstdint>
#include <exception>
#include <set>
#include <system_error>

#include "session/ScanJournal.h"
#include "session/Texts.h"
#include "tempfile/TempFileFormat.h"
#include "tempfile/Utf8Path.h"

namespace snapsalvager {

namespace fs = std::filesystem;

std::vector<std::string> KeptTemporaryFiles(const fs::path& folder) {
  std::vector<std::string> files;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const fs::path path = it->path();
    if (!RecoveredNameOfTemporary(path.filename().string()).empty()) {
      files.push_back(path.string());
    } else if (const fs::path temp = TempFileOfJournal(path); !temp.empty()) {
      std::error_code missing;
      if (!fs::exists(fs::symlink_status(temp, missing))) fs::remove(path, missing);
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

// Empty when the file was restored, else why not.
std::string TRestoreSession::RestoreOne(const std::string& tempText, TNamePicker& names, fs::path& target) {
  const fs::path temp = PathFromUtf8(tempText);
  const std::string name = RecoveredNameOfTemporary(temp.filename().string());
  if (name.empty()) return Text(TText::NotATemporaryFile, {TemporaryNameForm()});
  std::error_code ec;
  if (!fs::is_regular_file(temp, ec)) return Text(TText::NoSuchFile);
  // A restore cut short after its copy was named left the file saved and its source behind.
  if (fs::path saved = SavedBeforeInterruption(temp, DestFolder); !saved.empty()) {
    target = saved;
    return {};
  }
  const std::string savedAs = names.Pick(name);
  target = DestFolder / savedAs;
  try {
    RestoreAndMove(temp, target);
  } catch (const std::exception& e) {
    return e.what();
  }
  if (savedAs != name) events_.FileRenamed({name, savedAs});
  return {};
}

TRestoreOutcome TRestoreSession::Restore(const std::function<bool()>& stopRequested) {
  TRestoreOutcome outcome;
  // New names go above the highest number among the files, so none takes another's.
  uint32_t highest = 0, number = 0;
  std::string type;
  for (const std::string& temp : Files) {
    if (ParseRecoveredName(RecoveredNameOfTemporary(PathFromUtf8(temp).filename().string()), number, type))
      highest = std::max(highest, number);
  }
  TNamePicker names(DestFolder, highest);
  for (const std::string& temp : Files) {
    if (stopRequested && stopRequested()) {
      outcome.Interrupted = true;
      break;
    }
    fs::path target;
    if (const std::string problem = RestoreOne(temp, names, target); problem.empty()) {
      ++outcome.Restored;
      events_.FileRestored(temp, target);
    } else {
      ++outcome.Failed;
      events_.FileNotRestored(temp, problem);
    }
  }
  // A scan killed before its end left its journal beside the files.
  std::set<fs::path> folders;
  for (const std::string& temp : Files) folders.insert(PathFromUtf8(temp).parent_path());
  for (const fs::path& folder : folders) {
    if (JournalPresent(folder) && KeptTemporaryFiles(folder).empty()) RemoveScanJournal(folder);
  }
  return outcome;
}

}  // namespace snapsalvager
