// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Bounded byte sources for the EXIF reader: a file read through a 1024-byte window with a
// switchable byte order, and its Exif flavour that refuses positions past the 64 KiB section.
// Reads past the end of the file throw std::runtime_error("Out of bounds").
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "tempfile/TempFileReader.h"

namespace snapsalvager {

class TmdFileStream {
 public:
  // Opens fileName through the temporary-file reader (MaxSize 1 MiB). encoded = true reads a
  // temporary file (head unscrambled), false reads a plain file. Throws when it cannot open.
  explicit TmdFileStream(const std::filesystem::path& fileName, bool encoded = true);
  virtual ~TmdFileStream();
  TmdFileStream(const TmdFileStream&) = delete;
  TmdFileStream& operator=(const TmdFileStream&) = delete;

  void LoadWindow(int64_t position);
  bool InWindow(int64_t position) const {
    return WindowStart <= position && position < WindowStart + WindowLength;
  }
  bool WindowEmpty() const { return WindowLength == 0; }

  // The byte at index; Position becomes index + 1. Throws "Out of bounds" past the end.
  uint8_t ByteAt(int64_t index);
  uint8_t ReadByte() { return ByteAt(Position); }
  uint16_t ReadWord();
  uint32_t ReadDWord();
  // Copies count bytes from Position on; returns the number copied (0 for count <= 0).
  int32_t ReadBytes(void* destination, int32_t count);
  virtual void SetPosition(int64_t position) { Position = position; }

  static constexpr int32_t WindowSize = 1024;
  // The reader's view of a temporary file only needs the Exif block near its start.
  static constexpr int64_t kReaderMaxSize = 1048576;

  std::filesystem::path FileName;
  std::unique_ptr<TPreviewFileStream> Reader;
  std::vector<uint8_t> Window;
  // Positions are kept 64-bit so that offset arithmetic on hostile values cannot wrap.
  int64_t WindowStart = 0;
  int32_t WindowLength = 0;
  int64_t Position = 0;
  uint8_t ByteOrder = 1;  // 1 big-endian ("MM"), 0 little-endian ("II")
};

class TmdExifStream : public TmdFileStream {
 public:
  using TmdFileStream::TmdFileStream;

  // Throws "Exif section out of bounds" once SectionBase is known and position lies more
  // than 65535 bytes past it (or before the file start).
  void SetPosition(int64_t position) override;

  // Walks the IFD at offset (from SectionBase) of group 0..3 and the chain behind it,
  // appending "name=value" lines. False when any of them failed; never throws. The section
  // is loaded once and walked by the shared TIFF walker; each call is a walk of its own.
  bool ReadIfd(uint32_t offset, uint8_t group, std::vector<std::string>& list);

  uint32_t SectionBase = 0;
};

}  // namespace snapsalvager
