// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The structure-check registry: which check follows a file of each family (the family is
// the type's descriptor's), and which first sectors the family rules out.
#include <cstring>
#include <iterator>

#include "carving/StructureChecks/Formats.h"

namespace snapsalvager {
namespace {

// An ASF header object: a sane size, and a File Properties object among the child objects
// that lie in the first sector (when the walk leaves the sector first, it cannot tell).
bool ImpossibleAsf(const uint8_t* s, uint32_t size) {
  static constexpr uint8_t kHeader[16] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                          0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
  static constexpr uint8_t kFileProperties[16] = {0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11,
                                                  0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
  constexpr uint64_t kMaxHeader = 64 << 20;
  if (std::memcmp(s, kHeader, 16) != 0) return true;
  const uint64_t header = Le64(s + 16);
  if (header < 30 + 24 || header > kMaxHeader || Le32(s + 24) == 0) return true;
  for (uint64_t at = 30; at + 24 <= size; ) {
    if (at + 24 > header) return true;  // the children ended without File Properties
    const uint64_t object = Le64(s + at + 16);
    if (object < 24 || object > header - at) return true;
    if (std::memcmp(s + at, kFileProperties, 16) == 0) return false;
    at += object;
  }
  return false;
}

// A RIFF with room for a chunk, and a first chunk with a name and a size that fits.
bool ImpossibleRiff(const uint8_t* s) {
  const uint64_t riff = Le32(s + 4);
  // A recorder that lost power before writing the sizes leaves them 0.
  if (riff == 0 && std::memcmp(s + 8, "WAVEfmt ", 8) == 0) return false;
  if (std::memcmp(s, "RIFF", 4) != 0 || riff < 4 + 8 || !Printable4(s + 8)) return true;
  return !Printable4(s + 12) || 4 + 8 + uint64_t{Le32(s + 16)} > riff;
}

// An ISO file's first box: one a camera writes first, of a size that can be.
bool ImpossibleIsoBox(const uint8_t* s) {
  const uint32_t size = Be32(s);
  if (std::memcmp(s + 4, "ftyp", 4) == 0) return size < 16 || size > 4096;
  static constexpr const char* kFirst[] = {"moov", "mdat", "free", "skip", "wide", "pnot", "junk", "pict", "PICT", "uuid"};
  for (const char* t : kFirst) {
    if (std::memcmp(s + 4, t, 4) == 0) return size != 0 && size < 8 && !(size == 1 && Be64(s + 8) >= 16);
  }
  return true;
}

std::unique_ptr<TStructureCheck> MakeTransportOrIso(const uint8_t* first, uint64_t limit) {
  if (std::memcmp(first + 4, "ftyp", 4) == 0) return structure::MakeIsoCheck(limit);
  if (first[0] == 0x47 && first[188] == 0x47) return structure::MakeTransportStreamCheck(limit, 188);
  if (first[4] == 0x47 && first[196] == 0x47) return structure::MakeTransportStreamCheck(limit, 192);
  return nullptr;
}

// One row per family, in TCheckFamily's order: the maker (given the first sector, at least
// 400 bytes) and the test of a first sector no file of the family starts with.
struct TFamilyEntry {
  TCheckFamily Family;
  std::unique_ptr<TStructureCheck> (*Make)(const uint8_t* first, uint64_t limit);
  bool (*Impossible)(const uint8_t* first, uint32_t sectorSize);
};

constexpr TFamilyEntry kRegistry[] = {
    {TCheckFamily::None, nullptr, nullptr},
    {TCheckFamily::Jpeg, [](const uint8_t*, uint64_t limit) { return structure::MakeJpegCheck(limit); }, nullptr},
    {TCheckFamily::Avi, [](const uint8_t*, uint64_t limit) { return structure::MakeRiffCheck(limit, true); },
     [](const uint8_t* s, uint32_t) { return ImpossibleRiff(s); }},
    {TCheckFamily::Wav, [](const uint8_t*, uint64_t limit) { return structure::MakeRiffCheck(limit, false); },
     [](const uint8_t* s, uint32_t) { return ImpossibleRiff(s); }},
    {TCheckFamily::IsoMovie, [](const uint8_t*, uint64_t limit) { return structure::MakeIsoCheck(limit); },
     [](const uint8_t* s, uint32_t) { return ImpossibleIsoBox(s); }},
    {TCheckFamily::IsoMedia, [](const uint8_t*, uint64_t limit) { return structure::MakeIsoCheck(limit); }, nullptr},
    {TCheckFamily::IsoStill, [](const uint8_t*, uint64_t limit) { return structure::MakeIsoCheck(limit, true); },
     nullptr},
    {TCheckFamily::ProgramStream, [](const uint8_t*, uint64_t limit) { return structure::MakeProgramStreamCheck(limit); },
     nullptr},
    {TCheckFamily::TransportStream, MakeTransportOrIso, nullptr},
    {TCheckFamily::Asf, [](const uint8_t*, uint64_t limit) { return structure::MakeAsfCheck(limit); }, ImpossibleAsf},
    {TCheckFamily::Mp3, [](const uint8_t*, uint64_t limit) { return structure::MakeMp3Check(limit); }, nullptr},
    {TCheckFamily::Amr, [](const uint8_t*, uint64_t limit) { return structure::MakeAmrCheck(limit); }, nullptr},
    {TCheckFamily::Tiff, [](const uint8_t*, uint64_t limit) { return structure::MakeTiffCheck(limit); }, nullptr},
    {TCheckFamily::Flac, [](const uint8_t*, uint64_t limit) { return structure::MakeFlacCheck(limit); }, nullptr},
    {TCheckFamily::Mxf, [](const uint8_t*, uint64_t limit) { return structure::MakeMxfCheck(limit); }, nullptr},
};
static_assert(std::size(kRegistry) == kCheckFamilyCount);
static_assert([] {
  for (int i = 0; i < kCheckFamilyCount; ++i) {
    if (static_cast<int>(kRegistry[i].Family) != i) return false;
  }
  return true;
}(), "the registry's rows follow TCheckFamily");

const TFamilyEntry& FamilyOf(std::string_view type) {
  const TFileTypeDescriptor* d = FileTypeOf(type);
  return kRegistry[static_cast<int>(d != nullptr ? d->Check : TCheckFamily::None)];
}

}  // namespace

bool ImpossibleStart(std::string_view type, const uint8_t* first, uint32_t sectorSize) {
  if (first == nullptr || sectorSize < 400) return false;
  const TFamilyEntry& family = FamilyOf(type);
  return family.Impossible != nullptr && family.Impossible(first, sectorSize);
}

std::unique_ptr<TStructureCheck> MakeStructureCheck(std::string_view type, const uint8_t* first,
                                                    uint32_t sectorSize, uint64_t limit) {
  if (first == nullptr || sectorSize < 400) return nullptr;
  const TFamilyEntry& family = FamilyOf(type);
  return family.Make != nullptr ? family.Make(first, limit) : nullptr;
}

}  // namespace snapsalvager
