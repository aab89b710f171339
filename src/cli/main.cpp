// snapsalvager-cli: the whole recovery without a window.
#include <cstdio>
#include <cstring>
#include <optional>
#include <string_view>

#include "cli/Commands.h"

namespace {

void PrintUsage(std::FILE* out) {
  snapsalvager::cli::Say(out, snapsalvager::TText::CliUsage);
}

// Takes --lang VALUE and --lang=VALUE out of the arguments, wherever they stand, and chooses
// the language: the option, else the environment. False when a --lang names no language.
bool ChooseLanguage(int& argc, char** argv) {
  std::optional<snapsalvager::TLanguage> chosen;
  bool valid = true;
  int kept = 1;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    std::optional<std::string_view> value;
    if (arg == "--lang") {
      value = i + 1 < argc ? std::string_view(argv[++i]) : std::string_view();
    } else if (arg.substr(0, 7) == "--lang=") {
      value = arg.substr(7);
    }
    if (!value) {
      argv[kept++] = argv[i];
      continue;
    }
    chosen = snapsalvager::LanguageNamed(*value);
    if (!chosen) valid = false;
  }
  argc = kept;
  argv[argc] = nullptr;
  snapsalvager::SetLanguage(chosen && valid ? *chosen : snapsalvager::LanguageFromEnvironment());
  return valid;
}

}  // namespace

int main(int argc, char** argv) {
  if (!ChooseLanguage(argc, argv)) {
    snapsalvager::cli::Say(stderr, snapsalvager::TText::LangNeedsName);
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
