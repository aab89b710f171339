// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Raw files' previews and tags, found by walking their structure in memory with every
// offset checked against the bytes at hand.
#include "metadata/RawPreview.h"

#include <algorithm>
#include <cstring>

#include "formats/TiffWalk.h"
#include "metadata/JpegDecode.h"

namespace snapsalvager {
namespace {

constexpr uint32_t kMaxEntries = 1000;  // per IFD
constexpr int kMaxBoxDepth = 4;         // CR3: moov / uuid / THMB

uint64_t Number(const TTiffView& t, const TTiffEntry& e) {
  if (e.Count < 1) return 0;
  return e.Type == 3 ? t.U16(e.Value) : e.Type == 4 ? t.U32(e.Value) : 0;
}

std::string Text(const TTiffView& t, const TTiffEntry& e) {
  if (e.Type != 2) return {};
  std::string text(reinterpret_cast<const char*>(t.Data() + e.Value), static_cast<size_t>(e.Bytes));
  text = text.substr(0, text.find('\0'));
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

void AddJpeg(const uint8_t* data, size_t size, uint64_t offset, uint64_t length,
             std::vector<TEmbeddedJpeg>& out) {
  if (out.size() >= kMaxEmbeddedJpegs || length < 4 || offset >= size) return;
  length = std::min<uint64_t>(length, size - offset);  // a preview cut with the data shows its top
  if (data[offset] != 0xFF || data[offset + 1] != 0xD8) return;
  for (const TEmbeddedJpeg& known : out) {
    if (known.Offset == offset) return;
  }
  TJpegHeader header;
  if (!ReadJpegHeader(data + offset, static_cast<size_t>(length), &header)) return;
  out.push_back({static_cast<size_t>(offset), static_cast<size_t>(length), header.Width, header.Height});
}

// TIFF raws: JPEGInterchangeFormat pairs, JPEG-compressed single strips (DNG previews), and
// Panasonic's JpgFromRaw tag.
void TiffJpegs(const uint8_t* data, size_t size, std::vector<TEmbeddedJpeg>& out) {
  const TTiffView t(data, size);
  struct TPair {
    uint64_t Ifd = 0, Offset = 0, Length = 0, StripOffset = 0, StripLength = 0;
    bool Jpeg = false;
  };
  std::vector<TPair> pairs;
  auto pairOf = [&pairs](uint64_t ifd) -> TPair& {
    for (TPair& p : pairs) {
      if (p.Ifd == ifd) return p;
    }
    pairs.push_back(TPair{ifd});
    return pairs.back();
  };
  WalkTiffIfds(t, kMaxEntries, [&](const TTiffEntry& e, uint64_t ifd) {
    if (e.Tag == 0x201) pairOf(ifd).Offset = Number(t, e);
    if (e.Tag == 0x202) pairOf(ifd).Length = Number(t, e);
    if (e.Tag == 0x111 && e.Count == 1) pairOf(ifd).StripOffset = Number(t, e);
    if (e.Tag == 0x117 && e.Count == 1) pairOf(ifd).StripLength = Number(t, e);
    if (e.Tag == 0x103 && (Number(t, e) == 6 || Number(t, e) == 7)) pairOf(ifd).Jpeg = true;
    if (e.Tag == 0x2E && e.Type == 7) AddJpeg(data, size, e.Value, e.Bytes, out);
  });
  for (const TPair& p : pairs) {
    if (p.Offset != 0 && p.Length != 0) AddJpeg(data, size, p.Offset, p.Length, out);
    if (p.Jpeg && p.StripOffset != 0 && p.StripLength != 0) AddJpeg(data, size, p.StripOffset, p.StripLength, out);
  }
}

constexpr uint8_t kCanonUuid[16] = {0x85, 0xC0, 0xB6, 0x87, 0x82, 0x0F, 0x11, 0xE0,
                                    0x81, 0x11, 0xF4, 0xCE, 0x46, 0x2B, 0x6A, 0x48};
constexpr uint8_t kPreviewUuid[16] = {0xEA, 0xF4, 0x2B, 0x5E, 0x1C, 0x98, 0x4B, 0x88,
                                      0xB9, 0xFB, 0xB7, 0xDC, 0x40, 0x6E, 0x4D, 0x16};

// CR3: walks the boxes that hold Canon's own (moov, its Canon uuid box, the preview uuid
// box) and hands each leaf box's type and payload to visit.
template <typename Visit>
void WalkCr3(const uint8_t* data, size_t size, uint64_t at, uint64_t end, int depth, Visit& visit) {
  while (depth <= kMaxBoxDepth && at + 8 <= end) {
    uint64_t box = Be32(data + at);
    uint64_t header = 8;
    if (box == 1 && at + 16 <= end) {
      box = uint64_t{Be32(data + at + 8)} << 32 | Be32(data + at + 12);
      header = 16;
    }
    if (box == 0) box = end - at;  // to the end of the file
    if (box < header || box > end - at) {
      box = end - at;  // the data stops inside this box: what is there still counts
      if (box < header) return;
    }
    const uint8_t* type = data + at + 4;
    uint64_t inner = at + header;
    if (std::memcmp(type, "uuid", 4) == 0 && inner + 16 <= at + box) {
      if (std::memcmp(data + inner, kCanonUuid, 16) == 0) {
        WalkCr3(data, size, inner + 16, at + box, depth + 1, visit);
      } else if (std::memcmp(data + inner, kPreviewUuid, 16) == 0) {
        WalkCr3(data, size, inner + 16 + 8, at + box, depth + 1, visit);  // 8 bytes of its own first
      }
    } else if (std::memcmp(type, "moov", 4) == 0) {
      WalkCr3(data, size, inner, at + box, depth + 1, visit);
    } else {
      visit(type, inner, at + box);
    }
    at += box;
  }
}

bool IsCr3(const uint8_t* data, size_t size) {
  return size >= 16 && std::memcmp(data + 4, "ftypcrx ", 8) == 0;
}

bool IsRaf(const uint8_t* data, size_t size) {
  return size >= 100 && std::memcmp(data, "FUJIFILMCCD-RAW ", 16) == 0;
}

// The JPEG a box's payload holds after a few fields of its own.
void JpegInPayload(const uint8_t* data, size_t size, uint64_t from, uint64_t end,
                   std::vector<TEmbeddedJpeg>& out) {
  for (uint64_t at = from; at + 3 <= end && at < from + 32; ++at) {
    if (data[at] == 0xFF && data[at + 1] == 0xD8 && data[at + 2] == 0xFF) {
      AddJpeg(data, size, at, end - at, out);
      return;
    }
  }
}

// A JPEG's Exif block: the TIFF inside its first APP1 "Exif" segment.
bool ExifInJpeg(const uint8_t* jpeg, size_t size, size_t* offset, size_t* length) {
  size_t at = 2;
  while (at + 4 <= size && jpeg[at] == 0xFF) {
    const uint8_t marker = jpeg[at + 1];
    const size_t segment = Be16(jpeg + at + 2);
    if (segment < 2 || marker == 0xDA) return false;
    if (marker == 0xE1 && segment >= 8 && at + 2 + segment <= size && std::memcmp(jpeg + at + 4, "Exif\0\0", 6) == 0) {
      *offset = at + 10;
      *length = segment - 8;
      return true;
    }
    at += 2 + segment;
  }
  return false;
}

}  // namespace

std::vector<TEmbeddedJpeg> FindEmbeddedJpegs(const uint8_t* data, size_t size) {
  std::vector<TEmbeddedJpeg> out;
  if (data == nullptr || size < 16) return out;
  if (IsCr3(data, size)) {
    auto visit = [&](const uint8_t* type, uint64_t from, uint64_t end) {
      if (std::memcmp(type, "THMB", 4) == 0 || std::memcmp(type, "PRVW", 4) == 0) JpegInPayload(data, size, from, end, out);
    };
    WalkCr3(data, size, 0, size, 0, visit);
  } else if (IsRaf(data, size)) {
    AddJpeg(data, size, Be32(data + 84), Be32(data + 88), out);
  } else {
    TiffJpegs(data, size, out);
  }
  return out;
}

std::optional<TEmbeddedJpeg> LargestPreview(const uint8_t* data, size_t size) {
  std::optional<TEmbeddedJpeg> best;
  for (const TEmbeddedJpeg& j : FindEmbeddedJpegs(data, size)) {
    const int64_t pixels = int64_t{j.Width} * j.Height;
    if (pixels > kMaxJpegSourcePixels) continue;
    if (!best || pixels > int64_t{best->Width} * best->Height) best = j;
  }
  return best;
}

bool ReadTiffFacts(const uint8_t* tiff, size_t size, TPhotoFacts* facts) {
  const TTiffView t(tiff, size);
  if (!t.Ok()) return false;
  std::string original;
  int pixelX = 0, pixelY = 0;
  WalkTiffIfds(t, kMaxEntries, [&](const TTiffEntry& e, uint64_t) {
    if (e.Tag == 0x110 && facts->Model.empty()) facts->Model = Text(t, e);
    if (e.Tag == 0x132 && facts->DateTime.empty()) facts->DateTime = Text(t, e);
    if (e.Tag == 0x9003 && original.empty()) original = Text(t, e);
    if (e.Tag == 0xA002) pixelX = static_cast<int>(Number(t, e));
    if (e.Tag == 0xA003) pixelY = static_cast<int>(Number(t, e));
    // The largest image of the file is the raw image itself.
    if (e.Tag == 0x100) facts->Width = std::max(facts->Width, static_cast<int>(std::min<uint64_t>(Number(t, e), 1u << 20)));
    if (e.Tag == 0x101) facts->Height = std::max(facts->Height, static_cast<int>(std::min<uint64_t>(Number(t, e), 1u << 20)));
  });
  if (facts->DateTime.empty()) facts->DateTime = original;
  if (pixelX > 0 && pixelY > 0 && int64_t{pixelX} * pixelY > int64_t{facts->Width} * facts->Height) {
    facts->Width = pixelX;
    facts->Height = pixelY;
  }
  return true;
}

bool ReadRawFacts(const uint8_t* data, size_t size, TPhotoFacts* facts) {
  if (data == nullptr || size < 16) return false;
  if (IsCr3(data, size)) {
    bool found = false;
    auto visit = [&](const uint8_t* type, uint64_t from, uint64_t end) {
      if (std::memcmp(type, "CMT1", 4) == 0 || std::memcmp(type, "CMT2", 4) == 0) {
        found = ReadTiffFacts(data + from, static_cast<size_t>(end - from), facts) || found;
      }
    };
    WalkCr3(data, size, 0, size, 0, visit);
    return found;
  }
  if (IsRaf(data, size)) {
    // The header names the model; the rest is in the Exif block of its JPEG.
    facts->Model.assign(reinterpret_cast<const char*>(data + 28), 32);
    facts->Model = facts->Model.substr(0, facts->Model.find('\0'));
    const uint64_t at = Be32(data + 84), length = Be32(data + 88);
    size_t exif = 0, exifLength = 0;
    if (Fits(size, at, length) && ExifInJpeg(data + at, static_cast<size_t>(length), &exif, &exifLength)) {
      ReadTiffFacts(data + at + exif, exifLength, facts);
    }
    return true;
  }
  return ReadTiffFacts(data, size, facts);
}

}  // namespace snapsalvager
