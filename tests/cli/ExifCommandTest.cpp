// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// snapsalvager-cli exif: the reader's lines and the summary line for plain and temporary
// files, errors on standard error, exit statuses.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "fixtures/Jpegs.h"
#include "fixtures/Photos.h"
#include "session/Texts.h"

namespace fs = std::filesystem;
using fixtures::TiffBlock;
using snapsalvager::Text;
using snapsalvager::TText;

namespace {

class ExifCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The command speaks the language of its environment; so do the expected lines.
    snapsalvager::SetLanguage(snapsalvager::LanguageFromEnvironment());
    std::random_device rd;
    dir_ = fs::temp_directory_path() /
           ("ss_exifcmd_" + std::to_string(::getpid()) + "_" + std::to_string(rd()));
    fs::create_directories(dir_);
    TiffBlock t(true);
    const uint32_t ifd0 = t.AddIfd({t.Ascii(0x0110, "Canon EOS 40D"),
                                    t.Ascii(0x0132, "2008:05:17 14:23:05"),
                                    TiffBlock::Raw(0x8769, 4, 1, 0)});
    const uint32_t exif = t.AddIfd({t.Long(0xA002, {3888}), t.Long(0xA003, {2592})});
    t.SetFirstIfd(ifd0);
    t.Put32(TiffBlock::ValueField(ifd0, 2), exif);
    photo_ = fixtures::JpegWithExif(t.Bytes());
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  std::string Run(std::vector<std::string> args, int* status, std::string* err = nullptr) {
    args.insert(args.begin(), {SNAPSALVAGER_CLI, "exif"});
    std::string ignored;
    return fixtures::RunProgram(args, status, err != nullptr ? err : &ignored);
  }

  fs::path dir_;
  std::vector<uint8_t> photo_;
};

std::string Summary(const std::string& text) { return Text(TText::ExifSummary, {text}); }

std::string Expected() {
  return "Model=Canon EOS 40D\n"
         "DateTime=2008:05:17 14:23:05\n"
         "PixelXDimension=3888\n"
         "PixelYDimension=2592\n" +
         Summary("Shoot Time: 05/17/2008 14:23:05|Model: Canon EOS 40D|Image Size: 3888x2592");
}

}  // namespace

TEST_F(ExifCommandTest, PlainPhotoPrintsLinesThenSummary) {
  const fs::path p = dir_ / "photo.jpg";
  fixtures::WritePlainFile(p, photo_);
  int status;
  EXPECT_EQ(Run({p.string()}, &status), Expected());
  EXPECT_EQ(status, 0);
}

TEST_F(ExifCommandTest, TempOptionReadsTemporaryFiles) {
  const fs::path p = dir_ / "Temporary_v5_File0001_JPG.~QX";
  fixtures::WriteTemporaryFile(p, photo_);
  int status;
  EXPECT_EQ(Run({"--temp", p.string()}, &status), Expected());
  EXPECT_EQ(status, 0);
  // Read as a plain file, the scrambled head is no JPEG.
  EXPECT_EQ(Run({p.string()}, &status), Summary("N/A"));
  EXPECT_EQ(status, 1);
}

TEST_F(ExifCommandTest, ErrorGoesToStandardErrorAndSummaryStillPrints) {
  const fs::path cut = dir_ / "cut.jpg", good = dir_ / "good.jpg";
  fixtures::WritePlainFile(cut, {0xFF, 0xD8, 0xFF, 0xE0, 0x00});
  fixtures::WritePlainFile(good, photo_);
  int status;
  std::string err;
  const std::string out = Run({cut.string(), good.string()}, &status, &err);
  EXPECT_EQ(out, Summary("N/A") + Expected()) << "each file has its summary";
  EXPECT_EQ(err, cut.string() + ": Out of bounds\n");
  EXPECT_EQ(status, 1);

  Run({(dir_ / "missing.jpg").string()}, &status, &err);
  EXPECT_NE(err.find("missing.jpg"), std::string::npos) << err;
  EXPECT_EQ(status, 1);
}

TEST_F(ExifCommandTest, UsageErrors) {
  int status;
  std::string err;
  EXPECT_EQ(Run({}, &status, &err), "");
  EXPECT_EQ(status, 2);
  EXPECT_NE(err.find(std::string(Text(TText::ExifUsage)).substr(0, 6)), std::string::npos) << err;
  Run({"--bogus", "x.jpg"}, &status, &err);
  EXPECT_EQ(status, 2);
  EXPECT_NE(err.find("--bogus"), std::string::npos);
  EXPECT_NE(Run({"--help"}, &status).find("--temp"), std::string::npos);
  EXPECT_EQ(status, 0);
}
