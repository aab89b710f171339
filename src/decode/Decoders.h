// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The verdict decoders, one per file family: they decode a found file's content (not its
// header) and say whether it is whole, where it breaks, and give a small picture. They run on
// card data anyone could have crafted, so the program calls them only inside the sandboxed
// helper process (DecodeHelper.cpp); tests and fuzz targets call them directly. Never throw.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "decode/Verdict.h"

namespace snapsalvager::decode {

// A file as the decoders read it: either bytes in memory, or a read-only descriptor whose
// first bytes are replaced by head (a temporary file's head is stored scrambled; the caller
// hands the plain head). Reads never go past Size().
class TFileBytes {
 public:
  TFileBytes(const uint8_t* data, size_t size) : data_(data), size_(static_cast<int64_t>(size)) {}
  // The descriptor stays owned by the caller.
  TFileBytes(int fd, int64_t size, std::vector<uint8_t> head) : fd_(fd), size_(size), head_(std::move(head)) {}

  int64_t Size() const { return size_; }
  // Up to count bytes at offset; the number read, 0 at the end, -1 on a read error.
  int64_t ReadAt(int64_t offset, void* buffer, size_t count) const;
  // The whole file in one buffer; false when it is larger than cap or cannot be read. In
  // memory already, the bytes are not copied: data points into them.
  bool Whole(int64_t cap, std::vector<uint8_t>& storage, const uint8_t** data) const;

 private:
  const uint8_t* data_ = nullptr;
  int fd_ = -1;
  int64_t size_ = 0;
  std::vector<uint8_t> head_;
};

// Largest file of each photo family read into memory (a JPEG is capped by the scan itself);
// past these the verdict is CouldNotCheck "too-large".
inline constexpr int64_t kMaxRawBytes = 400LL * 1024 * 1024;
inline constexpr int64_t kMaxHeifBytes = 200LL * 1024 * 1024;
inline constexpr int64_t kMaxJpegBytes = 60LL * 1024 * 1024;

// A run of this many zero bytes on a sector boundary inside compressed data is a sector that
// was never written or was wiped, never what an encoder produces.
inline constexpr size_t kSectorSize = 512;

TDecodeOutcome CheckJpeg(const uint8_t* data, size_t size, bool wantPreview);
TDecodeOutcome CheckRaw(const uint8_t* data, size_t size, bool wantPreview);
TDecodeOutcome CheckHeif(const uint8_t* data, size_t size, bool wantPreview);
// Video and audio through FFmpeg: every packet demuxed and decoded.
TDecodeOutcome CheckMedia(const TFileBytes& file, TFileFamily family, bool wantPreview);

// The decoder of the family; NotChecked for Unknown.
TDecodeOutcome CheckFile(const TFileBytes& file, TFileFamily family, bool wantPreview);

// The offset of the first all-zero sector (kSectorSize bytes on a multiple of kSectorSize)
// within [from, to) of data, or -1.
int64_t FirstZeroSector(const uint8_t* data, size_t from, size_t to);

// The top-level boxes of an ISO media file (CR3, HEIF): where its first mdat's data lies and
// how long it claims to be, and whether a box runs past the end of the file.
struct TIsoLayout {
  uint64_t MdatOffset = 0;
  uint64_t MdatDeclared = 0;
  bool Cut = false;
};
TIsoLayout TopLevelBoxes(const uint8_t* data, size_t size);

// Libraries that read configuration or load plugins on first use do it here, before the
// sandbox closes the file system.
void PrepareDecoders();

}  // namespace snapsalvager::decode
