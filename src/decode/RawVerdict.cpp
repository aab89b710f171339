// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Camera raw verdict: every part the structure points at (IFDs, strips, tiles, embedded
// JPEGs; a CR3's boxes; a RAF's blocks) lies inside the file, no wiped sector sits in the
// image data, and the largest embedded preview decodes whole.
//
// The walk here differs from metadata/RawPreview's on purpose: the preview skips whatever
// lies outside the bytes at hand, the verdict has to count it.
#include <algorithm>
#include <cstring>

#include "decode/Decoders.h"
#include "formats/TiffWalk.h"
#include "metadata/RawPreview.h"

namespace snapsalvager::decode {
namespace {

constexpr int kMaxIfds = 64;
constexpr uint32_t kMaxEntries = 1000;
constexpr uint32_t kMaxDataPieces = 100000;  // strips or tiles of one IFD
constexpr int kMaxBoxes = 10000;

struct TExtent {
  uint64_t Offset, Length;
};

// What the structure declares, and how much of it the file holds.
struct TRawStructure {
  bool Recognised = false;
  bool Outside = false;           // an IFD, a value or a data piece lies past the end
  uint64_t Declared = 0;          // bytes of image data the structure names
  uint64_t Present = 0;           // of which inside the file
  std::vector<TExtent> ImageData;  // the pieces inside the file
};

void AddData(TRawStructure& s, uint64_t size, uint64_t offset, uint64_t length) {
  s.Declared += length;
  if (offset >= size) {
    s.Outside = true;
    return;
  }
  const uint64_t inside = std::min(length, size - offset);
  if (inside < length) s.Outside = true;
  s.Present += inside;
  if (s.ImageData.size() < kMaxDataPieces) s.ImageData.push_back({offset, inside});
}

struct TArray {
  uint64_t At = 0;  // where the values lie
  uint32_t Count = 0;
  uint32_t Type = 0;
};

uint64_t Value(const TTiffView& t, const TArray& a, uint32_t i) {
  return a.Type == 3 ? t.U16(a.At + 2ull * i) : t.U32(a.At + 4ull * i);
}

// The shared walker's trail and entries, in a loop of its own: unlike the walk that skips
// what lies past the bytes at hand, this one counts it (Outside).
void WalkTiff(const uint8_t* data, size_t size, TRawStructure& s) {
  const TTiffView t(data, size);
  if (!t.Ok()) return;
  s.Recognised = true;
  TIfdTrailOf<kMaxIfds> trail;
  trail.Push(t.FirstIfd());
  while (!trail.Empty() && !trail.ReadAll()) {
    const uint64_t ifd = trail.Pop();
    if (!trail.FirstRead(ifd)) continue;
    if (!t.Has(ifd, 2)) {
      s.Outside = true;
      continue;
    }
    const uint32_t count = t.U16(ifd);
    if (count == 0 || count > kMaxEntries) continue;
    if (!t.Has(ifd + 2, 12ull * count + 4)) {
      s.Outside = true;
      continue;
    }
    TArray offsets[3], lengths[3];  // strips, tiles, JPEGInterchangeFormat
    for (uint32_t e = 0; e < count; ++e) {
      TTiffEntry entry;
      if (!ReadTiffEntry(t, TiffEntryAt(ifd, e), &entry)) continue;
      const uint32_t tag = entry.Tag, type = entry.Type, n = entry.Count;
      const uint64_t value = entry.Value;
      if (!t.Has(value, entry.Bytes)) {
        s.Outside = true;
        continue;
      }
      const TArray array{value, n, type};
      const bool numbers = type == 3 || type == 4 || type == 13;
      if ((tag == kTagSubIfds || tag == kTagExifIfd) && (type == 4 || type == 13)) {
        for (uint32_t k = 0; k < n && trail.Push(t.U32(value + 4ull * k)); ++k) {
        }
      }
      if (!numbers || n > kMaxDataPieces) continue;
      if (tag == 0x111) offsets[0] = array;
      if (tag == 0x117) lengths[0] = array;
      if (tag == 0x144) offsets[1] = array;
      if (tag == 0x145) lengths[1] = array;
      if (tag == 0x201) offsets[2] = array;
      if (tag == 0x202) lengths[2] = array;
    }
    for (int k = 0; k < 3; ++k) {
      const uint32_t n = std::min(offsets[k].Count, lengths[k].Count);
      for (uint32_t i = 0; i < n; ++i) AddData(s, size, Value(t, offsets[k], i), Value(t, lengths[k], i));
    }
    const uint32_t next = t.U32(TiffNextPointerAt(ifd, count));
    if (next != 0) trail.Push(next);
  }
}

// CR3 (ISO boxes): the top-level boxes must end inside the file; mdat holds the image data.
void WalkCr3(const uint8_t* data, size_t size, TRawStructure& s) {
  s.Recognised = true;
  const TIsoLayout layout = TopLevelBoxes(data, size);
  if (layout.MdatDeclared > 0) AddData(s, size, layout.MdatOffset, layout.MdatDeclared);
  if (layout.Cut) s.Outside = true;
}

// RAF: the header points at the JPEG and the CFA (raw) block.
void WalkRaf(const uint8_t* data, size_t size, TRawStructure& s) {
  s.Recognised = true;
  AddData(s, size, Be32(data + 84), Be32(data + 88));
  if (size >= 108) AddData(s, size, Be32(data + 100), Be32(data + 104));
}

}  // namespace

TIsoLayout TopLevelBoxes(const uint8_t* data, size_t size) {
  TIsoLayout layout;
  uint64_t at = 0;
  for (int boxes = 0; at + 8 <= size && boxes < kMaxBoxes; ++boxes) {
    uint64_t box = Be32(data + at);
    uint64_t header = 8;
    if (box == 1 && at + 16 <= size) {
      box = uint64_t{Be32(data + at + 8)} << 32 | Be32(data + at + 12);
      header = 16;
    }
    if (box == 0) box = size - at;
    if (box < header) break;  // not a box: the carve's trailing bytes
    if (std::memcmp(data + at + 4, "mdat", 4) == 0 && layout.MdatDeclared == 0) {
      layout.MdatOffset = at + header;
      layout.MdatDeclared = box - header;
    }
    if (box > size - at) {
      layout.Cut = true;
      break;
    }
    at += box;
  }
  return layout;
}

TDecodeOutcome CheckRaw(const uint8_t* data, size_t size, bool wantPreview) {
  TDecodeOutcome out;
  TVerdict& v = out.Verdict;
  TRawStructure s;
  if (data != nullptr && size >= 16) {
    if (std::memcmp(data + 4, "ftypcrx ", 8) == 0) {
      WalkCr3(data, size, s);
    } else if (size >= 108 && std::memcmp(data, "FUJIFILMCCD-RAW ", 16) == 0) {
      WalkRaf(data, size, s);
    } else {
      WalkTiff(data, size, s);
    }
  }
  if (!s.Recognised) {
    v.Kind = TVerdictKind::Unreadable;
    v.Percent = 0;
    v.Reason = "no-header";
    return out;
  }
  TPhotoFacts facts;
  ReadRawFacts(data, size, &facts);
  v.Width = facts.Width;
  v.Height = facts.Height;

  int percent = 100;
  if (s.Outside) {
    percent = s.Declared > 0 ? static_cast<int>(std::min<uint64_t>(99, s.Present * 100 / s.Declared)) : 0;
    v.Reason = "offset-outside";
  }
  // The first wiped sector inside the image data, as a share of the data before it.
  uint64_t before = 0;
  for (const TExtent& e : s.ImageData) {
    const int64_t zero = FirstZeroSector(data, static_cast<size_t>(e.Offset), static_cast<size_t>(e.Offset + e.Length));
    if (zero >= 0) {
      const uint64_t upTo = before + static_cast<uint64_t>(zero) - e.Offset;
      const int zeroPercent = s.Declared > 0 ? static_cast<int>(upTo * 100 / s.Declared) : 0;
      if (zeroPercent < percent) {
        percent = zeroPercent;
        v.Reason = "zero-sector";
      }
      break;
    }
    before += e.Length;
  }
  // The preview: a broken one means the bytes around it were damaged too.
  const auto preview = LargestPreview(data, size);
  if (preview) {
    TDecodeOutcome jpeg = CheckJpeg(data + preview->Offset, preview->Length, wantPreview);
    out.Preview = std::move(jpeg.Preview);
    if (jpeg.Verdict.Kind != TVerdictKind::Whole && percent == 100) {
      // Where the preview sits among the file's bytes says how far the file is whole.
      percent = static_cast<int>(std::clamp<uint64_t>(uint64_t{preview->Offset} * 100 / size, 1, 99));
      v.Reason = "preview-" + jpeg.Verdict.Reason;
    }
  } else if (percent == 100 && s.Declared == 0) {
    // Neither image data nor a preview: a header and nothing it points at.
    percent = 0;
    v.Reason = "no-image";
  }
  if (percent >= 100) {
    v.Kind = TVerdictKind::Whole;
    v.Percent = 100;
  } else {
    v.Kind = percent <= 0 ? TVerdictKind::Unreadable : TVerdictKind::Damaged;
    v.Percent = std::clamp(percent, 0, 99);
  }
  return out;
}

}  // namespace snapsalvager::decode
