// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Which of today's types an ISO base media file is, from the brands of its file-type box.
#include <cstring>

#include "carving/StructureChecks/Formats.h"
#include "carving/StructureChecks/TodaysTypes.h"

namespace snapsalvager {
namespace {

// The still-image and raw brands; a movie's brands name nothing here.
std::string_view StillBrand(const uint8_t* b) {
  if (std::memcmp(b, "crx ", 4) == 0) return "CR3";
  for (const char* heic : {"heic", "heix", "heim", "heis", "hevc", "hevx"}) {
    if (std::memcmp(b, heic, 4) == 0) return "HEIC";
  }
  if (std::memcmp(b, "avif", 4) == 0 || std::memcmp(b, "avis", 4) == 0) return "AVIF";
  if (std::memcmp(b, "mif1", 4) == 0 || std::memcmp(b, "msf1", 4) == 0) return "HEIF";
  return {};
}

}  // namespace

std::string_view TodaysBrandType(const uint8_t* s, uint32_t size) {
  if (size < 16 || std::memcmp(s + 4, "ftyp", 4) != 0) return {};
  const uint32_t box = Be32(s);
  // A file-type box holds a handful of brands; one that fills the sector is not one.
  if (box < 16 || box > 256 || box > size || (box - 16) % 4 != 0) return {};
  for (uint32_t at = 8; at < box; at += at == 8 ? 8 : 4) {
    if (!Printable4(s + at) && !AllZero(s + at, 4)) return {};
  }
  const uint8_t* major = s + 8;
  if (std::memcmp(major, "M4A ", 4) == 0 || std::memcmp(major, "M4B ", 4) == 0) return "M4A";
  std::string_view still = StillBrand(major);
  // A general major brand (iso8, miaf) leaves the kind to the first compatible brand that
  // names one.
  for (uint32_t at = 16; at < box && still.empty(); at += 4) still = StillBrand(s + at);
  return still;
}

std::string_view TodaysHeaderType(const uint8_t* s, uint32_t size) {
  if (structure::IsFlacHeader(s, size)) return "FLAC";
  if (structure::IsMxfHeader(s, size)) return "MXF";
  return {};
}

std::string_view NameTodaysType(const uint8_t* s, uint32_t size, const TRecogniserInputs& inputs) {
  for (const std::string_view type : {TodaysBrandType(s, size), RawTypeByMaker(s, size), TodaysHeaderType(s, size)}) {
    if (!type.empty() && inputs.EnabledDeep(IndexOfFileType(type))) return type;
  }
  return {};
}

}  // namespace snapsalvager
