// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// snapsalvager-cli recover on a card of today's formats, and its verdicts on the found files
// (--verdicts, --set-aside-damaged).
#include "RecoverCommandTestSupport.h"

namespace snapsalvager {
namespace {

using namespace recovertest;

// A card of today's camera, phone and recorder formats, each made by the tool that writes it.
// A card of today's formats: raw and HEIF photos, FLAC, MXF and M4A beside one JPEG.
struct TTodaysCard {
  static bool Available() { return fixtures::TodaysToolsAvailable(); }
  static fixtures::MediaCardOptions Options() {
    fixtures::MediaCardOptions options;
    options.Photos = 1;
    options.Videos = false;
    options.Audio = false;
    options.DeleteSome = false;
    options.Todays = true;
    return options;
  }
  static constexpr const char* kCardFolder = "todays-card";
  static constexpr const char* kRunFolder = "todays-run";
  static constexpr const char* kMissing = "mkfs.fat, mtools, exiftool, ffmpeg, heif-enc or sox missing";
};

class TodaysFormatsTest : public TMediaCardTest<TTodaysCard> {};

TEST_F(TodaysFormatsTest, DeepScanNamesEachAndEndsItAtItsLastByte) {
  const fs::path dest = work_ / "out";
  const TResult run = RunRecover({card_->Image.string(), dest.string(), "--video", "--audio", "--deep"}, work_);
  ASSERT_EQ(run.Status, 0) << run.Err;
  for (const char* type : {".CR3/", ".HEIC/", ".ARW/", ".FLAC/", ".MXF", ".M4A/"}) {
    EXPECT_NE(run.Err.find(type), std::string::npos) << type << " not in " << run.Err;
  }
  const auto& files = card_->Files;
  ASSERT_EQ(run.Rows.size(), files.size()) << run.Out;
  for (size_t i = 0; i < files.size(); ++i) {
    const auto& row = run.Rows[i];
    ASSERT_EQ(row.size(), 4u) << run.Out;
    char name[32];
    std::snprintf(name, sizeof name, "File%04zu.%s", i + 1, files[i].Ext.c_str());
    EXPECT_EQ(row[1], name) << files[i].Name;
    EXPECT_EQ(row[3], files[i].Summary) << files[i].Name;
    if (files[i].Ext == "JPG") continue;
    EXPECT_EQ(ReadAll(dest / name), ReadAll(files[i].Original)) << files[i].Name << " not recovered whole";
  }
}

TEST_F(TodaysFormatsTest, PlainScanKeepsTheTableAndItsNames) {
  const TResult run = RunRecover({card_->Image.string(), (work_ / "out").string(), "--video", "--audio"}, work_);
  ASSERT_EQ(run.Status, 0) << run.Err;
  EXPECT_NE(run.Err.find("要检测的文件类型：.JPG/.TIF/.AVI/.MPG/.MOV/.MP4/.MP3/.ASF/.WAV/.3GP/.MTS/.AMR\n"),
            std::string::npos) << run.Err;
  ASSERT_FALSE(run.Rows.empty());
  for (const auto& row : run.Rows) {
    ASSERT_EQ(row.size(), 4u) << run.Out;
    const std::string type = row[1].substr(row[1].find('.') + 1);
    EXPECT_GT(IndexOfFileType(type), 0) << row[1];
    EXPECT_LT(IndexOfFileType(type), kFirstDeepOnlyType) << row[1];
  }
}

std::vector<uint8_t> TexturedExifPhoto(uint32_t salt) {
  fixtures::JpegOptions o;
  o.Width = 640;
  o.Height = 480;
  o.Texture = 40;
  o.Salt = salt;
  std::vector<uint8_t> jpeg = fixtures::EncodeJpeg(o);
  // An empty Exif block first, as a camera starts its photos.
  const uint8_t app1[] = {0xFF, 0xE1, 0x00, 0x08, 'E', 'x', 'i', 'f', 0x00, 0x00};
  jpeg.insert(jpeg.begin() + 2, std::begin(app1), std::end(app1));
  return jpeg;
}

// Four photos among noise: whole, a sector of zeros in the middle, cut by the next photo's
// header, whole. Each is carved on into the noise after it, as the scan carves. Returns the
// image file in work.
fs::path WriteVerdictCard(const fs::path& work) {
  const std::vector<uint8_t> whole = TexturedExifPhoto(1);
  const std::vector<uint8_t> zeroed = fixtures::Damaged(TexturedExifPhoto(2), fixtures::Damage::ZeroSector, 0.5);
  const std::vector<uint8_t> cut = fixtures::Damaged(TexturedExifPhoto(3), fixtures::Damage::Cut, 0.4);
  const std::vector<uint8_t> last = TexturedExifPhoto(4);
  const uint32_t cutSector = 1600;
  const uint32_t afterCut = cutSector + static_cast<uint32_t>((cut.size() + 511) / 512);
  // Noise below 0x80 never starts a header.
  std::string card(8192 * 512, '\0');
  for (size_t i = 0; i < card.size(); ++i) card[i] = static_cast<char>((i * 7 + 3) % 128);
  const auto place = [&card](uint32_t sector, const std::vector<uint8_t>& bytes) {
    std::copy(bytes.begin(), bytes.end(), card.begin() + sector * 512);
  };
  place(100, whole);
  place(800, zeroed);
  place(cutSector, cut);
  place(afterCut, last);
  const fs::path image = work / "card.img";
  std::ofstream(image, std::ios::binary) << card;
  return image;
}

TEST(RecoverVerdictsTest, VerdictColumnAndDamagedFolderOnlyWhenAskedFor) {
  const fs::path work = MakeTempDir("recover-verdicts");
  const fs::path image = WriteVerdictCard(work);
  const TResult plain = RunRecover({image.string(), (work / "plain").string(), "--scan-only"}, work);
  ASSERT_EQ(plain.Status, 0) << plain.Err;
  ASSERT_EQ(plain.Rows.size(), 4u) << plain.Out;
  for (const auto& row : plain.Rows) EXPECT_EQ(row.size(), 4u) << plain.Out;

  const fs::path dest = work / "out";
  const TResult run = RunRecover({image.string(), dest.string(), "--verdicts", "--set-aside-damaged"}, work);
  ASSERT_EQ(run.Status, 0) << run.Err;
  ASSERT_EQ(run.Rows.size(), 4u) << run.Out;
  const std::string damagedWord = Text(TText::VerdictDamaged);
  const char* kNames[] = {"File0001.JPG", "File0002.JPG", "File0003.JPG", "File0004.JPG"};
  const bool kWhole[] = {true, false, false, true};
  for (size_t i = 0; i < 4; ++i) {
    const auto& row = run.Rows[i];
    ASSERT_EQ(row.size(), 5u) << run.Out;
    EXPECT_EQ(std::vector<std::string>(row.begin(), row.begin() + 4), plain.Rows[i]) << run.Out;
    if (kWhole[i]) {
      EXPECT_EQ(row[4], Text(TText::VerdictWhole)) << kNames[i];
      EXPECT_TRUE(fs::exists(dest / kNames[i])) << kNames[i];
    } else {
      EXPECT_EQ(row[4].rfind(damagedWord, 0), 0u) << kNames[i] << ": " << row[4];
      EXPECT_FALSE(fs::exists(dest / kNames[i])) << kNames[i];
      EXPECT_TRUE(fs::exists(dest / "damaged" / kNames[i])) << kNames[i];
    }
  }
  EXPECT_NE(run.Err.find(Text(TText::DamagedSetAside, {"2", (dest / "damaged").string()})), std::string::npos) << run.Err;
  const std::vector<uint8_t> whole = TexturedExifPhoto(1);
  EXPECT_EQ(ReadAll(dest / "File0001.JPG").substr(0, whole.size()), std::string(whole.begin(), whole.end()));
  std::error_code ec;
  fs::remove_all(work, ec);
}

// A decoder that never answers: Ctrl-C ends the checking, the rows say no file was checked,
// and every file is saved in DEST as without the option. The scan of the small card is over
// well before the Ctrl-C.
TEST(RecoverVerdictsTest, CtrlCEndsTheCheckingAndTheFilesAreSavedAsUsual) {
  const fs::path work = MakeTempDir("recover-verdicts");
  const fs::path image = WriteVerdictCard(work);
  const fs::path silent = work / "silent-helper";
  std::ofstream(silent) << "#!/bin/sh\nexec sleep 600\n";
  fs::permissions(silent, fs::perms::owner_all);
  const fs::path dest = work / "out";
  const TResult run = RunRecover({image.string(), dest.string(), "--verdicts", "--set-aside-damaged"}, work, 4000,
                                 [silent] { ::setenv("SNAPSALVAGER_DECODE_HELPER", silent.c_str(), 1); });
  EXPECT_EQ(run.Status, 130) << run.Err;
  EXPECT_NE(run.Err.find(Text(TText::CheckingStopped)), std::string::npos) << run.Err;
  ASSERT_EQ(run.Rows.size(), 4u) << run.Out;
  for (const auto& row : run.Rows) {
    ASSERT_EQ(row.size(), 5u) << run.Out;
    EXPECT_TRUE(row[4] == Text(TText::VerdictNotChecked) || row[4] == Text(TText::VerdictCouldNotCheck)) << row[4];
    EXPECT_TRUE(fs::exists(dest / row[1])) << row[1];
  }
  EXPECT_FALSE(fs::exists(dest / "damaged"));
  std::error_code ec;
  fs::remove_all(work, ec);
}

}  // namespace
}  // namespace snapsalvager
