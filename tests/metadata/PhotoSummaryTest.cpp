// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The photo summary line: date rearrangement, fallbacks, trimming, the 210-byte cut, "N/A".
#include "metadata/PhotoSummary.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "fixtures/Jpegs.h"
#include "fixtures/Photos.h"

namespace fs = std::filesystem;
using fixtures::TiffBlock;
using snapsalvager::GetPhotoSummary;

namespace {

struct Tags {
  std::optional<std::string> DateTime = "2008:05:17 14:23:05";
  std::optional<std::string> Model = "Canon EOS 40D";
  std::optional<uint32_t> Width = 3888, Height = 2592;
  bool BrokenExifIfd = false;
};

std::vector<uint8_t> Photo(const Tags& tags) {
  TiffBlock t(false);
  std::vector<TiffBlock::Entry> ifd0;
  if (tags.Model) ifd0.push_back(t.Ascii(0x0110, *tags.Model));
  if (tags.DateTime) ifd0.push_back(t.Ascii(0x0132, *tags.DateTime));
  ifd0.push_back(TiffBlock::Raw(0x8769, 4, 1, 0));
  std::vector<TiffBlock::Entry> exif;
  if (tags.BrokenExifIfd) exif.push_back(TiffBlock::Raw(0x9000, 13, 1, 0));
  if (tags.Width) exif.push_back(t.Long(0xA002, {*tags.Width}));
  if (tags.Height) exif.push_back(t.Long(0xA003, {*tags.Height}));
  const uint32_t at0 = t.AddIfd(ifd0);
  const uint32_t atExif = t.AddIfd(exif);
  t.SetFirstIfd(at0);
  t.Put32(TiffBlock::ValueField(at0, static_cast<int>(ifd0.size()) - 1), atExif);
  return fixtures::JpegWithExif(t.Bytes());
}

class PhotoSummaryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device rd;
    dir_ = fs::temp_directory_path() /
           ("ss_summary_" + std::to_string(::getpid()) + "_" + std::to_string(rd()));
    fs::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  // The summary of bytes stored as the scan stores them.
  std::string SummaryOf(const std::vector<uint8_t>& bytes) {
    const fs::path p = dir_ / ("Temporary_v5_File" + std::to_string(++n_) + "_JPG.~QX");
    fixtures::WriteTemporaryFile(p, bytes);
    return GetPhotoSummary(p);
  }
  std::string SummaryOf(const Tags& tags) { return SummaryOf(Photo(tags)); }

  fs::path dir_;
  int n_ = 0;
};

}  // namespace

TEST_F(PhotoSummaryTest, DateIsRearrangedToMonthDayYear) {
  EXPECT_EQ(SummaryOf(Tags{}),
            "Shoot Time: 05/17/2008 14:23:05|Model: Canon EOS 40D|Image Size: 3888x2592");
}

TEST_F(PhotoSummaryTest, PlainFileNeedsTheUnencodedOverload) {
  const fs::path p = dir_ / "photo.jpg";
  fixtures::WritePlainFile(p, Photo(Tags{}));
  EXPECT_EQ(GetPhotoSummary(p, false),
            "Shoot Time: 05/17/2008 14:23:05|Model: Canon EOS 40D|Image Size: 3888x2592");
  EXPECT_EQ(GetPhotoSummary(p), "N/A");
}

TEST_F(PhotoSummaryTest, ShortDateTimes) {
  Tags t;
  t.DateTime = "2008:05:17 14";
  EXPECT_EQ(SummaryOf(t), "Shoot Time: 05/17/2008 14|Model: Canon EOS 40D|Image Size: 3888x2592");
  t.DateTime = "2008:05:17 1";
  EXPECT_EQ(SummaryOf(t),
            "Shoot Time: Unknown|Model: Canon EOS 40D|Image Size: 3888x2592");
  t.DateTime.reset();
  EXPECT_EQ(SummaryOf(t),
            "Shoot Time: Unknown|Model: Canon EOS 40D|Image Size: 3888x2592");
}

TEST_F(PhotoSummaryTest, EleventhCharacterIsDroppedWhateverItIs) {
  Tags t;
  t.DateTime = "2008:05:17T14:23:05";
  EXPECT_EQ(SummaryOf(t),
            "Shoot Time: 05/17/2008 14:23:05|Model: Canon EOS 40D|Image Size: 3888x2592");
}

TEST_F(PhotoSummaryTest, ValuesAreTrimmedAndEmptyModelIsUnknown) {
  Tags t;
  t.Model = "   ";
  EXPECT_EQ(SummaryOf(t),
            "Shoot Time: 05/17/2008 14:23:05|Model: Unknown|Image Size: 3888x2592");
  t.Model.reset();
  EXPECT_EQ(SummaryOf(t),
            "Shoot Time: 05/17/2008 14:23:05|Model: Unknown|Image Size: 3888x2592");
  t.Model = "  EOS  ";
  t.DateTime = " 2008:05:17 14:23:05 ";
  EXPECT_EQ(SummaryOf(t), "Shoot Time: 05/17/2008 14:23:05|Model: EOS|Image Size: 3888x2592");
}

TEST_F(PhotoSummaryTest, MissingDimensionsAreQuestionMarks) {
  Tags t;
  t.Height.reset();
  EXPECT_EQ(SummaryOf(t),
            "Shoot Time: 05/17/2008 14:23:05|Model: Canon EOS 40D|Image Size: 3888x?");
  t = Tags{};
  t.BrokenExifIfd = true;
  EXPECT_EQ(SummaryOf(t),
            "Shoot Time: 05/17/2008 14:23:05|Model: Canon EOS 40D|Image Size: ?x?");
}

TEST_F(PhotoSummaryTest, LongModelIsCutTo210Bytes) {
  Tags t;
  t.Model = std::string(300, 'M');
  const std::string s = SummaryOf(t);
  EXPECT_EQ(s.size(), 210u);
  EXPECT_EQ(s, ("Shoot Time: 05/17/2008 14:23:05|Model: " + std::string(300, 'M')).substr(0, 210));
}

TEST_F(PhotoSummaryTest, UnreadablePhotosGiveNA) {
  EXPECT_EQ(SummaryOf(std::vector<uint8_t>{}), "N/A");
  EXPECT_EQ(SummaryOf(std::vector<uint8_t>{0xFF, 0xD8, 0xFF}), "N/A") << "raises inside";
  EXPECT_EQ(GetPhotoSummary(dir_ / "missing.~QX"), "N/A");
  const std::string ns = "http://ns.adobe.com/xap/1.0/";
  std::string xmpFirst = "\xFF\xD8\xFF\xE1";
  xmpFirst += '\0';
  xmpFirst += static_cast<char>(ns.size() + 3);
  xmpFirst += ns;
  xmpFirst += '\0';
  const auto photo = Photo(Tags{});
  xmpFirst.append(photo.begin() + 2, photo.end());
  EXPECT_EQ(SummaryOf(std::vector<uint8_t>(xmpFirst.begin(), xmpFirst.end())), "N/A");
}

TEST_F(PhotoSummaryTest, FailedIfd0ChainGivesNAEvenWithLines) {
  TiffBlock t(true);
  t.SetFirstIfd(t.AddIfd({t.Ascii(0x0110, "Canon EOS 40D")}, 70000));
  EXPECT_EQ(SummaryOf(fixtures::JpegWithExif(t.Bytes())), "N/A");
}
