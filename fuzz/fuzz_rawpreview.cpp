// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Fuzzes the raw and HEIF preview readers. The first byte picks the reader; the rest is the
// file's bytes in an exact-size buffer, so a read past them is caught. Every preview found
// must lie inside the bytes and carry a header libjpeg reads.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "metadata/HeifThumbnail.h"
#include "metadata/JpegDecode.h"
#include "metadata/RawPreview.h"

using namespace snapsalvager;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const std::vector<uint8_t> file(data + 1, data + size);
  TPhotoFacts facts;
  if (data[0] % 4 == 3) {
    // libheif is slow on large inputs; its thumbnail path is what the preview calls.
    const TJpegPicture picture = DecodeHeifThumbnail(file.data(), file.size());
    if (picture.Status != TJpegDecodeStatus::Corrupt &&
        picture.Pixels.size() != static_cast<size_t>(picture.Width) * picture.Height * 3)
      __builtin_trap();
    (void)ReadHeifFacts(file.data(), file.size(), &facts);
    return 0;
  }
  for (const TEmbeddedJpeg& j : FindEmbeddedJpegs(file.data(), file.size())) {
    if (j.Offset >= file.size() || j.Length > file.size() - j.Offset) __builtin_trap();
    if (j.Width <= 0 || j.Height <= 0) __builtin_trap();
  }
  if (auto preview = LargestPreview(file.data(), file.size())) {
    (void)DecodeJpeg(file.data() + preview->Offset, preview->Length, 8);
  }
  (void)ReadRawFacts(file.data(), file.size(), &facts);
  if (facts.Width < 0 || facts.Height < 0) __builtin_trap();
  return 0;
}
