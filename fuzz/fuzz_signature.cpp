// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Fuzzes DetectFileHeader. The first five bytes choose the recogniser's inputs (29 enable
// flags, the Canon and chosen-video switches, the chosen extension); the rest is a run of
// ten-byte sectors fed in order, each in its own exact-size buffer so that any read past
// byte 9 is caught. Checks the contract on every sector and the state's one-way changes.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "carving/Signatures.h"

using namespace snapsalvager;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  constexpr size_t ConfigBytes = 5, SectorBytes = 10;
  if (size < ConfigBytes) return 0;
  uint32_t flags;
  std::memcpy(&flags, data, sizeof flags);
  TRecogniserInputs inputs;
  // The header table's own rows; every deep-only row is switched on, which must change nothing.
  for (int i = 0; i < kFirstDeepOnlyType - 1; ++i) inputs.FileTypeEnabled[i] = (flags >> i) & 1;
  for (int i = kFirstDeepOnlyType - 1; i < kFileTypeCount; ++i) inputs.FileTypeEnabled[i] = true;
  inputs.IsCanonCamera = (flags >> 29) & 1;
  inputs.UseChosenVideoExt = (flags >> 30) & 1;
  // Mostly the real choices (MP4, 3GP), sometimes any row of the table.
  const std::string_view chosen =
      (flags >> 31) ? FileTypeTable[data[4] % (kFirstDeepOnlyType - 1)] : (data[4] & 1 ? "MP4" : "3GP");
  inputs.ChosenVideoExt = inputs.UseChosenVideoExt ? std::string(chosen) : "MOV";

  TSignatureRecogniser recogniser(inputs);
  if ((data[4] & 0x80) != 0) recogniser.ResetSignatureState();
  std::string type = "stale";
  bool iso = false;
  auto lock = TSignatureRecogniser::MovAtom::None;
  for (size_t offset = ConfigBytes; offset + SectorBytes <= size; offset += SectorBytes) {
    const std::vector<uint8_t> sector(data + offset, data + offset + SectorBytes);
    const bool found = recogniser.DetectFileHeader(sector.data(), type);
    if (found == type.empty()) __builtin_trap();
    if (found && IndexOfFileType(type) == 0) __builtin_trap();
    if (found && IndexOfFileType(type) >= kFirstDeepOnlyType && type != inputs.ChosenVideoExt) __builtin_trap();
    if (found && !inputs.Enabled(IndexOfFileType(type)) && type != inputs.ChosenVideoExt)
      __builtin_trap();
    if (iso && !recogniser.IsoMediaFound()) __builtin_trap();
    if (lock != TSignatureRecogniser::MovAtom::None && recogniser.MovAtomLock() != lock)
      __builtin_trap();
    iso = recogniser.IsoMediaFound();
    lock = recogniser.MovAtomLock();
  }
  return 0;
}
