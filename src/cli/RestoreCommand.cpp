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

// Restores one kept temporary file into dest. Empty when it was restored, else why not.
std::string RestoreOne(const std::string& temp, const fs::path& dest, fs::path& target) {
  const std::string name = RecoveredNameOfTemporary(fs::path(temp).filename().string());
  if (name.empty()) return Text(TText::NotATemporaryFile, {TemporaryNameForm()});
  std::error_code ec;
  if (!fs::is_regular_file(temp, ec)) return Text(TText::NoSuchFile);
  target = dest / name;
  if (fs::exists(fs::symlink_status(target, ec))) {
    return Text(TText::NameTaken, {name, dest.string()});
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
      Say(stdout, TText::RestoreUsage);
      return ExitRestored;
    }
    if (!optionsEnded && arg == "--") {
      optionsEnded = true;
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
  const fs::path dest = args.back();
  args.pop_back();
  std::error_code ec;
  fs::create_directories(dest, ec);
  if (!fs::is_directory(dest, ec)) {
    Say(stderr, TText::RestoreDestNotFolder, {dest.string()});
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
      Say(stderr, TText::NotRestored, {temp, problem});
    }
  }
  Say(stderr, TText::FilesRestored, {std::to_string(restored), dest.string()});
  return failed == 0 ? ExitRestored : ExitSomeNotRestored;
}

}  // namespace snapsalvager::cli
