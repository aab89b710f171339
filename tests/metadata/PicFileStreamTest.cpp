// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The windowed byte sources of the EXIF reader.
#include "metadata/PicFileStream.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "fixtures/Jpegs.h"

namespace fs = std::filesystem;
using snapsalvager::TmdExifStream;
using snapsalvager::TmdFileStream;

namespace {

class PicFileStreamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device rd;
    dir_ = fs::temp_directory_path() /
           ("ss_picstream_" + std::to_string(::getpid()) + "_" + std::to_string(rd()));
    fs::create_directories(dir_);
    data_.resize(3000);
    for (size_t i = 0; i < data_.size(); ++i) data_[i] = static_cast<uint8_t>(i * 13 + 5);
    plain_ = dir_ / "plain.bin";
    temp_ = dir_ / "Temporary_v5_File0001_JPG.~QX";
    fixtures::WritePlainFile(plain_, data_);
    fixtures::WriteTemporaryFile(temp_, data_);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  fs::path dir_, plain_, temp_;
  std::vector<uint8_t> data_;
};

std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const std::runtime_error& e) {
    return e.what();
  }
  return "";
}

}  // namespace

TEST_F(PicFileStreamTest, ConstructionLoadsTheFirstWindowBigEndian) {
  TmdFileStream s(plain_, false);
  EXPECT_EQ(s.WindowStart, 0);
  EXPECT_EQ(s.WindowLength, 1024);
  EXPECT_EQ(s.Position, 0);
  EXPECT_EQ(s.ByteOrder, 1);
  EXPECT_EQ(s.Reader->MaxSize(), 1048576);
}

TEST_F(PicFileStreamTest, TemporaryFileReadsAsTheCarvedBytes) {
  TmdFileStream s(temp_, true);
  std::vector<uint8_t> back(data_.size());
  ASSERT_EQ(s.ReadBytes(back.data(), static_cast<int32_t>(back.size())), 3000);
  EXPECT_EQ(back, data_);
  EXPECT_EQ(s.ByteAt(511), data_[511]);
  EXPECT_EQ(s.ByteAt(2999), data_[2999]);
}

TEST_F(PicFileStreamTest, WordsFollowTheByteOrder) {
  TmdFileStream s(plain_, false);
  s.SetPosition(1500);
  const uint16_t big = s.ReadWord();
  EXPECT_EQ(big, data_[1500] << 8 | data_[1501]);
  EXPECT_EQ(s.Position, 1502);
  s.ByteOrder = 0;
  s.SetPosition(1500);
  EXPECT_EQ(s.ReadWord(), data_[1501] << 8 | data_[1500]);
  s.SetPosition(1022);  // across a window boundary
  const uint32_t little = s.ReadDWord();
  EXPECT_EQ(little, static_cast<uint32_t>(data_[1025]) << 24 | data_[1024] << 16 |
                        data_[1023] << 8 | data_[1022]);
  s.ByteOrder = 1;
  s.SetPosition(1022);
  EXPECT_EQ(s.ReadDWord(), static_cast<uint32_t>(data_[1022]) << 24 | data_[1023] << 16 |
                               data_[1024] << 8 | data_[1025]);
}

TEST_F(PicFileStreamTest, WindowReloadsOnlyOutsideItself) {
  TmdFileStream s(plain_, false);
  s.ByteAt(2000);
  EXPECT_EQ(s.WindowStart, 2000);
  EXPECT_EQ(s.WindowLength, 1000);
  s.ByteAt(2999);
  EXPECT_EQ(s.WindowStart, 2000) << "a byte inside the window costs no reload";
  s.ByteAt(10);
  EXPECT_EQ(s.WindowStart, 10);
}

TEST_F(PicFileStreamTest, ReadingPastTheEndIsOutOfBounds) {
  TmdFileStream s(plain_, false);
  EXPECT_EQ(ErrorOf([&] { s.ByteAt(3000); }), "Out of bounds");
  EXPECT_EQ(ErrorOf([&] { s.ByteAt(-1); }), "Out of bounds");
  s.SetPosition(2998);
  EXPECT_EQ(ErrorOf([&] { s.ReadDWord(); }), "Out of bounds");
  std::vector<uint8_t> out(20);
  EXPECT_EQ(s.ReadBytes(out.data(), 20), 0) << "nothing is copied while the window is empty";
  s.ByteAt(0);
  s.SetPosition(2990);
  EXPECT_EQ(ErrorOf([&] { s.ReadBytes(out.data(), 20); }), "Out of bounds");
  std::vector<uint8_t> big(5000);
  s.ByteAt(0);
  s.SetPosition(300);
  EXPECT_EQ(ErrorOf([&] { s.ReadBytes(big.data(), 5000); }), "Out of bounds")
      << "a long read that runs off the file";
  s.ByteAt(0);
  s.SetPosition(300);
  ASSERT_EQ(s.ReadBytes(big.data(), 2700), 2700);
  EXPECT_TRUE(std::equal(big.begin(), big.begin() + 2700, data_.begin() + 300));
  EXPECT_EQ(s.Position, 3000);
  EXPECT_EQ(s.ReadBytes(out.data(), 0), 0);
  EXPECT_EQ(s.ReadBytes(out.data(), -5), 0);
}

TEST_F(PicFileStreamTest, EmptyFileHasAnEmptyWindow) {
  fixtures::WritePlainFile(dir_ / "empty", {});
  TmdFileStream s(dir_ / "empty", true);
  EXPECT_TRUE(s.WindowEmpty());
  EXPECT_EQ(ErrorOf([&] { s.ReadByte(); }), "Out of bounds");
}

TEST_F(PicFileStreamTest, MissingFileFailsToOpen) {
  EXPECT_THROW(TmdFileStream(dir_ / "missing", true), std::runtime_error);
}

TEST_F(PicFileStreamTest, ExifStreamRefusesPositionsPastTheSection) {
  TmdExifStream s(plain_, false);
  s.SetPosition(100000);  // no section yet: anything goes
  EXPECT_EQ(s.Position, 100000);
  s.SectionBase = 12;
  s.SetPosition(12 + 65535);
  EXPECT_EQ(s.Position, 12 + 65535);
  EXPECT_EQ(ErrorOf([&] { s.SetPosition(12 + 65536); }), "Exif section out of bounds");
  EXPECT_EQ(ErrorOf([&] { s.SetPosition(-1); }), "Exif section out of bounds");
  EXPECT_EQ(ErrorOf([&] { s.SetPosition(12 + 0xFFFFFFFFLL); }), "Exif section out of bounds")
      << "an offset near 4 GiB must not wrap around into the section";
}
