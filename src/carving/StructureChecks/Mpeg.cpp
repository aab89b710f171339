// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// MPEG program streams (and bare video elementary streams) and transport streams.
#include "carving/StructureChecks/Formats.h"

#include <array>
#include <cstring>

namespace snapsalvager::structure {
namespace {

constexpr uint32_t kProgramFrames = Bit("MPG") | Bit("MP3");
constexpr uint32_t kTransportFrames = Bit("MTS") | Bit("MPG") | Bit("MP3");
constexpr uint32_t kProgramCarries = Bit("MPG") | Bit("JPG") | Bit("MP3");
constexpr uint32_t kTransportCarries = Bit("MTS") | Bit("MPG") | Bit("JPG") | Bit("MP3");

// MPEG program stream: pack headers, system headers and PES packets up to the end code.
// An MPEG video elementary stream (a sequence header first): its start codes, byte by
// byte, up to the sequence end code, or up to a run of zero bytes that no start code ends
// (coded video never holds 24 zero bits in a row: that is the slack after the stream).
class TProgramStreamCheck final : public TStructureCheck {
 public:
  explicit TProgramStreamCheck(uint64_t limit) : TStructureCheck(limit, kProgramCarries) {
    exifPhotosAreFiles_ = true;
    frameTypes_ = kProgramFrames;
    Expect(0, 4);
  }

  bool Contains(uint64_t offset, int typeIndex, const uint8_t* sector) const override {
    // A sequence header that starts a sector inside the stream repeats the first one.
    if (elementary_ && Carries(typeIndex, sector)) {
      return true;
    }
    // At a unit boundary only a pack, a system header or a packet continues the stream; a
    // video sequence header there starts a stream of its own.
    if (packs_ > 0 && offset == at_ && !(sector[0] == 0 && sector[1] == 0 && sector[2] == 1 && sector[3] >= 0xB9)) {
      return false;
    }
    return TStructureCheck::Contains(offset, typeIndex, sector);
  }

 protected:
  void OnHead(const uint8_t* h) override {
    if (h[0] != 0 || h[1] != 0 || h[2] != 1) return packs_ > 0 ? EndOfRun(h, 4) : Broken();
    const uint8_t code = h[3];
    if (packs_ == 0 && code == 0xB3) {
      elementary_ = true;
      return StartScanning();
    }
    if (code == 0xB9) return EndsAt(at_ + 4);
    if (code == 0xBA) {
      if (need_ < 14) return More(14);
      ++packs_;
      boundaryInside_ = true;  // a sector that starts the next pack continues the stream
      if ((h[4] & 0xC0) == 0x40) return Expect(at_ + 14 + (h[13] & 7), 4);  // MPEG-2
      if ((h[4] & 0xF0) == 0x20) return Expect(at_ + 12, 4);               // MPEG-1
      return Broken();
    }
    if (code < 0xBB || packs_ == 0) return Broken();
    if (need_ < 6) return More(6);
    Expect(at_ + 6 + Be16(h + 4), 4);
  }

  size_t Scan(const uint8_t* data, size_t length) override {
    for (size_t k = 0; k < length; ++k) {
      const uint8_t b = data[k];
      if (codeNext_) {
        codeNext_ = false;
        zeros_ = 0;
        if (b == 0xB7) {  // sequence end
          EndsAt(fed_ + k + 1);
          return k + 1;
        }
        // Pictures, slices, user data, sequence headers, extensions, GOPs.
        if (!(b <= 0xAF || b == 0xB2 || b == 0xB3 || b == 0xB5 || b == 0xB8)) {
          Broken();
          return k + 1;
        }
      } else if (b == 0) {
        if (zeros_++ == 0) zeroStart_ = fed_ + k;
      } else {
        if (zeros_ >= kSlackZeros && b != 1) {
          EndsAt(zeroStart_);
          return k + 1;
        }
        codeNext_ = b == 1 && zeros_ >= 2;
        zeros_ = 0;
      }
    }
    return length;
  }

  TCheckVerdict OnDataEnds() override {
    if (!elementary_ || zeros_ < kSlackZeros) return TCheckVerdict::CannotTell;
    EndsAt(zeroStart_);
    return TCheckVerdict::EndsAt;
  }

 private:
  uint32_t packs_ = 0;
  bool elementary_ = false;
  static constexpr uint32_t kSlackZeros = 3;
  bool codeNext_ = false;
  uint32_t zeros_ = 0;
  uint64_t zeroStart_ = 0;
};

// MPEG transport stream, 188-byte packets or 192 with a 4-byte time stamp before each. A
// stream has no end mark: where the packets stop, the file ends, unless packets resume at
// the same phase soon after (old data overwrote part of the stream: the rule decides).
class TTransportStreamCheck final : public TStructureCheck {
 public:
  TTransportStreamCheck(uint64_t limit, uint32_t packet)
      : TStructureCheck(limit, kTransportCarries), packet_(packet), sync_(packet - 188) {
    boundaryInside_ = true;  // a sector that starts a packet continues the run
    exifPhotosAreFiles_ = true;
    frameTypes_ = kTransportFrames;
    counters_.fill(kUnseen);
    Expect(0, sync_ + 4);
  }

  bool Contains(uint64_t offset, int typeIndex, const uint8_t* sector) const override {
    // At a packet boundary only the stream's next packet continues the run: a sync byte, a
    // PID the stream carries and the continuity counter that follows its last packet's. A
    // packet of any other stream there starts a file of its own.
    if (offset == at_ && !Follows(sector + sync_)) return false;
    return runEnd_ == 0 && TStructureCheck::Contains(offset, typeIndex, sector);
  }

 protected:
  void OnHead(const uint8_t* h) override {
    const bool sync = h[sync_] == 0x47;
    if (runEnd_ == 0) {
      if (sync) {
        const uint8_t* p = h + sync_;
        counters_[Pid(p)] = p[3] & 0x0F;
        return Expect(at_ + packet_, sync_ + 4);
      }
      if (AllZero(h, sync_ + 4)) return EndsAt(at_);
      runEnd_ = at_;
    } else if (sync) {
      if (++resumed_ >= kResumedPackets) return Broken();
    } else {
      resumed_ = 0;
    }
    // Nothing resumed within the window, or before the card ends: the run was the file.
    if (at_ + packet_ > runEnd_ + kResyncWindow || at_ + packet_ + sync_ + 4 > limit_) {
      return EndsAt(runEnd_);
    }
    Expect(at_ + packet_, sync_ + 4);
  }

  TCheckVerdict OnDataEnds() override {
    if (runEnd_ == 0) return TCheckVerdict::CannotTell;
    EndsAt(runEnd_);
    return TCheckVerdict::EndsAt;
  }

 private:
  // How far past the run's end to look for it going on, and how many packets in a row
  // make it go on: old data that happens to hold a sync byte is not a resumed stream.
  static constexpr uint64_t kResyncWindow = 64 * 1024;
  static constexpr int kResumedPackets = 3;
  static uint32_t Pid(const uint8_t* p) { return (p[1] & 0x1Fu) << 8 | p[2]; }

  // The packet at p (its sync byte) continues its PID's counter: one more for a packet
  // with payload, the same for one without. A PID the stream has not carried yet (a stream
  // adds its elementary streams as it goes) and the null packets continue it; a new
  // stream's first packets are its tables, of PIDs every stream carries from its start.
  bool Follows(const uint8_t* p) const {
    if (p[0] != 0x47) return false;
    const uint32_t pid = Pid(p);
    const uint8_t last = counters_[pid];
    if (last == kUnseen || pid == kNullPid) return true;
    const uint8_t counter = p[3] & 0x0F;
    return (p[3] & 0x10) != 0 ? counter == ((last + 1) & 0x0F) : counter == last;
  }

  static constexpr uint8_t kUnseen = 0xFF;
  static constexpr uint32_t kNullPid = 0x1FFF;
  std::array<uint8_t, 8192> counters_;  // each PID's last continuity counter
  uint32_t packet_;
  uint32_t sync_;
  uint64_t runEnd_ = 0;
  int resumed_ = 0;
};

}  // namespace

std::unique_ptr<TStructureCheck> MakeProgramStreamCheck(uint64_t limit) {
  return std::make_unique<TProgramStreamCheck>(limit);
}

std::unique_ptr<TStructureCheck> MakeTransportStreamCheck(uint64_t limit, uint32_t packet) {
  return std::make_unique<TTransportStreamCheck>(limit, packet);
}

}  // namespace snapsalvager::structure
