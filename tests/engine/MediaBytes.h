// Small, well-formed media files built byte by byte, for the structure checks and the deep
// scan: each builder returns the whole file; its exact length is the end a check must find.
#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

namespace snapsalvager::mediabytes {

using Bytes = std::vector<uint8_t>;

inline void Add(Bytes& b, std::string_view s) { b.insert(b.end(), s.begin(), s.end()); }
inline void Add(Bytes& b, const Bytes& more) { b.insert(b.end(), more.begin(), more.end()); }
inline Bytes Then(Bytes file, const Bytes& after) {
  Add(file, after);
  return file;
}
inline void Le16(Bytes& b, uint32_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}
inline void Le32(Bytes& b, uint32_t v) {
  Le16(b, v & 0xFFFF);
  Le16(b, v >> 16);
}
inline void Le64(Bytes& b, uint64_t v) {
  Le32(b, static_cast<uint32_t>(v));
  Le32(b, static_cast<uint32_t>(v >> 32));
}
inline void Be16(Bytes& b, uint32_t v) {
  b.push_back(static_cast<uint8_t>(v >> 8));
  b.push_back(static_cast<uint8_t>(v));
}
inline void Be32(Bytes& b, uint32_t v) {
  Be16(b, v >> 16);
  Be16(b, v & 0xFFFF);
}

// Bytes in 0x20..0x7E that never hold a marker, a sync byte or a start code.
inline Bytes Filler(size_t n, uint32_t salt = 1) {
  Bytes b(n);
  uint32_t x = salt * 2654435761u + 12345;
  for (auto& v : b) {
    x = x * 1103515245u + 12345;
    v = static_cast<uint8_t>(0x50 + (x >> 16) % 0x2E);
  }
  return b;
}

// A JPEG frame as a motion-JPEG clip stores it: JFIF APP0, tables, one scan, EOI.
inline Bytes JpegFrame(size_t scanBytes, uint32_t salt = 1) {
  Bytes b = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0};
  b.insert(b.end(), {0xFF, 0xDB, 0x00, 0x43, 0x00});
  for (int i = 0; i < 64; ++i) b.push_back(static_cast<uint8_t>(1 + i));
  b.insert(b.end(), {0xFF, 0xC0, 0x00, 0x0B, 0x08, 0x00, 0x10, 0x00, 0x10, 0x01, 0x01, 0x11, 0x00});
  b.insert(b.end(), {0xFF, 0xC4, 0x00, 0x14, 0x00, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x05});
  b.insert(b.end(), {0xFF, 0xDA, 0x00, 0x08, 0x01, 0x01, 0x00, 0x00, 0x3F, 0x00});
  Add(b, Filler(scanBytes, salt));
  b.insert(b.end(), {0xFF, 0xD9});
  return b;
}

// RIFF AVI: header list, a movi list of "00dc" frame chunks, an idx1 chunk.
inline Bytes Avi(const std::vector<Bytes>& frames, std::string_view form = "AVI ") {
  Bytes movi;
  Add(movi, "movi");
  for (const Bytes& f : frames) {
    Add(movi, "00dc");
    Le32(movi, static_cast<uint32_t>(f.size()));
    Add(movi, f);
    if (f.size() & 1) movi.push_back(0);
  }
  Bytes body;
  Add(body, form);
  Add(body, "LIST");
  Le32(body, 4 + 8 + 56);
  Add(body, "hdrl");
  Add(body, "avih");
  Le32(body, 56);
  body.resize(body.size() + 56, 0);
  Add(body, "LIST");
  Le32(body, static_cast<uint32_t>(movi.size()));
  Add(body, movi);
  Add(body, "idx1");
  Le32(body, 16);
  Add(body, Filler(16, 7));
  Bytes b;
  Add(b, "RIFF");
  Le32(b, static_cast<uint32_t>(body.size()));
  Add(b, body);
  return b;
}

inline Bytes Wav(size_t dataBytes) {
  Bytes b;
  Add(b, "RIFF");
  Le32(b, static_cast<uint32_t>(4 + 8 + 16 + 8 + dataBytes));
  Add(b, "WAVEfmt ");
  Le32(b, 16);
  b.insert(b.end(), {1, 0, 1, 0, 0x40, 0x1F, 0, 0, 0x80, 0x3E, 0, 0, 2, 0, 16, 0});
  Add(b, "data");
  Le32(b, static_cast<uint32_t>(dataBytes));
  Add(b, Filler(dataBytes, 3));
  return b;
}

// QuickTime / ISO: ftyp with the brand, an mdat holding payload, a moov.
inline Bytes IsoMedia(std::string_view brand, const Bytes& payload) {
  Bytes b;
  Be32(b, 20);
  Add(b, "ftyp");
  Add(b, brand);
  Be32(b, 0);
  Add(b, brand);
  Be32(b, static_cast<uint32_t>(8 + payload.size()));
  Add(b, "mdat");
  Add(b, payload);
  Be32(b, 8 + 100);
  Add(b, "moov");
  Add(b, Filler(100, 5));
  return b;
}

// MPEG-2 program stream: 2048-byte packs, each a pack header and one video PES packet.
inline Bytes ProgramStream(int packs) {
  Bytes b;
  for (int p = 0; p < packs; ++p) {
    b.insert(b.end(), {0, 0, 1, 0xBA, 0x44, 0, 4, 0, 4, 1, 0x01, 0x89, 0xC3, 0xF8});
    b.insert(b.end(), {0, 0, 1, 0xE0});
    Be16(b, 2048 - 14 - 6);
    Add(b, Filler(2048 - 14 - 6, static_cast<uint32_t>(p)));
  }
  b.insert(b.end(), {0, 0, 1, 0xB9});
  return b;
}

// An MPEG-1 video elementary stream: a sequence header, a GOP, pictures of slices, and no
// sequence end code (as ffmpeg writes it).
inline Bytes VideoElementaryStream(int pictures) {
  Bytes b = {0, 0, 1, 0xB3, 0x0A, 0x00, 0x78, 0x13, 0xFF, 0xFF, 0xE0, 0x18};
  b.insert(b.end(), {0, 0, 1, 0xB8, 0x00, 0x08, 0x00, 0x40});
  for (int p = 0; p < pictures; ++p) {
    b.insert(b.end(), {0, 0, 1, 0x00, 0x00, 0x0F, 0xFF, 0xF8});
    b.insert(b.end(), {0, 0, 1, 0x01});
    Add(b, Filler(700, static_cast<uint32_t>(p)));
  }
  return b;
}

// MPEG transport stream of 188-byte packets, or 192 with a 4-byte time stamp before each.
inline Bytes TransportStream(int packets, bool timestamps, uint16_t firstPid = 0x1011) {
  Bytes b;
  for (int p = 0; p < packets; ++p) {
    if (timestamps) Be32(b, 0x00001000u + static_cast<uint32_t>(p));
    const uint16_t pid = p == 0 ? firstPid : 0x1011;
    b.insert(b.end(), {0x47, static_cast<uint8_t>(pid >> 8), static_cast<uint8_t>(pid),
                       static_cast<uint8_t>(0x10 | (p & 15))});
    Add(b, Filler(184, static_cast<uint32_t>(p)));
  }
  return b;
}

// MP3: an ID3v2.3 tag, 128 kbit/s 44.1 kHz Layer III frames (417 bytes), an ID3v1 tag.
inline Bytes Mp3(int frames) {
  Bytes b = {'I', 'D', '3', 3, 0, 0, 0, 0, 0, 20};
  Add(b, Filler(20, 9));
  for (int f = 0; f < frames; ++f) {
    b.insert(b.end(), {0xFF, 0xFB, 0x90, 0x64});
    Add(b, Filler(417 - 4, static_cast<uint32_t>(f)));
  }
  Add(b, "TAG");
  Add(b, Filler(125, 11));
  return b;
}

// AMR narrow band: the magic and 12.2 kbit/s frames (a table-of-contents byte and 31 bytes).
inline Bytes Amr(int frames) {
  Bytes b;
  Add(b, "#!AMR\n");
  for (int f = 0; f < frames; ++f) {
    b.push_back(0x3C);
    Add(b, Filler(31, static_cast<uint32_t>(f)));
  }
  return b;
}

// ASF: a header object with File Properties, a data object, a simple index object.
inline Bytes Asf(size_t dataBytes) {
  const uint8_t header[16] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                              0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
  const uint8_t props[16] = {0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11,
                             0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
  const uint8_t data[16] = {0x36, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                            0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
  const uint64_t headerSize = 30 + 104;
  const uint64_t dataSize = 50 + dataBytes;
  const uint64_t indexSize = 56;
  const uint64_t total = headerSize + dataSize + indexSize;
  Bytes b(header, header + 16);
  Le64(b, headerSize);
  Le32(b, 1);
  b.insert(b.end(), {1, 2});
  b.insert(b.end(), props, props + 16);
  Le64(b, 104);
  Add(b, Filler(16, 2));  // file id
  Le64(b, total);
  b.resize(b.size() + 40, 0);  // date, packets, durations, preroll
  Le32(b, 2);                  // flags: seekable, not broadcast
  Le32(b, 3200);
  Le32(b, 3200);
  Le32(b, 128000);
  b.insert(b.end(), data, data + 16);
  Le64(b, dataSize);
  Add(b, Filler(dataSize - 24, 4));
  b.insert(b.end(), {0x90, 0x08, 0x00, 0x33, 0xB1, 0xE5, 0xCF, 0x11, 0x89, 0xF4, 0x00, 0xA0, 0xC9, 0x03, 0x49, 0xCB});
  Le64(b, indexSize);
  Add(b, Filler(indexSize - 24, 6));
  return b;
}

// A little-endian TIFF: IFD0 with one strip of stripBytes at stripAt, an EXIF IFD, and a
// JPEG preview pointer in IFD1.
inline Bytes Tiff(uint32_t stripAt, uint32_t stripBytes, std::string_view magicTail = "") {
  Bytes b = {'I', 'I', 42, 0, 8, 0, 0, 0};
  auto entry = [&b](uint16_t tag, uint16_t type, uint32_t count, uint32_t value) {
    Le16(b, tag);
    Le16(b, type);
    Le32(b, count);
    Le32(b, value);
  };
  // IFD0 at 8: 4 entries, next IFD1 at 8 + 2 + 48 + 4 = 62.
  Le16(b, 4);
  entry(0x100, 3, 1, 64);
  entry(0x111, 4, 1, stripAt);
  entry(0x117, 4, 1, stripBytes);
  entry(0x8769, 4, 1, 62 + 2 + 24 + 4);
  Le32(b, 62);
  // IFD1 at 62: preview at 200, 100 bytes.
  Le16(b, 2);
  entry(0x201, 4, 1, 200);
  entry(0x202, 4, 1, 100);
  Le32(b, 0);
  // EXIF IFD at 92: one entry with an 8-byte value at 150.
  Le16(b, 1);
  entry(0x829A, 5, 1, 150);
  Le32(b, 0);
  Add(b, magicTail);
  b.resize(stripAt + stripBytes, 0x55);
  return b;
}

}  // namespace snapsalvager::mediabytes
