// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Which raw type a TIFF-structured file is: by its own magic where it has one, else by the
// tags of its first IFD (DNGVersion, Make, the JPEG thumbnail of a Coolpix raw).
#include <algorithm>
#include <cstring>

#include "carving/StructureChecks/Formats.h"
#include "carving/StructureChecks/TodaysTypes.h"
#include "formats/TiffWalk.h"

namespace snapsalvager {
namespace {

constexpr uint32_t kMaxIfd0Entries = 500;

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// The makers whose raw files are plain TIFF structure, and the type each camera writes.
std::string_view TypeOfMaker(std::string_view make, bool panasonicMagic, bool jpegIfd0, bool canonMagic) {
  if (panasonicMagic) return StartsWith(make, "LEICA") ? "RWL" : "RW2";
  if (StartsWith(make, "NIKON")) return jpegIfd0 ? "NRW" : "NEF";
  if (StartsWith(make, "SONY")) return "ARW";
  if (StartsWith(make, "Canon")) return canonMagic ? "CR2" : "";
  if (StartsWith(make, "PENTAX") || StartsWith(make, "RICOH IMAGING")) return "PEF";
  if (StartsWith(make, "OLYMPUS") || StartsWith(make, "OM Digital")) return "ORF";
  if (StartsWith(make, "SAMSUNG")) return "SRW";
  if (StartsWith(make, "Hasselblad")) return "3FR";
  if (StartsWith(make, "Phase One") || StartsWith(make, "Leaf")) return "IIQ";
  if (StartsWith(make, "Kodak") || StartsWith(make, "KODAK") || StartsWith(make, "EASTMAN KODAK")) return "DCR";
  return {};
}

}  // namespace

std::string_view RawTypeByMaker(const uint8_t* s, uint32_t size) {
  if (size < 16) return {};
  const TTiffView t(s, size);
  if (!t.Ok()) return {};
  const uint32_t magic = t.Magic();
  if (magic != 42 && magic != 0x55 && magic != 0x4F52 && magic != 0x5352) return {};
  if (magic == 42 && std::memcmp(s + 8, "IIII", 4) == 0 && t.LittleEndian()) return "IIQ";  // Phase One's own block
  const uint32_t ifd = t.FirstIfd();
  if (ifd < 8 || ifd > size - 2) return {};
  const uint32_t count = t.U16(ifd);
  if (count == 0 || count > kMaxIfd0Entries) return {};
  // A long IFD0 (a DNG's) runs on into the next sector: the entries here still tell.
  const uint32_t inSector = std::min<uint32_t>(count, (size - ifd - 2) / 12);
  std::string_view make;
  bool dng = false, jpegIfd0 = false;
  uint32_t lastTag = 0;
  for (uint32_t e = 0; e < inSector; ++e) {
    const uint64_t at = TiffEntryAt(ifd, e);
    TTiffEntry entry;
    // Writers keep the tags in ascending order; random bytes almost never do.
    if (!ReadTiffEntry(t, at, &entry) || entry.Tag <= lastTag) return {};
    lastTag = entry.Tag;
    if (entry.Tag == 0xC612) dng = true;
    if (entry.Tag == 0x103 && entry.Type == 3 && entry.Count == 1 && t.U16(at + 8) == 6) jpegIfd0 = true;
    if (entry.Tag == 0x10F && entry.Type == 2 && entry.Count > 0 && entry.Count < 64) {
      if (!t.Has(entry.Value, entry.Bytes)) continue;  // beyond this sector: the maker is not told
      make = std::string_view(reinterpret_cast<const char*>(s + entry.Value), entry.Count);
      while (!make.empty() && (make.back() == '\0' || make.back() == ' ')) make.remove_suffix(1);
    }
  }
  if (dng) return "DNG";
  if (magic == 0x4F52 || magic == 0x5352) return "ORF";
  const bool canonMagic = s[8] == 'C' && s[9] == 'R';
  return TypeOfMaker(make, magic == 0x55, jpegIfd0, canonMagic);
}

}  // namespace snapsalvager
