// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The EXIF reader against exiftool: photos tagged by exiftool (both byte orders, with and
// without JFIF, GPS, thumbnail, MakerNote) are read by both, and every EXIF tag exiftool
// reports must appear among the reader's lines with the same value.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "fixtures/Jpegs.h"
#include "fixtures/Photos.h"
#include "metadata/ExifReader.h"
#include "metadata/PhotoSummary.h"

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

namespace {

enum class Kind { Text, Number, List, HexText, HexNumbers, Degrees, Offset };

struct Mapping {
  const char* ours;
  Kind kind;
};

// exiftool "Group:Name" (as -args -G1 prints it) -> the reader's name and how values compare.
const std::map<std::string, Mapping> kMappings = {
    {"IFD0:Make", {"Make", Kind::Text}},
    {"IFD0:Model", {"Model", Kind::Text}},
    {"IFD0:ModifyDate", {"DateTime", Kind::Text}},
    {"IFD0:Software", {"Software", Kind::Text}},
    {"IFD0:Orientation", {"Orientation", Kind::Number}},
    {"IFD0:XResolution", {"XResolution", Kind::Number}},
    {"IFD0:YResolution", {"YResolution", Kind::Number}},
    {"IFD0:ResolutionUnit", {"ResolutionUnit", Kind::Number}},
    {"IFD0:YCbCrPositioning", {"YCbCrPositioning", Kind::Number}},
    {"ExifIFD:ExposureTime", {"ExposureTime", Kind::Number}},
    {"ExifIFD:FNumber", {"FNumber", Kind::Number}},
    {"ExifIFD:ISO", {"ISOSpeedRatings", Kind::Number}},
    {"ExifIFD:ExifVersion", {"ExifVersion", Kind::HexText}},
    {"ExifIFD:DateTimeOriginal", {"DateTimeOriginal", Kind::Text}},
    {"ExifIFD:ComponentsConfiguration", {"ComponentsConfiguration", Kind::HexNumbers}},
    {"ExifIFD:ExposureCompensation", {"ExposureBiasValue", Kind::Number}},
    {"ExifIFD:Flash", {"Flash", Kind::Number}},
    {"ExifIFD:FocalLength", {"FocalLength", Kind::Number}},
    {"ExifIFD:FlashpixVersion", {"FlashPixVersion", Kind::HexText}},
    {"ExifIFD:ColorSpace", {"ColorSpace", Kind::Number}},
    {"ExifIFD:ExifImageWidth", {"PixelXDimension", Kind::Number}},
    {"ExifIFD:ExifImageHeight", {"PixelYDimension", Kind::Number}},
    {"InteropIFD:InteropIndex", {"InteroperabilityIndex", Kind::Text}},
    {"InteropIFD:InteropVersion", {"InteroperabilityVersion", Kind::HexText}},
    {"GPS:GPSVersionID", {"GPSVersionID", Kind::List}},
    {"GPS:GPSLatitudeRef", {"GPSLatitudeRef", Kind::Text}},
    {"GPS:GPSLatitude", {"GPSLatitude", Kind::Degrees}},
    {"GPS:GPSLongitudeRef", {"GPSLongitudeRef", Kind::Text}},
    {"GPS:GPSLongitude", {"GPSLongitude", Kind::Degrees}},
    {"GPS:GPSAltitudeRef", {"GPSAltitudeRef", Kind::Number}},
    {"GPS:GPSAltitude", {"GPSAltitude", Kind::Number}},
    {"GPS:GPSMapDatum", {"GPSMapDatum", Kind::Text}},
    {"IFD1:Compression", {"Compression", Kind::Number}},
    {"IFD1:XResolution", {"XResolution", Kind::Number}},
    {"IFD1:YResolution", {"YResolution", Kind::Number}},
    {"IFD1:ResolutionUnit", {"ResolutionUnit", Kind::Number}},
    {"IFD1:ThumbnailOffset", {"JPEGInterchangeFormat", Kind::Offset}},
    {"IFD1:ThumbnailLength", {"JPEGInterchangeFormatLength", Kind::Number}},
};

double Number(const std::string& text) {
  const size_t slash = text.find('/');
  if (slash == std::string::npos) return std::strtod(text.c_str(), nullptr);
  return std::strtod(text.substr(0, slash).c_str(), nullptr) /
         std::strtod(text.substr(slash + 1).c_str(), nullptr);
}

std::vector<std::string> Split(const std::string& text, char sep) {
  std::vector<std::string> parts;
  std::stringstream ss(text);
  for (std::string part; std::getline(ss, part, sep);) parts.push_back(part);
  return parts;
}

std::vector<uint8_t> HexBytes(const std::string& text) {
  std::vector<uint8_t> out;
  for (const std::string& h : Split(text, ' ')) {
    out.push_back(static_cast<uint8_t>(std::strtoul(h.c_str(), nullptr, 16)));
  }
  return out;
}

// The value of the first line named name, or of the last one (tags of IFD1 follow IFD0's).
std::optional<std::string> Find(const Lines& lines, const std::string& name, bool last) {
  std::optional<std::string> found;
  for (const std::string& line : lines) {
    if (line.compare(0, name.size() + 1, name + "=") == 0) {
      found = line.substr(name.size() + 1);
      if (!last) break;
    }
  }
  return found;
}

size_t SectionBaseOf(const std::vector<uint8_t>& file) {
  const std::string bytes(file.begin(), file.end());
  return bytes.find(std::string("Exif\0\0", 6)) + 6;
}

struct Variant {
  bool bigEndian;
  bool jfif;
};

std::string VariantName(const ::testing::TestParamInfo<Variant>& info) {
  return std::string(info.param.bigEndian ? "Motorola" : "Intel") +
         (info.param.jfif ? "AfterJfif" : "ExifFirst");
}

class ExiftoolComparison : public ::testing::TestWithParam<Variant> {
 protected:
  void SetUp() override {
    if (!fixtures::ExiftoolAvailable()) GTEST_SKIP() << "exiftool is not installed";
    std::random_device rd;
    dir_ = fs::temp_directory_path() /
           ("ss_exiftool_" + std::to_string(::getpid()) + "_" + std::to_string(rd()));
    fs::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ec;
    if (!dir_.empty()) fs::remove_all(dir_, ec);
  }
  fs::path dir_;
};

}  // namespace

TEST_P(ExiftoolComparison, ReaderAgreesWithExiftoolOnEveryExifTag) {
  fixtures::PhotoSpec want;
  want.BigEndian = GetParam().bigEndian;
  want.Jfif = GetParam().jfif;
  want.MakerNoteBytes = 6000;
  const fs::path photo = dir_ / "photo.jpg";
  std::string error;
  ASSERT_TRUE(fixtures::MakeExifPhoto(want, photo, &error)) << error;
  const std::vector<uint8_t> file = fixtures::ReadWholeFile(photo);
  ASSERT_EQ(file[3], want.Jfif ? 0xE0 : 0xE1);

  Lines lines;
  ASSERT_TRUE(snapsalvager::ReadExifTags(photo, lines, false));

  int status;
  const std::string report = fixtures::RunProgram(
      {"exiftool", "-args", "-a", "-G1", "-n", "-ExifByteOrder", "-EXIF:all", photo.string()},
      &status);
  ASSERT_EQ(status, 0);
  int compared = 0;
  for (const std::string& row : Split(report, '\n')) {
    if (row.size() < 2 || row[0] != '-') continue;
    const size_t eq = row.find('=');
    const std::string key = row.substr(1, eq - 1), theirs = row.substr(eq + 1);
    if (key == "File:ExifByteOrder") {
      EXPECT_EQ(theirs, want.BigEndian ? "MM" : "II");
      continue;
    }
    if (key == "IFD1:ThumbnailImage" || key.rfind("ExifIFD:MakerNote", 0) == 0) continue;
    const auto m = kMappings.find(key);
    if (m == kMappings.end()) {
      ADD_FAILURE() << "exiftool reports " << key << " with no counterpart here";
      continue;
    }
    const auto ours = Find(lines, m->second.ours, key.rfind("IFD1:", 0) == 0);
    if (!ours) {
      ADD_FAILURE() << key << " (" << m->second.ours << ") missing from the reader's lines";
      continue;
    }
    SCOPED_TRACE(key + " ours=" + *ours + " exiftool=" + theirs);
    ++compared;
    switch (m->second.kind) {
      case Kind::Text:
        EXPECT_EQ(*ours, theirs);
        break;
      case Kind::Number:
        EXPECT_NEAR(Number(*ours), Number(theirs), 1e-9 + std::fabs(Number(theirs)) * 1e-9);
        break;
      case Kind::List: {
        std::string spaced = *ours;
        for (char& c : spaced) c = c == ',' ? ' ' : c;
        EXPECT_EQ(spaced, theirs);
        break;
      }
      case Kind::HexText: {
        const auto bytes = HexBytes(*ours);
        EXPECT_EQ(std::string(bytes.begin(), bytes.end()), theirs);
        break;
      }
      case Kind::HexNumbers: {
        std::string decimal;
        for (uint8_t b : HexBytes(*ours)) decimal += (decimal.empty() ? "" : " ") + std::to_string(b);
        EXPECT_EQ(decimal, theirs);
        break;
      }
      case Kind::Degrees: {
        const auto parts = Split(*ours, ',');
        ASSERT_EQ(parts.size(), 3u);
        const double degrees = Number(parts[0]) + Number(parts[1]) / 60 + Number(parts[2]) / 3600;
        EXPECT_NEAR(degrees, Number(theirs), 1e-9);
        break;
      }
      case Kind::Offset:
        EXPECT_EQ(std::stoul(*ours) + SectionBaseOf(file), std::stoul(theirs));
        break;
    }
  }
  EXPECT_GE(compared, 30) << report;

  // The MakerNote is kept whole, byte for byte as exiftool extracts it.
  const std::string note =
      fixtures::RunProgram({"exiftool", "-b", "-MakerNotes", photo.string()}, &status);
  ASSERT_EQ(note.size(), 6000u);
  const auto ourNote = Find(lines, "MakerNote", false);
  ASSERT_TRUE(ourNote.has_value());
  EXPECT_EQ(HexBytes(*ourNote), std::vector<uint8_t>(note.begin(), note.end()));
}

TEST_P(ExiftoolComparison, TemporaryFileGivesTheSameLinesAndSummary) {
  fixtures::PhotoSpec want;
  want.BigEndian = GetParam().bigEndian;
  want.Jfif = GetParam().jfif;
  want.Width = 640;
  want.Height = 480;
  const fs::path photo = dir_ / "photo.jpg", temp = dir_ / "Temporary_v5_File0001_JPG.~QX";
  std::string error;
  ASSERT_TRUE(fixtures::MakeExifPhoto(want, photo, &error)) << error;
  fixtures::WriteTemporaryFile(temp, fixtures::ReadWholeFile(photo));
  Lines plain, scrambled;
  ASSERT_TRUE(snapsalvager::ReadExifTags(photo, plain, false));
  ASSERT_TRUE(snapsalvager::ReadExifTags(temp, scrambled));
  EXPECT_EQ(plain, scrambled);
  const std::string expected =
      "Shoot Time: 05/17/2008 14:23:05|Model: Canon EOS 40D|Image Size: 640x480";
  EXPECT_EQ(snapsalvager::GetPhotoSummary(temp), expected);
  EXPECT_EQ(snapsalvager::GetPhotoSummary(photo, false), expected);
}

TEST_P(ExiftoolComparison, XmpFirstPhotoHasExifButGivesNA) {
  fixtures::PhotoSpec want;
  want.BigEndian = GetParam().bigEndian;
  want.Jfif = GetParam().jfif;
  want.XmpFirst = true;
  const fs::path photo = dir_ / "xmp.jpg";
  std::string error;
  ASSERT_TRUE(fixtures::MakeExifPhoto(want, photo, &error)) << error;
  int status;
  const std::string make =
      fixtures::RunProgram({"exiftool", "-s3", "-IFD0:Make", photo.string()}, &status);
  EXPECT_EQ(make, "Canon\n") << "exiftool still finds the Exif block";
  Lines lines;
  EXPECT_FALSE(snapsalvager::ReadExifTags(photo, lines, false));
  EXPECT_TRUE(lines.empty());
  EXPECT_EQ(snapsalvager::GetPhotoSummary(photo, false), "N/A");
}

INSTANTIATE_TEST_SUITE_P(ByteOrderAndLayout, ExiftoolComparison,
                         ::testing::Values(Variant{false, false}, Variant{false, true},
                                           Variant{true, false}, Variant{true, true}),
                         VariantName);
