// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// What a camera raw file carries for a preview and a summary, read from its bytes in memory:
// the embedded JPEG previews (TIFF IFD previews and JpgFromRaw, CR3's THMB and PRVW boxes,
// the JPEG a RAF header points at) and the shooting time, model and size of its own tags.
// Every offset is checked against the bytes given; bad data yields nothing, never a throw.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace snapsalvager {

// A JPEG inside a raw file: its bytes run from Offset for Length (to the end of the data
// at most) and libjpeg reads its header.
struct TEmbeddedJpeg {
  size_t Offset = 0;
  size_t Length = 0;
  int Width = 0;
  int Height = 0;
};

// Every embedded JPEG whose header reads, in file order; at most kMaxEmbeddedJpegs.
std::vector<TEmbeddedJpeg> FindEmbeddedJpegs(const uint8_t* data, size_t size);
inline constexpr size_t kMaxEmbeddedJpegs = 16;
// The preview the thumbnail is decoded from: the largest one within kMaxJpegSourcePixels.
std::optional<TEmbeddedJpeg> LargestPreview(const uint8_t* data, size_t size);

// The facts a photo's summary shows; empty texts and 0 where the file does not tell.
struct TPhotoFacts {
  std::string DateTime;  // "yyyy:mm:dd hh:mm:ss"
  std::string Model;
  int Width = 0;
  int Height = 0;
};

// From a TIFF-structured raw, a CR3 or a RAF; false when none of its structure was found.
bool ReadRawFacts(const uint8_t* data, size_t size, TPhotoFacts* facts);
// From a TIFF block (an Exif block's contents, a CR3 CMT box), merged into facts.
bool ReadTiffFacts(const uint8_t* tiff, size_t size, TPhotoFacts* facts);

}  // namespace snapsalvager
