// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Audio streams of frames: MP3 (with its ID3 tags) and AMR.
#include "carving/StructureChecks/Formats.h"

#include <cstring>

namespace snapsalvager::structure {
namespace {

constexpr uint32_t kMp3Carries = Bit("MP3") | Bit("JPG");

// MP3: an ID3v2 tag, the chain of MPEG audio frames, an ID3v1 tag.
class TMp3Check final : public TStructureCheck {
 public:
  explicit TMp3Check(uint64_t limit) : TStructureCheck(limit, kMp3Carries) { Expect(0, 10); }

  bool Contains(uint64_t offset, int typeIndex, const uint8_t* sector) const override {
    // A frame header that starts a sector at a frame boundary is the next frame.
    if (offset == at_ && frames_ > 0 && sector[0] == 0xFF && Verdict() == TCheckVerdict::GoesOn &&
        typeIndex == IndexOfFileType("MP3")) {
      return true;
    }
    return TStructureCheck::Contains(offset, typeIndex, sector);
  }

 protected:
  // The next frame at a frame boundary, and cover art inside the ID3 tag.
  bool Accounts(uint64_t offset, int typeIndex, const uint8_t* sector) const override {
    if (frames_ == 0) return typeIndex == kJpgIndex;
    return offset == at_ && sector[0] == 0xFF && typeIndex == IndexOfFileType("MP3");
  }

  void OnHead(const uint8_t* h) override {
    if (at_ == 0 && need_ == 10 && std::memcmp(h, "ID3", 3) == 0) {
      uint32_t size = 0;
      for (int i = 6; i < 10; ++i) {
        if (h[i] & 0x80) return Broken();
        size = size << 7 | h[i];
      }
      return Expect(10 + size + ((h[5] & 0x10) ? 10 : 0), 4);
    }
    if (std::memcmp(h, "TAG", 3) == 0) return frames_ > 0 ? EndsOnceFed(at_ + 128) : Broken();
    const uint32_t length = FrameLength(h);
    if (length == 0) {
      if (frames_ == 0) return Broken();
      if (std::memcmp(h, "ID3", 3) == 0) return EndsAt(at_);  // the next file's tag
      return EndOfRun(h, 4);
    }
    ++frames_;
    Expect(at_ + length, 4);
  }

 private:
  static uint32_t FrameLength(const uint8_t* h) {
    if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0) return 0;
    const int version = (h[1] >> 3) & 3;  // 0: MPEG 2.5, 2: MPEG 2, 3: MPEG 1
    const int layer = (h[1] >> 1) & 3;    // 3: I, 2: II, 1: III
    const int rateIndex = h[2] >> 4, sampleIndex = (h[2] >> 2) & 3, padding = (h[2] >> 1) & 1;
    if (version == 1 || layer == 0 || rateIndex == 0 || rateIndex == 15 || sampleIndex == 3) return 0;
    static constexpr uint16_t kRates[2][3][15] = {
        {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
         {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
         {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}},
        {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
         {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
         {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}}};
    static constexpr uint32_t kSampleRates[3] = {44100, 48000, 32000};
    const int lsf = version == 3 ? 0 : 1;  // the half-rate MPEG 2 and 2.5 tables
    const uint32_t rate = kRates[lsf][3 - layer][rateIndex] * 1000u;
    const uint32_t sampleRate = kSampleRates[sampleIndex] >> (version == 3 ? 0 : version == 2 ? 1 : 2);
    if (layer == 3) return (12 * rate / sampleRate + padding) * 4;
    const uint32_t factor = (layer == 1 && lsf) ? 72 : 144;
    return factor * rate / sampleRate + padding;
  }

  uint32_t frames_ = 0;
};

// AMR and AMR-WB storage format: the magic, then frames sized by their table-of-contents byte.
class TAmrCheck final : public TStructureCheck {
 public:
  explicit TAmrCheck(uint64_t limit) : TStructureCheck(limit, 0) { Expect(0, 6); }

 protected:
  void OnHead(const uint8_t* h) override {
    if (magic_) {
      if (std::memcmp(h, "#!AMR\n", 6) == 0) {
        magic_ = false;
        return Expect(6, 1);
      }
      if (need_ == 6 && std::memcmp(h, "#!AMR-", 6) == 0) return More(9);
      if (need_ != 9 || std::memcmp(h, "#!AMR-WB\n", 9) != 0) return Broken();
      magic_ = false;
      wide_ = true;
      return Expect(9, 1);
    }
    static constexpr uint8_t kNarrow[16] = {12, 13, 15, 17, 19, 20, 26, 31, 5, 0, 0, 0, 0, 0, 0, 0};
    static constexpr uint8_t kWide[16] = {17, 23, 32, 36, 40, 46, 50, 58, 60, 5, 0, 0, 0, 0, 0, 0};
    const uint8_t toc = h[0];
    const int type = (toc >> 3) & 0x0F;
    const uint8_t size = wide_ ? kWide[type] : kNarrow[type];
    // A good frame has the quality bit set and no padding bits; zeros are the slack.
    if ((toc & 0x83) != 0 || (toc & 0x04) == 0 || (size == 0 && type != 15)) {
      return frames_ > 0 ? EndOfRun(h, 1) : Broken();
    }
    ++frames_;
    Expect(at_ + 1 + size, 1);
  }

 private:
  bool magic_ = true;
  bool wide_ = false;
  uint32_t frames_ = 0;
};

}  // namespace

std::unique_ptr<TStructureCheck> MakeMp3Check(uint64_t limit) {
  return std::make_unique<TMp3Check>(limit);
}

std::unique_ptr<TStructureCheck> MakeAmrCheck(uint64_t limit) {
  return std::make_unique<TAmrCheck>(limit);
}

}  // namespace snapsalvager::structure
