// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// TIFF and the camera raw files built on it.
#include "carving/StructureChecks/Formats.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "formats/TiffWalk.h"

namespace snapsalvager::structure {
namespace {

constexpr uint64_t kTiffCarries = Bit("JPG") | Bit("TIF") | Bit("NEF") | Bit("CR2") | Bit("DCR") |
                                  Bit("SRF") | Bit("PEF") | Bit("DNG") | Bit("ORF") | Bit("RAW") |
                                  kTodaysRawBits;

// TIFF and TIFF-based raw files: the furthest byte that any IFD, value, strip, tile or
// sub-IFD points at. The IFDs must lie in the file's first kTiffWindow bytes, which are
// kept; any pointer that does not fit leaves the end to the carving rule.
class TTiffCheck final : public TStructureCheck {
 public:
  explicit TTiffCheck(uint64_t limit) : TStructureCheck(limit, kTiffCarries) {
    window_.resize(static_cast<size_t>(std::min<uint64_t>(kTiffWindow, limit)));
    StartScanning();
  }

 protected:
  void OnHead(const uint8_t*) override { Broken(); }

  bool Contains(uint64_t offset, int typeIndex, const uint8_t* sector) const override {
    return found_ && Carries(typeIndex, sector) && offset < end_;
  }

  // The preview, strips and tiles the IFDs point at; anything else inside is unaccounted for.
  // A strip or tile holds image data, never a photo with a JFIF or Exif block: one there
  // was written over the file.
  bool Accounts(uint64_t offset, int typeIndex, const uint8_t* sector) const override {
    const bool photo = typeIndex == kJpgIndex &&
                           (std::memcmp(sector + 6, "Exif", 4) == 0 || std::memcmp(sector + 6, "JFIF", 4) == 0);
    for (uint32_t k = 0; k < itemCount_; ++k) {
      if (items_[k] == offset && (preview_[k] || !photo)) return true;
    }
    return false;
  }

  size_t Scan(const uint8_t* data, size_t length) override {
    const uint64_t fedNow = fed_ + length;
    if (!found_) {
      const size_t take = std::min(length, window_.size() - kept_);
      std::memcpy(window_.data() + kept_, data, take);
      kept_ += take;
      const Result r = Parse();
      if (r == Result::Bad || (r == Result::NeedMore && kept_ == window_.size())) {
        Broken();
        return length;
      }
      found_ = r == Result::Found;
    }
    if (!found_ || end_ >= fedNow) return length;
    if ((end_ & 1) == 0) {
      EndsAt(end_);
      return length;
    }
    // A writer pads an odd-sized file with a zero byte: a zero there followed by more data
    // belongs to the file; a run of zeros is the slack of its last cluster.
    if (end_ >= fed_) padByte_ = data[end_ - fed_];
    if (end_ + 1 < fedNow) EndsAt(end_ + (padByte_ == 0 && data[end_ + 1 - fed_] != 0 ? 1 : 0));
    return length;
  }

  TCheckVerdict OnDataEnds() override {
    if (Verdict() != TCheckVerdict::GoesOn) return Verdict();
    if ((found_ || Parse() == Result::Found) && end_ <= fed_) {
      EndsAt(end_ + (end_ < fed_ && padByte_ == 0 ? 1 : 0));  // the next file follows the pad
      return TCheckVerdict::EndsAt;
    }
    return TCheckVerdict::CannotTell;
  }

 private:
  enum class Result : uint8_t { NeedMore, Bad, Found };
  // Camera raw files keep their IFDs near the start; the image data may lie anywhere.
  static constexpr uint64_t kTiffWindow = 256 * 1024;
  static constexpr uint32_t kMaxEntries = 1000;
  static constexpr uint32_t kTagJpgFromRaw = 0x2E;

  // The IFDs still to read and what the ones read so far point at. Every read counts
  // toward the cap, a repeated one too: a loop fails the check there.
  struct TWalk {
    TIfdTrail Trail;
    int Seen = 0;
    uint64_t Furthest = 8;
    bool ImageData = false;
  };

  Result Parse() {
    itemCount_ = 0;
    if (kept_ < 8) return Result::NeedMore;
    const TTiffView t(window_.data(), kept_);
    if (!t.Ok()) return Result::Bad;
    const uint32_t magic = t.Magic();
    if (magic != 42 && magic != 0x4F52 && magic != 0x5352 && magic != 0x55) return Result::Bad;
    TWalk walk;
    walk.Trail.Push(t.FirstIfd());
    while (!walk.Trail.Empty()) {
      const Result r = ReadIfd(t, walk.Trail.Pop(), walk);
      if (r != Result::Found) return r;
    }
    if (!walk.ImageData) return Result::Bad;
    end_ = walk.Furthest;
    return Result::Found;
  }

  // One IFD: its entries' values, the IFDs it points at, its strips, tiles and preview.
  Result ReadIfd(const TTiffView& t, uint64_t ifd, TWalk& walk) {
    if (ifd < 8 || ++walk.Seen > TIfdTrail::kMaxIfds) return Result::Bad;
    if (ifd + 2 > kept_) return Need(ifd + 2);
    const uint32_t count = t.U16(ifd);
    if (count == 0 || count > kMaxEntries) return Result::Bad;
    const uint64_t ifdEnd = TiffNextPointerAt(ifd, count) + 4;
    if (ifdEnd > kept_) return Need(ifdEnd);
    walk.Furthest = std::max(walk.Furthest, ifdEnd);
    // Where the offsets [0] and the lengths [1] of the strips or tiles [.][0] and of the
    // JPEG preview [.][1] are stored, their counts and value types.
    uint64_t where[2][2] = {};
    uint32_t items[2][2] = {}, types[2][2] = {};
    for (uint32_t e = 0; e < count; ++e) {
      TTiffEntry entry;
      if (!ReadTiffEntry(t, TiffEntryAt(ifd, e), &entry)) return Result::Bad;
      const uint32_t tag = entry.Tag;
      const uint64_t bytes = entry.Bytes, value = entry.Value;
      if (bytes > 4) {
        if (value + bytes > limit_) return Result::Bad;
        walk.Furthest = std::max(walk.Furthest, value + bytes);
      }
      // A Panasonic raw's JpgFromRaw: the embedded JPEG, stored as the tag's own bytes.
      if (tag == kTagJpgFromRaw && entry.Type == 7 && bytes > 4 && itemCount_ < kMaxItems) {
        preview_[itemCount_] = true;
        items_[itemCount_++] = value;
        continue;
      }
      const bool subIfds = tag == kTagExifIfd || tag == kTagGpsIfd || tag == kTagInteropIfd || tag == kTagSubIfds;
      const int pair = (tag == 0x111 || tag == 0x144 || tag == 0x201) ? 0
                       : (tag == 0x117 || tag == 0x145 || tag == 0x202) ? 1 : -1;
      if (!subIfds && pair < 0) continue;
      if (value + bytes > kept_) return Need(value + bytes);
      if (subIfds) {
        if (entry.Type != 4 && entry.Type != 13) return Result::Bad;
        for (uint32_t k = 0; k < entry.Count; ++k) {
          if (!walk.Trail.Push(t.U32(value + 4ull * k))) return Result::Bad;
        }
        continue;
      }
      if (entry.Type != 3 && entry.Type != 4) return Result::Bad;
      const int kind = tag == 0x201 || tag == 0x202;
      where[pair][kind] = value;
      items[pair][kind] = entry.Count;
      types[pair][kind] = entry.Type;
    }
    for (int kind = 0; kind < 2; ++kind) {  // strips or tiles, then the JPEG preview
      if (where[0][kind] == 0 && where[1][kind] == 0) continue;
      if (where[0][kind] == 0 || where[1][kind] == 0 || items[0][kind] != items[1][kind]) return Result::Bad;
      for (uint32_t k = 0; k < items[0][kind]; ++k) {
        const uint64_t at = Item(t, where[0][kind], k, types[0][kind]);
        const uint64_t size = Item(t, where[1][kind], k, types[1][kind]);
        if (at + size > limit_) return Result::Bad;
        walk.Furthest = std::max(walk.Furthest, at + size);
        walk.ImageData = walk.ImageData || size > 0;
        if (size > 0 && itemCount_ < kMaxItems) {
          preview_[itemCount_] = kind == 1;
          items_[itemCount_++] = at;
        }
      }
    }
    const uint32_t next = t.U32(ifdEnd - 4);
    if (next != 0 && !walk.Trail.Push(next)) return Result::Bad;
    return Result::Found;
  }

  static uint64_t Item(const TTiffView& t, uint64_t at, uint32_t k, uint32_t type) {
    return type == 3 ? t.U16(at + 2ull * k) : t.U32(at + 4ull * k);
  }

  Result Need(uint64_t bytes) const {
    return bytes <= window_.size() ? Result::NeedMore : Result::Bad;
  }

  std::vector<uint8_t> window_;
  size_t kept_ = 0;
  bool found_ = false;  // the IFDs were read: the end is known, the bytes up to it follow
  uint8_t padByte_ = 1;  // the byte after an odd end, once fed
  static constexpr uint32_t kMaxItems = 64;
  uint64_t items_[kMaxItems] = {};
  bool preview_[kMaxItems] = {};  // the item is a JPEG preview, not a strip or tile
  uint32_t itemCount_ = 0;
  uint64_t end_ = 0;
};

}  // namespace

std::unique_ptr<TStructureCheck> MakeTiffCheck(uint64_t limit) {
  return std::make_unique<TTiffCheck>(limit);
}

}  // namespace snapsalvager::structure
