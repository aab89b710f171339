// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The carving loop on memory cards: file bounds, the last sector, the JPG cap, bad sectors
// and a card that goes away. The thread's control is in ScanThreadControlTest.cpp.
#include <gtest/gtest.h>

#include "ScanThreadTestSupport.h"
#include "session/Texts.h"

namespace snapsalvager {
namespace {

using namespace scanthreadtest;
namespace fs = std::filesystem;

TEST_F(ScanThreadTest, FileRunsFromItsHeaderToTheSectorBeforeTheNext) {
  card_->Bytes = Card(2000);
  PutHeader(card_->Bytes, 10, kJpgHeader);
  PutHeader(card_->Bytes, 1010, kJpgHeader);
  Run();

  ASSERT_EQ(found_.Count(), 2u);
  EXPECT_EQ(found_[0].Name, "File0001.JPG");
  EXPECT_EQ(found_[0].Ext, "JPG");
  EXPECT_EQ(found_[0].Size, 512000);
  EXPECT_EQ(found_[0].TempFile, temp_ / "Temporary_v5_File0001_JPG.~QX");
  EXPECT_TRUE(found_[0].Selected);
  EXPECT_EQ(ReadTemp(found_[0].TempFile), Slice(card_->Bytes, 10, 1010));
  // The second file keeps the card's last sector: every sector from the first header on
  // belongs to exactly one file.
  EXPECT_EQ(found_[1].Size, 990 * 512);
  EXPECT_EQ(ReadTemp(found_[1].TempFile), Slice(card_->Bytes, 1010, 2000));

  EXPECT_EQ(events_.finishes, 1);
  EXPECT_EQ(events_.error, "");
  ASSERT_EQ(events_.found.size(), 2u);
  EXPECT_EQ(events_.found[0].Name, "File0001.JPG");
  EXPECT_EQ(events_.found[0].Size, 512000);
  EXPECT_EQ(events_.found[0].Description, found_[0].Info);
  EXPECT_EQ(events_.maximum, 2000u);
  EXPECT_EQ(events_.position, 2000u);
  EXPECT_EQ(events_.labels[TScanLabel::LRead], "2000/2000");
  EXPECT_EQ(events_.labels[TScanLabel::LBad], "0");
  EXPECT_TRUE(scan_->Finished());
}

TEST_F(ScanThreadTest, HeaderInTheLastSectorOnlyClosesTheOpenFile) {
  card_->Bytes = Card(7800);
  PutHeader(card_->Bytes, 100, kCr2Header);
  PutHeader(card_->Bytes, 7799, kJpgHeader);
  Run("Canon Digital Camera");

  ASSERT_EQ(found_.Count(), 1u);
  EXPECT_EQ(found_[0].Name, "File0001.CR2");
  EXPECT_EQ(found_[0].Ext, "CR2");
  EXPECT_EQ(found_[0].Info, "N/A");
  EXPECT_EQ(found_[0].Size, (7799 - 100) * 512);
  EXPECT_FALSE(fs::exists(temp_ / "Temporary_v5_File0002_JPG.~QX"));
}

TEST_F(ScanThreadTest, FirstHeaderInTheLastSectorLeavesNoStrayTemporaryFile) {
  card_->Bytes = Card(300);
  PutHeader(card_->Bytes, 299, kJpgHeader);
  Run();
  EXPECT_EQ(events_.finishes, 1);
  EXPECT_EQ(events_.error, "");
  EXPECT_EQ(found_.Count(), 0u);
  // Nothing is recorded for it, so nothing may be left behind for it either.
  EXPECT_TRUE(fs::is_empty(temp_));
}

TEST_F(ScanThreadTest, HeaderFollowedByHeaderGivesASingleSectorFile) {
  card_->Bytes = Card(300);
  PutHeader(card_->Bytes, 5, kJpgHeader);
  PutHeader(card_->Bytes, 6, kJpgHeader);
  Run();
  ASSERT_EQ(found_.Count(), 2u);
  EXPECT_EQ(found_[0].Size, 512);
  EXPECT_EQ(ReadTemp(found_[0].TempFile), Slice(card_->Bytes, 5, 6));
  EXPECT_EQ(found_[1].Name, "File0002.JPG");
}

TEST_F(ScanThreadTest, JpgFilesStopAtFiftyMebibytes) {
  card_->Bytes = Card(110000);  // 56 MB: one JPG running past the cap
  PutHeader(card_->Bytes, 0, kJpgHeader);
  Run();
  ASSERT_EQ(found_.Count(), 1u);
  EXPECT_EQ(found_[0].Size, 52428800);
  EXPECT_EQ(fs::file_size(found_[0].TempFile), 52428800u);
}

TEST_F(ScanThreadTest, CardSmallerThanABatchIsReadInOneBatch) {
  card_->Bytes = Card(150);
  PutHeader(card_->Bytes, 0, kJpgHeader);
  Run();
  // One ReadSectors of 150 sectors: chunks of 128 and 22 sectors, nothing past the end.
  ASSERT_EQ(card_->Reads.size(), 2u);
  EXPECT_EQ(card_->Reads[0], (std::pair<uint64_t, size_t>{0, 65536}));
  EXPECT_EQ(card_->Reads[1], (std::pair<uint64_t, size_t>{65536, 22 * 512}));
  ASSERT_EQ(found_.Count(), 1u);
  EXPECT_EQ(found_[0].Size, 150 * 512);
}

TEST_F(ScanThreadTest, CardWithoutHeadersFindsNothing) {
  card_->Bytes = Card(600);
  Run();
  EXPECT_EQ(found_.Count(), 0u);
  EXPECT_EQ(events_.finishes, 1);
  EXPECT_TRUE(fs::is_empty(temp_));
}

TEST_F(ScanThreadTest, FailedBatchIsReReadSectorBySectorWithZerosForBadOnes) {
  card_->Bytes = Card(1000);
  PutHeader(card_->Bytes, 300, kJpgHeader);
  card_->BadSectors = {305, 306, 350};
  Run();

  EXPECT_EQ(events_.labels[TScanLabel::LBad], "3");
  const std::vector<std::pair<uint64_t, uint64_t>> unreadable{{305, 2}, {350, 1}};
  EXPECT_EQ(events_.unreadable, unreadable);
  EXPECT_EQ(events_.steps, 200);  // one step per re-read sector of the failed batch
  // The single-sector re-reads hit the same absolute sectors.
  std::set<uint64_t> singles;
  for (auto& [offset, length] : card_->Reads) {
    if (length == kSector) singles.insert(offset / kSector);
  }
  EXPECT_EQ(singles.size(), 200u);
  EXPECT_EQ(*singles.begin(), 200u);
  EXPECT_EQ(*singles.rbegin(), 399u);

  ASSERT_EQ(found_.Count(), 1u);
  EXPECT_EQ(found_[0].Size, 700 * 512);
  std::vector<uint8_t> expected = card_->Bytes;
  for (uint32_t bad : {305u, 306u, 350u}) std::fill_n(expected.begin() + bad * kSector, kSector, 0);
  EXPECT_EQ(ReadTemp(found_[0].TempFile), Slice(expected, 300, 1000));
}

// A dying card's long unreadable stretch (whole batches in a row) is bad sectors, not a card
// pulled out: the card still answers where it read before, and the scan goes on to the end.
TEST_F(ScanThreadTest, LongUnreadableStretchIsCountedAndTheScanGoesOn) {
  card_->Bytes = Card(2000);
  PutHeader(card_->Bytes, 300, kJpgHeader);
  PutHeader(card_->Bytes, 1500, kJpgHeader);
  for (uint32_t s = 400; s < 1000; ++s) card_->BadSectors.insert(s);
  Run();

  EXPECT_EQ(events_.error, "");
  EXPECT_EQ(events_.labels[TScanLabel::LBad], "600");
  ASSERT_EQ(found_.Count(), 2u);
  std::vector<uint8_t> expected = card_->Bytes;
  std::fill(expected.begin() + 400 * kSector, expected.begin() + 1000 * kSector, 0);
  EXPECT_EQ(ReadTemp(found_[0].TempFile), Slice(expected, 300, 1500));
  EXPECT_EQ(ReadTemp(found_[1].TempFile), Slice(expected, 1500, 2000));
}

// A card pulled out mid-scan: the scan ends at once with the reason, and the file carved
// so far is recorded with the bytes read before the card went.
TEST_F(ScanThreadTest, CardThatIsGoneEndsTheScanAndKeepsWhatWasFound) {
  for (const int error : {ENODEV, ENXIO, EIO}) {
    SCOPED_TRACE(std::strerror(error));
    TearDown();
    SetUp();
    card_->Bytes = Card(200000);  // 100 MB: scanning it all would take far longer
    PutHeader(card_->Bytes, 10, kJpgHeader);
    card_->GoneFrom = 1000 * kSector;
    card_->GoneErrno = error;
    Prepare().Start();
    ASSERT_TRUE(scan_->WaitFor(10000));
    EXPECT_EQ(events_.error, Text(TText::CardGone));
    ASSERT_EQ(found_.Count(), 1u);
    EXPECT_TRUE(ReadTemp(found_[0].TempFile) == Slice(card_->Bytes, 10, 1000));
  }
}

}  // namespace
}  // namespace snapsalvager
