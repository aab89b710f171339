// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Thumbnail decoding of carved JPEG photos with libjpeg: read a bounded prefix of a temporary
// file, check its header, decode at one eighth (or full) scale into a plain RGB buffer. Never
// exits or aborts on bad data: the caller sees "an image", "partial" or "corrupt".
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

namespace snapsalvager {

class TPreviewFileStream;

// A preview never reads more than this from a temporary file; larger photos are decoded from
// their first 30,000,000 bytes.
inline constexpr int64_t kPreviewMaxSize = 30000000;

// Largest source image accepted (200 megapixels, beyond any camera of the card's era and
// today's medium format), and largest decoded output. A header claiming more is treated as
// corrupt, so a forged size cannot make us allocate gigabytes.
inline constexpr int64_t kMaxJpegSourcePixels = 200000000;
inline constexpr int64_t kMaxJpegOutputPixels = 50000000;
// A progressive file with more scans than this is hostile (each scan is a full pass).
inline constexpr int kMaxJpegScans = 500;

enum class TJpegDecodeStatus {
  Image,    // decoded cleanly
  Partial,  // decoded with warnings or stopped early; unreached rows are mid-grey
  Corrupt,  // no usable header or no row decoded; Pixels is empty
};

struct TJpegPicture {
  TJpegDecodeStatus Status = TJpegDecodeStatus::Corrupt;
  int Width = 0;
  int Height = 0;
  std::vector<uint8_t> Pixels;  // RGB, 3 bytes a pixel, rows packed (Width * 3 bytes)
  int Warnings = 0;             // libjpeg warnings, e.g. premature end of data
};

struct TJpegHeader {
  int Width = 0;
  int Height = 0;
  int Components = 0;
};

// Reads the header (up to the first scan). False when there is none or it is unusable
// (no SOI, missing tables, forged dimensions beyond kMaxJpegSourcePixels).
bool ReadJpegHeader(const uint8_t* data, size_t size, TJpegHeader* header);

// Decodes data at scale 1/scaleDenom (1, 2, 4 or 8) with the fastest DCT and without fancy
// upsampling.
TJpegPicture DecodeJpeg(const uint8_t* data, size_t size, int scaleDenom);

// Reads the bytes a preview may see of a temporary file: at most kPreviewMaxSize, the head
// unscrambled when scrambled is true. Throws std::runtime_error when it cannot be opened.
std::vector<uint8_t> ReadPreviewBytes(const std::filesystem::path& path, bool scrambled);

// One photo of a preview page, read and decoded ahead of its thumbnail.
struct TPreviewDecode {
  bool Opened = false;     // the temporary file could be opened
  bool HeaderOk = false;   // its first kPreviewMaxSize bytes carry a JPEG header
  TJpegHeader Header;
  TJpegPicture Picture;    // decoded at the requested scale when HeaderOk
};

// ReadPreviewBytes + header + DecodeJpeg for each path, on up to maxThreads threads (the
// photos of a page are independent, and decoding is the page's whole cost). Results are in
// the order of paths; nothing is thrown.
std::vector<TPreviewDecode> DecodePreviewFiles(const std::vector<std::filesystem::path>& paths,
                                               bool scrambled, int scaleDenom,
                                               unsigned maxThreads);

// A JPEG image object as the preview uses it: holds a photo's bytes (shared, not copied, on
// assignment) and the header read when they were loaded.
class TJpegImage {
 public:
  // Copies as many bytes as the stream reports, then reads the header. Throws
  // std::runtime_error when the bytes carry no valid JPEG header; the image is then empty.
  void LoadFromStream(TPreviewFileStream& stream);
  void LoadFromBytes(std::vector<uint8_t> bytes);
  void Clear();

  bool Empty() const { return !data_ || data_->empty(); }
  const TJpegHeader& Header() const { return header_; }
  size_t DataSize() const { return data_ ? data_->size() : 0; }
  // Decodes the held bytes at 1/scaleDenom; an empty image decodes as Corrupt.
  TJpegPicture Decode(int scaleDenom) const;

 private:
  std::shared_ptr<const std::vector<uint8_t>> data_;
  TJpegHeader header_;
};

}  // namespace snapsalvager
