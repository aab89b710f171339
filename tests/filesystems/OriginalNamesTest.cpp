// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Found files get the entry that points at their first sector; of two entries claiming one
// start, the one whose size and type agree.
#include "filesystems/OriginalNames.h"

#include <gtest/gtest.h>

#include "CardReading.h"
#include "fixtures/FatCards.h"

namespace snapsalvager::filesystems {
namespace {

NamedEntry Entry(std::string name, uint32_t cluster, uint64_t size, bool deleted) {
  NamedEntry e;
  e.Entry.Name = std::move(name);
  e.Entry.FirstCluster = cluster;
  e.Entry.Size = size;
  e.Entry.Deleted = deleted;
  return e;
}

const ClusterLayout kLayout{1024 * 512, 4096};  // cluster 2 at sector 1024, 8 sectors each
uint64_t SectorOf(uint32_t cluster) { return *kLayout.Offset(cluster) / 512; }

TEST(OriginalNames, TheEntryThatAgreesWithTheFoundFileWins) {
  // A photo deleted, then a clip written over its start; the photo's entry survives.
  const std::vector<NamedEntry> entries = {
      Entry("IMG_0001.JPG", 10, 3000, true),
      Entry("MVI_0002.MOV", 10, 50000, false),
      Entry("IMG_0003.JPG", 20, 4000, false),
      Entry("NOTES.TXT", 30, 100, false),
  };
  const struct {
    const char* Case;
    FoundStart File;
    std::optional<size_t> Want;
  } cases[] = {
      {"clip found: the live clip", {SectorOf(10), 60000, "MOV"}, 1},
      {"photo found there: the deleted photo", {SectorOf(10), 3000, "JPG"}, 0},
      {"a type named otherwise", {SectorOf(20), 4000, "JPEG"}, 2},
      {"only the size fits", {SectorOf(20), 9000, "CR2"}, 2},
      {"neither type nor size", {SectorOf(30), 50, "JPG"}, std::nullopt},
      {"no entry at that start", {SectorOf(40), 5000, "JPG"}, std::nullopt},
      {"not at a cluster start", {SectorOf(20) + 1, 4000, "JPG"}, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Case);
    EXPECT_EQ(MatchOriginalNames(std::span(&c.File, 1), entries, kLayout)[0], c.Want);
  }
}

TEST(OriginalNames, AnEntryNamesOneFileOnly) {
  const std::vector<NamedEntry> entries = {Entry("IMG_0001.JPG", 10, 3000, false)};
  const FoundStart twice[] = {{SectorOf(10), 3000, "JPG"}, {SectorOf(10), 3000, "JPG"}};
  const auto match = MatchOriginalNames(twice, entries, kLayout);
  EXPECT_EQ(match[0], 0u);
  EXPECT_EQ(match[1], std::nullopt);
}

TEST(OriginalNames, ExtensionsOfOneTypeFit) {
  EXPECT_TRUE(ExtensionFits("Photo.jpeg", "JPG"));
  EXPECT_TRUE(ExtensionFits("clip.mov", "MOV"));
  EXPECT_TRUE(ExtensionFits("IMG_0001.THM", "JPG"));
  EXPECT_FALSE(ExtensionFits("clip.MOV", "JPG"));
  EXPECT_FALSE(ExtensionFits("README", "JPG"));
  EXPECT_FALSE(ExtensionFits("photo.", "JPG"));
}

TEST(OriginalNames, ACardWhoseDeletedPhotoWasOverwrittenByAClip) {
  fixtures::FatCard card({.Kind = fixtures::FatCardKind::Fat32});
  card.AddFile("DCIM/100CANON/IMG_0001.JPG", std::vector<uint8_t>(3000, 0xAA));
  card.Delete("DCIM/100CANON/IMG_0001.JPG");
  card.AddFile("DCIM/100CANON/MVI_0002.MOV", std::vector<uint8_t>(9000, 0xBB));
  const uint64_t start = card.StartOffset("DCIM/100CANON/MVI_0002.MOV");
  ASSERT_EQ(start, card.StartOffset("DCIM/100CANON/IMG_0001.JPG"));

  const auto read = testing::ReadCard(card.Image());
  ASSERT_TRUE(read.Volume);
  const FoundStart found[] = {{start / 512, 9000, "MOV"}};
  const auto match = MatchOriginalNames(found, read.Entries, LayoutOf(*read.Volume));
  ASSERT_TRUE(match[0]);
  EXPECT_EQ(testing::PathOf(read.Entries[*match[0]]), "DCIM/100CANON/MVI_0002.MOV");
}

}  // namespace
}  // namespace snapsalvager::filesystems
