// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Signature recognition: names the file type whose header starts a sector, from the first
// ten bytes only. The inputs come from the scan options; the state lives one scan.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "formats/FileTypes.h"

namespace snapsalvager {

// The fixed, ordered table of file types; a type's 1-based row is its index everywhere. It is
// the Ext column of the descriptor table (formats/FileTypes.h), where each type's header
// rows, structure check, size cap and photo kind live. The rows from kFirstDeepOnlyType on
// are named only by a deep scan's structure tests: no header test yields them.
inline constexpr std::array<std::string_view, kFileTypeCount> FileTypeTable = [] {
  std::array<std::string_view, kFileTypeCount> table{};
  for (int i = 0; i < kFileTypeCount; ++i) table[i] = kFileTypes[i].Ext;
  return table;
}();
inline constexpr int kFirstDeepOnlyType = 30;
static_assert([] {
  for (int i = 0; i < kFileTypeCount; ++i) {
    if (kFileTypes[i].DeepOnly != (i + 1 >= kFirstDeepOnlyType)) return false;
  }
  return true;
}());

// 1-based row of the type whose text equals ext exactly (case-sensitive); 0 when none.
int IndexOfFileType(std::string_view ext);

// What the scan options decide: which types are sought and the video and camera rules.
struct TRecogniserInputs {
  std::array<bool, kFileTypeCount> FileTypeEnabled{};  // [index - 1]
  bool IsCanonCamera = false;
  bool UseChosenVideoExt = false;
  std::string ChosenVideoExt;  // "MOV" unless UseChosenVideoExt

  // Types a deep scan also names, from the same ticked kinds (the deep-only rows, and the
  // raw types it tells by maker); the header tests never look at them.
  std::array<bool, kFileTypeCount> DeepTypeEnabled{};  // [index - 1]

  bool Enabled(int index) const { return index >= 1 && index <= kFileTypeCount && FileTypeEnabled[index - 1]; }
  bool EnabledDeep(int index) const {
    return Enabled(index) || (index >= 1 && index <= kFileTypeCount && DeepTypeEnabled[index - 1]);
  }
  void Enable(std::string_view ext);  // no-op for a type not in the table
};

// One scan's recogniser: the inputs (copied at construction, read-only afterwards) and the
// two pieces of state that carry from sector to sector. Used by one thread.
class TSignatureRecogniser {
 public:
  enum class MovAtom : uint8_t { None, Pnot, Moov, Mdat, Junk, Skip, Wide, Pict, Ftyp };

  explicit TSignatureRecogniser(const TRecogniserInputs& inputs);
  ~TSignatureRecogniser();
  TSignatureRecogniser(const TSignatureRecogniser& other);
  TSignatureRecogniser& operator=(const TSignatureRecogniser& other);
  TSignatureRecogniser(TSignatureRecogniser&&) noexcept;
  TSignatureRecogniser& operator=(TSignatureRecogniser&&) noexcept;

  void ResetSignatureState();
  // sector holds at least 10 bytes. Returns true with type set to the extension text when
  // a known header starts at byte 0; false with type empty otherwise. Never allocates
  // beyond setting a three-letter text, never copies the sector.
  bool DetectFileHeader(const uint8_t* sector, std::string& type);

  const TRecogniserInputs& Inputs() const { return inputs_; }
  bool IsoMediaFound() const { return iso_media_found_; }
  MovAtom MovAtomLock() const { return mov_atom_lock_; }
  // Sets the two pieces of state as an interrupted scan had them.
  void RestoreSignatureState(bool isoMediaFound, MovAtom lock) {
    iso_media_found_ = isoMediaFound;
    mov_atom_lock_ = lock;
  }

 private:
  struct TCompiled;  // the enabled header tests, flattened at construction
  bool QuickTimeAtomTest(uint64_t lo, uint16_t hi, std::string& type);

  TRecogniserInputs inputs_;
  bool iso_media_found_ = false;
  MovAtom mov_atom_lock_ = MovAtom::None;
  std::unique_ptr<TCompiled> compiled_;
};

// Deep-scan recognitions, tried only when deep mode is on, each with a guard against chance
// matches in other data. sector holds sectorSize bytes (at least 512).
//
// The type a QuickTime or ISO file-type box names by its own major brand: "MOV" for "qt  ",
// "3GP" for "3g..", "MP4" for the ISO and MPEG-4 brands; empty when the sector does not
// start with a well-formed "ftyp" box or the brand is not known.
std::string_view BrandType(const uint8_t* sector, uint32_t sectorSize);
// A JPEG that starts with another segment than APP0/APP1 (a quantisation or Huffman table,
// a frame header, a comment, APP2-APP15) whose segments in the sector check out: "JPG".
// An MPEG transport stream of 188- or 192-byte packets, whatever its first packet, when the
// sector starts a packet and does not continue a packet run of previous (the sector before,
// or null): "MTS". Otherwise empty.
std::string_view DetectDeepHeader(const uint8_t* sector, const uint8_t* previous, uint32_t sectorSize);

}  // namespace snapsalvager
