// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// What the format walkers share: the file-type bits a container may carry,
// and one maker per format family for the factory. Internal to the structure checks.
#pragma once

#include <bit>
#include <cstdint>
#include <memory>
#include <string_view>

#include "carving/Signatures.h"
#include "formats/FileTypes.h"
#include "formats/ByteReaders.h"
#include "carving/StructureChecks/StructureCheck.h"

namespace snapsalvager::structure {

constexpr int kJpgIndex = 1;
static_assert(FileTypeTable[kJpgIndex - 1] == "JPG");
constexpr int kMp3Index = 18;
static_assert(FileTypeTable[kMp3Index - 1] == "MP3");

// The bit of a FileTypeTable row in a check's carried types: what a container may hold at
// a sector start without it being a file of its own.
constexpr uint64_t Bit(std::string_view type) {
  static_assert(kFileTypeCount < 64);
  for (int i = 0; i < kFileTypeCount; ++i) {
    if (FileTypeTable[i] == type) return uint64_t{1} << (i + 1);
  }
  return 0;
}

constexpr int kTifIndex = std::countr_zero(Bit("TIF"));
static_assert(FileTypeTable[kTifIndex - 1] == "TIF");

// The TIFF-based raw types a deep scan names by maker, beyond the header-tested ones.
constexpr uint64_t kTodaysRawBits = [] {
  uint64_t bits = 0;
  for (const TFileTypeDescriptor& row : kFileTypes) {
    if (row.DeepOnly && row.MakerNamed) bits |= Bit(row.Ext);
  }
  return bits;
}();

std::unique_ptr<TStructureCheck> MakeJpegCheck(uint64_t limit);
std::unique_ptr<TStructureCheck> MakeRiffCheck(uint64_t limit, bool avi);
// stillImage: a HEIF-family photo, placed by its meta box where a movie has its moov.
std::unique_ptr<TStructureCheck> MakeIsoCheck(uint64_t limit, bool stillImage = false);
std::unique_ptr<TStructureCheck> MakeProgramStreamCheck(uint64_t limit);
// packet: 188, or 192 with a time stamp before each packet.
std::unique_ptr<TStructureCheck> MakeTransportStreamCheck(uint64_t limit, uint32_t packet);
std::unique_ptr<TStructureCheck> MakeAsfCheck(uint64_t limit);
std::unique_ptr<TStructureCheck> MakeMp3Check(uint64_t limit);
std::unique_ptr<TStructureCheck> MakeAmrCheck(uint64_t limit);
std::unique_ptr<TStructureCheck> MakeTiffCheck(uint64_t limit);
std::unique_ptr<TStructureCheck> MakeFlacCheck(uint64_t limit);
std::unique_ptr<TStructureCheck> MakeMxfCheck(uint64_t limit);

}  // namespace snapsalvager::structure
