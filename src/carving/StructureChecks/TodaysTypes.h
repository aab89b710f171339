// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Deep-scan names for the formats of today's cameras and phones that the header table does
// not know: ISO base media files by their brands, TIFF-based raw files by their magic and
// maker, FLAC and MXF by their own headers. Each looks at one sector only and, like the other
// deep recognitions, wants enough well-formed structure that random data passes almost never.
#pragma once

#include <cstdint>
#include <string_view>

#include "carving/Signatures.h"

namespace snapsalvager {

// "CR3", "HEIC", "HEIF", "AVIF" or "M4A" for a well-formed file-type box whose major or
// compatible brands say so; empty otherwise (the video brands stay with BrandType).
std::string_view TodaysBrandType(const uint8_t* sector, uint32_t sectorSize);
// The raw type of a TIFF-structured header by its magic ("IIU" Panasonic/Leica, "IIII"
// Phase One), its DNGVersion tag or its Make tag, when the first IFD lies in the sector and
// checks out; empty when the sector tells none.
std::string_view RawTypeByMaker(const uint8_t* sector, uint32_t sectorSize);
// "FLAC" (fLaC and a sound STREAMINFO) or "MXF" (a header partition pack); empty otherwise.
std::string_view TodaysHeaderType(const uint8_t* sector, uint32_t sectorSize);
// The first of the three whose type the inputs enable for a deep scan; empty when none.
std::string_view NameTodaysType(const uint8_t* sector, uint32_t sectorSize, const TRecogniserInputs& inputs);

namespace structure {
bool IsFlacHeader(const uint8_t* sector, uint32_t sectorSize);
bool IsMxfHeader(const uint8_t* sector, uint32_t sectorSize);
}  // namespace structure

}  // namespace snapsalvager
