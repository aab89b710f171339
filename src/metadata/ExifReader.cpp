// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The EXIF reader: marker walk to the first APP1, TIFF header, IFD walk and value formatting.
#include "metadata/ExifReader.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <stdexcept>

#include "formats/TiffWalk.h"
#include "metadata/PicFileStream.h"

namespace snapsalvager {

namespace {

struct TagName {
  uint16_t tag;
  const char* name;
};

// Groups 0 and 1: IFD0 (and its chain) and the Exif IFD. A210 keeps its historic spelling.
constexpr TagName kMainTags[] = {
    {0x0100, "ImageWidth"}, {0x0101, "ImageLength"}, {0x0102, "BitsPerSample"},
    {0x0103, "Compression"}, {0x0106, "PhotometricInterpretation"},
    {0x010E, "ImageDescription"}, {0x010F, "Make"}, {0x0110, "Model"},
    {0x0111, "StripOffsets"}, {0x0112, "Orientation"}, {0x0115, "SamplesPerPixel"},
    {0x0116, "RowsPerStrip"}, {0x0117, "StripByteCounts"}, {0x011A, "XResolution"},
    {0x011B, "YResolution"}, {0x011C, "PlanarConfiguration"}, {0x0128, "ResolutionUnit"},
    {0x012D, "TransferFunction"}, {0x0131, "Software"}, {0x0132, "DateTime"},
    {0x013B, "Artist"}, {0x013E, "WhitePoint"}, {0x013F, "PrimaryChromaticities"},
    {0x0201, "JPEGInterchangeFormat"}, {0x0202, "JPEGInterchangeFormatLength"},
    {0x0211, "YCbCrCoefficients"}, {0x0212, "YCbCrSubSampling"},
    {0x0213, "YCbCrPositioning"}, {0x0214, "ReferenceBlackWhite"}, {0x8298, "Copyright"},
    {0x829A, "ExposureTime"}, {0x829D, "FNumber"}, {0x8769, "Exif IFD"},
    {0x8822, "ExposureProgram"}, {0x8824, "SpectralSensitivity"},
    {0x8825, "GPS Info Pointer"}, {0x8827, "ISOSpeedRatings"}, {0x8828, "OECF"},
    {0x9000, "ExifVersion"}, {0x9003, "DateTimeOriginal"}, {0x9004, "DateTimeDigitized"},
    {0x9101, "ComponentsConfiguration"}, {0x9102, "CompressedBitsPerPixel"},
    {0x9201, "ShutterSpeedValue"}, {0x9202, "ApertureValue"}, {0x9203, "BrightnessValue"},
    {0x9204, "ExposureBiasValue"}, {0x9205, "MaxApertureValue"},
    {0x9206, "SubjectDistance"}, {0x9207, "MeteringMode"}, {0x9208, "LightSource"},
    {0x9209, "Flash"}, {0x920A, "FocalLength"}, {0x927C, "MakerNote"},
    {0x9286, "UserComment"}, {0x9290, "SubSecTime"}, {0x9291, "SubSecTimeOriginal"},
    {0x9292, "SubSecTimeDigitized"}, {0xA000, "FlashPixVersion"}, {0xA001, "ColorSpace"},
    {0xA002, "PixelXDimension"}, {0xA003, "PixelYDimension"},
    {0xA005, "Interoperability IFD Pointer"}, {0xA20B, "FlashEnergy"},
    {0xA20C, "SpatialFrequencyResponse"}, {0xA20E, "FocalPlaneXResolution"},
    {0xA20F, "FocalPlaneYResolution"}, {0xA210, "FicalPlaneResolutionUnit"},
    {0xA214, "SubjectLocation"}, {0xA215, "ExposureIndex"}, {0xA217, "SensingMethod"},
    {0xA300, "FileSource"}, {0xA301, "SceneType"}, {0xA302, "CFAPattern"},
};

constexpr TagName kGpsTags[] = {
    {0x0000, "GPSVersionID"}, {0x0001, "GPSLatitudeRef"}, {0x0002, "GPSLatitude"},
    {0x0003, "GPSLongitudeRef"}, {0x0004, "GPSLongitude"}, {0x0005, "GPSAltitudeRef"},
    {0x0006, "GPSAltitude"}, {0x0007, "GPSTimeStamp"}, {0x0008, "GPSSatellites"},
    {0x0009, "GPSStatus"}, {0x000A, "GPSMeasureMode"}, {0x000B, "GPSDOP"},
    {0x000C, "GPSSpeedRef"}, {0x000D, "GPSSpeed"}, {0x000E, "GPSTrackRef"},
    {0x000F, "GPSTrack"}, {0x0010, "GPSImgDirectionRef"}, {0x0011, "GPSImgDirection"},
    {0x0012, "GPSMapDatum"}, {0x0013, "GPSDestLatitudeRef"}, {0x0014, "GPSDestLatitude"},
    {0x0015, "GPSDestLongitudeRef"}, {0x0016, "GPSDestLongitude"},
    {0x0017, "GPSDestBearingRef"}, {0x0018, "GPSDestBearing"},
    {0x0019, "GPSDestDistanceRef"}, {0x001A, "GPSDestDistance"},
};

constexpr TagName kInteropTags[] = {
    {0x0001, "InteroperabilityIndex"}, {0x0002, "InteroperabilityVersion"},
    {0x1000, "RelatedImageFileFormat"}, {0x1001, "RelatedImageWidth"},
    {0x1002, "RelatedImageLength"},
};

static_assert(std::size(kMainTags) + std::size(kGpsTags) + std::size(kInteropTags) == 106);

// Limits for hostile blocks. Real photos nest at most three IFDs deep (IFD0, Exif,
// Interoperability) and chain two or three; they hold a few hundred entries and well under
// 64 KiB of values in all, since the whole block fits one APP1 segment.
constexpr int kMaxIfdDepth = 64;
constexpr int64_t kMaxEntries = 16384;
constexpr int64_t kMaxValueBytes = 1 << 20;
constexpr int64_t kSectionSpan = 65536;

constexpr char kHex[] = "0123456789ABCDEF";

}  // namespace

std::string ExifTagName(uint8_t group, uint16_t tag) {
  auto find = [tag](const auto& table) -> const char* {
    for (const TagName& t : table) {
      if (t.tag == tag) return t.name;
    }
    return nullptr;
  };
  const char* name = nullptr;
  if (group <= 1) {
    name = find(kMainTags);
  } else if (group == 2) {
    name = find(kGpsTags);
  } else if (group == 3) {
    name = find(kInteropTags);
  }
  if (name != nullptr) return name;
  char text[16];
  std::snprintf(text, sizeof text, "Tag %04X", static_cast<unsigned>(tag));
  return text;
}

std::string StripControlChars(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (static_cast<unsigned char>(c) >= 32) out += c;
  }
  return out;
}

namespace {

// "0A 1B FF": filled in place, since MakerNotes of tens of KB are formatted for every
// carved photo.
std::string HexBytes(const std::string& bytes) {
  if (bytes.empty()) return {};
  static const auto kHexPairs = [] {
    std::array<std::array<char, 3>, 256> pairs{};
    for (int b = 0; b < 256; ++b) pairs[b] = {kHex[b >> 4], kHex[b & 15], ' '};
    return pairs;
  }();
  std::string text(bytes.size() * 3, '\0');
  char* out = text.data();
  for (size_t i = 0; i < bytes.size(); ++i, out += 3) {
    std::memcpy(out, kHexPairs[static_cast<unsigned char>(bytes[i])].data(), 3);
  }
  text.pop_back();  // no blank after the last value
  return text;
}

// "1,2,255"
std::string DecimalBytes(const std::string& bytes) {
  std::string text;
  text.reserve(bytes.size() * 4);
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (i > 0) text += ',';
    char digits[4];
    const auto r = std::to_chars(digits, digits + sizeof digits,
                                 static_cast<unsigned>(static_cast<unsigned char>(bytes[i])));
    text.append(digits, r.ptr);
  }
  return text;
}

}  // namespace

namespace {

// Reads past the section's last position: an entry starting there (at most 65537, just
// behind the count of an IFD at the last position) ends 12 bytes on.
constexpr int64_t kSectionLoad = kSectionSpan + 16;

// The IFD walk over the loaded section: every entry becomes a "name=value" line, the IFDs
// the Exif, GPS and Interoperability pointers name are listed at the pointer, and a failed
// one leaves the pointer's "=[ ERROR ]" line. Offsets are counted from the section's start.
class TExifBlockWalk {
 public:
  TExifBlockWalk(const TTiffView& t, std::vector<std::string>& list)
      : t_(t), list_(list), walk_(t, {kSectionSpan - 1, kMaxIfdDepth, kMaxEntries}) {}

  // The IFD at offset of group 0..3 and the chain behind it; false when any of them failed.
  bool Walk(uint64_t offset, uint8_t group, int depth) {
    try {
      return walk_.Walk(offset, depth, [this, group](const TTiffEntry& e, uint64_t at, int d) {
        return Entry(e, at, group, d);
      });
    } catch (const std::exception&) {
      return false;
    }
  }

 private:
  bool Entry(const TTiffEntry& e, uint64_t at, uint8_t group, int depth) {
    std::string text;
    if (!FormatValue(e, at, text)) return false;
    if (e.Tag == kTagExifIfd || e.Tag == kTagInteropIfd || e.Tag == kTagGpsIfd) {
      const uint8_t sub = e.Tag == kTagExifIfd ? 1 : e.Tag == kTagGpsIfd ? 2 : 3;
      if (!Walk(e.Value, sub, depth + 1)) {
        list_.push_back(ExifTagName(group, static_cast<uint16_t>(e.Tag)) + "=[ ERROR ]");
      }
    } else {
      list_.push_back(ExifTagName(group, static_cast<uint16_t>(e.Tag)) + "=" + text);
    }
    return true;
  }

  // The entry's value by its type; false for a type the reader does not handle, a value
  // that starts past the section or runs past the block's end, or a walk past its value
  // budget. Values lie in the value field at + 8 when they fit there (by the reader's own
  // rule per type), else at the offset the field holds.
  bool FormatValue(const TTiffEntry& e, uint64_t at, std::string& text) {
    const uint64_t inlineAt = at + 8;
    uint64_t from;
    int64_t unit;
    switch (e.Type) {
      case 1: case 2: case 7:
        unit = 1;
        from = e.Count <= 4 ? inlineAt : e.Value;
        break;
      case 3:
        unit = 2;
        from = e.Count <= 2 ? inlineAt : e.Value;
        break;
      case 4:
        if (e.Count <= 1) {
          text = std::to_string(static_cast<uint32_t>(e.Value));
          return true;
        }
        unit = 4;
        from = e.Value;
        break;
      case 9:
        if (e.Count <= 1) {
          text = std::to_string(static_cast<int32_t>(static_cast<uint32_t>(e.Value)));
          return true;
        }
        unit = 4;
        from = e.Value;
        break;
      case 5: case 10:
        unit = 8;
        from = e.Value;
        break;
      default:
        return false;
    }
    if (from > static_cast<uint64_t>(kSectionSpan - 1)) return false;

    // A count of 2^31 or more reads nothing. No value of a real block reaches past the
    // section's end, so a hostile count is cut there rather than read through the image data.
    int64_t n = std::max<int64_t>(0, static_cast<int32_t>(e.Count));
    n = std::min(n, (kSectionSpan - static_cast<int64_t>(from)) / unit);
    valueBytes_ += n * unit;
    if (valueBytes_ > kMaxValueBytes) return false;
    if (n > 0 && !t_.Has(from, static_cast<uint64_t>(n * unit))) return false;
    text = unit == 1 ? FormatByteValues(e.Type, from, n) : FormatNumberValues(e.Type, from, n);
    return true;
  }

  std::string FormatByteValues(uint32_t type, uint64_t from, int64_t n) const {
    const std::string bytes(reinterpret_cast<const char*>(t_.Data() + from), static_cast<size_t>(n));
    if (type == 2) return StripControlChars(bytes);
    if (type == 7) return HexBytes(bytes);
    return DecimalBytes(bytes);
  }

  std::string FormatNumberValues(uint32_t type, uint64_t at, int64_t n) const {
    std::string text;
    for (int64_t i = 0; i < n; ++i) {
      if (i > 0) text += ',';
      switch (type) {
        case 3:
          text += std::to_string(t_.U16(at));
          at += 2;
          break;
        case 4:
          text += std::to_string(t_.U32(at));
          at += 4;
          break;
        case 9:
          text += std::to_string(static_cast<int32_t>(t_.U32(at)));
          at += 4;
          break;
        case 5:
          text += std::to_string(t_.U32(at)) + '/' + std::to_string(t_.U32(at + 4));
          at += 8;
          break;
        case 10:
          text += std::to_string(static_cast<int32_t>(t_.U32(at))) + '/' +
                  std::to_string(static_cast<int32_t>(t_.U32(at + 4)));
          at += 8;
          break;
      }
    }
    return text;
  }

  const TTiffView& t_;
  std::vector<std::string>& list_;
  TTiffTreeWalk walk_;
  int64_t valueBytes_ = 0;
};

}  // namespace

bool TmdExifStream::ReadIfd(uint32_t offset, uint8_t group, std::vector<std::string>& list) {
  std::vector<uint8_t> section;
  try {
    // The walk reads nothing outside the section, so it is loaded once through the reader;
    // a block cut short by the file's end loads short, and what lies past it fails.
    section.resize(static_cast<size_t>(kSectionLoad));
    int32_t got = 0;
    if (Reader->Seek(SectionBase, SEEK_SET) >= 0) {
      got = Reader->Read(section.data(), static_cast<int32_t>(kSectionLoad));
    }
    section.resize(static_cast<size_t>(got));
  } catch (const std::exception&) {
    return false;
  }
  const TTiffView t(section.data(), section.size());
  if (!t.Ok()) return false;  // the header was read from the stream, so only a vanished file
  TExifBlockWalk walk(t, list);
  return walk.Walk(offset, group, 0);
}

bool ReadExifTags(const std::filesystem::path& fileName, std::vector<std::string>& list,
                  bool encoded) {
  TmdExifStream s(fileName, encoded);
  if (s.WindowEmpty()) return false;
  if (s.ReadWord() != 0xFFD8) return false;
  for (;;) {
    if (s.ReadByte() != 0xFF) return false;
    const uint8_t marker = s.ReadByte();
    if (marker == 0xD9) return false;
    if (marker == 0xE1) break;
    const uint16_t length = s.ReadWord();
    s.SetPosition(s.Position + static_cast<uint16_t>(length - 2));
  }
  s.ReadWord();  // segment length: the section bound below is what limits the walk
  char signature[4];
  if (s.ReadBytes(signature, 4) != 4 || std::memcmp(signature, "Exif", 4) != 0) return false;
  if (s.ReadWord() != 0) return false;
  // Offsets are 32-bit from here on; a block this deep in a file cannot be addressed.
  if (s.Position > 0xFFFF0000LL) return false;
  s.SectionBase = static_cast<uint32_t>(s.Position);
  const uint16_t order = s.ReadWord();
  if (order == 0x4949) {
    s.ByteOrder = 0;
  } else if (order == 0x4D4D) {
    s.ByteOrder = 1;
  } else {
    return false;
  }
  if (s.ReadWord() != 42) return false;
  const uint32_t ifd0 = s.ReadDWord();
  return s.ReadIfd(ifd0, 0, list);
}

}  // namespace snapsalvager
