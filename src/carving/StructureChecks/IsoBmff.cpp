// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// ISO base media files and QuickTime movies (MP4, MOV, 3GP, AVCHD MTS in a box).
#include "carving/StructureChecks/Formats.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <vector>

namespace snapsalvager::structure {
namespace {

// An mdat holds the frames and samples of these kinds; a movie inside one is unaccounted for.
constexpr uint32_t kIsoFrames = Bit("JPG") | Bit("MP3") | Bit("MPG") | Bit("MTS") | Bit("AMR");
constexpr uint64_t kIsoCarries = Bit("JPG") | Bit("MP3") | Bit("MPG") | Bit("MOV") | Bit("MP4") |
                                 Bit("3GP") | Bit("MTS") | Bit("AMR") | Bit("TIF");

// The samples a movie box's sample tables place, read from the whole movie box: the samples
// that start a sector (where a header can be met) and the extent of each sample of a
// timed-metadata track (a CR3's CTMD records, whose TIFF blocks may start a sector anywhere
// inside them).
class TSampleTables {
 public:
  struct TSample {
    uint64_t At;
    uint64_t Size;
  };

  void Read(const uint8_t* moov, uint64_t size) {
    Boxes(moov, 8, size, [&](const uint8_t* b, uint64_t at, uint64_t end) {
      if (Type(b + at, "trak")) Track(b, at + 8, end);
    });
    std::sort(starts_.begin(), starts_.end(), [](const TSample& a, const TSample& b) { return a.At < b.At; });
    std::sort(records_.begin(), records_.end(), [](const TSample& a, const TSample& b) { return a.At < b.At; });
  }

  const TSample* StartAt(uint64_t offset) const {
    auto it = std::lower_bound(starts_.begin(), starts_.end(), offset,
                               [](const TSample& s, uint64_t at) { return s.At < at; });
    return it != starts_.end() && it->At == offset ? &*it : nullptr;
  }

  bool InRecord(uint64_t offset) const {
    auto it = std::upper_bound(records_.begin(), records_.end(), offset,
                               [](uint64_t at, const TSample& s) { return at < s.At; });
    return it != records_.begin() && offset < std::prev(it)->At + std::prev(it)->Size;
  }

 private:
  static constexpr uint64_t kMaxSamples = 4u << 20;
  static constexpr uint32_t kSectorAlign = 512;

  static bool Type(const uint8_t* box, const char* type) { return std::memcmp(box + 4, type, 4) == 0; }

  // Calls each(b, at, end) for each box from begin up to end, its size bounded by end.
  template <typename F>
  static void Boxes(const uint8_t* b, uint64_t begin, uint64_t end, F each) {
    for (uint64_t at = begin; at + 8 <= end;) {
      uint64_t size = Be32(b + at);
      if (size == 1 && at + 16 <= end) size = Be64(b + at + 8);
      if (size == 0) size = end - at;
      if (size < 8 || size > end - at) return;
      each(b, at, at + size);
      at += size;
    }
  }

  void Track(const uint8_t* b, uint64_t begin, uint64_t end) {
    bool meta = false;
    uint64_t stsz = 0, stszEnd = 0, stsc = 0, stscEnd = 0, stco = 0, stcoEnd = 0;
    bool wide = false;
    // mdia, minf, stbl: a deeper nest is no track a camera writes.
    const auto find = [&](auto&& self, uint64_t from, uint64_t to, int depth) -> void {
      Boxes(b, from, to, [&](const uint8_t* p, uint64_t at, uint64_t boxEnd) {
        if (Type(p + at, "mdia") || Type(p + at, "minf") || Type(p + at, "stbl")) {
          if (depth < 3) self(self, at + 8, boxEnd, depth + 1);
          return;
        }
        if (Type(p + at, "hdlr") && boxEnd - at >= 20) meta = std::memcmp(p + at + 16, "meta", 4) == 0;
        if (Type(p + at, "stsd") && boxEnd - at >= 24 && std::memcmp(p + at + 20, "CTMD", 4) == 0) meta = true;
        if (Type(p + at, "stsz")) stsz = at, stszEnd = boxEnd;
        if (Type(p + at, "stsc")) stsc = at, stscEnd = boxEnd;
        if (Type(p + at, "stco") || Type(p + at, "co64")) stco = at, stcoEnd = boxEnd, wide = Type(p + at, "co64");
      });
    };
    find(find, begin, end, 0);
    if (stsz == 0 || stsc == 0 || stco == 0 || stszEnd - stsz < 20 || stscEnd - stsc < 16 || stcoEnd - stco < 16) return;
    const uint32_t fixed = Be32(b + stsz + 12), samples = Be32(b + stsz + 16);
    if (fixed == 0 && (stszEnd - stsz - 20) / 4 < samples) return;
    const uint32_t runs = Be32(b + stsc + 12), chunks = Be32(b + stco + 12);
    if ((stscEnd - stsc - 16) / 12 < runs || (stcoEnd - stco - 16) / (wide ? 8 : 4) < chunks || runs == 0) return;
    uint32_t sample = 0, run = 0;
    for (uint32_t c = 1; c <= chunks && sample < samples; ++c) {
      while (run + 1 < runs && Be32(b + stsc + 16 + 12 * (run + 1)) <= c) ++run;
      const uint32_t perChunk = Be32(b + stsc + 16 + 12 * run + 4);
      uint64_t at = wide ? Be64(b + stco + 16 + 8ull * (c - 1)) : Be32(b + stco + 16 + 4ull * (c - 1));
      for (uint32_t k = 0; k < perChunk && sample < samples; ++k, ++sample) {
        const uint64_t size = fixed != 0 ? fixed : Be32(b + stsz + 20 + 4ull * sample);
        // A table of one fixed size may claim billions of samples: the walk over all the
        // tracks is bounded.
        if (++walked_ > kMaxSamples) return;
        if (meta) records_.push_back({at, size});
        if (!meta && at % kSectorAlign == 0) starts_.push_back({at, size});
        at += size;
      }
    }
  }

  std::vector<TSample> starts_;
  std::vector<TSample> records_;
  uint64_t walked_ = 0;
};

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
  // After a box of size 0 the file runs on to wherever its data stops. A movie box is kept
  // whole to read its sample tables.
  size_t Scan(const uint8_t* data, size_t length) override {
    if (!collecting_) return length;
    const size_t take = static_cast<size_t>(std::min<uint64_t>(length, moov_.size() - kept_));
    std::memcpy(moov_.data() + kept_, data, take);
    kept_ += take;
    if (kept_ == moov_.size()) {
      collecting_ = false;
      tables_.Read(moov_.data(), moov_.size());
      moov_ = {};
      StopScanning();
      Expect(moovAt_ + kept_, 8);
    }
    return take;
  }

  // A sample the sample tables place at a sector start, or a TIFF block in a record of a
  // metadata track.
  bool Accounts(uint64_t offset, int typeIndex, const uint8_t*) const override {
    return tables_.StartAt(offset) != nullptr || (typeIndex == kTifIndex && tables_.InRecord(offset));
  }

  bool PartEnd(uint64_t offset, uint64_t& end) const override {
    const TSampleTables::TSample* sample = tables_.StartAt(offset);
    if (sample == nullptr) return false;
    end = offset + sample->Size;
    return true;
  }

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
    if (std::memcmp(h + 4, "moov", 4) == 0 && need_ == 8 && size <= kMaxMoov && size <= limit_ - at_) {
      movie_ = true;
      ++boxes_;
      moovAt_ = at_;
      moov_.resize(static_cast<size_t>(size));
      std::memcpy(moov_.data(), h, 8);
      kept_ = 8;
      collecting_ = true;
      return StartScanning();
    }
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
  // A movie box this large is not read (the samples it names are then unaccounted for).
  static constexpr uint64_t kMaxMoov = 8u << 20;
  TSampleTables tables_;
  std::vector<uint8_t> moov_;
  uint64_t moovAt_ = 0;
  size_t kept_ = 0;
  bool collecting_ = false;
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
