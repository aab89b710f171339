// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// FLAC: the metadata blocks, then the audio frames to the last sample STREAMINFO counts.
#include <algorithm>
#include <array>
#include <cstring>

#include "carving/StructureChecks/Formats.h"
#include "carving/StructureChecks/TodaysTypes.h"

namespace snapsalvager::structure {
namespace {

constexpr uint64_t kFlacCarries = Bit("JPG");  // cover art in a PICTURE block

// STREAMINFO as it follows "fLaC" and its block header: block sizes, frame sizes, rate,
// channels, bits and the total of samples.
struct TStreamInfo {
  uint32_t MinBlock, MaxBlock, MinFrame, MaxFrame, Rate, Channels, Bits;
  uint64_t Samples;
};

TStreamInfo ReadStreamInfo(const uint8_t* p) {
  TStreamInfo i;
  i.MinBlock = Be16(p);
  i.MaxBlock = Be16(p + 2);
  i.MinFrame = Be32(p + 3) & 0xFFFFFF;
  i.MaxFrame = Be32(p + 6) & 0xFFFFFF;
  i.Rate = Be32(p + 10) >> 12;
  i.Channels = ((p[12] >> 1) & 7) + 1;
  i.Bits = ((p[12] & 1) << 4 | p[13] >> 4) + 1;
  i.Samples = uint64_t{p[13] & 0x0Fu} << 32 | Be32(p + 14);
  return i;
}

bool Sound(const TStreamInfo& i) {
  return i.MinBlock >= 16 && i.MaxBlock >= i.MinBlock && i.Rate > 0 && i.Rate <= 655350 && i.Bits >= 4 &&
         (i.MaxFrame == 0 || i.MinFrame <= i.MaxFrame);
}

uint8_t Crc8(const uint8_t* p, uint32_t n) {
  uint8_t crc = 0;
  for (uint32_t i = 0; i < n; ++i) {
    crc ^= p[i];
    for (int k = 0; k < 8; ++k) crc = static_cast<uint8_t>(crc & 0x80 ? crc << 1 ^ 0x07 : crc << 1);
  }
  return crc;
}

// Every byte of the audio passes through the frame CRC: a table keeps it at card speed.
constexpr auto kCrc16Table = [] {
  std::array<uint16_t, 256> table{};
  for (uint32_t b = 0; b < 256; ++b) {
    uint16_t crc = static_cast<uint16_t>(b << 8);
    for (int k = 0; k < 8; ++k) crc = static_cast<uint16_t>(crc & 0x8000 ? crc << 1 ^ 0x8005 : crc << 1);
    table[b] = crc;
  }
  return table;
}();

uint16_t Crc16Step(uint16_t crc, uint8_t byte) {
  return static_cast<uint16_t>(crc << 8 ^ kCrc16Table[(crc >> 8 ^ byte) & 0xFF]);
}

// A frame header: its number (frame or first sample), the samples it holds; false when the
// bytes are none.
constexpr uint32_t kMaxFrameHeader = 16;

bool ReadFrameHeader(const uint8_t* h, bool variable, uint64_t* number, uint32_t* samples) {
  if (h[0] != 0xFF || (h[1] & 0xFE) != 0xF8 || (h[1] & 1) != (variable ? 1 : 0)) return false;
  const uint32_t sizeCode = h[2] >> 4, rateCode = h[2] & 0x0F;
  if (sizeCode == 0 || rateCode == 15 || (h[3] >> 4) > 10 || ((h[3] >> 1) & 7) == 3 || (h[3] & 1)) return false;
  // The number, UTF-8 coded.
  uint32_t at = 4, extra = 0;
  uint64_t value = h[4];
  if (h[4] >= 0x80) {
    if (h[4] < 0xC0 || h[4] == 0xFF) return false;
    for (uint8_t lead = h[4] << 1; lead & 0x80; lead = static_cast<uint8_t>(lead << 1)) ++extra;
    if (extra > (variable ? 6u : 5u)) return false;
    value = h[4] & (0x3F >> extra);
    for (uint32_t k = 1; k <= extra; ++k) {
      if ((h[4 + k] & 0xC0) != 0x80) return false;
      value = value << 6 | (h[4 + k] & 0x3F);
    }
  }
  at += 1 + extra;
  uint32_t block = 0;
  if (sizeCode == 1) block = 192;
  else if (sizeCode <= 5) block = 576u << (sizeCode - 2);
  else if (sizeCode == 6) block = h[at++] + 1u;
  else if (sizeCode == 7) { block = Be16(h + at) + 1u; at += 2; }
  else block = 256u << (sizeCode - 8);
  if (rateCode == 12) at += 1;
  if (rateCode == 13 || rateCode == 14) at += 2;
  if (at >= kMaxFrameHeader || Crc8(h, at) != h[at]) return false;
  *number = value;
  *samples = block;
  return true;
}

// The frames carry no length: each ends where the CRC-16 of its bytes comes out right, and
// the next frame header (with the next number) confirms it. The last frame, the one that
// reaches STREAMINFO's sample count, ends at its own CRC.
class TFlacCheck final : public TStructureCheck {
 public:
  explicit TFlacCheck(uint64_t limit) : TStructureCheck(limit, kFlacCarries) { Expect(0, 42); }

 protected:
  void OnHead(const uint8_t* h) override {
    if (at_ == 0) {
      if (std::memcmp(h, "fLaC", 4) != 0 || (h[4] & 0x7F) != 0 || Be32(h + 4) % 0x1000000 != 34) return Broken();
      info_ = ReadStreamInfo(h + 8);
      if (!Sound(info_)) return Broken();
      return NextBlock(h[4], 4 + 4 + 34);
    }
    if ((h[0] & 0x7F) == 127) return Broken();
    NextBlock(h[0], at_ + 4 + (Be32(h) & 0xFFFFFF));
  }

  size_t Scan(const uint8_t* d, size_t n) override {
    for (size_t i = 0; i < n; ++i) {
      const uint64_t pos = fed_ + i;
      if (pos < frames_) continue;  // the rest of the last metadata block
      ring_[pos % kRing] = d[i];
      if (frameStart_ != 0) {
        crc_ = Crc16Step(crc_, d[i]);
        const uint64_t length = pos + 1 - frameStart_;
        if (crc_ == 0 && length >= std::max<uint32_t>(info_.MinFrame, 8)) {
          if (last_) {
            EndsAt(pos + 1);
            return i + 1;
          }
          // A possible end; a CRC whose last byte is 0x00 comes out right one byte early
          // too, so every candidate waits for its own header.
          if (count_ < kMaxPending) pending_[count_++] = pos + 1;
        }
        if (length > (info_.MaxFrame != 0 ? info_.MaxFrame : kMaxFrame) && count_ == 0) {
          Broken();
          return i + 1;
        }
      }
      if (count_ != 0 && pos + 1 == pending_[0] + kMaxFrameHeader && !StartFrame(pos)) return i + 1;
    }
    return n;
  }

 private:
  static constexpr uint32_t kRing = 32;
  static constexpr uint32_t kMaxFrame = 1 << 24;  // the largest size STREAMINFO can state
  // Candidates wait 16 bytes for their header: at most one per byte of that span, and the
  // one just found.
  static constexpr uint32_t kMaxPending = kMaxFrameHeader + 1;

  void NextBlock(uint8_t header, uint64_t next) {
    if ((header & 0x80) == 0) return Expect(next, 4);
    if (next > limit_) return Broken();
    frames_ = next;
    pending_[0] = next;
    count_ = 1;
    StartScanning();
  }

  // The header of the oldest candidate is whole in the ring (its last byte at pos): a next
  // frame, or a false end inside the current one.
  bool StartFrame(uint64_t pos) {
    const uint64_t start = pending_[0];
    std::copy(pending_ + 1, pending_ + count_, pending_);
    --count_;
    uint8_t h[kMaxFrameHeader];
    for (uint32_t k = 0; k < kMaxFrameHeader; ++k) h[k] = ring_[(start + k) % kRing];
    const bool variable = info_.MinBlock != info_.MaxBlock;
    uint64_t number = 0;
    uint32_t samples = 0;
    if (!ReadFrameHeader(h, variable, &number, &samples) || number != next_) {
      if (frameStart_ != 0) return true;  // a chance CRC match inside the frame: it goes on
      Broken();                           // no first frame where the metadata ends
      return false;
    }
    frameStart_ = start;
    count_ = 0;  // later candidates lie inside the new frame's header
    crc_ = 0;
    for (uint64_t p = start; p <= pos; ++p) crc_ = Crc16Step(crc_, ring_[p % kRing]);
    const uint64_t first = variable ? number : number * info_.MaxBlock;
    next_ = variable ? number + samples : number + 1;
    last_ = info_.Samples != 0 && first + samples >= info_.Samples;
    return true;
  }

  TStreamInfo info_{};
  uint64_t frames_ = 0;      // where the first frame starts
  uint64_t frameStart_ = 0;  // the frame being read; 0 before the first
  uint64_t pending_[kMaxPending] = {};  // possible frame ends, oldest first, whose headers
  uint32_t count_ = 0;                  // are not all in yet
  uint64_t next_ = 0;        // the number the next frame must carry
  uint16_t crc_ = 0;
  bool last_ = false;
  uint8_t ring_[kRing] = {};
};

}  // namespace

bool IsFlacHeader(const uint8_t* s, uint32_t size) {
  if (size < 42 || std::memcmp(s, "fLaC", 4) != 0 || (s[4] & 0x7F) != 0 || Be32(s + 4) % 0x1000000 != 34) return false;
  return Sound(ReadStreamInfo(s + 8));
}

std::unique_ptr<TStructureCheck> MakeFlacCheck(uint64_t limit) {
  return std::make_unique<TFlacCheck>(limit);
}

}  // namespace snapsalvager::structure
