// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The EXIF reader on hand-built blocks: marker walk, value formatting by type, sub-IFD
// errors, chains, and hostile offsets, loops and counts.
#include "metadata/ExifReader.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "fixtures/Jpegs.h"
#include "fixtures/Photos.h"

namespace fs = std::filesystem;
using fixtures::JpegWithExif;
using fixtures::TiffBlock;
using snapsalvager::ReadExifTags;
using Lines = std::vector<std::string>;

namespace {

class ExifReaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device rd;
    dir_ = fs::temp_directory_path() /
           ("ss_exif_" + std::to_string(::getpid()) + "_" + std::to_string(rd()));
    fs::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  // Reads bytes as a plain file; the temporary-file path is covered separately.
  bool Read(const std::vector<uint8_t>& bytes, Lines* lines) {
    const fs::path p = dir_ / ("p" + std::to_string(counter_++) + ".jpg");
    fixtures::WritePlainFile(p, bytes);
    return ReadExifTags(p, *lines, false);
  }
  std::string ErrorOf(const std::vector<uint8_t>& bytes) {
    Lines lines;
    try {
      Read(bytes, &lines);
    } catch (const std::runtime_error& e) {
      return e.what();
    }
    return "";
  }

  fs::path dir_;
  int counter_ = 0;
};

// IFD0 with Make, Model, an Exif IFD (ExifVersion, pixel size, exposure bias), and IFD1.
std::vector<uint8_t> SmallBlock(bool bigEndian) {
  TiffBlock t(bigEndian);
  const uint32_t ifd0 = t.AddIfd({t.Ascii(0x010F, "Canon"), t.Ascii(0x0110, "Canon EOS 40D"),
                                  t.Rational(0x011A, {{72, 1}}), t.Short(0x0112, {1}),
                                  TiffBlock::Raw(0x8769, 4, 1, 0)});
  const uint32_t exif = t.AddIfd({t.ByteValues(0x9000, {0x30, 0x32, 0x32, 0x30}, 7),
                                  t.Long(0xA002, {3888}), t.Long(0xA003, {2592}),
                                  t.Rational(0x9204, {{static_cast<uint32_t>(-1), 3}}, 10)});
  const uint32_t ifd1 = t.AddIfd({t.Long(0x0201, {5000}), t.Long(0x0202, {1234})});
  t.SetFirstIfd(ifd0);
  t.Put32(TiffBlock::ValueField(ifd0, 4), exif);
  t.Put32(TiffBlock::NextField(ifd0, 5), ifd1);
  return JpegWithExif(t.Bytes());
}

// The photo with an XMP APP1 segment put right after its SOI.
std::vector<uint8_t> WithXmpFirst(const std::vector<uint8_t>& photo) {
  const std::string ns = "http://ns.adobe.com/xap/1.0/";
  std::string s = "\xFF\xD8\xFF\xE1";
  s += '\0';
  s += static_cast<char>(ns.size() + 3);
  s += ns;
  s += '\0';
  s.append(photo.begin() + 2, photo.end());
  return {s.begin(), s.end()};
}

const Lines kSmallBlockLines = {
    "Make=Canon",          "Model=Canon EOS 40D",         "XResolution=72/1",
    "Orientation=1",       "ExifVersion=30 32 32 30",     "PixelXDimension=3888",
    "PixelYDimension=2592", "ExposureBiasValue=-1/3",     "JPEGInterchangeFormat=5000",
    "JPEGInterchangeFormatLength=1234"};

}  // namespace

TEST_F(ExifReaderTest, BothByteOrdersGiveTheSameLinesInFileOrder) {
  for (bool big : {false, true}) {
    Lines lines;
    EXPECT_TRUE(Read(SmallBlock(big), &lines));
    EXPECT_EQ(lines, kSmallBlockLines) << (big ? "MM" : "II");
  }
}

TEST_F(ExifReaderTest, TemporaryFileIsReadThroughItsScrambledHead) {
  const fs::path p = dir_ / "Temporary_v5_File0001_JPG.~QX";
  fixtures::WriteTemporaryFile(p, SmallBlock(false));
  Lines lines;
  EXPECT_TRUE(ReadExifTags(p, lines));
  EXPECT_EQ(lines, kSmallBlockLines);
  Lines plainRead;
  EXPECT_FALSE(ReadExifTags(p, plainRead, false)) << "scrambled bytes are no JPEG";
}

TEST_F(ExifReaderTest, JfifApp0IsSkippedByItsLength) {
  TiffBlock t(true);
  t.SetFirstIfd(t.AddIfd({t.Ascii(0x0110, "X")}));
  Lines lines;
  EXPECT_TRUE(Read(JpegWithExif(t.Bytes(), /*jfif=*/true), &lines));
  EXPECT_EQ(lines, Lines{"Model=X"});
}

TEST_F(ExifReaderTest, MarkerWalkFailures) {
  Lines lines;
  EXPECT_FALSE(Read({}, &lines)) << "empty file";
  EXPECT_FALSE(Read({0x89, 'P', 'N', 'G'}, &lines)) << "not FF D8";
  EXPECT_FALSE(Read({0xFF, 0xD8, 0x00, 0x00}, &lines)) << "no marker after SOI";
  EXPECT_FALSE(Read({0xFF, 0xD8, 0xFF, 0xD9}, &lines)) << "end of image first";
  EXPECT_FALSE(Read({0xFF, 0xD8, 0xFF, 0xE1, 0, 8, 'J', 'F', 'I', 'F', 0, 0}, &lines))
      << "first APP1 not Exif";
  EXPECT_FALSE(Read({0xFF, 0xD8, 0xFF, 0xE1, 0, 8, 'E', 'x', 'i', 'f', 0, 1}, &lines))
      << "Exif not followed by two zero bytes";
  EXPECT_FALSE(Read({0xFF, 0xD8, 0xFF, 0xE1, 0, 8, 'E', 'x', 'i', 'f', 0, 0, 'I', 'M', 42, 0},
                    &lines))
      << "bad byte order mark";
  EXPECT_FALSE(Read({0xFF, 0xD8, 0xFF, 0xE1, 0, 8, 'E', 'x', 'i', 'f', 0, 0, 'M', 'M', 0, 43},
                    &lines))
      << "bad TIFF magic";
  EXPECT_TRUE(lines.empty());
}

TEST_F(ExifReaderTest, FileEndingInsideTheMarkerWalkRaisesOutOfBounds) {
  EXPECT_EQ(ErrorOf({0xFF}), "Out of bounds");
  EXPECT_EQ(ErrorOf({0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F'}), "Out of bounds");
  EXPECT_EQ(ErrorOf({0xFF, 0xD8, 0xFF, 0xE1, 0x00}), "Out of bounds");
  EXPECT_EQ(ErrorOf({0xFF, 0xD8, 0xFF, 0xE1, 0, 8, 'E', 'x', 'i', 'f', 0, 0, 'M', 'M', 0, 42, 0}),
            "Out of bounds");
}

TEST_F(ExifReaderTest, XmpBeforeExifGivesFalse) {
  Lines lines;
  EXPECT_FALSE(Read(WithXmpFirst(SmallBlock(true)), &lines));
  EXPECT_TRUE(lines.empty());
}

TEST_F(ExifReaderTest, ValuesAreFormattedByType) {
  for (bool big : {false, true}) {
    TiffBlock t(big);
    t.SetFirstIfd(t.AddIfd({
        t.Ascii(0x0110, "Canon EOS 5D"),                       // count 13: 12 chars + NUL
        t.Ascii(0x010E, "ab\tc\x01\xC3\xA9"),                  // controls out, high bytes in
        t.Ascii(0x013B, "Abc"),                                // inline ASCII
        t.Short(0x0128, {2}),                                  // one SHORT, inline
        t.Short(0x0102, {8, 8, 8}),                            // three SHORTs, at the offset
        t.ByteValues(0x0000, {1, 2, 255}),                     // BYTE inline
        t.ByteValues(0x0001, {1, 2, 3, 4, 5}),                 // BYTE at the offset
        t.ByteValues(0x0002, {0xAB, 0x01, 0x00, 0xFF, 0x10}, 7),  // UNDEFINED at the offset
        t.Long(0x0111, {1, 4294967295u}),                      // LONG at the offset
        TiffBlock::Raw(0x0116, 4, 0, 77),                      // LONG count 0 prints V
        t.Long(0x0003, {static_cast<uint32_t>(-5)}, 9),        // SLONG inline
        t.Long(0x0004, {static_cast<uint32_t>(-5), 7}, 9),     // SLONGs at the offset
        t.Rational(0x011A, {{72, 1}}),
        t.Rational(0x0005, {{static_cast<uint32_t>(-1), 3}, {4, static_cast<uint32_t>(-2)}}, 10),
        TiffBlock::Raw(0x0006, 2, 0x80000000u, 8),             // count >= 2^31: no values
        t.ByteValues(0xC4A5, {9}),                             // no name in the tables
    }));
    Lines lines;
    EXPECT_TRUE(Read(JpegWithExif(t.Bytes()), &lines));
    const Lines expected = {"Model=Canon EOS 5D",
                            "ImageDescription=abc\xC3\xA9",
                            "Artist=Abc",
                            "ResolutionUnit=2",
                            "BitsPerSample=8,8,8",
                            "Tag 0000=1,2,255",
                            "Tag 0001=1,2,3,4,5",
                            "Tag 0002=AB 01 00 FF 10",
                            "StripOffsets=1,4294967295",
                            "RowsPerStrip=77",
                            "Tag 0003=-5",
                            "Tag 0004=-5,7",
                            "XResolution=72/1",
                            "Tag 0005=-1/3,4/-2",
                            "Tag 0006=",
                            "Tag C4A5=9"};
    EXPECT_EQ(lines, expected) << (big ? "MM" : "II");
  }
}

TEST_F(ExifReaderTest, GroupsSelectTheNameTables) {
  using snapsalvager::ExifTagName;
  EXPECT_EQ(ExifTagName(0, 0x8769), "Exif IFD");
  EXPECT_EQ(ExifTagName(1, 0xA210), "FicalPlaneResolutionUnit");
  EXPECT_EQ(ExifTagName(1, 0xA005), "Interoperability IFD Pointer");
  EXPECT_EQ(ExifTagName(0, 0x8825), "GPS Info Pointer");
  EXPECT_EQ(ExifTagName(2, 0x0000), "GPSVersionID");
  EXPECT_EQ(ExifTagName(2, 0x001A), "GPSDestDistance");
  EXPECT_EQ(ExifTagName(2, 0x0110), "Tag 0110");
  EXPECT_EQ(ExifTagName(3, 0x0001), "InteroperabilityIndex");
  EXPECT_EQ(ExifTagName(3, 0x1002), "RelatedImageLength");
  EXPECT_EQ(ExifTagName(0, 0x0001), "Tag 0001");
  EXPECT_EQ(ExifTagName(7, 0x010F), "Tag 010F");
  EXPECT_EQ(ExifTagName(1, 0xa302), "CFAPattern");
}

TEST_F(ExifReaderTest, StripControlCharsRemovesOnlyBytesBelow32) {
  using snapsalvager::StripControlChars;
  EXPECT_EQ(StripControlChars(std::string("a\0b\x1F c\x7F\x80\xFF", 9)), "ab c\x7F\x80\xFF");
  EXPECT_EQ(StripControlChars(""), "");
}

TEST_F(ExifReaderTest, SubIfdsAreWalkedWithTheirGroupsAndPointersLeaveNoLine) {
  TiffBlock t(false);
  const uint32_t ifd0 = t.AddIfd({t.Ascii(0x010F, "Nikon"), TiffBlock::Raw(0x8769, 4, 1, 0),
                                  TiffBlock::Raw(0x8825, 4, 1, 0)});
  const uint32_t exif = t.AddIfd({t.Long(0xA002, {640}), TiffBlock::Raw(0xA005, 4, 1, 0)});
  const uint32_t gps = t.AddIfd({t.ByteValues(0x0000, {2, 2, 0, 0}), t.Ascii(0x0001, "N")});
  const uint32_t interop = t.AddIfd({t.Ascii(0x0001, "R98")});
  t.SetFirstIfd(ifd0);
  t.Put32(TiffBlock::ValueField(ifd0, 1), exif);
  t.Put32(TiffBlock::ValueField(ifd0, 2), gps);
  t.Put32(TiffBlock::ValueField(exif, 1), interop);
  Lines lines;
  EXPECT_TRUE(Read(JpegWithExif(t.Bytes()), &lines));
  EXPECT_EQ(lines, (Lines{"Make=Nikon", "PixelXDimension=640", "InteroperabilityIndex=R98",
                          "GPSVersionID=2,2,0,0", "GPSLatitudeRef=N"}));
}

TEST_F(ExifReaderTest, ExifPointerPastTheSectionLeavesAnErrorLine) {
  TiffBlock t(true);
  t.SetFirstIfd(t.AddIfd({t.Ascii(0x010F, "Canon"), TiffBlock::Raw(0x8769, 4, 1, 70000),
                          t.Ascii(0x0110, "EOS")}));
  Lines lines;
  EXPECT_TRUE(Read(JpegWithExif(t.Bytes()), &lines));
  EXPECT_EQ(lines, (Lines{"Make=Canon", "Exif IFD=[ ERROR ]", "Model=EOS"}));
}

TEST_F(ExifReaderTest, UnsupportedTypeFailsItsIfdButKeepsEarlierLines) {
  TiffBlock t(false);
  const uint32_t ifd0 = t.AddIfd({TiffBlock::Raw(0x8769, 4, 1, 0), t.Ascii(0x0110, "M")});
  const uint32_t exif = t.AddIfd({t.Long(0xA002, {640}), TiffBlock::Raw(0x829A, 12, 1, 0),
                                  t.Long(0xA003, {480})});
  t.SetFirstIfd(ifd0);
  t.Put32(TiffBlock::ValueField(ifd0, 0), exif);
  Lines lines;
  EXPECT_TRUE(Read(JpegWithExif(t.Bytes()), &lines));
  EXPECT_EQ(lines, (Lines{"PixelXDimension=640", "Exif IFD=[ ERROR ]", "Model=M"}));

  TiffBlock bad(false);
  bad.SetFirstIfd(bad.AddIfd({bad.Ascii(0x0110, "M"), TiffBlock::Raw(0x0111, 0, 1, 0),
                              bad.Ascii(0x010F, "never")}));
  lines.clear();
  EXPECT_FALSE(Read(JpegWithExif(bad.Bytes()), &lines)) << "type 0 in IFD0 fails the read";
  EXPECT_EQ(lines, Lines{"Model=M"});
}

TEST_F(ExifReaderTest, NextIfdBeyond65535FailsTheChainKeepingLines) {
  TiffBlock t(true);
  t.SetFirstIfd(t.AddIfd({t.Ascii(0x0110, "M")}, 65536));
  Lines lines;
  EXPECT_FALSE(Read(JpegWithExif(t.Bytes()), &lines));
  EXPECT_EQ(lines, Lines{"Model=M"});
}

TEST_F(ExifReaderTest, ImageWidthOfIfd1ComesAfterThatOfIfd0) {
  TiffBlock t(false);
  const uint32_t ifd0 = t.AddIfd({t.Long(0x0100, {4000})});
  const uint32_t ifd1 = t.AddIfd({t.Long(0x0100, {160})});
  t.SetFirstIfd(ifd0);
  t.Put32(TiffBlock::NextField(ifd0, 1), ifd1);
  Lines lines;
  EXPECT_TRUE(Read(JpegWithExif(t.Bytes()), &lines));
  EXPECT_EQ(lines, (Lines{"ImageWidth=4000", "ImageWidth=160"}));
}

TEST_F(ExifReaderTest, LoopsEndAndCountAsFailed) {
  {  // Exif pointer back to IFD0
    TiffBlock t(false);
    const uint32_t ifd0 = t.AddIfd({t.Ascii(0x0110, "M"), TiffBlock::Raw(0x8769, 4, 1, 8)});
    t.SetFirstIfd(ifd0);
    Lines lines;
    EXPECT_TRUE(Read(JpegWithExif(t.Bytes()), &lines));
    EXPECT_EQ(lines, (Lines{"Model=M", "Exif IFD=[ ERROR ]"}));
  }
  {  // IFD0 chained to itself
    TiffBlock t(true);
    t.SetFirstIfd(t.AddIfd({t.Ascii(0x0110, "M")}, 8));
    Lines lines;
    EXPECT_FALSE(Read(JpegWithExif(t.Bytes()), &lines));
    EXPECT_EQ(lines, Lines{"Model=M"});
  }
  {  // Exif IFD -> Interop IFD -> Exif IFD
    TiffBlock t(false);
    const uint32_t ifd0 = t.AddIfd({TiffBlock::Raw(0x8769, 4, 1, 0)});
    const uint32_t exif = t.AddIfd({TiffBlock::Raw(0xA005, 4, 1, 0)});
    const uint32_t interop = t.AddIfd({TiffBlock::Raw(0x8769, 4, 1, 0)});
    t.SetFirstIfd(ifd0);
    t.Put32(TiffBlock::ValueField(ifd0, 0), exif);
    t.Put32(TiffBlock::ValueField(exif, 0), interop);
    t.Put32(TiffBlock::ValueField(interop, 0), exif);
    Lines lines;
    EXPECT_TRUE(Read(JpegWithExif(t.Bytes()), &lines));
    // The pointer back fails inside the Interoperability IFD, where 8769 has no name.
    EXPECT_EQ(lines, (Lines{"Tag 8769=[ ERROR ]"}));
  }
}

TEST_F(ExifReaderTest, LongChainOfDistinctIfdsEnds) {
  // Every IFD chained to the next one two bytes further: thousands of distinct IFDs.
  TiffBlock t(false);
  t.Pad(60000);
  for (uint32_t at = 8; at + 6 < 60000; at += 6) {
    t.Put16(at, 0);
    t.Put32(at + 2, at + 6);
  }
  Lines lines;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(Read(JpegWithExif(t.Bytes()), &lines));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

TEST_F(ExifReaderTest, WideFanOutOfSubIfdsEnds) {
  // 3000 Exif pointers in IFD0, each to its own empty IFD, each of those chained to IFD0.
  TiffBlock t(true);
  std::vector<TiffBlock::Entry> pointers(3000, TiffBlock::Raw(0x8769, 4, 1, 0));
  const uint32_t ifd0 = t.AddIfd(pointers);
  t.SetFirstIfd(ifd0);
  for (int i = 0; i < 3000; ++i) {
    const uint32_t empty = t.AddIfd({}, ifd0);
    t.Put32(TiffBlock::ValueField(ifd0, i), empty);
  }
  Lines lines;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(Read(JpegWithExif(t.Bytes()), &lines));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  EXPECT_EQ(lines, Lines(3000, "Exif IFD=[ ERROR ]")) << "every chain back to IFD0 fails";
}

TEST_F(ExifReaderTest, HugeCountsAreNeitherReadThroughTheImageNorAllocated) {
  TiffBlock t(true);
  t.SetFirstIfd(t.AddIfd({TiffBlock::Raw(0x927C, 7, 0x7FFFFFFF, 8), t.Ascii(0x0110, "M"),
                          TiffBlock::Raw(0x0102, 3, 0x7FFFFFFF, 8)}));
  std::vector<uint8_t> file = JpegWithExif(t.Bytes());
  file.resize(file.size() + (4 << 20), 0x55);  // plenty of image data behind the block
  Lines lines;
  EXPECT_TRUE(Read(file, &lines));
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].rfind("MakerNote=00 03 92 7C", 0), 0u);
  EXPECT_LE(lines[0].size(), 3u * 65536 + 16) << "value cut at the end of the Exif section";
  EXPECT_EQ(lines[1], "Model=M");
}

TEST_F(ExifReaderTest, BlockCutShortFailsTheIfdThatRunsOut) {
  auto file = SmallBlock(false);
  file.resize(file.size() - 60);
  Lines lines;
  EXPECT_FALSE(Read(file, &lines));
}

TEST_F(ExifReaderTest, EveryPrefixOfABlockEndsWithoutCrashing) {
  const auto file = SmallBlock(true);
  for (size_t n = 0; n <= file.size(); ++n) {
    Lines lines;
    try {
      Read({file.begin(), file.begin() + static_cast<std::ptrdiff_t>(n)}, &lines);
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ(e.what(), "Out of bounds") << n;
    }
  }
}
