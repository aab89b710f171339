// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Reader of temporary files: unscrambles the head on the fly, reports a capped size.
#pragma once

#include <cstdint>
#include <filesystem>

#include "tempfile/TempFileFormat.h"

namespace snapsalvager {

// Length of the directory entry at path; 0 when there is none or the lookup fails.
int64_t GetFileSizeByName(const std::filesystem::path& path);

struct TReadSettings {
  int64_t MaxSize = 0;     // the size reported at most; 0 reports every file as empty
  bool Scrambled = false;  // the head is stored XORed (a temporary file)
};

class TPreviewFileStream {
 public:
  // Takes the size from GetFileSizeByName, then opens the file read-only.
  // Throws std::runtime_error when it cannot be opened.
  TPreviewFileStream(const std::filesystem::path& path, const TReadSettings& settings);
  ~TPreviewFileStream();
  TPreviewFileStream(const TPreviewFileStream&) = delete;
  TPreviewFileStream& operator=(const TPreviewFileStream&) = delete;

  // Reads up to count bytes at the current position; the part inside the head is
  // unscrambled when Scrambled. Returns the bytes read (0 at the end).
  int32_t Read(void* buffer, int32_t count);
  // The smaller of the file size and MaxSize (0 when MaxSize is 0).
  int64_t GetSize() const;
  // origin SEEK_SET, SEEK_CUR or SEEK_END (from MaxSize when the file is larger).
  // Returns the new position, or -1.
  int64_t Seek(int64_t offset, int origin);
  int64_t Position() const;
  int64_t MaxSize() const { return settings_.MaxSize; }

 private:
  const TReadSettings settings_;
  int fd_ = -1;
  int64_t file_size_ = 0;
  int64_t position_ = 0;
};

}  // namespace snapsalvager
