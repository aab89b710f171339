// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// ASF (WMV, WMA): the header object, its File Properties, the top-level objects.
#include "carving/StructureChecks/Formats.h"

#include <cstring>

namespace snapsalvager::structure {
namespace {

constexpr uint32_t kAsfFrames = Bit("MP3") | Bit("MPG");
constexpr uint32_t kAsfCarries = Bit("JPG") | Bit("MP3") | Bit("MPG");

// ASF: the header object's File Properties give the file size; the top-level objects
// (header, data, indexes) must reach it exactly.
class TAsfCheck final : public TStructureCheck {
 public:
  explicit TAsfCheck(uint64_t limit) : TStructureCheck(limit, kAsfCarries) {
    exifPhotosAreFiles_ = true;
    frameTypes_ = kAsfFrames;
    Expect(0, 30);
  }

 protected:
  void OnHead(const uint8_t* h) override {
    static constexpr uint8_t kHeader[16] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                            0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
    static constexpr uint8_t kFileProperties[16] = {0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11,
                                                    0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
    const uint64_t size = Le64(h + 16);
    if (size < 24 || size > limit_ - at_) return Broken();
    if (phase_ == Phase::Header) {
      if (std::memcmp(h, kHeader, 16) != 0 || size < 30) return Broken();
      headerEnd_ = size;
      phase_ = Phase::InHeader;
      return Expect(30, 24);
    }
    if (phase_ == Phase::InHeader) {
      if (std::memcmp(h, kFileProperties, 16) == 0) {
        if (need_ < 92) return More(92);
        fileSize_ = Le64(h + 40);
        if ((Le32(h + 88) & 1) != 0) return Broken();  // broadcast: the size is not filled in
        if (fileSize_ < headerEnd_ || fileSize_ > limit_) return Broken();
      }
      if (at_ + size > headerEnd_) return Broken();
      if (at_ + size + 24 <= headerEnd_) return Expect(at_ + size, 24);
      if (fileSize_ == 0) return Broken();
      phase_ = Phase::TopLevel;
      return Expect(headerEnd_, 24);
    }
    if (at_ + size > fileSize_) return Broken();
    if (at_ + size == fileSize_) return EndsOnceFed(fileSize_);
    Expect(at_ + size, 24);
  }

  bool Contains(uint64_t offset, int typeIndex, const uint8_t* sector) const override {
    if (phase_ == Phase::TopLevel && Carries(typeIndex, sector)) {
      return offset < fileSize_;
    }
    return TStructureCheck::Contains(offset, typeIndex, sector);
  }

 private:
  enum class Phase : uint8_t { Header, InHeader, TopLevel };
  Phase phase_ = Phase::Header;
  uint64_t headerEnd_ = 0;
  uint64_t fileSize_ = 0;
};

}  // namespace

std::unique_ptr<TStructureCheck> MakeAsfCheck(uint64_t limit) {
  return std::make_unique<TAsfCheck>(limit);
}

}  // namespace snapsalvager::structure
