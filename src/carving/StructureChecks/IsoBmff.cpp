// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// ISO base media files and QuickTime movies (MP4, MOV, 3GP, AVCHD MTS in a box).
#include "carving/StructureChecks/Formats.h"

#include <cstring>

namespace snapsalvager::structure {
namespace {

// An mdat holds the frames and samples of these kinds; a movie inside one is unaccounted for.
constexpr uint32_t kIsoFrames = Bit("JPG") | Bit("MP3") | Bit("MPG") | Bit("MTS") | Bit("AMR");
constexpr uint32_t kIsoCarries = Bit("JPG") | Bit("MP3") | Bit("MPG") | Bit("MOV") | Bit("MP4") |
                                 Bit("3GP") | Bit("MTS") | Bit("AMR");

// ISO base media / QuickTime: the top-level boxes, 32- or 64-bit sized, up to the last
// well-formed one; a file whose movie box was never seen cannot be placed.
class TIsoCheck final : public TStructureCheck {
 public:
  TIsoCheck(uint64_t limit, bool stillImage) : TStructureCheck(limit, kIsoCarries), still_(stillImage) {
    exifPhotosAreFiles_ = true;
    frameTypes_ = kIsoFrames;
    Expect(0, 8);
  }

 protected:
  // After a box of size 0 the file runs on to wherever its data stops.
  size_t Scan(const uint8_t*, size_t length) override { return length; }

  void OnHead(const uint8_t* h) override {
    uint64_t size = Be32(h);
    const bool known = KnownTopLevel(h + 4);
    if (size == 0 && known) return StartScanning();  // "to the end of the file"
    if (size == 1) {
      if (need_ < 16) return More(16);
      size = Be64(h + 8);
      if (size < 16) return StopHere(h);
    } else if (size < 8) {
      return StopHere(h);
    }
    const bool trailing = movie_ && size <= kTrailingBox && size <= limit_ - at_ && Printable4(h + 4);
    if (!known && !trailing) return StopHere(h);
    if (size > limit_ - at_) return Broken();  // runs past the card: cut off
    if (std::memcmp(h + 4, "moov", 4) == 0 || std::memcmp(h + 4, "moof", 4) == 0) movie_ = true;
    // A HEIF photo: its items (meta) and their data (mdat) take the movie's place.
    if (still_ && std::memcmp(h + 4, "meta", 4) == 0) items_ |= 1;
    if (still_ && std::memcmp(h + 4, "mdat", 4) == 0) items_ |= 2;
    if (still_) movie_ = items_ == 3;
    ++boxes_;
    Expect(at_ + size, 8);
  }

 private:
  void StopHere(const uint8_t*) {
    if (boxes_ == 0 || !movie_) return Broken();
    EndsAt(at_);
  }

  static bool KnownTopLevel(const uint8_t* type) {
    static constexpr const char* kTypes[] = {
        "ftyp", "moov", "mdat", "free", "skip", "wide", "uuid", "meta", "pnot", "pict",
        "PICT", "junk", "moof", "mfra", "sidx", "styp", "pdin", "udta", "prft", "emsg", "ssix"};
    for (const char* t : kTypes) {
      if (std::memcmp(type, t, 4) == 0) return true;
    }
    return false;
  }

  // A small box of a kind not listed after the movie (a "meco" box) still belongs to it;
  // old data after a file rarely reads as one.
  static constexpr uint64_t kTrailingBox = 64 * 1024;
  uint32_t boxes_ = 0;
  bool movie_ = false;
  bool still_ = false;
  int items_ = 0;
};

}  // namespace

std::unique_ptr<TStructureCheck> MakeIsoCheck(uint64_t limit, bool stillImage) {
  return std::make_unique<TIsoCheck>(limit, stillImage);
}

}  // namespace snapsalvager::structure
