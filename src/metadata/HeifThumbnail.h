// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// HEIF, HEIC and AVIF photos through libheif: the thumbnail item (or a small enough primary
// image) decoded into the preview's RGB picture, and the facts of the summary. The bytes
// come from the same bounded read as a JPEG preview; libheif's own limits cap what a forged
// size can make it allocate. Never throws.
#pragma once

#include <cstddef>
#include <cstdint>

#include "metadata/JpegDecode.h"
#include "metadata/RawPreview.h"

namespace snapsalvager {

// No image is decoded beyond this size (a phone's 12 MP photo, when it carries no
// thumbnail); larger ones show no picture rather than stall the page or exhaust memory.
inline constexpr int64_t kMaxHeifPrimaryPixels = 16000000;

// Image (or Corrupt, with no pixels) at the thumbnail's own size.
TJpegPicture DecodeHeifThumbnail(const uint8_t* data, size_t size);
// The primary image's size, and the time and model of its Exif item; false when libheif
// cannot read the file.
bool ReadHeifFacts(const uint8_t* data, size_t size, TPhotoFacts* facts);

}  // namespace snapsalvager
