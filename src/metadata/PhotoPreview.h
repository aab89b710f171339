// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The preview page's pictures of every photo type it shows: a JPEG itself, a raw file's
// largest embedded JPEG preview (decoded the same way), a HEIF photo's thumbnail; and the
// row summary of raw and HEIF photos from their own tags.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "formats/FileTypes.h"
#include "metadata/JpegDecode.h"

namespace snapsalvager {

// What kind of photo a found file's type ("JPG", "CR3", "HEIC" ...) is; None for clips
// and for the types without a preview (the type's descriptor tells).
TPhotoKind PhotoKindOf(std::string_view type);

// A summary reads no more than this of a raw file: its tags lie near the start.
inline constexpr int64_t kRawSummaryBytes = 4 * 1024 * 1024;

// As DecodePreviewFiles, for photos of any kind: types[i] is the type of paths[i]. A raw
// file's HeaderOk and Header are its preview's; a HEIF photo's are its thumbnail's size.
std::vector<TPreviewDecode> DecodePhotoPreviews(const std::vector<std::filesystem::path>& paths,
                                                const std::vector<std::string>& types, bool scrambled,
                                                int scaleDenom, unsigned maxThreads);

// The summary line of a raw or HEIF photo (the JPEG photo summary's form), or "N/A".
// Never throws.
std::string GetRawPhotoSummary(const std::filesystem::path& file, std::string_view type, bool encoded);

}  // namespace snapsalvager
