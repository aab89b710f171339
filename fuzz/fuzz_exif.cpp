// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// libFuzzer target: the EXIF reader and the photo summary on arbitrary bytes, read as the
// scan reads them (a temporary file with its head scrambled). The inputs in fuzz/exif/ are
// plain JPEGs; each input is scrambled and written to an in-memory file, which the reader
// opens by path like any other.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "tempfile/TempFileReader.h"
#include "metadata/ExifReader.h"
#include "metadata/PhotoSummary.h"

namespace {

int InputFile() {
  static const int fd = memfd_create("fuzz_exif", MFD_CLOEXEC);
  if (fd < 0) std::abort();
  return fd;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const int fd = InputFile();
  std::vector<uint8_t> bytes(data, data + size);
  for (size_t i = 0; i < bytes.size() && i < static_cast<size_t>(snapsalvager::kTempHeadLength); ++i) {
    bytes[i] ^= snapsalvager::kTempHeadKey;
  }
  if (ftruncate(fd, 0) != 0) std::abort();
  if (!bytes.empty() && pwrite(fd, bytes.data(), bytes.size(), 0) != static_cast<ssize_t>(bytes.size())) {
    std::abort();
  }
  const std::string path = "/proc/self/fd/" + std::to_string(fd);

  std::vector<std::string> lines;
  try {
    snapsalvager::ReadExifTags(path, lines);
  } catch (const std::runtime_error& e) {
    // The only errors that may leave the reader: the marker walk running off the file, or
    // (documented, though the walk never positions outside ReadIfd) the section bound.
    if (std::strcmp(e.what(), "Out of bounds") != 0 &&
        std::strcmp(e.what(), "Exif section out of bounds") != 0) {
      std::abort();
    }
  }
  const std::string summary = snapsalvager::GetPhotoSummary(path);
  if (summary.size() > 210) std::abort();
  if (summary != "N/A" && summary.rfind("Shoot Time: ", 0) != 0) std::abort();
  return 0;
}
