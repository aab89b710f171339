// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
#include "metadata/JpegDecode.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <random>

#include "tempfile/TempFileReader.h"
#include "fixtures/Jpegs.h"

namespace fs = std::filesystem;
using snapsalvager::DecodeJpeg;
using snapsalvager::TJpegDecodeStatus;
using snapsalvager::TJpegPicture;

namespace {

struct Pixel {
  int R, G, B;
};

Pixel At(const TJpegPicture& p, int x, int y) {
  const size_t i = (static_cast<size_t>(y) * p.Width + x) * 3;
  return {p.Pixels[i], p.Pixels[i + 1], p.Pixels[i + 2]};
}

void ExpectNear(Pixel got, fixtures::Rgb want, int tolerance = 24) {
  EXPECT_NEAR(got.R, want.R, tolerance);
  EXPECT_NEAR(got.G, want.G, tolerance);
  EXPECT_NEAR(got.B, want.B, tolerance);
}

// Centres of the four quadrants show their colours.
void ExpectQuadrants(const TJpegPicture& p) {
  ExpectNear(At(p, p.Width / 4, p.Height / 4), fixtures::QuadrantColour(0));
  ExpectNear(At(p, 3 * p.Width / 4, p.Height / 4), fixtures::QuadrantColour(1));
  ExpectNear(At(p, p.Width / 4, 3 * p.Height / 4), fixtures::QuadrantColour(2));
  ExpectNear(At(p, 3 * p.Width / 4, 3 * p.Height / 4), fixtures::QuadrantColour(3));
}

TJpegPicture Decode(const std::vector<uint8_t>& bytes, int denom = 8) {
  return DecodeJpeg(bytes.data(), bytes.size(), denom);
}

class JpegFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("jpegdecode-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
};

TEST(JpegDecode, PhotoDecodesAtOneEighthWithItsColours) {
  const TJpegPicture p = Decode(fixtures::EncodeJpeg(640, 480));
  ASSERT_EQ(p.Status, TJpegDecodeStatus::Image);
  EXPECT_EQ(p.Width, 80);
  EXPECT_EQ(p.Height, 60);
  EXPECT_EQ(p.Pixels.size(), 80u * 60 * 3);
  EXPECT_EQ(p.Warnings, 0);
  ExpectQuadrants(p);
}

TEST(JpegDecode, FullScaleAndOddSizesRoundUp) {
  const TJpegPicture full = Decode(fixtures::EncodeJpeg(640, 480), 1);
  ASSERT_EQ(full.Status, TJpegDecodeStatus::Image);
  EXPECT_EQ(full.Width, 640);
  ExpectQuadrants(full);
  // 1/8 of 1001 x 9 rounds up, as libjpeg's scaled output does.
  const TJpegPicture odd = Decode(fixtures::EncodeJpeg(1001, 9));
  ASSERT_EQ(odd.Status, TJpegDecodeStatus::Image);
  EXPECT_EQ(odd.Width, 126);
  EXPECT_EQ(odd.Height, 2);
}

TEST(JpegDecode, GreyscaleProgressiveAndCmykPhotosComeOutAsRgb) {
  fixtures::JpegOptions o;
  o.Width = 320;
  o.Height = 240;
  o.Progressive = true;
  ExpectQuadrants(Decode(fixtures::EncodeJpeg(o)));

  o.Progressive = false;
  o.Grayscale = true;
  const TJpegPicture grey = Decode(fixtures::EncodeJpeg(o));
  ASSERT_EQ(grey.Status, TJpegDecodeStatus::Image);
  const Pixel g = At(grey, 5, 5);
  EXPECT_EQ(g.R, g.G);
  EXPECT_EQ(g.G, g.B);

  o.Grayscale = false;
  o.Cmyk = true;
  const TJpegPicture cmyk = Decode(fixtures::EncodeJpeg(o));
  ASSERT_EQ(cmyk.Status, TJpegDecodeStatus::Image);
  ExpectQuadrants(cmyk);
}

TEST(JpegDecode, TruncatedPhotoGivesTheRowsThatDecodedAndGreyBelow) {
  fixtures::JpegOptions o;
  o.Width = 512;
  o.Height = 512;
  o.Texture = 10;  // spreads the data evenly over the rows
  std::vector<uint8_t> bytes = fixtures::EncodeJpeg(o);
  bytes.resize(bytes.size() * 6 / 10);

  EXPECT_TRUE(snapsalvager::ReadJpegHeader(bytes.data(), bytes.size(), nullptr));
  const TJpegPicture p = Decode(bytes);
  ASSERT_EQ(p.Status, TJpegDecodeStatus::Partial);
  EXPECT_GT(p.Warnings, 0);
  ASSERT_EQ(p.Width, 64);
  ExpectNear(At(p, 16, 4), fixtures::QuadrantColour(0), 40);
  ExpectNear(At(p, 48, 4), fixtures::QuadrantColour(1), 40);
  ExpectNear(At(p, 48, 63), {128, 128, 128}, 6);
}

TEST(JpegDecode, DataWithoutAJpegHeaderIsCorrupt) {
  std::mt19937 random(7);
  std::vector<uint8_t> garbage(20000);
  for (uint8_t& b : garbage) b = static_cast<uint8_t>(random());
  std::vector<uint8_t> soiThenGarbage = garbage;
  soiThenGarbage[0] = 0xFF, soiThenGarbage[1] = 0xD8, soiThenGarbage[2] = 0xFF;
  const std::vector<uint8_t> photo = fixtures::EncodeJpeg(64, 48);
  const std::vector<uint8_t> headerCut(photo.begin(), photo.begin() + 100);  // before the scan
  const std::vector<uint8_t> soiOnly = {0xFF, 0xD8};

  for (const std::vector<uint8_t>* bytes :
       std::initializer_list<const std::vector<uint8_t>*>{&garbage, &soiThenGarbage, &headerCut, &soiOnly}) {
    EXPECT_FALSE(snapsalvager::ReadJpegHeader(bytes->data(), bytes->size(), nullptr));
    const TJpegPicture p = Decode(*bytes);
    EXPECT_EQ(p.Status, TJpegDecodeStatus::Corrupt);
    EXPECT_TRUE(p.Pixels.empty());
  }
  EXPECT_EQ(DecodeJpeg(nullptr, 0, 8).Status, TJpegDecodeStatus::Corrupt);
}

TEST(JpegDecode, CorruptedScanDataStillDecodesWithWarnings) {
  fixtures::JpegOptions o;
  o.Width = 256;
  o.Height = 256;
  o.Texture = 8;
  std::vector<uint8_t> bytes = fixtures::EncodeJpeg(o);
  std::mt19937 random(3);
  for (size_t i = bytes.size() / 3; i < bytes.size() - 2; i += 97) bytes[i] = static_cast<uint8_t>(random());
  const TJpegPicture p = Decode(bytes);
  ASSERT_NE(p.Status, TJpegDecodeStatus::Corrupt);
  EXPECT_EQ(p.Pixels.size(), 32u * 32 * 3);
}

TEST(JpegDecode, ForgedHugeDimensionsAreRefusedBeforeAnyAllocation) {
  const std::vector<uint8_t> photo = fixtures::EncodeJpeg(64, 48);
  const std::vector<uint8_t> huge = fixtures::WithFrameSize(photo, 65000, 65000);
  EXPECT_FALSE(snapsalvager::ReadJpegHeader(huge.data(), huge.size(), nullptr));
  EXPECT_EQ(Decode(huge).Status, TJpegDecodeStatus::Corrupt);
  EXPECT_EQ(Decode(huge, 1).Status, TJpegDecodeStatus::Corrupt);

  // Within the source cap but far beyond its data: the thumbnail is what little decoded.
  const std::vector<uint8_t> big = fixtures::WithFrameSize(photo, 12000, 9000);
  snapsalvager::TJpegHeader header;
  ASSERT_TRUE(snapsalvager::ReadJpegHeader(big.data(), big.size(), &header));
  EXPECT_EQ(header.Width, 12000);
  const TJpegPicture p = Decode(big);
  EXPECT_EQ(p.Status, TJpegDecodeStatus::Partial);
  EXPECT_EQ(p.Width, 1500);
  // At full scale the output would exceed the output cap (108 megapixels).
  EXPECT_EQ(Decode(big, 1).Status, TJpegDecodeStatus::Corrupt);
}

TEST(JpegDecode, EndlessProgressiveScansAreCutOff) {
  fixtures::JpegOptions o;
  o.Progressive = true;
  const std::vector<uint8_t> photo = fixtures::EncodeJpeg(o);
  const auto segments = fixtures::SplitJpeg(photo);
  // Repeat the last scan (its SOS and data) far past the scan limit.
  size_t lastSos = 0;
  for (size_t i = 0; i < segments.size(); ++i) {
    if (segments[i].Marker == 0xDA) lastSos = i;
  }
  const size_t from = segments[lastSos].Begin, to = segments[lastSos + 1].End;
  auto withRepeats = [&](int repeats) {
    std::vector<uint8_t> out(photo.begin(), photo.begin() + static_cast<std::ptrdiff_t>(to));
    for (int k = 0; k < repeats; ++k) {
      out.insert(out.end(), photo.begin() + static_cast<std::ptrdiff_t>(from),
                 photo.begin() + static_cast<std::ptrdiff_t>(to));
    }
    out.push_back(0xFF);
    out.push_back(0xD9);
    return out;
  };
  // A few repeated scans are only a bogus progression (a warning); past the limit, refused.
  EXPECT_NE(Decode(withRepeats(50)).Status, TJpegDecodeStatus::Corrupt);
  EXPECT_EQ(Decode(withRepeats(snapsalvager::kMaxJpegScans + 10)).Status,
            TJpegDecodeStatus::Corrupt);
}

TEST_F(JpegFiles, TemporaryFileIsReadUnscrambledOnlyWhenAskedTo) {
  const std::vector<uint8_t> photo = fixtures::EncodeJpeg(320, 240);
  const fs::path temp = dir_ / "Temporary_v5_File0001_JPG.~QX";
  fixtures::WriteTemporaryFile(temp, photo);
  ASSERT_NE(fixtures::ReadWholeFile(temp), photo);  // the head is scrambled on disk

  EXPECT_EQ(snapsalvager::ReadPreviewBytes(temp, true), photo);
  const std::vector<uint8_t> raw = snapsalvager::ReadPreviewBytes(temp, false);
  EXPECT_EQ(Decode(raw).Status, TJpegDecodeStatus::Corrupt);

  const fs::path plain = dir_ / "File0001.JPG";
  fixtures::WritePlainFile(plain, photo);
  EXPECT_EQ(snapsalvager::ReadPreviewBytes(plain, false), photo);
  EXPECT_THROW(snapsalvager::ReadPreviewBytes(dir_ / "missing.~QX", true), std::runtime_error);
}

TEST_F(JpegFiles, PreviewReadsAtMost30000000BytesAndStillShowsTheStart) {
  fixtures::JpegOptions o;
  o.Width = 320;
  o.Height = 240;
  const std::vector<uint8_t> photo =
      fixtures::ProgressiveWithPaddingAfterFirstScan(o, 30'500'000);
  const fs::path temp = dir_ / "Temporary_v5_File0001_JPG.~QX";
  fixtures::WriteTemporaryFile(temp, photo);
  ASSERT_GT(fs::file_size(temp), 30'000'000u);

  const std::vector<uint8_t> seen = snapsalvager::ReadPreviewBytes(temp, true);
  ASSERT_EQ(seen.size(), 30'000'000u);
  EXPECT_TRUE(std::equal(seen.begin(), seen.end(), photo.begin()));

  snapsalvager::TPreviewFileStream stream(temp, {snapsalvager::kPreviewMaxSize, true});
  snapsalvager::TJpegImage image;
  image.LoadFromStream(stream);  // the header lies in the first 30,000,000 bytes
  EXPECT_EQ(image.DataSize(), 30'000'000u);
  const TJpegPicture p = image.Decode(8);
  // Only the first scan (the colours of each 8 x 8 block) was in reach.
  ASSERT_EQ(p.Status, TJpegDecodeStatus::Partial);
  ExpectQuadrants(p);
}

TEST(JpegImage, LoadingSharesTheBytesAndRefusesNonJpegData) {
  snapsalvager::TJpegImage image;
  EXPECT_TRUE(image.Empty());
  EXPECT_EQ(image.Decode(8).Status, TJpegDecodeStatus::Corrupt);
  image.LoadFromBytes(fixtures::EncodeJpeg(160, 120));
  EXPECT_EQ(image.Header().Width, 160);
  EXPECT_EQ(image.Header().Components, 3);
  const snapsalvager::TJpegImage copy = image;
  image.Clear();
  EXPECT_TRUE(image.Empty());
  EXPECT_EQ(copy.Decode(8).Width, 20);

  EXPECT_THROW(image.LoadFromBytes({0x00, 0x01, 0x02}), std::runtime_error);
  EXPECT_TRUE(image.Empty());
}

}  // namespace
