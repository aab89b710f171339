// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// snapsalvager-cli restore: turns kept temporary files (a save that failed, --scan-only, an
// interrupted save, files moved aside before a new scan) into their recovered files, the way
// the save step does: head restored, moved into DEST, never replacing a file. A front end over
// TRestoreSession: it reads the arguments, asks the same-drive question and prints the reports.
#include <signal.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "card/LinuxDrives.h"
#include "metadata/PhotoSummary.h"
#include "session/RestoreSession.h"
#include "session/SaveFiles.h"
#include "session/ScanChecks.h"
#include "session/Texts.h"
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

// One line on stdout for each file restored (what became of it, for scripts), the rest on
// stderr.
class TCliRestoreReport final : public TRestoreEvents {
 public:
  void FileRenamed(const TRenamedFile& renamed) override {
    std::fprintf(stderr, "%s\n", RenamedFilesText({renamed}).c_str());
  }
  void FileRestored(const std::string& temp, const fs::path& target) override {
    std::printf("%s\t%s\n", temp.c_str(), target.string().c_str());
    std::fflush(stdout);
  }
  void FileNotRestored(const std::string& temp, const std::string& problem) override {
    Say(stderr, TText::NotRestored, {temp, problem});
  }
};

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
  bool OriginalNames = false;
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
    } else if (!optionsEnded && arg == "--original-names") {
      parsed.OriginalNames = true;
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
      for (std::string& file : KeptTemporaryFiles(PathFromUtf8(arg))) parsed.Files.push_back(std::move(file));
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

  // Ctrl-C is held until the file being restored is done.
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);

  TCliRestoreReport report;
  TRestoreSession session(report);
  session.Files = std::move(args.Files);
  session.DestFolder = dest;
  session.OriginalNames = args.OriginalNames;
  session.PhotoTime = PhotoTakenTime;
  const TRestoreOutcome outcome = session.Restore([] { return g_interrupted.load(); });
  Say(stderr, TText::FilesRestored, {std::to_string(outcome.Restored), dest.string()});
  if (g_interrupted) {
    Say(stderr, TText::RestoreInterrupted);
    return ExitInterrupted;
  }
  return outcome.Failed == 0 ? ExitRestored : ExitSomeNotRestored;
}

}  // namespace snapsalvager::cli
