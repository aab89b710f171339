// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// RIFF containers: AVI (with its OpenDML extensions) and WAVE.
#include "carving/StructureChecks/Formats.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace snapsalvager::structure {
namespace {

constexpr uint32_t kAviCarries = Bit("JPG") | Bit("MP3") | Bit("MPG");
constexpr uint32_t kWavCarries = Bit("MP3");
constexpr uint32_t kRiffFrames = Bit("MP3") | Bit("MPG");

// PCM audio is smooth: one sample differs from the next by far less than the signal's own
// swing, where random or unrelated data differs by about as much. Over a window of whole
// sample frames (first channel, top 16 bits of each sample), the mean step divided by the
// mean distance from the window's mean: about 0.1-0.3 for sound, 1.1 for noise.
constexpr double kSmoothAudio = 0.5;

struct TPcm {
  uint32_t frameBytes = 0;   // block align
  uint32_t sampleBytes = 0;  // 2, 3 or 4
};

// The window's smoothness, or -1 when it is silent (all one value: slack, not sound).
double Roughness(const uint8_t* p, uint32_t n, const TPcm& pcm, int32_t* first, int32_t* last) {
  const uint32_t frames = n / pcm.frameBytes;
  if (frames < 16) return -1;
  auto sample = [&](uint32_t i) {
    const uint8_t* q = p + i * pcm.frameBytes + pcm.sampleBytes - 2;
    return static_cast<int32_t>(static_cast<int16_t>(Le16(q)));
  };
  double sum = 0, steps = 0;
  for (uint32_t i = 0; i < frames; ++i) sum += sample(i);
  const double mean = sum / frames;
  double swing = 0;
  for (uint32_t i = 0; i < frames; ++i) {
    swing += std::abs(sample(i) - mean);
    if (i > 0) steps += std::abs(sample(i) - sample(i - 1));
  }
  if (first) *first = sample(0);
  if (last) *last = sample(frames - 1);
  if (swing == 0) return -1;
  return (steps / (frames - 1)) / (swing / frames);
}

// RIFF (AVI, WAVE): the chunk chain inside the RIFF size, LIST chunks walked into; an AVI
// goes on through the OpenDML "AVIX" RIFF chunks that follow it.
class TRiffCheck final : public TStructureCheck {
 public:
  TRiffCheck(uint64_t limit, bool avi) : TStructureCheck(limit, avi ? kAviCarries : kWavCarries), avi_(avi) {
    exifPhotosAreFiles_ = true;
    frameTypes_ = kRiffFrames;
    Expect(0, 12);
  }

  bool Contains(uint64_t offset, int typeIndex, const uint8_t* sector) const override {
    // An AVIX chunk that starts a sector looks like an AVI header of its own.
    if (phase_ == Phase::Avix && Verdict() == TCheckVerdict::GoesOn && offset == at_ &&
        std::memcmp(sector, "RIFF", 4) == 0 && std::memcmp(sector + 8, "AVIX", 4) == 0) {
      return true;
    }
    return TStructureCheck::Contains(offset, typeIndex, sector);
  }

 protected:
  // A motion-JPEG frame is a video chunk's payload; an AVIX chunk continues the AVI.
  bool Accounts(uint64_t offset, int typeIndex, const uint8_t* sector) const override {
    if (phase_ == Phase::Avix && offset == at_) return true;
    return typeIndex == kJpgIndex && video_ && offset == payload_ && sector[0] == 0xFF;
  }

  bool PartEnd(uint64_t offset, uint64_t& end) const override {
    if (!video_ || offset != payload_) return false;
    end = payloadEnd_;
    return true;
  }

  void OnHead(const uint8_t* h) override {
    if (phase_ == Phase::Chunk) return OnChunk(h);
    const bool riff = std::memcmp(h, "RIFF", 4) == 0;
    const uint32_t size = Le32(h + 4);
    if (phase_ == Phase::Avix && !(riff && std::memcmp(h + 8, "AVIX", 4) == 0)) {
      // A stream's chunks that run on past the stated size: a recorder that never came back
      // to write the final size. The size is not trusted to cut.
      if (StreamChunk(h) && at_ + 8 + Le32(h + 4) <= limit_) return Broken();
      return EndsAt(at_);
    }
    if (!riff || size < 4 || at_ + 8 + size > limit_) return Broken();
    riffEnd_ = at_ + 8 + size;
    phase_ = Phase::Chunk;
    NextChunk(at_ + 12);
  }

  TCheckVerdict OnDataEnds() override {
    // The data stopped where an AVIX chunk could have begun: the AVI ended there.
    if (phase_ == Phase::Avix && fed_ >= at_ && fed_ <= at_ + 12) {
      EndsAt(at_);
      return TCheckVerdict::EndsAt;
    }
    return TCheckVerdict::CannotTell;
  }

 private:
  enum class Phase : uint8_t { Riff, Chunk, Avix };
  static constexpr uint32_t kWindow = 512;

  void OnChunk(const uint8_t* h) {
    if (!Printable4(h)) return Broken();
    const uint64_t size = Le32(h + 4);
    if (at_ + 8 + size > riffEnd_) return Broken();
    if (std::memcmp(h, "LIST", 4) == 0) {
      if (size < 4) return Broken();
      return NextChunk(at_ + 12);
    }
    if (!avi_ && need_ == 8 && size >= 16 && std::memcmp(h, "fmt ", 4) == 0) return More(24);
    if (!avi_ && need_ == 24) ReadFormat(h + 8);
    payload_ = at_ + 8;
    payloadEnd_ = payload_ + size;
    // "00dc", "01db": a stream's compressed or uncompressed video frame.
    video_ = avi_ && h[2] == 'd' && (h[3] == 'c' || h[3] == 'b');
    NextChunk(at_ + 8 + size + (size & 1));
  }

  // "00dc", "01wb": a chunk of one of the AVI's streams.
  static bool StreamChunk(const uint8_t* h) {
    const auto digit = [](uint8_t c) { return c >= '0' && c <= '9'; };
    return digit(h[0]) && digit(h[1]) &&
           (std::memcmp(h + 2, "dc", 2) == 0 || std::memcmp(h + 2, "db", 2) == 0 ||
            std::memcmp(h + 2, "wb", 2) == 0 || std::memcmp(h + 2, "tx", 2) == 0);
  }

  void NextChunk(uint64_t next) {
    // A pad byte after the last chunk may reach one past the RIFF size.
    if (next + 8 <= riffEnd_) return Expect(next, 8);
    if (next > riffEnd_ + 1) return Broken();
    if (!avi_) return WavEnds();
    phase_ = Phase::Avix;
    Expect(riffEnd_, 12);
  }

  void ReadFormat(const uint8_t* f) {
    const uint32_t tag = Le16(f), channels = Le16(f + 2), frame = Le16(f + 12), bits = Le16(f + 14);
    const bool pcm = tag == 1 || tag == 0xFFFE;  // plain or extensible PCM
    if (pcm && channels >= 1 && (bits == 16 || bits == 24 || bits == 32) &&
        frame == channels * (bits / 8)) {
      pcm_.frameBytes = frame;
      pcm_.sampleBytes = bits / 8;
    }
  }

  // The RIFF ends here by its own sizes. A recorder that lost power, or never came back to
  // write the final sizes, leaves sizes that stop short of the sound it wrote: the window
  // around the stated end tells.
  void WavEnds() {
    const uint64_t dataStart = payload_;
    if (pcm_.frameBytes == 0 || riffEnd_ < dataStart) return EndsOnceFed(riffEnd_);
    const uint64_t half = (kWindow / 2 / pcm_.frameBytes) * pcm_.frameBytes;
    // A stated size too small for a window of sound before the end: the window starts
    // with the sound.
    const uint64_t start = riffEnd_ < dataStart + half ? dataStart : riffEnd_ - half;
    if ((start - dataStart) % pcm_.frameBytes != 0) return EndsOnceFed(riffEnd_);
    EndsUnlessRunsOn(riffEnd_, start, static_cast<uint32_t>(2 * half));
  }

  // Sound before the stated end, sound after it, and no jump.
  bool RunsOn(const uint8_t* h, uint32_t bytes, uint32_t end) const override {
    if (avi_) return false;
    // An end too close to the sound's start to judge the sound before it: the window's
    // halves are judged instead.
    const uint32_t split = std::max(end, bytes / 2);
    int32_t lastBefore = 0, firstAfter = 0;
    const double after = Roughness(h + split, bytes - split, pcm_, &firstAfter, nullptr);
    const double before = Roughness(h, split, pcm_, nullptr, &lastBefore);
    return before >= 0 && before < kSmoothAudio && after >= 0 && after < kSmoothAudio &&
           std::abs(firstAfter - lastBefore) <= 4096;
  }

  bool avi_;
  TPcm pcm_;
  Phase phase_ = Phase::Riff;
  uint64_t riffEnd_ = 0;
  uint64_t payload_ = 0;  // where the last chunk's payload began
  uint64_t payloadEnd_ = 0;
  bool video_ = false;  // the last chunk holds a video frame
};

}  // namespace

std::unique_ptr<TStructureCheck> MakeRiffCheck(uint64_t limit, bool avi) {
  return std::make_unique<TRiffCheck>(limit, avi);
}

}  // namespace snapsalvager::structure
