// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// JPEG: the marker chain, the entropy-coded scans, the images an MPF index adds.
#include "carving/StructureChecks/Formats.h"

#include <algorithm>
#include <cstring>

namespace snapsalvager::structure {
namespace {

constexpr uint32_t kJpegCarries = Bit("JPG");

// JPEG: the marker segments, the entropy-coded data of each scan, the EOI of the primary
// image; secondary images that an APP2 MPF index announces extend the file.
class TJpegCheck final : public TStructureCheck {
 public:
  explicit TJpegCheck(uint64_t limit) : TStructureCheck(limit, kJpegCarries) { Expect(0, 2); }

  bool Contains(uint64_t offset, int typeIndex, const uint8_t* sector) const override {
    if (phase_ == Phase::Secondary && Verdict() == TCheckVerdict::GoesOn) {
      return typeIndex == IndexOfFileType("JPG") && offset < mpfEnd_;
    }
    return TStructureCheck::Contains(offset, typeIndex, sector);
  }

  bool EntropyBreak(uint64_t& at) const override {
    if (broke_) {
      at = breakAt_;
      return true;
    }
    // A marker in the entropy-coded data that led into segments that cannot be: foreign data
    // from that marker's sector on.
    if (!resumedFromScan_ || phase_ != Phase::Marker || Verdict() != TCheckVerdict::CannotTell) return false;
    at = resumedAt_;
    return true;
  }

 protected:
  // The images an MPF index names; anything else inside the photo is unaccounted for.
  bool Accounts(uint64_t offset, int, const uint8_t*) const override {
    for (uint32_t k = 0; k < mpfCount_; ++k) {
      if (mpfStarts_[k] == offset) return true;
    }
    return false;
  }

  void OnHead(const uint8_t* h) override {
    switch (phase_) {
      case Phase::Soi:
        if (h[0] != 0xFF || h[1] != 0xD8) return Broken();
        phase_ = Phase::Marker;
        return Expect(2, 4);
      case Phase::Marker: return OnMarker(h);
      case Phase::Mpf:
        ReadMpf(h, need_);
        phase_ = Phase::Marker;
        return Expect(at_ + 2 + Be16(h + 2), 4);
      case Phase::EnterScan:
        prevFF_ = h[0] == 0xFF;
        inEntropy_ = true;
        resumedFromScan_ = false;
        nextRestart_ = 0;
        return StartScanning();
      case Phase::Secondary:
        if (h[0] != 0xFF || h[1] != 0xD8) return Broken();
        return EndsOnceFed(mpfEnd_);
    }
  }

  size_t Scan(const uint8_t* data, size_t length) override {
    if (fed_ % kBreakSector == 0 && length >= kBreakSector && ForeignSector(data)) {
      BreakAt(fed_);
      return 0;
    }
    for (size_t k = 0; k < length; ++k) {
      if (!prevFF_) {
        const void* ff = std::memchr(data + k, 0xFF, length - k);
        if (ff == nullptr) return length;
        k = static_cast<size_t>(static_cast<const uint8_t*>(ff) - data);
        prevFF_ = true;
        continue;
      }
      const uint8_t b = data[k];
      if (b == 0xFF) continue;  // fill bytes before a marker
      prevFF_ = false;
      const uint64_t marker = fed_ + k - 1;
      if (b == 0x00) continue;  // stuffed byte
      if (b >= 0xD0 && b <= 0xD7) {
        // Restart markers count 0 to 7 over and over: one out of turn is another photo's.
        if (b - 0xD0 != nextRestart_) {
          BreakAt(marker / kBreakSector * kBreakSector);
          return k + 1;
        }
        nextRestart_ = (nextRestart_ + 1) & 7;
        continue;
      }
      if (b == 0xD9) {
        PrimaryEnds(marker + 2);
        return k + 1;
      }
      // Between the scans of a progressive or multi-scan image: tables, the next scan.
      if (b == 0xC4 || b == 0xDA || b == 0xDB || b == 0xDD || b == 0xDC || b == 0xFE ||
          (b >= 0xE0 && b <= 0xEF)) {
        const uint8_t bytes[2] = {0xFF, b};
        phase_ = Phase::Marker;
        inEntropy_ = false;
        resumedFromScan_ = true;
        resumedAt_ = marker / kBreakSector * kBreakSector;
        ResumeAt(marker, bytes, 2, 4);
        return k + 1;
      }
      // An SOI or a stray marker: another file overwrote this one, or the photo goes on
      // elsewhere.
      BreakAt(marker / kBreakSector * kBreakSector);
      return k + 1;
    }
    return length;
  }

 private:
  enum class Phase : uint8_t { Soi, Marker, Mpf, EnterScan, Secondary };

  // Split photos: the sector size the break is placed on, and the data that cannot be
  // entropy-coded: zeros or text (a real sector of it has about half its bytes 0x80 or more).
  // A sector with an FF is left to the marker scan: it may hold the EOI and then slack.
  static constexpr uint64_t kBreakSector = 512;
  static bool ForeignSector(const uint8_t* s) {
    int high = 0;
    for (uint64_t i = 0; i < kBreakSector; ++i) {
      high += s[i] >> 7;
      if (high >= 8) return false;  // entropy data gets here within a few dozen bytes
    }
    return std::memchr(s, 0xFF, kBreakSector) == nullptr;
  }
  void BreakAt(uint64_t at) {
    if (inEntropy_ && !broke_) {
      broke_ = true;
      breakAt_ = at;
    }
    Broken();
  }
  // The data stopped (a header followed) inside the entropy-coded data.
  TCheckVerdict OnDataEnds() override {
    if (inEntropy_ && !broke_) {
      broke_ = true;
      breakAt_ = fed_;
    }
    return TCheckVerdict::CannotTell;
  }

  void OnMarker(const uint8_t* h) {
    if (h[0] != 0xFF) return Broken();
    const uint8_t m = h[1];
    if (m == 0xFF) return Expect(at_ + 1, 4);  // fill byte
    if (m == 0xD9) return scanSeen_ ? PrimaryEnds(at_ + 2) : Broken();
    if (m == 0x00 || m == 0x01 || (m >= 0xD0 && m <= 0xD8)) return Broken();
    const uint32_t length = Be16(h + 2);
    if (length < 2) return Broken();
    const uint64_t next = at_ + 2 + length;
    if (m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC) frame_ = true;
    if (m == 0xDA) {
      if (!frame_) return Broken();
      scanSeen_ = true;
      phase_ = Phase::EnterScan;
      return Expect(next, 1);
    }
    if (m == 0xE2 && length >= 16) {
      phase_ = Phase::Mpf;
      return More(std::min<uint32_t>(2 + length, kMaxHead));
    }
    Expect(next, 4);
  }

  // APP2 "MPF": an MP index whose entries give each image's size and offset from the
  // index's own TIFF header. Anything unreadable leaves the end to the carving rule.
  void ReadMpf(const uint8_t* h, uint32_t n) {
    if (n < 16 || std::memcmp(h + 4, "MPF\0", 4) != 0) return;
    mpfUnknown_ = true;
    const uint8_t* tiff = h + 8;
    const uint32_t size = n - 8;
    const bool le = tiff[0] == 'I' && tiff[1] == 'I';
    if (!le && !(tiff[0] == 'M' && tiff[1] == 'M')) return;
    auto u16 = [&](uint32_t o) { return le ? Le16(tiff + o) : Be16(tiff + o); };
    auto u32 = [&](uint32_t o) { return le ? Le32(tiff + o) : Be32(tiff + o); };
    const uint32_t ifd = u32(4);
    if (ifd > size || size - ifd < 2) return;
    const uint32_t count = u16(ifd);
    if (count > (size - ifd - 2) / 12) return;
    const uint64_t base = at_ + 8;
    for (uint32_t e = 0; e < count; ++e) {
      const uint32_t entry = ifd + 2 + 12 * e;
      if (u16(entry) != 0xB002) continue;
      const uint32_t bytes = u32(entry + 4), where = u32(entry + 8);
      if (bytes % 16 != 0 || where > size || bytes > size - where) return;
      uint64_t first = UINT64_MAX, end = 0;
      mpfCount_ = 0;
      for (uint32_t k = 1; k < bytes / 16; ++k) {  // entry 0 is the primary image
        const uint32_t imageSize = u32(where + 16 * k + 4), imageAt = u32(where + 16 * k + 8);
        if (imageSize == 0 || imageAt == 0) return;
        first = std::min(first, base + imageAt);
        end = std::max(end, base + imageAt + imageSize);
        if (mpfCount_ < kMaxMpfImages) mpfStarts_[mpfCount_++] = base + imageAt;
      }
      if (end > limit_) return;
      mpfFirst_ = first;
      mpfEnd_ = end;
      mpfUnknown_ = false;
      return;
    }
  }

  void PrimaryEnds(uint64_t end) {
    StopScanning();
    inEntropy_ = false;
    if (mpfUnknown_) return Broken();
    if (mpfEnd_ <= end) return EndsAt(end);
    if (mpfFirst_ < end) return Broken();
    phase_ = Phase::Secondary;
    Expect(mpfFirst_, 2);
  }

  Phase phase_ = Phase::Soi;
  bool frame_ = false;
  bool scanSeen_ = false;
  bool prevFF_ = false;
  bool inEntropy_ = false;
  uint8_t nextRestart_ = 0;
  bool resumedFromScan_ = false;  // the marker chain goes on after a scan
  uint64_t resumedAt_ = 0;
  bool broke_ = false;
  uint64_t breakAt_ = 0;
  bool mpfUnknown_ = false;
  uint64_t mpfFirst_ = 0;
  uint64_t mpfEnd_ = 0;
  static constexpr uint32_t kMaxMpfImages = 8;
  uint64_t mpfStarts_[kMaxMpfImages] = {};
  uint32_t mpfCount_ = 0;
};

}  // namespace

std::unique_ptr<TStructureCheck> MakeJpegCheck(uint64_t limit) {
  return std::make_unique<TJpegCheck>(limit);
}

}  // namespace snapsalvager::structure
