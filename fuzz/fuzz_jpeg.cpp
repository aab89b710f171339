// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The thumbnail decoder on arbitrary bytes: any input must come back as an image, a partial
// image or "corrupt", never a crash, a hang or an out-of-bounds access.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "metadata/JpegDecode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  snapsalvager::TJpegHeader header;
  const bool hasHeader = snapsalvager::ReadJpegHeader(data, size, &header);
  const snapsalvager::TJpegPicture thumb = snapsalvager::DecodeJpeg(data, size, 8);
  if (thumb.Status != snapsalvager::TJpegDecodeStatus::Corrupt) {
    // What the caller relies on: a full buffer for the reported size.
    if (!hasHeader || thumb.Pixels.size() != static_cast<size_t>(thumb.Width) * thumb.Height * 3) {
      std::abort();
    }
  }
  // Full-scale decoding too, for images small enough to keep the fuzzer fast.
  if (hasHeader && static_cast<int64_t>(header.Width) * header.Height <= 1 << 20) {
    snapsalvager::DecodeJpeg(data, size, 1);
  }
  return 0;
}
