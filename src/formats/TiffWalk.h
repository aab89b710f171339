// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The bounded TIFF/IFD walker: a TIFF block in memory read in its own byte order, its IFD
// entries decoded with checked sizes, and the walk over IFD0, its chain and the IFDs its
// pointer tags name, capped in count and reading no IFD twice; and its depth-first flavour for
// the Exif reader, which lists an IFD entry by entry, keeps what it read of an IFD cut short
// and nests the IFDs a pointer names at the pointer. The structure check, the raw kinds, the
// raw previews and the Exif reader take what they need of the IFDs from here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_set>

#include "formats/ByteReaders.h"

namespace snapsalvager {

// The TIFF tags that point at further IFDs.
inline constexpr uint32_t kTagSubIfds = 0x14A;
inline constexpr uint32_t kTagExifIfd = 0x8769;
inline constexpr uint32_t kTagGpsIfd = 0x8825;
inline constexpr uint32_t kTagInteropIfd = 0xA005;

// Bytes of one value of a TIFF field type (1-13); 0 for a type TIFF does not define.
inline uint32_t TiffTypeSize(uint32_t type) {
  static constexpr uint8_t kTypeSize[14] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4};
  return type <= 13 ? kTypeSize[type] : 0;
}

// A TIFF block in memory. Ok when it is at least 8 bytes and starts "II" or "MM"; the reads
// are the caller's to bound with Has.
class TTiffView {
 public:
  TTiffView(const uint8_t* data, size_t size) : d_(data), size_(size) {
    ok_ = size >= 8 && ((d_[0] == 'I' && d_[1] == 'I') || (d_[0] == 'M' && d_[1] == 'M'));
    le_ = ok_ && d_[0] == 'I';
  }
  bool Ok() const { return ok_; }
  bool LittleEndian() const { return le_; }
  bool Has(uint64_t at, uint64_t n) const { return Fits(size_, at, n); }
  uint32_t U16(uint64_t at) const { return le_ ? Le16(d_ + at) : Be16(d_ + at); }
  uint32_t U32(uint64_t at) const { return le_ ? Le32(d_ + at) : Be32(d_ + at); }
  uint32_t Magic() const { return U16(2); }  // 42, or a raw maker's own
  uint32_t FirstIfd() const { return U32(4); }
  const uint8_t* Data() const { return d_; }
  size_t Size() const { return size_; }

 private:
  const uint8_t* d_;
  size_t size_;
  bool ok_ = false;
  bool le_ = false;
};

struct TTiffEntry {
  uint32_t Tag = 0, Type = 0, Count = 0;
  uint64_t Bytes = 0;  // Count values of Type: at most 2^32 * 8, so no add of two wraps
  uint64_t Value = 0;  // where the value lies: in the entry when Bytes <= 4, else its offset
};

// Where entry e of the IFD at ifd lies, and where the pointer to the next IFD does.
inline uint64_t TiffEntryAt(uint64_t ifd, uint32_t e) { return ifd + 2 + 12ull * e; }
inline uint64_t TiffNextPointerAt(uint64_t ifd, uint32_t count) { return ifd + 2 + 12ull * count; }

// Decodes the 12-byte entry at (the caller has checked the bytes are there). False for a
// type TIFF does not define; the entry then holds only its tag, type and count.
inline bool ReadTiffEntry(const TTiffView& t, uint64_t at, TTiffEntry* entry) {
  *entry = TTiffEntry{t.U16(at), t.U16(at + 2), t.U32(at + 4), 0, 0};
  const uint32_t size = TiffTypeSize(entry->Type);
  if (size == 0) return false;
  entry->Bytes = uint64_t{entry->Count} * size;
  entry->Value = entry->Bytes <= 4 ? at + 8 : t.U32(at + 8);
  return true;
}

// The IFDs still to read of one walk and those read: a stack of at most kMaxIfds, so a
// hostile block cannot make the walk long, and a record that tells a revisit (a loop).
template <int MaxIfds>
class TIfdTrailOf {
 public:
  static constexpr int kMaxIfds = MaxIfds;

  // False when the stack is full.
  bool Push(uint64_t ifd) {
    if (pendingCount_ == kMaxIfds) return false;
    pending_[pendingCount_++] = ifd;
    return true;
  }
  bool Empty() const { return pendingCount_ == 0; }
  uint64_t Pop() { return pending_[--pendingCount_]; }
  // Records ifd as read; false when it was read before or kMaxIfds were.
  bool FirstRead(uint64_t ifd) {
    if (readCount_ == kMaxIfds) return false;
    for (int i = 0; i < readCount_; ++i) {
      if (read_[i] == ifd) return false;
    }
    read_[readCount_++] = ifd;
    return true;
  }
  bool ReadAll() const { return readCount_ == kMaxIfds; }

 private:
  uint64_t pending_[kMaxIfds];
  uint64_t read_[kMaxIfds];
  int pendingCount_ = 0;
  int readCount_ = 0;
};

// IFD0, its chain, sub-IFDs and Exif IFDs together: more than any camera writes.
using TIfdTrail = TIfdTrailOf<32>;

// Calls visit(entry, ifd) for every entry of every IFD reached from IFD0: its chain and the
// IFDs its SubIFDs and Exif IFD tags name, each IFD once, at most TIfdTrail::kMaxIfds of
// them. What does not fit the block is passed over: an IFD or entry that does not lie
// whole in it, an entry of an unknown type, an entry whose value does not lie in it.
template <typename Visit>
void WalkTiffIfds(const TTiffView& t, uint32_t maxEntries, Visit visit) {
  if (!t.Ok()) return;
  TIfdTrail trail;
  trail.Push(t.FirstIfd());
  while (!trail.Empty() && !trail.ReadAll()) {
    const uint64_t ifd = trail.Pop();
    if (ifd < 8 || !t.Has(ifd, 2) || !trail.FirstRead(ifd)) continue;
    const uint32_t count = t.U16(ifd);
    if (count == 0 || count > maxEntries || !t.Has(ifd + 2, 12ull * count + 4)) continue;
    for (uint32_t e = 0; e < count; ++e) {
      TTiffEntry entry;
      if (!ReadTiffEntry(t, TiffEntryAt(ifd, e), &entry) || !t.Has(entry.Value, entry.Bytes)) continue;
      const bool pointers = entry.Tag == kTagSubIfds || entry.Tag == kTagExifIfd;
      if (pointers && (entry.Type == 4 || entry.Type == 13)) {
        for (uint32_t k = 0; k < entry.Count && trail.Push(t.U32(entry.Value + 4ull * k)); ++k) {
        }
      }
      visit(entry, ifd);
    }
    const uint32_t next = t.U32(TiffNextPointerAt(ifd, count));
    if (next != 0) trail.Push(next);
  }
}

// The depth-first walk: the IFD at an offset and the chain behind it, entry by entry in
// file order. An IFD fails (Walk returns false) when its offset lies past MaxOffset, when it
// lies deeper than MaxDepth or was walked before (a loop), when the walk's entries pass
// MaxEntries, when its count, an entry or its next pointer does not lie whole in the block,
// when an entry ends past MaxOffset (the next one would start there), when the next pointer
// lies past MaxOffset, or when visit refuses an entry. What visit appended of a failed IFD
// stays. visit(entry, at, depth) sees each entry's tag, type and count (Value holds the raw
// value field: the block reader decides where the values lie) and walks the IFDs its pointer
// tags name by calling Walk at depth + 1. Walk allocates (its record of walked IFDs), so a
// caller that must not throw wraps it.
class TTiffTreeWalk {
 public:
  struct TLimits {
    uint64_t MaxOffset;
    int MaxDepth;
    int64_t MaxEntries;
  };

  TTiffTreeWalk(const TTiffView& t, TLimits limits) : t_(t), limits_(limits) {}

  template <typename Visit>
  bool Walk(uint64_t ifd, int depth, Visit&& visit) {
    for (;; ++depth) {
      if (ifd > limits_.MaxOffset || depth > limits_.MaxDepth) return false;
      if (!walked_.insert(ifd).second) return false;
      if (!t_.Has(ifd, 2)) return false;
      const uint32_t count = t_.U16(ifd);
      for (uint32_t e = 0; e < count; ++e) {
        if (++entries_ > limits_.MaxEntries) return false;
        const uint64_t at = TiffEntryAt(ifd, e);
        if (!t_.Has(at, 12)) return false;
        const TTiffEntry entry{t_.U16(at), t_.U16(at + 2), t_.U32(at + 4), 0, t_.U32(at + 8)};
        if (!visit(entry, at, depth)) return false;
        if (at + 12 > limits_.MaxOffset) return false;
      }
      const uint64_t nextAt = TiffNextPointerAt(ifd, count);
      if (!t_.Has(nextAt, 4)) return false;
      const uint32_t next = t_.U32(nextAt);
      if (next > limits_.MaxOffset) return false;
      if (next == 0) return true;
      ifd = next;
    }
  }

 private:
  const TTiffView& t_;
  TLimits limits_;
  std::unordered_set<uint64_t> walked_;
  int64_t entries_ = 0;
};

}  // namespace snapsalvager
