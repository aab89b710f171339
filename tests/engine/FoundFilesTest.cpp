// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
#include <gtest/gtest.h>

#include <stdexcept>

#include "session/FoundFiles.h"

namespace snapsalvager {
namespace {

TFoundFile Record(uint32_t number, const std::string& ext, int64_t size) {
  TFoundFile f;
  f.Name = RecoveredFileName(number, ext);
  f.Ext = ext;
  f.Size = size;
  f.TempFile = "/dest/TmpFiles/" + TemporaryFileName(number, ext);
  f.Info = "N/A";
  return f;
}

TEST(FoundFilesTest, NumbersArePaddedToAtLeastFourDigits) {
  EXPECT_EQ(FileNumberText(1), "0001");
  EXPECT_EQ(FileNumberText(123), "0123");
  EXPECT_EQ(FileNumberText(9999), "9999");
  EXPECT_EQ(FileNumberText(10000), "10000");
  EXPECT_EQ(FileNumberText(12345), "12345");
  EXPECT_EQ(FileNumberText(4294967295u), "4294967295");
}

TEST(FoundFilesTest, RecoveredAndTemporaryNamesCarryNumberAndType) {
  EXPECT_EQ(RecoveredFileName(1, "JPG"), "File0001.JPG");
  EXPECT_EQ(TemporaryFileName(1, "JPG"), "Temporary_v5_File0001_JPG.~QX");
  EXPECT_EQ(RecoveredFileName(10000, "JPG"), "File10000.JPG");
  EXPECT_EQ(TemporaryFileName(10000, "JPG"), "Temporary_v5_File10000_JPG.~QX");
  EXPECT_EQ(RecoveredFileName(42, "CR2"), "File0042.CR2");
  EXPECT_EQ(TemporaryFileName(7, "3GP"), "Temporary_v5_File0007_3GP.~QX");
}

TEST(FoundFilesTest, RecordsKeepOrderAndAddressWhileTheListGrows) {
  TFoundFileList list;
  EXPECT_EQ(list.Count(), 0u);
  TFoundFile* first = &list.Append(Record(1, "JPG", 4096));
  for (uint32_t n = 2; n <= 500; ++n) list.Append(Record(n, n % 2 ? "JPG" : "MOV", n * 512));
  ASSERT_EQ(list.Count(), 500u);
  EXPECT_EQ(&list[0], first);  // pointers handed out stay valid until ClearFoundFiles
  EXPECT_EQ(list[0].Name, "File0001.JPG");
  EXPECT_EQ(list[499].Name, "File0500.MOV");
  EXPECT_EQ(list[499].Size, 500 * 512);
  EXPECT_EQ(list[499].TempFile, "/dest/TmpFiles/Temporary_v5_File0500_MOV.~QX");
  EXPECT_THROW(list[500], std::out_of_range);
}

TEST(FoundFilesTest, RecordsStartSelectedAndTicksAreCounted) {
  TFoundFileList list;
  for (uint32_t n = 1; n <= 6; ++n) list.Append(Record(n, "JPG", 512));
  EXPECT_TRUE(list[3].Selected);
  EXPECT_EQ(list.CountSelected(), 6u);
  list.SetSelected(1, false);
  list.SetSelected(4, false);
  list.SetSelected(4, false);
  EXPECT_EQ(list.CountSelected(), 4u);
  EXPECT_FALSE(list[4].Selected);
  list.SetSelected(1, true);
  EXPECT_EQ(list.CountSelected(), 5u);
  EXPECT_THROW(list.SetSelected(6, true), std::out_of_range);
}

TEST(FoundFilesTest, ClearFoundFilesEmptiesTheListBeforeTheNextScan) {
  TFoundFileList list;
  for (uint32_t n = 1; n <= 3; ++n) list.Append(Record(n, "JPG", 512));
  ClearFoundFiles(list);
  EXPECT_EQ(list.Count(), 0u);
  EXPECT_EQ(list.CountSelected(), 0u);
  list.Append(Record(1, "AVI", 1024));
  ASSERT_EQ(list.Count(), 1u);
  EXPECT_EQ(list[0].Name, "File0001.AVI");
  ClearFoundFiles(list);
  ClearFoundFiles(list);  // clearing an empty list is harmless
  EXPECT_EQ(list.Count(), 0u);
}

}  // namespace
}  // namespace snapsalvager
