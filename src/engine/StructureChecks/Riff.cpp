// RIFF containers: AVI (with its OpenDML extensions) and WAVE.
#include "engine/StructureChecks/Formats.h"

#include <cstring>

namespace snapsalvager::structure {
namespace {

constexpr uint32_t kAviCarries = Bit("JPG") | Bit("MP3") | Bit("MPG");
constexpr uint32_t kWavCarries = Bit("MP3");
constexpr uint32_t kRiffFrames = Bit("MP3") | Bit("MPG");

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
  // A motion-JPEG frame is a chunk's payload; an AVIX chunk continues the AVI.
  bool Accounts(uint64_t offset, int typeIndex, const uint8_t* sector) const override {
    if (phase_ == Phase::Avix && offset == at_) return true;
    return typeIndex == kJpgIndex && offset == payload_ && sector[0] == 0xFF;
  }

  void OnHead(const uint8_t* h) override {
    if (phase_ == Phase::Chunk) return OnChunk(h);
    const bool riff = std::memcmp(h, "RIFF", 4) == 0;
    const uint32_t size = Le32(h + 4);
    if (phase_ == Phase::Avix && !(riff && std::memcmp(h + 8, "AVIX", 4) == 0)) return EndsAt(at_);
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

  void OnChunk(const uint8_t* h) {
    if (!Printable4(h)) return Broken();
    const uint64_t size = Le32(h + 4);
    if (at_ + 8 + size > riffEnd_) return Broken();
    if (std::memcmp(h, "LIST", 4) == 0) {
      if (size < 4) return Broken();
      return NextChunk(at_ + 12);
    }
    payload_ = at_ + 8;
    NextChunk(at_ + 8 + size + (size & 1));
  }

  void NextChunk(uint64_t next) {
    // A pad byte after the last chunk may reach one past the RIFF size.
    if (next + 8 <= riffEnd_) return Expect(next, 8);
    if (next > riffEnd_ + 1) return Broken();
    if (!avi_) return EndsOnceFed(riffEnd_);
    phase_ = Phase::Avix;
    Expect(riffEnd_, 12);
  }

  bool avi_;
  Phase phase_ = Phase::Riff;
  uint64_t riffEnd_ = 0;
  uint64_t payload_ = 0;  // where the last chunk's payload began
};

}  // namespace

std::unique_ptr<TStructureCheck> MakeRiffCheck(uint64_t limit, bool avi) {
  return std::make_unique<TRiffCheck>(limit, avi);
}

}  // namespace snapsalvager::structure
