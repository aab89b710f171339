// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Fuzzes the deep scan's structure checks and recognitions. The first byte picks the
// check's type and the size of the pieces the file is fed in; the rest is the carved file
// (its first 512 bytes the first sector). Each piece lies in its own exact-size buffer, so
// any read past what was fed is caught, and the contract is checked after every piece: a
// verdict once given stays, an end lies within the card, only bytes fed are claimed.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "carving/Signatures.h"
#include "carving/StructureChecks/StructureCheck.h"
#include "carving/StructureChecks/TodaysTypes.h"

using namespace snapsalvager;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  constexpr uint32_t kSector = 512;
  static constexpr std::string_view kTypes[] = {"JPG", "AVI", "WAV", "MOV", "MP4", "3GP", "MTS", "MPG",
                                                "ASF", "MP3", "AMR", "TIF", "NEF", "CR2", "ORF", "RAW",
                                                "CR3", "HEIC", "M4A", "ARW", "RW2", "FLAC", "MXF"};
  if (size < 1 + kSector) return 0;
  const std::string_view type = kTypes[data[0] % std::size(kTypes)];
  const size_t piece = (data[0] & 0x80) ? 1 + data[0] % 97 : kSector;
  const uint8_t* file = data + 1;
  const size_t length = size - 1;
  const uint64_t limit = length + (data[0] & 0x40 ? 0 : 4096);  // sometimes the card ends here

  {
    const std::vector<uint8_t> first(file, file + kSector);
    (void)DetectDeepHeader(first.data(), nullptr, kSector);
    (void)BrandType(first.data(), kSector);
    (void)TodaysBrandType(first.data(), kSector);
    (void)RawTypeByMaker(first.data(), kSector);
    (void)TodaysHeaderType(first.data(), kSector);
    if (length >= 2 * kSector) {
      const std::vector<uint8_t> second(file + kSector, file + 2 * kSector);
      (void)DetectDeepHeader(second.data(), first.data(), kSector);
    }
  }

  const std::vector<uint8_t> first(file, file + kSector);
  (void)ImpossibleStart(type, first.data(), kSector);
  auto check = MakeStructureCheck(type, first.data(), kSector, limit);
  if (!check) return 0;
  TCheckVerdict last = TCheckVerdict::GoesOn;
  for (size_t at = 0; at < length; at += piece) {
    const size_t n = std::min(piece, length - at);
    const std::vector<uint8_t> bytes(file + at, file + at + n);
    const TCheckVerdict v = check->Feed(bytes.data(), bytes.size());
    if (last != TCheckVerdict::GoesOn && v != last) __builtin_trap();
    if (check->Fed() > at + n) __builtin_trap();
    if (v == TCheckVerdict::EndsAt && (check->End() == 0 || check->End() > check->Fed() || check->End() > limit))
      __builtin_trap();
    if (v == TCheckVerdict::GoesOn) {
      const std::vector<uint8_t> sector(file, file + kSector);
      (void)check->Inside(at + n, 1, sector.data());
    }
    last = v;
  }
  const TCheckVerdict v = check->DataEnds();
  if (last != TCheckVerdict::GoesOn && v != last) __builtin_trap();
  if (v == TCheckVerdict::EndsAt && (check->End() == 0 || check->End() > check->Fed())) __builtin_trap();
  return 0;
}
