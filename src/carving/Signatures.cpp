// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Signature recognition. The header tests are the file-type descriptors' header rows, put in
// their fixed order at compile time; the constructor compiles the rows of the enabled types into a flat list of masked compares on
// the first ten bytes, so a sector costs a handful of integer compares and no allocation.
#include "carving/Signatures.h"

#include <bit>
#include <cstring>

#include "formats/ByteReaders.h"

namespace snapsalvager {

int IndexOfFileType(std::string_view ext) {
  for (int i = 0; i < kFileTypeCount; ++i) {
    if (FileTypeTable[i] == ext) return i + 1;
  }
  return 0;
}

void TRecogniserInputs::Enable(std::string_view ext) {
  const int index = IndexOfFileType(ext);
  if (index > 0) FileTypeEnabled[index - 1] = true;
}

namespace {

constexpr int kHeaderBytes = 10;

// The first ten bytes of a sector, as two integers in memory order.
struct THead {
  uint64_t Lo;  // bytes 0-7
  uint16_t Hi;  // bytes 8-9
};

inline THead LoadHead(const uint8_t* sector) {
  THead head;
  std::memcpy(&head.Lo, sector, 8);
  std::memcpy(&head.Hi, sector + 8, 2);
  return head;
}

// A pattern over bytes 0-9: the bytes to compare and a mask of the bytes examined.
struct TPattern {
  uint64_t Lo = 0, LoMask = 0;
  uint16_t Hi = 0, HiMask = 0;

  bool Matches(THead h) const { return (h.Lo & LoMask) == Lo && (h.Hi & HiMask) == Hi; }
};

constexpr int HexDigit(char c) {
  return c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}

// Shift that puts byte i of a little- or big-endian load in place.
constexpr int ByteShift(int i, int width) {
  return std::endian::native == std::endian::little ? 8 * i : 8 * (width - 1 - i);
}

// "FF D8 FF E0" or "00 00 00 .. 66 74 79 70": up to ten space-separated bytes from
// offset 0, ".." for a byte not examined. Malformed text fails constant evaluation.
constexpr TPattern Pat(std::string_view text) {
  TPattern p;
  int index = 0;
  for (size_t pos = 0; pos < text.size(); pos += 3, ++index) {
    if (index >= kHeaderBytes || pos + 1 >= text.size()) throw "pattern too long or cut short";
    if (text[pos] == '.' && text[pos + 1] == '.') continue;
    const int hi = HexDigit(text[pos]), lo = HexDigit(text[pos + 1]);
    if (hi < 0 || lo < 0) throw "bad hex byte in pattern";
    const uint64_t byte = static_cast<uint64_t>(hi * 16 + lo);
    if (index < 8) {
      p.Lo |= byte << ByteShift(index, 8);
      p.LoMask |= uint64_t{0xFF} << ByteShift(index, 8);
    } else {
      p.Hi = static_cast<uint16_t>(p.Hi | byte << ByteShift(index - 8, 2));
      p.HiMask = static_cast<uint16_t>(p.HiMask | 0xFF << ByteShift(index - 8, 2));
    }
  }
  return p;
}

// Step 1's exclusions: an AVI1 (motion-JPEG frame) identifier never starts a photo, and on
// a Canon card an "http" identifier belongs to an embedded thumbnail, not a new photo.
bool JpgNotExcluded(const uint8_t* s, const TRecogniserInputs& in) {
  if (std::memcmp(s + 6, "AVI1", 4) == 0) return false;
  if (in.IsCanonCamera && std::memcmp(s + 6, "http", 4) == 0) return false;
  return true;
}

using TCheck = bool (*)(const uint8_t*, const TRecogniserInputs&);

constexpr int kMaxPatternsPerRow = kMaxHeaderPatterns;

// One header test: the type it names (row of FileTypeTable, also its enable flag), whether
// it marks ISO media, an optional extra check, and its patterns (any one matches).
struct TSignatureRow {
  int Type;
  bool SetsIsoMedia;
  TCheck Check;
  int PatternCount;
  TPattern Patterns[kMaxPatternsPerRow];
};

// A descriptor's header guard as the recogniser runs it.
constexpr TCheck GuardCheck(THeaderGuard guard) {
  return guard == THeaderGuard::JpegExclusions ? JpgNotExcluded : nullptr;
}

constexpr int CountHeaderRows() {
  int n = 0;
  for (const TFileTypeDescriptor& d : kFileTypes) n += d.HeaderStep > 0;
  return n;
}

// Steps 1-23: the descriptors' header rows in the order they are tried; the first enabled
// match wins. Step 24, the QuickTime atom test, follows in code.
constexpr auto kSignatureTable = [] {
  std::array<TSignatureRow, CountHeaderRows()> table{};
  for (int step = 1; step <= CountHeaderRows(); ++step) {
    int found = 0;
    for (int i = 0; i < kFileTypeCount; ++i) {
      const TFileTypeDescriptor& d = kFileTypes[i];
      if (d.HeaderStep != step) continue;
      TSignatureRow& row = table[step - 1];
      row = TSignatureRow{i + 1, d.SetsIsoMedia, GuardCheck(d.Guard), 0, {}};
      for (int k = 0; k < kMaxHeaderPatterns; ++k) {
        if (!d.Headers[k].empty()) row.Patterns[row.PatternCount++] = Pat(d.Headers[k]);
      }
      ++found;
    }
    if (found != 1) throw "header steps must run 1, 2, 3 ... without gaps or repeats";
  }
  return table;
}();
constexpr int kSignatureRowCount = static_cast<int>(kSignatureTable.size());

// The atom types of step 24, in the order they are tried; index + 1 is the MovAtom value.
constexpr TPattern kAtomPatterns[] = {
    Pat(".. .. .. .. 70 6E 6F 74"),  // pnot
    Pat(".. .. .. .. 6D 6F 6F 76"),  // moov
    Pat(".. .. .. .. 6D 64 61 74"),  // mdat
    Pat(".. .. .. .. 6A 75 6E 6B"),  // junk
    Pat(".. .. .. .. 73 6B 69 70"),  // skip
    Pat(".. .. .. .. 77 69 64 65"),  // wide
    Pat(".. .. .. .. 70 69 63 74"),  // pict
    Pat(".. .. .. .. 66 74 79 70"),  // ftyp
};
constexpr TPattern kCanonQuickTime = Pat(".. .. .. .. 66 74 79 70 71 74");  // ftypqt

constexpr int kMovIndex = 8;
static_assert(FileTypeTable[kMovIndex - 1] == "MOV");

// Byte of a pattern at offset i, when examined.
bool PatternByte(const TPattern& p, int i, uint8_t& byte) {
  const uint64_t mask = i < 8 ? p.LoMask >> ByteShift(i, 8) : p.HiMask >> ByteShift(i - 8, 2);
  if ((mask & 0xFF) == 0) return false;
  byte = static_cast<uint8_t>(i < 8 ? p.Lo >> ByteShift(i, 8) : p.Hi >> ByteShift(i - 8, 2));
  return true;
}

}  // namespace

struct TSignatureRecogniser::TCompiled {
  // Enabled patterns of steps 1-23 flattened in table order, with their row; entry i is
  // bit i of the candidate masks, bit kAtomBit stands for the QuickTime atom test.
  struct TEntry {
    TPattern Pattern;
    uint8_t Row;
  };
  static constexpr int kMaxEntries = 48;
  static constexpr int kAtomBit = 63;
  TEntry Entries[kMaxEntries];
  int EntryCount = 0;
  // Candidates[k][b]: the entries that can match a sector whose byte kFilterBytes[k] is b
  // (those that want b there, or do not examine that byte). Their intersection over the
  // filter bytes leaves, for almost every sector that starts no file, no candidate at all,
  // so the common case costs four table look-ups whatever types are enabled.
  static constexpr int kFilterBytes[] = {0, 2, 3, 4};
  uint64_t Candidates[4][256] = {};
};

TSignatureRecogniser::TSignatureRecogniser(const TRecogniserInputs& inputs)
    : inputs_(inputs), compiled_(std::make_unique<TCompiled>()) {
  TCompiled& c = *compiled_;
  auto addFilter = [&c](const TPattern& p, int bit) {
    for (int k = 0; k < 4; ++k) {
      uint8_t byte;
      if (PatternByte(p, TCompiled::kFilterBytes[k], byte)) {
        c.Candidates[k][byte] |= uint64_t{1} << bit;
      } else {
        for (uint64_t& m : c.Candidates[k]) m |= uint64_t{1} << bit;
      }
    }
  };
  static_assert([] {
    int n = 0;
    for (const auto& row : kSignatureTable) n += row.PatternCount;
    return n;
  }() <= TCompiled::kMaxEntries);
  static_assert(TCompiled::kMaxEntries <= TCompiled::kAtomBit);
  for (int r = 0; r < kSignatureRowCount; ++r) {
    const TSignatureRow& row = kSignatureTable[r];
    if (!inputs_.Enabled(row.Type)) continue;
    for (int i = 0; i < row.PatternCount; ++i) {
      addFilter(row.Patterns[i], c.EntryCount);
      c.Entries[c.EntryCount++] = {row.Patterns[i], static_cast<uint8_t>(r)};
    }
  }
  // The atom test can only ever run with MOV enabled or a chosen video extension.
  if (inputs_.Enabled(kMovIndex) || inputs_.UseChosenVideoExt) {
    if (inputs_.IsCanonCamera) {
      addFilter(kCanonQuickTime, TCompiled::kAtomBit);
    } else {
      for (const TPattern& p : kAtomPatterns) addFilter(p, TCompiled::kAtomBit);
    }
  }
}

TSignatureRecogniser::~TSignatureRecogniser() = default;
TSignatureRecogniser::TSignatureRecogniser(const TSignatureRecogniser& other)
    : inputs_(other.inputs_),
      iso_media_found_(other.iso_media_found_),
      mov_atom_lock_(other.mov_atom_lock_),
      compiled_(std::make_unique<TCompiled>(*other.compiled_)) {}
TSignatureRecogniser& TSignatureRecogniser::operator=(const TSignatureRecogniser& other) {
  if (this != &other) *this = TSignatureRecogniser(other);
  return *this;
}
TSignatureRecogniser::TSignatureRecogniser(TSignatureRecogniser&&) noexcept = default;
TSignatureRecogniser& TSignatureRecogniser::operator=(TSignatureRecogniser&&) noexcept = default;

void TSignatureRecogniser::ResetSignatureState() {
  iso_media_found_ = false;
  mov_atom_lock_ = MovAtom::None;
}

bool TSignatureRecogniser::DetectFileHeader(const uint8_t* sector, std::string& type) {
  type.clear();
  const TCompiled& c = *compiled_;
  uint64_t candidates = c.Candidates[0][sector[0]] & c.Candidates[1][sector[2]] &
                        c.Candidates[2][sector[3]] & c.Candidates[3][sector[4]];
  if (candidates == 0) return false;

  const THead head = LoadHead(sector);
  // Lowest bit first is table order, so the first enabled match still wins.
  for (; candidates != 0; candidates &= candidates - 1) {
    const int i = std::countr_zero(candidates);
    if (i == TCompiled::kAtomBit) return QuickTimeAtomTest(head.Lo, head.Hi, type);
    const TCompiled::TEntry& entry = c.Entries[i];
    if (!entry.Pattern.Matches(head)) continue;
    const TSignatureRow& row = kSignatureTable[entry.Row];
    if (row.Check != nullptr && !row.Check(sector, inputs_)) continue;
    if (row.SetsIsoMedia) iso_media_found_ = true;
    type.assign(FileTypeTable[row.Type - 1]);
    return true;
  }
  return false;
}

bool TSignatureRecogniser::QuickTimeAtomTest(uint64_t lo, uint16_t hi, std::string& type) {
  const THead head{lo, hi};
  const bool runs = (inputs_.Enabled(kMovIndex) && !iso_media_found_) || inputs_.UseChosenVideoExt;
  if (!runs) return false;
  if (inputs_.IsCanonCamera) {
    if (!kCanonQuickTime.Matches(head)) return false;
    mov_atom_lock_ = MovAtom::Ftyp;
  } else {
    bool matched = false;
    for (int i = 0; i < 8 && !matched; ++i) {
      const auto code = static_cast<MovAtom>(i + 1);
      if (mov_atom_lock_ != MovAtom::None && mov_atom_lock_ != code) continue;
      if (kAtomPatterns[i].Matches(head)) {
        mov_atom_lock_ = code;
        matched = true;
      }
    }
    if (!matched) return false;
  }
  if (inputs_.UseChosenVideoExt) {
    type.assign(inputs_.ChosenVideoExt);
  } else {
    type.assign("MOV");
  }
  return true;
}

}  // namespace snapsalvager

namespace snapsalvager {
namespace {

// The segment bodies that make a JPEG start unmistakable: their lengths follow from their
// content, so random bytes almost never pass.
bool TableSegmentChecksOut(uint8_t marker, const uint8_t* body, uint32_t length) {
  if (marker == 0xDB) {  // DQT: tables of 64 one- or two-byte values
    uint32_t at = 0;
    while (at < length) {
      const uint8_t pq = body[at] >> 4, tq = body[at] & 0x0F;
      if (pq > 1 || tq > 3) return false;
      at += 1 + (pq ? 128 : 64);
    }
    return at == length;
  }
  if (marker == 0xC4) {  // DHT: class and id, 16 counts, the symbols
    uint32_t at = 0;
    while (at < length) {
      if (length - at < 17 || (body[at] >> 4) > 1 || (body[at] & 0x0F) > 3) return false;
      uint32_t symbols = 0;
      for (int k = 1; k <= 16; ++k) symbols += body[at + k];
      if (symbols == 0 || symbols > 256) return false;
      at += 17 + symbols;
    }
    return at == length;
  }
  if (marker == 0xC0 || marker == 0xC1 || marker == 0xC2) {  // SOF: 8-bit or 12-bit, 1-4 components
    return length >= 6 && (body[0] == 8 || body[0] == 12) && body[5] >= 1 && body[5] <= 4 &&
           length == 6u + 3u * body[5] && Be16(body + 1) != 0 && Be16(body + 3) != 0;
  }
  return false;
}

bool JpegWithoutApp(const uint8_t* s, uint32_t size) {
  if (s[0] != 0xFF || s[1] != 0xD8 || s[2] != 0xFF) return false;
  const uint8_t first = s[3];
  if (first == 0xE0 || first == 0xE1) return false;  // the header table's own (with its exclusions)
  uint32_t at = 2, checked = 0;
  while (at + 4 <= size) {
    if (s[at] != 0xFF) return false;
    const uint8_t m = s[at + 1];
    const bool known = m == 0xDB || m == 0xC4 || m == 0xC0 || m == 0xC1 || m == 0xC2 || m == 0xDD ||
                       m == 0xFE || (m >= 0xE2 && m <= 0xEF) || m == 0xDA;
    if (!known) return false;
    const uint32_t length = Be16(s + at + 2);
    if (length < 2) return false;
    if (m == 0xDA) return checked >= 2;
    if (at + 2 + length > size) break;  // runs on into the next sector
    if (m == 0xDD && length != 4) return false;
    if (TableSegmentChecksOut(m, s + at + 4, length - 2)) {
      ++checked;
    } else if (m == 0xDB || m == 0xC4 || m == 0xC0 || m == 0xC1 || m == 0xC2) {
      return false;
    }
    at += 2 + length;
  }
  return checked >= 2;
}

// A packet header that a camera's stream has: sync byte, no transport error, not
// scrambled, a payload or an adaptation field.
bool PlausiblePacket(const uint8_t* p) {
  return p[0] == 0x47 && (p[1] & 0x80) == 0 && (p[3] & 0xC0) == 0 && (p[3] & 0x30) != 0;
}

// Three packets of the given length at offset sync, all plausible.
bool PacketRun(const uint8_t* s, uint32_t size, uint32_t sync, uint32_t packet) {
  int count = 0;
  for (uint32_t at = sync; at + 4 <= size; at += packet, ++count) {
    if (!PlausiblePacket(s + at)) return false;
  }
  return count >= 3;
}

// Whether previous ends in a packet run whose next packet would start this sector: its
// packets then sit where the run of a sectorSize-spaced stream puts them.
bool ContinuesRun(const uint8_t* previous, uint32_t size, uint32_t sync, uint32_t packet) {
  if (previous == nullptr) return false;
  const uint32_t first = size % packet;  // packets end exactly where this sector starts
  int count = 0;
  for (uint32_t at = first + sync; at + 4 <= size; at += packet, ++count) {
    if (previous[at] != 0x47) return false;
  }
  return count > 0;
}

// An ID3v2 tag the table does not know (v2.4, as today's encoders write it, or a v2.2/v2.3
// tag with flags set): a version and flags that can be, a syncsafe size, and a first frame
// whose ID is four upper-case letters or digits (or an extended header, flagged). Random
// data passes all of this less than once in 10^14 sectors.
bool Id3Tag(const uint8_t* s) {
  if (std::memcmp(s, "ID3", 3) != 0 || s[3] < 2 || s[3] > 4 || s[4] != 0 || (s[5] & 0x0F) != 0) {
    return false;
  }
  for (int i = 6; i < 10; ++i) {
    if (s[i] & 0x80) return false;
  }
  if (s[5] & 0x40) return true;  // an extended header comes first
  const int idLength = s[3] == 2 ? 3 : 4;
  for (int i = 10; i < 10 + idLength; ++i) {
    const bool upper = s[i] >= 'A' && s[i] <= 'Z', digit = s[i] >= '0' && s[i] <= '9';
    if (!upper && !digit) return false;
  }
  return true;
}

}  // namespace

std::string_view BrandType(const uint8_t* s, uint32_t size) {
  if (size < 16 || s[0] != 0 || s[1] != 0 || s[2] != 0 || s[3] < 16 || (s[3] & 3) != 0) return {};
  if (std::memcmp(s + 4, "ftyp", 4) != 0) return {};
  const uint8_t* brand = s + 8;
  if (std::memcmp(brand, "qt  ", 4) == 0) return "MOV";
  if (brand[0] == '3' && brand[1] == 'g') return "3GP";
  static constexpr const char* kIsoBrands[] = {"isom", "iso2", "iso4", "iso5", "iso6", "mp41",
                                               "mp42", "avc1", "M4V ", "M4A ", "MSNV", "XAVC",
                                               "dash", "mmp4", "f4v ", "NDAS"};
  for (const char* b : kIsoBrands) {
    if (std::memcmp(brand, b, 4) == 0) return "MP4";
  }
  return {};
}

std::string_view DetectDeepHeader(const uint8_t* s, const uint8_t* previous, uint32_t size) {
  if (size < 512) return {};
  if (s[0] == 0xFF) return JpegWithoutApp(s, size) ? "JPG" : "";
  if (Id3Tag(s)) return "MP3";
  for (const uint32_t packet : {188u, 192u}) {
    const uint32_t sync = packet - 188;
    if (s[sync] == 0x47 && PacketRun(s, size, sync, packet) && !ContinuesRun(previous, size, sync, packet)) {
      return "MTS";
    }
  }
  return {};
}

}  // namespace snapsalvager
