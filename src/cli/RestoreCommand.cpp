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
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "engine/LinuxDrives.h"
#include "engine/SaveFiles.h"
#include "engine/ScanChecks.h"

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

const char* const kUsage =
    "usage: snapsalvager-cli restore TEMPFILE|FOLDER... DEST [--onto-card-drive]\n"
    "\n"
    "Saves temporary files that a recovery kept (Temporary_v5_File0001_JPG.~QX in\n"
    "DEST/TmpFiles/ or a folder below it) as their recovered files (File0001.JPG) in the\n"
    "folder DEST, created when missing. A FOLDER stands for every temporary file in it.\n"
    "Each temporary file is moved, so it is gone once its file is saved. A name already\n"
    "taken in DEST is never replaced: the file gets the next free number (File0012.JPG)\n"
    "and the line says so. A save that was interrupted is finished.\n"
    "\n"
    "  --onto-card-drive  go on although DEST is on a memory card's drive (the deleted\n"
    "                     photos on it could be overwritten)\n"
    "\n"
    "stdout: one line per restored file: the temporary file and the saved file, separated\n"
    "by a tab. Ctrl-C stops after the file being restored.\n"
    "exit status:\n"
    "  0    every file restored\n"
    "  1    some could not be restored\n"
    "  2    bad usage\n"
    "  4    stopped at a question (DEST on a card's drive; answer it with --onto-card-drive)\n"
    "  130  stopped by Ctrl-C (what is left can be restored later)\n";

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

// Restores one kept temporary file into dest under a free name. Empty when it was
// restored, else why not.
std::string RestoreOne(const std::string& temp, const fs::path& dest, TNamePicker& names, fs::path& target) {
  const std::string name = RecoveredNameOfTemporary(fs::path(temp).filename().string());
  if (name.empty()) return "not a temporary file of a recovery (" + TemporaryNameForm() + ")";
  std::error_code ec;
  if (!fs::is_regular_file(temp, ec)) return "no such file";
  const std::string savedAs = names.Pick(name);
  target = dest / savedAs;
  try {
    RestoreAndMove(temp, target);
  } catch (const std::exception& e) {
    return e.what();
  }
  if (savedAs != name) std::fprintf(stderr, "%s\n", RenamedFilesText({{name, savedAs}}).c_str());
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
      std::fputs(kUsage, stdout);
      return ExitRestored;
    }
    if (!optionsEnded && arg == "--") {
      optionsEnded = true;
    } else if (!optionsEnded && arg == "--onto-card-drive") {
      parsed.OntoCardDrive = true;
    } else if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
      std::fprintf(stderr, "snapsalvager-cli restore: unknown option '%s'\n", arg.c_str());
      return ExitUsage;
    } else {
      args.push_back(arg);
    }
  }
  if (args.size() < 2) {
    std::fputs("snapsalvager-cli restore: needs one or more TEMPFILEs and a DEST folder\n", stderr);
    std::fputs(kUsage, stderr);
    return ExitUsage;
  }
  parsed.Dest = args.back();
  args.pop_back();
  for (const std::string& arg : args) {
    std::error_code ec;
    if (fs::is_directory(arg, ec)) {
      for (std::string& file : TemporaryFilesIn(arg)) parsed.Files.push_back(std::move(file));
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
      std::fputs("Stopped here; run again with --onto-card-drive to go on anyway.\n", stderr);
      return ExitQuestion;
    }
    std::fputs("(--onto-card-drive: going on)\n", stderr);
  }
  std::error_code ec;
  fs::create_directories(dest, ec);
  if (!fs::is_directory(dest, ec)) {
    std::fprintf(stderr, "snapsalvager-cli restore: %s is not a folder and cannot be made one\n",
                 dest.c_str());
    return ExitUsage;
  }

  uint32_t highest = 0, number = 0;
  std::string type;
  for (const std::string& temp : args.Files) {
    if (ParseRecoveredName(RecoveredNameOfTemporary(fs::path(temp).filename().string()), number, type))
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
  for (const std::string& temp : args.Files) {
    if (g_interrupted) break;
    fs::path target;
    if (const std::string problem = RestoreOne(temp, dest, names, target); problem.empty()) {
      ++restored;
      std::printf("%s\t%s\n", temp.c_str(), target.c_str());
      std::fflush(stdout);
    } else {
      ++failed;
      std::fprintf(stderr, "Not restored: %s: %s\n", temp.c_str(), problem.c_str());
    }
  }
  std::fprintf(stderr, "%zu file(s) restored into %s.\n", restored, dest.c_str());
  if (g_interrupted) {
    std::fputs("Stopped by Ctrl-C; run the same command again to restore the rest.\n", stderr);
    return ExitInterrupted;
  }
  return failed == 0 ? ExitRestored : ExitSomeNotRestored;
}

}  // namespace snapsalvager::cli
