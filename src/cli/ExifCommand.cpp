// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// snapsalvager-cli exif [--temp] FILE...: the EXIF lines of each photo and its summary line,
// as the scan would record them.
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "metadata/ExifReader.h"
#include "metadata/PhotoSummary.h"
#include "tempfile/Utf8Path.h"

namespace snapsalvager::cli {

namespace {

void PrintExifUsage(std::FILE* out) {
  Say(out, TText::ExifUsage);
}

}  // namespace

// Exit status: 0 when every file had a readable Exif block, 1 when one had not, 2 for a
// usage error.
int RunExifCommand(int argc, char** argv) {
  bool encoded = false;
  std::vector<const char*> files;
  bool optionsDone = false;
  for (int i = 0; i < argc; ++i) {
    const char* arg = argv[i];
    if (!optionsDone && std::strcmp(arg, "--") == 0) {
      optionsDone = true;
    } else if (!optionsDone && std::strcmp(arg, "--temp") == 0) {
      encoded = true;
    } else if (!optionsDone && (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0)) {
      PrintExifUsage(stdout);
      return 0;
    } else if (!optionsDone && arg[0] == '-' && arg[1] != '\0') {
      Say(stderr, TText::ExifUnknownOption, {arg});
      PrintExifUsage(stderr);
      return 2;
    } else {
      files.push_back(arg);
    }
  }
  if (files.empty()) {
    PrintExifUsage(stderr);
    return 2;
  }

  int status = 0;
  for (const char* file : files) {
    std::vector<std::string> lines;
    bool found = false;
    std::string error;
    try {
      found = ReadExifTags(PathFromUtf8(file), lines, encoded);
    } catch (const std::exception& e) {
      error = e.what();
    }
    for (const std::string& line : lines) std::printf("%s\n", line.c_str());
    if (!error.empty()) std::fprintf(stderr, "%s: %s\n", file, error.c_str());
    Say(stdout, TText::ExifSummary, {GetPhotoSummary(PathFromUtf8(file), encoded)});
    std::fflush(stdout);
    if (!found) status = 1;
  }
  return status;
}

}  // namespace snapsalvager::cli
