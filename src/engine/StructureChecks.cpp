// Streaming structure checks. Each format walks its chain of units (segments, chunks,
// boxes, packs, packets, frames): the base collects the few head bytes of the next unit,
// skipping the bytes in between, and the format decides from them where the next unit
// starts, or that the file ends, or that the structure broke.
#include "engine/StructureChecks.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "engine/Signatures.h"

namespace snapsalvager {
namespace {

uint32_t Be16(const uint8_t* p) { return uint32_t{p[0]} << 8 | p[1]; }
uint32_t Be32(const uint8_t* p) { return Be16(p) << 16 | Be16(p + 2); }
uint64_t Be64(const uint8_t* p) { return uint64_t{Be32(p)} << 32 | Be32(p + 4); }
uint32_t Le16(const uint8_t* p) { return uint32_t{p[1]} << 8 | p[0]; }
uint32_t Le32(const uint8_t* p) { return Le16(p + 2) << 16 | Le16(p); }
uint64_t Le64(const uint8_t* p) { return uint64_t{Le32(p + 4)} << 32 | Le32(p); }

bool AllZero(const uint8_t* p, uint32_t n) {
  for (uint32_t i = 0; i < n; ++i) {
    if (p[i] != 0) return false;
  }
  return true;
}

bool Printable4(const uint8_t* p) {
  for (int i = 0; i < 4; ++i) {
    if (p[i] < 0x20 || p[i] > 0x7E) return false;
  }
  return true;
}

constexpr int kJpgIndex = 1;
static_assert(FileTypeTable[kJpgIndex - 1] == "JPG");

constexpr uint32_t Bit(std::string_view type) {
  for (int i = 0; i < kFileTypeCount; ++i) {
    if (FileTypeTable[i] == type) return uint32_t{1} << (i + 1);
  }
  return 0;
}

// What each container may hold at a sector start without it being a file of its own.
constexpr uint32_t kJpegCarries = Bit("JPG");
constexpr uint32_t kAviCarries = Bit("JPG") | Bit("MP3") | Bit("MPG");
constexpr uint32_t kWavCarries = Bit("MP3");
constexpr uint32_t kIsoCarries = Bit("JPG") | Bit("MP3") | Bit("MPG") | Bit("MOV") | Bit("MP4") |
                                 Bit("3GP") | Bit("MTS") | Bit("AMR");
constexpr uint32_t kProgramCarries = Bit("MPG") | Bit("JPG") | Bit("MP3");
constexpr uint32_t kTransportCarries = Bit("MTS") | Bit("MPG") | Bit("JPG") | Bit("MP3");
constexpr uint32_t kAsfCarries = Bit("JPG") | Bit("MP3") | Bit("MPG");
constexpr uint32_t kMp3Carries = Bit("MP3") | Bit("JPG");
constexpr uint32_t kTiffCarries = Bit("JPG") | Bit("TIF") | Bit("NEF") | Bit("CR2") | Bit("DCR") |
                                  Bit("SRF") | Bit("PEF") | Bit("DNG") | Bit("ORF") | Bit("RAW");

}  // namespace

TStructureCheck::TStructureCheck(uint64_t limit, uint32_t carriedTypes)
    : limit_(limit), carried_(carriedTypes) {}

TCheckVerdict TStructureCheck::Feed(const uint8_t* data, size_t length) {
  while (length > 0 && verdict_ == TCheckVerdict::GoesOn) {
    if (pendingEnd_ != 0 && fed_ >= pendingEnd_) break;
    if (scanning_) {
      progressed_ = false;
      const size_t used = std::min(Scan(data, length), length);
      data += used;
      length -= used;
      fed_ += used;
      if (used == 0 && scanning_ && !progressed_) Broken();  // a scan that cannot move on
      continue;
    }
    if (fed_ < at_) {
      const size_t skip = static_cast<size_t>(std::min<uint64_t>(at_ - fed_, length));
      data += skip;
      length -= skip;
      fed_ += skip;
      continue;
    }
    const uint32_t take = static_cast<uint32_t>(std::min<size_t>(need_ - have_, length));
    std::memcpy(head_ + have_, data, take);
    have_ += take;
    data += take;
    length -= take;
    fed_ += take;
    if (have_ < need_) continue;
    progressed_ = false;
    OnHead(head_);
    if (!progressed_ && verdict_ == TCheckVerdict::GoesOn) Broken();  // a unit that leads nowhere
  }
  if (verdict_ == TCheckVerdict::GoesOn && pendingEnd_ != 0 && fed_ >= pendingEnd_) {
    EndsAt(pendingEnd_);
  }
  return verdict_;
}

TCheckVerdict TStructureCheck::DataEnds() {
  if (verdict_ == TCheckVerdict::GoesOn) {
    const TCheckVerdict v = OnDataEnds();
    if (v == TCheckVerdict::CannotTell) Broken();
  }
  return verdict_;
}

bool TStructureCheck::Carries(int typeIndex, const uint8_t* sector) const {
  if (verdict_ != TCheckVerdict::GoesOn || typeIndex <= 0 || typeIndex > kFileTypeCount) return false;
  if ((carried_ >> typeIndex & 1) == 0) return false;
  return !(exifPhotosAreFiles_ && typeIndex == kJpgIndex && std::memcmp(sector + 6, "Exif", 4) == 0);
}

bool TStructureCheck::Contains(uint64_t offset, int typeIndex, const uint8_t* sector) const {
  if (!Carries(typeIndex, sector)) return false;
  if (pendingEnd_ != 0) return offset < pendingEnd_;
  if (scanning_) return false;
  return offset < at_ || (boundaryInside_ && offset == at_);
}

size_t TStructureCheck::Scan(const uint8_t*, size_t) {
  Broken();
  return 0;
}

void TStructureCheck::Expect(uint64_t at, uint32_t need) {
  progressed_ = true;
  // Units only move forward, and a unit that starts past the card's end cannot be whole.
  if (at < fed_ || at > limit_ || need == 0 || need > kMaxHead) {
    Broken();
    return;
  }
  at_ = at;
  need_ = need;
  have_ = 0;
}

void TStructureCheck::More(uint32_t need) {
  progressed_ = true;
  if (need <= have_ || need > kMaxHead) {
    Broken();
    return;
  }
  need_ = need;
}

void TStructureCheck::ResumeAt(uint64_t at, const uint8_t* bytes, uint32_t n, uint32_t need) {
  progressed_ = true;
  scanning_ = false;
  at_ = at;
  std::memcpy(head_, bytes, n);
  have_ = n;
  need_ = need;
}

void TStructureCheck::EndsAt(uint64_t end) {
  progressed_ = true;
  if (end > limit_ || end == 0) {
    Broken();
    return;
  }
  end_ = end;
  verdict_ = TCheckVerdict::EndsAt;
}

void TStructureCheck::EndsOnceFed(uint64_t end) {
  progressed_ = true;
  if (end > limit_ || end == 0) {
    Broken();
    return;
  }
  if (end <= fed_) {
    EndsAt(end);
    return;
  }
  pendingEnd_ = end;
  at_ = end;
  need_ = 1;
  have_ = 0;
}

void TStructureCheck::EndOfRun(const uint8_t* head, uint32_t n) {
  if (AllZero(head, n)) {
    EndsAt(at_);
  } else {
    Broken();
  }
}

namespace {

// ---------------------------------------------------------------------------------------
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

 protected:
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
        return StartScanning();
      case Phase::Secondary:
        if (h[0] != 0xFF || h[1] != 0xD8) return Broken();
        return EndsOnceFed(mpfEnd_);
    }
  }

  size_t Scan(const uint8_t* data, size_t length) override {
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
      if (b == 0x00 || (b >= 0xD0 && b <= 0xD7)) continue;  // stuffed byte, restart marker
      const uint64_t marker = fed_ + k - 1;
      if (b == 0xD9) {
        PrimaryEnds(marker + 2);
        return k + 1;
      }
      // Between the scans of a progressive or multi-scan image: tables, the next scan.
      if (b == 0xC4 || b == 0xDA || b == 0xDB || b == 0xDD || b == 0xDC || b == 0xFE ||
          (b >= 0xE0 && b <= 0xEF)) {
        const uint8_t bytes[2] = {0xFF, b};
        phase_ = Phase::Marker;
        ResumeAt(marker, bytes, 2, 4);
        return k + 1;
      }
      Broken();  // an SOI or a stray marker: another file overwrote this one
      return k + 1;
    }
    return length;
  }

 private:
  enum class Phase : uint8_t { Soi, Marker, Mpf, EnterScan, Secondary };

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
      for (uint32_t k = 1; k < bytes / 16; ++k) {  // entry 0 is the primary image
        const uint32_t imageSize = u32(where + 16 * k + 4), imageAt = u32(where + 16 * k + 8);
        if (imageSize == 0 || imageAt == 0) return;
        first = std::min(first, base + imageAt);
        end = std::max(end, base + imageAt + imageSize);
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
  bool mpfUnknown_ = false;
  uint64_t mpfFirst_ = 0;
  uint64_t mpfEnd_ = 0;
};

// ---------------------------------------------------------------------------------------
// RIFF (AVI, WAVE): the chunk chain inside the RIFF size, LIST chunks walked into; an AVI
// goes on through the OpenDML "AVIX" RIFF chunks that follow it.
class TRiffCheck final : public TStructureCheck {
 public:
  TRiffCheck(uint64_t limit, bool avi) : TStructureCheck(limit, avi ? kAviCarries : kWavCarries), avi_(avi) {
    exifPhotosAreFiles_ = true;
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
};

// ---------------------------------------------------------------------------------------
// ISO base media / QuickTime: the top-level boxes, 32- or 64-bit sized, up to the last
// well-formed one; a file whose movie box was never seen cannot be placed.
class TIsoCheck final : public TStructureCheck {
 public:
  explicit TIsoCheck(uint64_t limit) : TStructureCheck(limit, kIsoCarries) {
    exifPhotosAreFiles_ = true;
    Expect(0, 8);
  }

 protected:
  void OnHead(const uint8_t* h) override {
    uint64_t size = Be32(h);
    const bool known = KnownTopLevel(h + 4);
    if (size == 1) {
      if (need_ < 16) return More(16);
      size = Be64(h + 8);
      if (size < 16) return StopHere(h);
    } else if (size < 8 || !known) {
      return StopHere(h);
    }
    if (!known) return StopHere(h);
    if (size > limit_ - at_) return Broken();  // runs past the card: cut off
    if (std::memcmp(h + 4, "moov", 4) == 0 || std::memcmp(h + 4, "moof", 4) == 0) movie_ = true;
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

  uint32_t boxes_ = 0;
  bool movie_ = false;
};

// ---------------------------------------------------------------------------------------
// MPEG program stream: pack headers, system headers and PES packets up to the end code.
// An MPEG video elementary stream (a sequence header first): its start codes, byte by
// byte, up to the sequence end code, or up to a run of zero bytes that no start code ends
// (coded video never holds 24 zero bits in a row: that is the slack after the stream).
class TProgramStreamCheck final : public TStructureCheck {
 public:
  explicit TProgramStreamCheck(uint64_t limit) : TStructureCheck(limit, kProgramCarries) {
    exifPhotosAreFiles_ = true;
    Expect(0, 4);
  }

  bool Contains(uint64_t offset, int typeIndex, const uint8_t* sector) const override {
    // A sequence header that starts a sector inside the stream repeats the first one.
    if (elementary_ && Carries(typeIndex, sector)) {
      return true;
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

// ---------------------------------------------------------------------------------------
// MPEG transport stream, 188-byte packets or 192 with a 4-byte time stamp before each. A
// stream has no end mark: where the packets stop, the file ends, unless packets resume at
// the same phase soon after (old data overwrote part of the stream: the rule decides).
class TTransportStreamCheck final : public TStructureCheck {
 public:
  TTransportStreamCheck(uint64_t limit, uint32_t packet)
      : TStructureCheck(limit, kTransportCarries), packet_(packet), sync_(packet - 188) {
    boundaryInside_ = true;  // a sector that starts a packet continues the run
    exifPhotosAreFiles_ = true;
    Expect(0, sync_ + 1);
  }

  bool Contains(uint64_t offset, int typeIndex, const uint8_t* sector) const override {
    // At a packet boundary only a sector that holds the next packet continues the run.
    if (offset == at_ && sector[sync_] != 0x47) return false;
    return runEnd_ == 0 && TStructureCheck::Contains(offset, typeIndex, sector);
  }

 protected:
  void OnHead(const uint8_t* h) override {
    const bool sync = h[sync_] == 0x47;
    if (runEnd_ == 0) {
      if (sync) return Expect(at_ + packet_, sync_ + 1);
      if (AllZero(h, sync_ + 1)) return EndsAt(at_);
      runEnd_ = at_;
    } else if (sync) {
      if (++resumed_ >= kResumedPackets) return Broken();
    } else {
      resumed_ = 0;
    }
    // Nothing resumed within the window, or before the card ends: the run was the file.
    if (at_ + packet_ > runEnd_ + kResyncWindow || at_ + packet_ + sync_ + 1 > limit_) {
      return EndsAt(runEnd_);
    }
    Expect(at_ + packet_, sync_ + 1);
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
  uint32_t packet_;
  uint32_t sync_;
  uint64_t runEnd_ = 0;
  int resumed_ = 0;
};

// ---------------------------------------------------------------------------------------
// ASF: the header object's File Properties give the file size; the top-level objects
// (header, data, indexes) must reach it exactly.
class TAsfCheck final : public TStructureCheck {
 public:
  explicit TAsfCheck(uint64_t limit) : TStructureCheck(limit, kAsfCarries) {
    exifPhotosAreFiles_ = true;
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

// ---------------------------------------------------------------------------------------
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

// ---------------------------------------------------------------------------------------
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

// ---------------------------------------------------------------------------------------
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

  size_t Scan(const uint8_t* data, size_t length) override {
    const size_t take = std::min(length, window_.size() - kept_);
    std::memcpy(window_.data() + kept_, data, take);
    kept_ += take;
    const uint64_t fedNow = fed_ + length;
    const Result r = Parse();
    if (r == Result::Bad || (r == Result::NeedMore && kept_ == window_.size())) {
      Broken();
    } else if (r == Result::Found) {
      StopScanning();
      if (end_ <= fedNow) {
        EndsAt(end_);
      } else {
        EndsOnceFed(end_);
      }
    }
    return length;
  }

  TCheckVerdict OnDataEnds() override {
    if (Verdict() != TCheckVerdict::GoesOn) return Verdict();
    if (Parse() == Result::Found && end_ <= fed_) {
      EndsAt(end_);
      return TCheckVerdict::EndsAt;
    }
    return TCheckVerdict::CannotTell;
  }

 private:
  enum class Result : uint8_t { NeedMore, Bad, Found };
  // Camera raw files keep their IFDs near the start; the image data may lie anywhere.
  static constexpr uint64_t kTiffWindow = 256 * 1024;
  static constexpr int kMaxIfds = 32;
  static constexpr uint32_t kMaxEntries = 1000;

  uint32_t U16(uint64_t o) const { return le_ ? Le16(&window_[o]) : Be16(&window_[o]); }
  uint32_t U32(uint64_t o) const { return le_ ? Le32(&window_[o]) : Be32(&window_[o]); }

  // The IFDs still to read and what the ones read so far point at.
  struct TWalk {
    uint64_t Pending[kMaxIfds];
    int PendingCount = 0;
    int Seen = 0;
    uint64_t Furthest = 8;
    bool ImageData = false;

    bool Push(uint64_t ifd) {
      if (PendingCount == kMaxIfds) return false;
      Pending[PendingCount++] = ifd;
      return true;
    }
  };

  Result Parse() {
    if (kept_ < 8) return Result::NeedMore;
    le_ = window_[0] == 'I' && window_[1] == 'I';
    if (!le_ && !(window_[0] == 'M' && window_[1] == 'M')) return Result::Bad;
    const uint32_t magic = U16(2);
    if (magic != 42 && magic != 0x4F52 && magic != 0x5352 && magic != 0x55) return Result::Bad;
    TWalk walk;
    walk.Push(U32(4));
    while (walk.PendingCount > 0) {
      const Result r = ReadIfd(walk.Pending[--walk.PendingCount], walk);
      if (r != Result::Found) return r;
    }
    if (!walk.ImageData) return Result::Bad;
    end_ = walk.Furthest;
    return Result::Found;
  }

  // One IFD: its entries' values, the IFDs it points at, its strips, tiles and preview.
  Result ReadIfd(uint64_t ifd, TWalk& walk) {
    if (ifd < 8 || ++walk.Seen > kMaxIfds) return Result::Bad;
    if (ifd + 2 > kept_) return Need(ifd + 2);
    const uint32_t count = U16(ifd);
    if (count == 0 || count > kMaxEntries) return Result::Bad;
    const uint64_t ifdEnd = ifd + 2 + 12ull * count + 4;
    if (ifdEnd > kept_) return Need(ifdEnd);
    walk.Furthest = std::max(walk.Furthest, ifdEnd);
    // Where the offsets [0] and the lengths [1] of the strips or tiles [.][0] and of the
    // JPEG preview [.][1] are stored, their counts and value types.
    uint64_t where[2][2] = {};
    uint32_t items[2][2] = {}, types[2][2] = {};
    for (uint32_t e = 0; e < count; ++e) {
      const uint64_t entry = ifd + 2 + 12ull * e;
      const uint32_t tag = U16(entry), type = U16(entry + 2), n = U32(entry + 4);
      static constexpr uint8_t kTypeSize[14] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4};
      if (type == 0 || type > 13) return Result::Bad;
      const uint64_t bytes = uint64_t{n} * kTypeSize[type];
      const uint64_t value = bytes <= 4 ? entry + 8 : U32(entry + 8);
      if (bytes > 4) {
        if (value + bytes > limit_) return Result::Bad;
        walk.Furthest = std::max(walk.Furthest, value + bytes);
      }
      const bool subIfds = tag == 0x8769 || tag == 0x8825 || tag == 0xA005 || tag == 0x14A;
      const int pair = (tag == 0x111 || tag == 0x144 || tag == 0x201) ? 0
                       : (tag == 0x117 || tag == 0x145 || tag == 0x202) ? 1 : -1;
      if (!subIfds && pair < 0) continue;
      if (value + bytes > kept_) return Need(value + bytes);
      if (subIfds) {
        if (type != 4 && type != 13) return Result::Bad;
        for (uint32_t k = 0; k < n; ++k) {
          if (!walk.Push(U32(value + 4ull * k))) return Result::Bad;
        }
        continue;
      }
      if (type != 3 && type != 4) return Result::Bad;
      const int kind = tag == 0x201 || tag == 0x202;
      where[pair][kind] = value;
      items[pair][kind] = n;
      types[pair][kind] = type;
    }
    for (int kind = 0; kind < 2; ++kind) {  // strips or tiles, then the JPEG preview
      if (where[0][kind] == 0 && where[1][kind] == 0) continue;
      if (where[0][kind] == 0 || where[1][kind] == 0 || items[0][kind] != items[1][kind]) return Result::Bad;
      for (uint32_t k = 0; k < items[0][kind]; ++k) {
        const uint64_t at = Item(where[0][kind], k, types[0][kind]);
        const uint64_t size = Item(where[1][kind], k, types[1][kind]);
        if (at + size > limit_) return Result::Bad;
        walk.Furthest = std::max(walk.Furthest, at + size);
        walk.ImageData = walk.ImageData || size > 0;
      }
    }
    const uint32_t next = U32(ifdEnd - 4);
    if (next != 0 && !walk.Push(next)) return Result::Bad;
    return Result::Found;
  }

  uint64_t Item(uint64_t at, uint32_t k, uint32_t type) const {
    return type == 3 ? U16(at + 2ull * k) : U32(at + 4ull * k);
  }

  Result Need(uint64_t bytes) const {
    return bytes <= window_.size() ? Result::NeedMore : Result::Bad;
  }

  std::vector<uint8_t> window_;
  size_t kept_ = 0;
  bool le_ = false;
  uint64_t end_ = 0;
};

bool IsTiffBased(std::string_view type) {
  for (std::string_view t : {"TIF", "NEF", "CR2", "DCR", "SRF", "PEF", "DNG", "ORF", "RAW"}) {
    if (t == type) return true;
  }
  return false;
}

}  // namespace

std::unique_ptr<TStructureCheck> MakeStructureCheck(std::string_view type, const uint8_t* first,
                                                    uint32_t sectorSize, uint64_t limit) {
  if (first == nullptr || sectorSize < 400) return nullptr;
  const bool isoBox = std::memcmp(first + 4, "ftyp", 4) == 0;
  if (type == "JPG") return std::make_unique<TJpegCheck>(limit);
  if (type == "AVI") return std::make_unique<TRiffCheck>(limit, true);
  if (type == "WAV") return std::make_unique<TRiffCheck>(limit, false);
  if (type == "MOV" || type == "MP4" || type == "3GP" || (type == "MTS" && isoBox)) {
    return std::make_unique<TIsoCheck>(limit);
  }
  if (type == "MPG") return std::make_unique<TProgramStreamCheck>(limit);
  if (type == "MTS") {
    if (first[0] == 0x47 && first[188] == 0x47) return std::make_unique<TTransportStreamCheck>(limit, 188);
    if (first[4] == 0x47 && first[196] == 0x47) return std::make_unique<TTransportStreamCheck>(limit, 192);
    return nullptr;
  }
  if (type == "ASF") return std::make_unique<TAsfCheck>(limit);
  if (type == "MP3") return std::make_unique<TMp3Check>(limit);
  if (type == "AMR") return std::make_unique<TAmrCheck>(limit);
  if (IsTiffBased(type)) return std::make_unique<TTiffCheck>(limit);
  return nullptr;
}

}  // namespace snapsalvager
