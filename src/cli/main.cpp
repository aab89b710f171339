// snapsalvager-cli: the whole recovery without a window.
#include <cstdio>
#include <cstring>

#include "cli/Commands.h"

namespace {

void PrintUsage(std::FILE* out) {
  snapsalvager::cli::Say(out, snapsalvager::TText::CliUsage);
}

}  // namespace

int main(int argc, char** argv) {
  if (!snapsalvager::ChooseLanguage(argc, argv)) {
    snapsalvager::cli::Say(stderr, snapsalvager::TText::LangNeedsName, {"snapsalvager-cli"});
    return 2;
  }
  if (argc < 2) {
    PrintUsage(stderr);
    return 2;
  }
  const char* command = argv[1];
  if (std::strcmp(command, "--version") == 0) {
    std::printf("snapsalvager-cli %s\n", SNAPSALVAGER_VERSION);
    return 0;
  }
  if (std::strcmp(command, "--help") == 0 || std::strcmp(command, "-h") == 0) {
    PrintUsage(stdout);
    return 0;
  }
  if (std::strcmp(command, "recover") == 0) return snapsalvager::cli::RunRecoverCommand(argc - 2, argv + 2);
  if (std::strcmp(command, "restore") == 0) return snapsalvager::cli::RunRestoreCommand(argc - 2, argv + 2);
  if (std::strcmp(command, "drives") == 0) return snapsalvager::cli::RunDrivesCommand(argc - 2, argv + 2);
  if (std::strcmp(command, "exif") == 0) return snapsalvager::cli::RunExifCommand(argc - 2, argv + 2);
  snapsalvager::cli::Say(stderr, snapsalvager::TText::CliUnknownCommand, {command});
  PrintUsage(stderr);
  return 2;
}
