// snapsalvager-cli restore: turns kept temporary files (a save that failed, --scan-only, an
// interrupted save, files moved aside before a new scan) into their recovered files, the way
// the save step does: head restored, moved into DEST, never replacing a file.
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "card/LinuxDrives.h"
#include "session/SaveFiles.h"
#include "session/ScanJournal.h"
#include "session/ScanChecks.h"
#include "tempfile/Utf8Path.h"

namespace snapsalvager::cli {
namespace {

namespace fs = std::filesystem;

enum ExitStatus {
  ExitRestored = 0,
  ExitSomeNotRestored = 1,
  ExitUsage = 2,
  ExitQuestion = 4,
  ExitInterrupted = 130,
};

std::atomic<bool> g_interrupted{false};

extern "C" void OnInterrupt(int) { g_interrupted = true; }

// The temporary files a FOLDER argument stands for, in name order. A journal left by an
// interrupted save whose file was already moved is removed: that file is saved.
std::vector<std::string> TemporaryFilesIn(const fs::path& folder) {
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

// Checks one kept temporary file and picks its name in dest. Empty when it is to be
// restored (or was, by a restore cut short after its copy was named: saved), else why not.
std::string PrepareOne(const std::string& tempText, const fs::path& dest, TNamePicker& names, fs::path& target,
                       bool& saved) {
  const fs::path temp = PathFromUtf8(tempText);
  const std::string name = RecoveredNameOfTemporary(temp.filename().string());
  if (name.empty()) return Text(TText::NotATemporaryFile, {TemporaryNameForm()});
  std::error_code ec;
  if (!fs::is_regular_file(temp, ec)) return Text(TText::NoSuchFile);
  if (fs::path before = SavedBeforeInterruption(temp, dest); !before.empty()) {
    target = before;
    saved = true;
    return {};
  }
  target = dest / names.Pick(name);
  return {};
}

// The same-drive question of recover: DEST on a memory card's drive would overwrite the
// deleted files still on it.
bool DestOnCardDrive(const fs::path& dest) {
  LinuxDrives::Refresh();
  const char letter = LinuxDrives::LetterHoldingPath(dest.string());
  return letter != 0 && LinuxDrives::GetDriveType(letter) == DRIVE_REMOVABLE;
}

struct TRestoreArguments {
  std::vector<std::string> Files;
  fs::path Dest;
  bool OntoCardDrive = false;
};

// kGoOn-like -1, or the exit status that ends the command.
int ParseRestoreArguments(int argc, char** argv, TRestoreArguments& parsed) {
  std::vector<std::string> args;
  bool optionsEnded = false;
  for (int i = 0; i < argc; ++i) {
    const std::string arg = argv[i];
    if (!optionsEnded && (arg == "--help" || arg == "-h")) {
      Say(stdout, TText::RestoreUsage);
      return ExitRestored;
    }
    if (!optionsEnded && arg == "--") {
      optionsEnded = true;
    } else if (!optionsEnded && arg == "--onto-card-drive") {
      parsed.OntoCardDrive = true;
    } else if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
      Say(stderr, TText::RestoreUnknownOption, {arg});
      return ExitUsage;
    } else {
      args.push_back(arg);
    }
  }
  if (args.size() < 2) {
    Say(stderr, TText::RestoreNeedsFiles);
    Say(stderr, TText::RestoreUsage);
    return ExitUsage;
  }
  parsed.Dest = PathFromUtf8(args.back());
  args.pop_back();
  for (const std::string& arg : args) {
    std::error_code ec;
    // A save cut short in that folder is finished first (its files made valid again).
    const fs::path folder = fs::is_directory(PathFromUtf8(arg), ec) ? PathFromUtf8(arg) : PathFromUtf8(arg).parent_path();
    try {
      FinishInterruptedSave(folder);
    } catch (const std::exception& e) {
      Say(stderr, TText::NotRestored, {arg, e.what()});
      return ExitSomeNotRestored;
    }
    if (fs::is_directory(PathFromUtf8(arg), ec)) {
      for (std::string& file : TemporaryFilesIn(PathFromUtf8(arg))) parsed.Files.push_back(std::move(file));
    } else {
      parsed.Files.push_back(arg);
    }
  }
  return -1;
}

}  // namespace

int RunRestoreCommand(int argc, char** argv) {
  ::signal(SIGXFSZ, SIG_IGN);  // a file-size limit fails the write (EFBIG) instead
  TRestoreArguments args;
  if (const int status = ParseRestoreArguments(argc, argv, args); status >= 0) return status;
  const fs::path& dest = args.Dest;
  if (DestOnCardDrive(dest)) {
    std::fprintf(stderr, "%s\n", SameDriveQuestion().c_str());
    if (!args.OntoCardDrive) {
      Say(stderr, TText::StoppedAtQuestion, {"--onto-card-drive"});
      return ExitQuestion;
    }
    Say(stderr, TText::GoingOn, {"--onto-card-drive"});
  }
  std::error_code ec;
  fs::create_directories(dest, ec);
  if (!fs::is_directory(dest, ec)) {
    Say(stderr, TText::RestoreDestNotFolder, {dest.string()});
    return ExitUsage;
  }

  uint32_t highest = 0, number = 0;
  std::string type;
  for (const std::string& temp : args.Files) {
    if (ParseRecoveredName(RecoveredNameOfTemporary(PathFromUtf8(temp).filename().string()), number, type))
      highest = std::max(highest, number);
  }
  TNamePicker names(dest, highest);
  // Ctrl-C is held until the file being restored is done.
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);

  size_t restored = 0, failed = 0;
  std::vector<fs::path> targets(args.Files.size());
  const auto report = [&](size_t index, const std::string& problem) {
    const std::string& temp = args.Files[index];
    if (problem.empty()) {
      ++restored;
      const std::string name = RecoveredNameOfTemporary(PathFromUtf8(temp).filename().string());
      if (targets[index].filename() != PathFromUtf8(name))
        std::fprintf(stderr, "%s\n", RenamedFilesText({{name, Utf8Of(targets[index].filename())}}).c_str());
      std::printf("%s\t%s\n", temp.c_str(), targets[index].string().c_str());
      std::fflush(stdout);
    } else {
      ++failed;
      Say(stderr, TText::NotRestored, {temp, problem});
    }
  };
  // Saved in batches, as the save step does; Ctrl-C ends the restore after the batch.
  TBatchSave batch(report);
  for (size_t index = 0; index < args.Files.size() && !g_interrupted; ++index) {
    bool saved = false;
    if (const std::string problem = PrepareOne(args.Files[index], dest, names, targets[index], saved); !problem.empty() || saved) {
      report(index, problem);
    } else {
      batch.Add(index, PathFromUtf8(args.Files[index]), targets[index]);
    }
  }
  batch.Finish();
  Say(stderr, TText::FilesRestored, {std::to_string(restored), dest.string()});
  // A scan killed before its end left its journal beside the files; once every file of
  // that folder is restored there is nothing left to continue.
  std::set<fs::path> folders;
  for (const std::string& temp : args.Files) folders.insert(PathFromUtf8(temp).parent_path());
  for (const fs::path& folder : folders) {
    if (JournalPresent(folder) && TemporaryFilesIn(folder).empty()) RemoveScanJournal(folder);
  }
  if (g_interrupted) {
    Say(stderr, TText::RestoreInterrupted);
    return ExitInterrupted;
  }
  return failed == 0 ? ExitRestored : ExitSomeNotRestored;
}

}  // namespace snapsalvager::cli
