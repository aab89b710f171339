// snapsalvager-cli restore: turns kept temporary files (a save that failed, --scan-only)
// into their recovered files, the way the save step does: head restored, moved into DEST
// under its own name, never replacing a file.
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "engine/SaveFiles.h"

namespace snapsalvager::cli {
namespace {

namespace fs = std::filesystem;

enum ExitStatus { ExitRestored = 0, ExitSomeNotRestored = 1, ExitUsage = 2 };

const char* const kUsage =
    "usage: snapsalvager-cli restore TEMPFILE... DEST\n"
    "\n"
    "Saves temporary files that a recovery kept (Temporary_v5_File0001_JPG.~QX in\n"
    "DEST/TmpFiles/) as their recovered files (File0001.JPG) in the folder DEST, created\n"
    "when missing. Each temporary file is moved, so it is gone once its file is saved.\n"
    "A name already taken in DEST is reported and that file is left as it is: no file is\n"
    "ever replaced.\n"
    "\n"
    "exit status: 0 every file restored; 1 some could not be restored; 2 bad usage.\n";

// Restores one kept temporary file into dest. Empty when it was restored, else why not.
std::string RestoreOne(const std::string& temp, const fs::path& dest, fs::path& target) {
  const std::string name = RecoveredNameOfTemporary(fs::path(temp).filename().string());
  if (name.empty()) return "not a temporary file of a recovery (" + TemporaryNameForm() + ")";
  std::error_code ec;
  if (!fs::is_regular_file(temp, ec)) return "no such file";
  target = dest / name;
  if (fs::exists(fs::symlink_status(target, ec))) {
    return "the name " + name + " is already taken in " + dest.string();
  }
  try {
    RestoreAndMove(temp, target);
  } catch (const std::exception& e) {
    return e.what();
  }
  return {};
}

}  // namespace

int RunRestoreCommand(int argc, char** argv) {
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
  const fs::path dest = args.back();
  args.pop_back();
  std::error_code ec;
  fs::create_directories(dest, ec);
  if (!fs::is_directory(dest, ec)) {
    std::fprintf(stderr, "snapsalvager-cli restore: %s is not a folder and cannot be made one\n",
                 dest.c_str());
    return ExitUsage;
  }

  size_t restored = 0, failed = 0;
  for (const std::string& temp : args) {
    fs::path target;
    if (const std::string problem = RestoreOne(temp, dest, target); problem.empty()) {
      ++restored;
      std::printf("%s\t%s\n", temp.c_str(), target.c_str());
    } else {
      ++failed;
      std::fprintf(stderr, "Not restored: %s: %s\n", temp.c_str(), problem.c_str());
    }
  }
  std::fprintf(stderr, "%zu file(s) restored into %s.\n", restored, dest.c_str());
  return failed == 0 ? ExitRestored : ExitSomeNotRestored;
}

}  // namespace snapsalvager::cli
