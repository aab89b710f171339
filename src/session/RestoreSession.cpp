// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
#include "session/RestoreSession.h"

#include <algorithm>
#include <cstdint>
#include <exception>
#include <set>
#include <system_error>
#include <utility>

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

// Checks one kept temporary file and picks its name in the destination. Empty when it is to
// be restored (or was, by a restore cut short after its copy was named: saved), else why not.
std::string TRestoreSession::PrepareOne(const std::string& tempText, TNamePicker& names, TTarget& target,
                                        bool& saved) {
  const fs::path temp = PathFromUtf8(tempText);
  const std::string name = RecoveredNameOfTemporary(temp.filename().string());
  if (name.empty()) return Text(TText::NotATemporaryFile, {TemporaryNameForm()});
  std::error_code ec;
  if (!fs::is_regular_file(temp, ec)) return Text(TText::NoSuchFile);
  if (fs::path before = SavedBeforeInterruption(temp, DestFolder); !before.empty()) {
    target.Path = before;
    if (!OriginalNames) target.OwnName = name;
    saved = true;
    return {};
  }
  target.OwnName = name;
  if (OriginalNames) {
    const fs::path folder = temp.parent_path();
    auto kept = keptNames_.find(folder);
    if (kept == keptNames_.end()) kept = keptNames_.emplace(folder, ReadKeptNames(folder)).first;
    if (const std::optional<TKeptName> own = KeptNameOf(kept->second, temp)) {
      const fs::path into = DestFolder / own->Path.parent_path();
      fs::create_directories(into, ec);
      target.Path = into / PathFromUtf8(FreeNameIn(into, Utf8Of(own->Path.filename()), &picked_));
      picked_.insert(target.Path);
      target.OwnName = Utf8Of(own->Path);
      target.Time = own->Time;
      return {};
    }
  }
  target.Path = DestFolder / names.Pick(name);
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
  std::vector<TTarget> targets(Files.size());
  const auto report = [&](size_t index, const std::string& problem) {
    const std::string& temp = Files[index];
    if (problem.empty()) {
      ++outcome.Restored;
      const TTarget& target = targets[index];
      if (OriginalNames) {
        std::optional<int64_t> time = target.Time;
        if (!time && PhotoTime && ParseRecoveredName(RecoveredNameOfTemporary(PathFromUtf8(temp).filename().string()), number, type))
          time = PhotoTime(target.Path, type);
        if (time) SetModifiedTime(target.Path, *time);
      }
      const std::string savedAs = Utf8Of(target.Path.lexically_relative(DestFolder));
      if (!target.OwnName.empty() && savedAs != target.OwnName) events_.FileRenamed({target.OwnName, savedAs});
      events_.FileRestored(temp, target.Path);
    } else {
      ++outcome.Failed;
      events_.FileNotRestored(temp, problem);
    }
  };
  // Saved in batches, as the save step does; a stop ends the restore after the batch. A file
  // settled without the batch (refused, or saved before) is told when the batch reaches it,
  // so the reports keep the files' order.
  std::vector<std::pair<size_t, std::string>> settled;
  size_t told = 0;
  const auto tellSettledBefore = [&](size_t index) {
    for (; told < settled.size() && settled[told].first < index; ++told) report(settled[told].first, settled[told].second);
  };
  TBatchSave batch([&](size_t index, const std::string& problem) {
    tellSettledBefore(index);
    report(index, problem);
  });
  for (size_t index = 0; index < Files.size(); ++index) {
    if (stopRequested && stopRequested()) {
      outcome.Interrupted = true;
      break;
    }
    bool saved = false;
    if (const std::string problem = PrepareOne(Files[index], names, targets[index], saved); !problem.empty() || saved) {
      settled.emplace_back(index, problem);
    } else {
      batch.Add(index, PathFromUtf8(Files[index]), targets[index].Path);
    }
  }
  batch.Finish();
  tellSettledBefore(Files.size());
  // A scan killed before its end left its journal beside the files.
  std::set<fs::path> folders;
  for (const std::string& temp : Files) folders.insert(PathFromUtf8(temp).parent_path());
  for (const fs::path& folder : folders) {
    if (JournalPresent(folder) && KeptTemporaryFiles(folder).empty()) RemoveScanJournal(folder);
  }
  return outcome;
}

}  // namespace snapsalvager
