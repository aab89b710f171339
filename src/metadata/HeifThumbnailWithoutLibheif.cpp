// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// HEIF, HEIC and AVIF on Windows, where libheif is not built: no picture and no facts, as
// for a file libheif cannot read. The photos themselves are still found and saved.
#include "metadata/HeifThumbnail.h"

namespace snapsalvager {

TJpegPicture DecodeHeifThumbnail(const uint8_t*, size_t) { return TJpegPicture{}; }

bool ReadHeifFacts(const uint8_t*, size_t, TPhotoFacts*) { return false; }

}  // namespace snapsalvager
