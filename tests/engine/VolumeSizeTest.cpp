// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The size and geometry of a volume: the disk's answers when it gives them, else measured by
// reading (what runs under wine, whose volumes refuse the disk queries).
#include "card/VolumeSize.h"

#include <gtest/gtest.h>

#include <optional>

namespace snapsalvager {
namespace {

class TFakeVolume final : public TVolumeQueries {
 public:
  explicit TFakeVolume(uint64_t sectors) : sectors_(sectors) {}
  bool DiskLength(int64_t& bytes) override {
    if (!length_) return false;
    bytes = *length_;
    return true;
  }
  bool DiskGeometry(TDiskGeometry& geometry) override {
    if (!geometry_) return false;
    geometry = *geometry_;
    return true;
  }
  bool CanRead(uint64_t sector) override {
    ++reads;
    return sector < sectors_ && sector != bad_;
  }
  std::optional<int64_t> length_;
  std::optional<TDiskGeometry> geometry_;
  uint64_t bad_ = UINT64_MAX;
  int reads = 0;

 private:
  uint64_t sectors_;
};

TEST(VolumeSizeTest, MeasuredByReadingToTheLastWholeSectorInFewReads) {
  for (const uint64_t sectors : {1ull, 2ull, 3ull, 4ull, 81920ull, 81921ull, (1ull << 20) + 7, 125000000ull}) {
    TFakeVolume volume(sectors);
    int64_t bytes = 0;
    ASSERT_TRUE(VolumeLength(volume, bytes)) << sectors;
    EXPECT_EQ(bytes, static_cast<int64_t>(sectors * 512)) << sectors;
    EXPECT_LE(volume.reads, 64) << sectors;  // doubling then halving, not a read per sector
  }
  TFakeVolume unreadable(1000);
  unreadable.bad_ = 0;
  int64_t bytes = 7;
  EXPECT_FALSE(VolumeLength(unreadable, bytes));
  EXPECT_EQ(bytes, 7);
  EXPECT_EQ(MeasureByReading(unreadable), -1);
}

TEST(VolumeSizeTest, TheDisksOwnAnswersWinWithoutReading) {
  TFakeVolume volume(1000);
  volume.length_ = 31914983424;  // what the disk says, not what reads would find
  TDiskGeometry disk;
  disk.MediaKind = 2;
  disk.Removable = 1;
  disk.Cylinders = 3880;
  disk.TracksPerCylinder = 255;
  disk.SectorsPerTrack = 63;
  disk.BytesPerSector = 512;
  volume.geometry_ = disk;
  int64_t bytes = 0;
  ASSERT_TRUE(VolumeLength(volume, bytes));
  EXPECT_EQ(bytes, 31914983424);
  TDiskGeometry g;
  ASSERT_TRUE(VolumeGeometry(volume, false, g));
  EXPECT_EQ(g.Cylinders, 3880u);
  EXPECT_EQ(g.MediaKind, 2);
  EXPECT_EQ(volume.reads, 0);
}

// Refused queries: the geometry a disk image has, over the measured length, as the Linux
// build gives an image, so the scan sizes the card the same on both.
TEST(VolumeSizeTest, RefusedGeometryIsTheImageGeometryOverTheMeasuredLength) {
  const uint64_t sectors = 81920;
  for (const bool removable : {true, false}) {
    TFakeVolume volume(sectors);
    TDiskGeometry g;
    ASSERT_TRUE(VolumeGeometry(volume, removable, g));
    EXPECT_EQ(g.BytesPerSector, 512u);
    EXPECT_EQ(g.TracksPerCylinder, 255u);
    EXPECT_EQ(g.SectorsPerTrack, 63u);
    EXPECT_EQ(g.Cylinders, sectors / (255 * 63));
    EXPECT_EQ(g.TotalSectors, g.Cylinders * 255 * 63);
    EXPECT_EQ(g.MediaKind, removable ? 2 : 3);
    EXPECT_EQ(g.Removable, removable ? 1 : 0);
  }
  // A geometry answer without a sector size is no answer.
  TFakeVolume zero(sectors);
  zero.geometry_ = TDiskGeometry{};
  TDiskGeometry g;
  ASSERT_TRUE(VolumeGeometry(zero, true, g));
  EXPECT_EQ(g.BytesPerSector, 512u);
  TFakeVolume none(0);
  EXPECT_FALSE(VolumeGeometry(none, true, g));
}

}  // namespace
}  // namespace snapsalvager
