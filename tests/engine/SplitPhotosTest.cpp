// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The search for a split photo's second piece, on cards in memory: where clusters start, a
// second piece that another file's structure accounts for, a break before any cluster start.
#include "carving/SplitPhotos.h"

#include <gtest/gtest.h>

#include <cstring>

#include "fixtures/DamagedCards.h"
#include "fixtures/Jpegs.h"
#include "fixtures/MediaBytes.h"

namespace snapsalvager {
namespace {

using mediabytes::Bytes;
constexpr uint64_t kSector = 512;

TSectorReader ReaderOf(const Bytes& card) {
  return [&card](uint64_t sector, uint32_t count, uint8_t* out) {
    if ((sector + count) * kSector > card.size()) return false;
    std::memcpy(out, card.data() + sector * kSector, count * kSector);
    return true;
  };
}

TEST(SplitPhotosTest, ClustersComeFromTheBootSectorThePartitionOrTheFileStarts) {
  const Bytes boot = fixtures::Fat32BootSector(64, 1001, 100000);  // data at sector 2034
  Bytes mbr(kSector, 0);
  mbr[446 + 4] = 0x0C;  // FAT32 with LBA, from sector 2048
  mbr[446 + 9] = 0x08;
  mbr[510] = 0x55;
  mbr[511] = 0xAA;
  std::vector<uint64_t> starts;
  for (uint64_t k = 0; k < 10; ++k) starts.push_back(100 + 64 * k);
  struct Case {
    const char* Name;
    Bytes Card;
    std::vector<uint64_t> Starts;
    uint32_t Sectors, Residue;
  };
  const Case cases[] = {
      {"boot sector", mediabytes::Then(boot, Bytes(kSector, 0)), {}, 64, 2034 % 64},
      {"partition", mediabytes::Then(mediabytes::Then(mbr, Bytes(2047 * kSector, 0)), boot), {}, 64, (2048 + 2034) % 64},
      {"file starts", Bytes(kSector, 0), starts, 64, 36},
      {"too few starts", Bytes(kSector, 0), {100, 164}, 1, 0},
  };
  for (const Case& c : cases) {
    const TClusterGeometry g = CardClusterGeometry(ReaderOf(c.Card), 0, c.Starts);
    EXPECT_EQ(g.Sectors, c.Sectors) << c.Name;
    EXPECT_EQ(g.Residue, c.Residue) << c.Name;
  }
}

class SplitPhotoCard : public ::testing::Test {
 protected:
  // A photo from sector 8: two clusters of 8 sectors, one cluster of noise, then the rest.
  void SetUp() override {
    ::fixtures::JpegOptions o;
    o.Width = 320;
    o.Height = 240;
    o.Texture = 16;
    photo_ = ::fixtures::EncodeJpeg(o);
    ASSERT_GT(photo_.size(), 16 * kSector + 1000);
    card_ = mediabytes::Filler(8 * kSector, 3);
    card_.insert(card_.end(), photo_.begin(), photo_.begin() + 16 * kSector);
    mediabytes::Add(card_, mediabytes::Filler(8 * kSector, 4));
    card_.insert(card_.end(), photo_.begin() + 16 * kSector, photo_.end());
    card_.resize((card_.size() / kSector + 8) * kSector, 0);
    search_.Read = ReaderOf(card_);
    search_.EndSector = card_.size() / kSector;
    search_.Clusters = {8, 0};
  }
  Bytes photo_, card_;
  TJoinSearch search_;
};

TEST_F(SplitPhotoCard, TheSecondPieceIsFoundPastTheGap) {
  const auto joined = FindSecondPiece(search_, {8, 17 * kSector});  // seen a sector into the gap
  ASSERT_TRUE(joined);
  EXPECT_EQ(joined->SecondSector, 32u);
  EXPECT_EQ(joined->Bytes, photo_);
}

TEST_F(SplitPhotoCard, ASecondPieceAnotherFileAccountsForIsNotTaken) {
  search_.Claimed = {{30, 40}};
  EXPECT_FALSE(FindSecondPiece(search_, {8, 17 * kSector}));
}

TEST_F(SplitPhotoCard, ABreakBeforeAnyClusterStartInThePhotoJoinsNothing) {
  // A photo in the card's first sector, its break seen there: no cluster starts before it
  // (once the first piece's length wrapped round and the decoder read far past it).
  Bytes card = photo_;
  card.resize((card.size() / kSector + 1) * kSector, 0);
  search_.Read = ReaderOf(card);
  search_.EndSector = card.size() / kSector;
  search_.Clusters = {8, 5};
  EXPECT_FALSE(FindSecondPiece(search_, {0, kSector}));
}

}  // namespace
}  // namespace snapsalvager
