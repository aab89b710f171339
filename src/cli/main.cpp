// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// snapsalvager-cli: the whole recovery without a window.
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#ifndef _WIN32
#include <langinfo.h>
#endif

#include "cli/Commands.h"

namespace {

// The system's own messages (strerror) in the language of this run's texts, where the system
// has them translated: the locale's messages when they are of that language, else Chinese
// from zh_CN.UTF-8 when it is installed, else the C library's English. Only the messages and
// the character set follow the locale: numbers and dates in the rows stay as they always were.
void UseSystemMessagesOf(snapsalvager::TLanguage language) {
#ifndef _WIN32
  // The texts are UTF-8: a translation is only converted right into a UTF-8 character set.
  if (std::setlocale(LC_CTYPE, "") == nullptr || std::string_view(nl_langinfo(CODESET)) != "UTF-8")
    std::setlocale(LC_CTYPE, "C.UTF-8");
  if (language == snapsalvager::TLanguage::English) {
    std::setlocale(LC_MESSAGES, "C");  // the C library's own messages are English
    return;
  }
  // LANGUAGE would put another language before the locale's.
  ::unsetenv("LANGUAGE");
  const char* locale = std::setlocale(LC_MESSAGES, "");
  if (locale == nullptr || std::string_view(locale).substr(0, 2) != "zh") {
    if (std::setlocale(LC_MESSAGES, "zh_CN.UTF-8") == nullptr) std::setlocale(LC_MESSAGES, "C");
  }
#else
  (void)language;
#endif
}

void PrintUsage(std::FILE* out) {
  snapsalvager::cli::Say(out, snapsalvager::TText::CliUsage);
}

}  // namespace

int main(int argc, char** argv) {
  if (!snapsalvager::ChooseLanguage(argc, argv)) {
    snapsalvager::cli::Say(stderr, snapsalvager::TText::LangNeedsName, {"snapsalvager-cli"});
    return 2;
  }
  UseSystemMessagesOf(snapsalvager::Language());
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
