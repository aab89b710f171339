// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// FAT16, FAT32 and exFAT cards built byte by byte, read back in one pass: every file comes
// back with its name, folder, dates and place, live, deleted, and after a quick format.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

#include "CardReading.h"
#include "filesystems/FatTable.h"
#include "fixtures/FatCards.h"
#include "fixtures/Jpegs.h"

namespace snapsalvager::filesystems {
namespace {

using fixtures::FatCard;
using fixtures::FatCardKind;
using fixtures::FatTime;
using testing::FindEntry;
using testing::ReadCard;

std::vector<uint8_t> Photo(uint32_t salt) {
  ::fixtures::JpegOptions o;
  o.Width = 96;
  o.Height = 64;
  o.Texture = 20;
  o.Salt = salt;
  return ::fixtures::EncodeJpeg(o);
}

std::vector<uint8_t> Clip(size_t size) {
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + 3);
  const char head[] = "\0\0\0\x14" "ftypqt  ";
  std::copy(head, head + 12, bytes.begin());
  return bytes;
}

struct CardFile {
  std::string Path;
  std::vector<uint8_t> Content;
  FatTime Modified;
  bool Fragmented = false;
  bool Deleted = false;
};

// A camera's card as the tests fill it: names in several scripts, long and short, a clip in
// pieces, and deleted photos with and without a long name.
std::vector<CardFile> CameraFiles() {
  const FatTime june{2021, 6, 10, 9, 41, 21, 37, 120};
  const FatTime july{2022, 7, 1, 23, 59, 58, 99, -300};
  return {
      {"DCIM/100CANON/IMG_0001.JPG", Photo(1), june},
      {"DCIM/100CANON/Été à Paris.jpg", Photo(2), july},
      {"DCIM/100CANON/北京 2021.JPG", Photo(3), june},
      {"DCIM/100CANON/Москва зимой.jpg", Photo(4), july},
      {"DCIM/100CANON/\xF0\x9F\x98\x80 party \xF0\x9F\x8E\x89.jpg", Photo(5), june},
      {"DCIM/101CANON/MVI_0002.MOV", Clip(9000), july, true},
      {"photo.jpg", Photo(6), june},
      {"A very long file name that needs more than one long-name entry, 2021-06-10.jpeg", Photo(7), july},
      {"DCIM/100CANON/Urlaub Strand.jpg", Photo(8), june, false, true},
      {"DCIM/100CANON/IMG_0003.JPG", Photo(9), july, false, true},
  };
}

void Fill(FatCard& card, const std::vector<CardFile>& files) {
  for (const auto& f : files) {
    fixtures::FileOptions o;
    o.Modified = f.Modified;
    o.Created = f.Modified;
    o.Fragmented = f.Fragmented;
    card.AddFile(f.Path, f.Content, o);
  }
  for (const auto& f : files) {
    if (f.Deleted) card.Delete(f.Path);
  }
}

// What a FAT or exFAT entry keeps of a time: FAT's modification in 2 s steps, no zone.
Timestamp Expected(const FatTime& t, bool exfat, bool created) {
  Timestamp s{t.Year, t.Month, t.Day, t.Hour, t.Minute, t.Second, 0, std::nullopt};
  if (exfat || created) {
    s.Millisecond = (t.TenMs % 100) * 10;
  } else {
    s.Second -= s.Second % 2;
  }
  if (exfat) s.UtcOffsetMinutes = t.UtcOffsetMinutes;
  return s;
}

// fsck's verdict on the image: its exit status and what it printed (-1: not installed).
std::pair<int, std::string> RunFsck(FatCardKind kind, const std::vector<uint8_t>& image) {
  const char* tool = kind == FatCardKind::Exfat ? "fsck.exfat" : "fsck.fat";
  if (std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) != 0) return {-1, ""};
  const auto path = std::filesystem::temp_directory_path() /
                    ("fscards-" + std::to_string(std::random_device{}()) + ".img");
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(image.data()), image.size());
  FILE* out = popen((std::string(tool) + " -n '" + path.string() + "' 2>&1").c_str(), "r");
  std::string printed;
  char buffer[512];
  while (size_t n = out ? fread(buffer, 1, sizeof buffer, out) : 0) printed.append(buffer, n);
  const int status = out ? pclose(out) : -1;
  std::filesystem::remove(path);
  return {status, printed};
}

struct CardKind {
  const char* Name;
  FatCardKind Kind;
  uint32_t SectorsPerCluster;
  uint32_t PartitionSector;
};

class EveryKind : public ::testing::TestWithParam<CardKind> {};

TEST_P(EveryKind, EveryFileComesBackWithItsNameFolderDatesAndPlace) {
  const CardKind kind = GetParam();
  FatCard card({.Kind = kind.Kind, .SectorsPerCluster = kind.SectorsPerCluster, .PartitionSector = kind.PartitionSector});
  const auto files = CameraFiles();
  Fill(card, files);
  const auto image = card.Image();
  const bool exfat = kind.Kind == FatCardKind::Exfat;

  const auto read = ReadCard(image);
  ASSERT_TRUE(read.Volume);
  EXPECT_EQ(read.Volume->VolumeOffset, uint64_t{kind.PartitionSector} * 512);
  EXPECT_EQ(read.Volume->DataOffset, card.DataOffset());
  EXPECT_EQ(read.Volume->ClusterBytes(), card.ClusterBytes());
  const FatTable fat(read.Volume->Kind, std::span(image).subspan(read.Volume->FatOffset, read.Volume->FatBytes),
                     read.Volume->ClusterCount);

  for (const auto& f : files) {
    SCOPED_TRACE(f.Path);
    std::string path = f.Path;
    // No long name kept it: the first character comes from the folder's like-named files.
    const bool lostFirst = f.Deleted && !exfat && card.ShortName(f.Path) == f.Path.substr(f.Path.rfind('/') + 1);
    const NamedEntry* e = FindEntry(read.Entries, path, f.Deleted);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->Entry.NameComplete, !lostFirst);
    EXPECT_FALSE(e->Orphan);
    EXPECT_EQ(e->Entry.Size, f.Content.size());
    EXPECT_EQ(e->Entry.Modified, Expected(f.Modified, exfat, false));
    EXPECT_EQ(e->Entry.Created, Expected(f.Modified, exfat, true));
    EXPECT_TRUE(e->Entry.NameHashOk);
    EXPECT_EQ(read.Volume->ClusterOffset(e->Entry.FirstCluster), card.StartOffset(f.Path));
    EXPECT_EQ(e->Entry.Contiguous, exfat && !f.Fragmented);  // exFAT's NoFatChain
    if (!f.Deleted && !e->Entry.Contiguous) {
      // The chain gives back the file's runs on the card.
      const auto chain = fat.Follow(e->Entry.FirstCluster, 1000);
      ASSERT_TRUE(chain.Complete);
      std::vector<std::pair<uint64_t, uint64_t>> runs;
      uint64_t left = e->Entry.Size;
      for (uint32_t c : chain.Clusters) {
        const uint64_t at = *read.Volume->ClusterOffset(c), length = std::min<uint64_t>(left, card.ClusterBytes());
        if (!runs.empty() && runs.back().first + runs.back().second == at) {
          runs.back().second += length;
        } else {
          runs.emplace_back(at, length);
        }
        left -= length;
      }
      EXPECT_EQ(runs, card.Runs(f.Path));
      if (f.Fragmented) {
        EXPECT_GT(runs.size(), 1u);
      }
    }
  }
  // Fed a sector at a time (folders run on across the calls), or given the volume by the
  // caller: the same entries come back.
  const auto paths = [](const std::vector<NamedEntry>& entries) {
    std::vector<std::string> list;
    for (const auto& e : entries) list.push_back(testing::PathOf(e));
    return list;
  };
  EXPECT_EQ(paths(ReadCard(image, testing::Live::Found, 512).Entries), paths(read.Entries));
  EXPECT_EQ(paths(ReadCard(image, testing::Live::Given).Entries), paths(read.Entries));
  // exFAT keeps the zone: the ISO text carries it.
  const NamedEntry* first = FindEntry(read.Entries, "DCIM/100CANON/IMG_0001.JPG");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->Entry.Modified.Iso8601(), exfat ? "2021-06-10T09:41:21.370+02:00" : "2021-06-10T09:41:20");
  const NamedEntry* late = FindEntry(read.Entries, "DCIM/100CANON/Été à Paris.jpg");
  ASSERT_NE(late, nullptr);
  EXPECT_EQ(late->Entry.Modified.Iso8601(), exfat ? "2022-07-01T23:59:58.990-05:00" : "2022-07-01T23:59:58");
  if (kind.PartitionSector == 0) {  // fsck checks a volume, not a partitioned disk
    const auto [status, printed] = RunFsck(kind.Kind, image);
    EXPECT_LE(status, 0) << printed;
  }
}

INSTANTIATE_TEST_SUITE_P(FileSystemCards, EveryKind,
                         ::testing::Values(CardKind{"Fat16", FatCardKind::Fat16, 4, 0},
                                           CardKind{"Fat32", FatCardKind::Fat32, 1, 0},
                                           CardKind{"Fat32OnAPartition", FatCardKind::Fat32, 1, 2048},
                                           CardKind{"Exfat", FatCardKind::Exfat, 8, 0}),
                         [](const auto& info) { return std::string(info.param.Name); });

class Formatted : public ::testing::TestWithParam<CardKind> {};

TEST_P(Formatted, QuickFormatLeavesTheOldFoldersToFind) {
  const CardKind kind = GetParam();
  FatCard card({.Kind = kind.Kind, .SectorsPerCluster = kind.SectorsPerCluster});
  auto files = CameraFiles();
  Fill(card, files);
  card.QuickFormat();
  const auto image = card.Image();

  for (auto live : {testing::Live::Found, testing::Live::None}) {
    SCOPED_TRACE(live == testing::Live::Found ? "with the new file system" : "from the data area alone");
    const auto read = ReadCard(image, live);
    for (const auto& f : files) {
      if (f.Deleted || f.Path.find('/') == std::string::npos) continue;  // the old root is gone
      SCOPED_TRACE(f.Path);
      const NamedEntry* e = FindEntry(read.Entries, f.Path);
      ASSERT_NE(e, nullptr);
      EXPECT_EQ(read.Volume->ClusterOffset(e->Entry.FirstCluster), card.StartOffset(f.Path));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(FileSystemCards, Formatted,
                         ::testing::Values(CardKind{"Fat32", FatCardKind::Fat32, 1, 0},
                                           CardKind{"Exfat", FatCardKind::Exfat, 8, 0}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(FileSystemCards, FoldersWhoseParentIsGoneKeepTheirFilesUnderANumberedName) {
  FatCard card({.Kind = FatCardKind::Fat32});
  card.AddFile("DCIM/100CANON/IMG_0001.JPG", Photo(1));
  card.AddFile("Holidays/Beach/sunset.jpg", Photo(2));
  card.QuickFormat();
  // The first file after the format takes the old DCIM folder's cluster.
  card.AddFile("NEW.JPG", std::vector<uint8_t>(100, 0x42));
  const auto read = ReadCard(card.Image());

  const NamedEntry* photo = FindEntry(read.Entries, "Folder0001/IMG_0001.JPG");
  ASSERT_NE(photo, nullptr);
  EXPECT_TRUE(photo->Orphan);  // 100CANON's ".." points at a cluster that is a file now
  // "Holidays" lost its name with the old root but is known to have been at the top; the
  // numbers follow the card's order.
  const NamedEntry* sunset = FindEntry(read.Entries, "Folder0002/Beach/sunset.jpg");
  ASSERT_NE(sunset, nullptr);
  EXPECT_FALSE(sunset->Orphan);
  EXPECT_NE(FindEntry(read.Entries, "NEW.JPG"), nullptr);
}

TEST(FileSystemCards, AFormatWithOtherClustersIsUndoneByTheFilesFound) {
  FatCard card({.Kind = FatCardKind::Fat16, .Sectors = 80000, .SectorsPerCluster = 4});
  const auto files = CameraFiles();
  Fill(card, files);
  const ClusterLayout before{card.DataOffset(), card.ClusterBytes()};
  card.QuickFormat(8);
  const auto read = ReadCard(card.Image());
  ASSERT_TRUE(read.Volume);
  ASSERT_NE(LayoutOf(*read.Volume), before);

  std::vector<uint64_t> starts;
  for (const auto& f : files) starts.push_back(card.StartOffset(f.Path) / 512);
  std::sort(starts.begin(), starts.end());
  const Geometry volumes[] = {*read.Volume};
  const auto candidates = CandidateLayouts(read.Folders, volumes);
  const LayoutScore best = BestLayout(read.Folders, candidates, starts);
  EXPECT_EQ(best.Layout, before);
  // Every file in a sub-folder, deleted ones included, points at its start.
  EXPECT_EQ(best.Hits, 8u);
  const auto entries = BuildTree(read.Folders, best.Layout);
  EXPECT_NE(FindEntry(entries, "DCIM/101CANON/MVI_0002.MOV"), nullptr);
}

TEST(FileSystemCards, TheBackupBootSectorStandsInForADamagedOne) {
  for (FatCardKind kind : {FatCardKind::Fat32, FatCardKind::Exfat}) {
    FatCard card({.Kind = kind, .SectorsPerCluster = kind == FatCardKind::Exfat ? 8u : 1u});
    auto image = card.Image();
    const auto good = ReadVolume(image, 0);
    ASSERT_TRUE(good);
    std::fill_n(image.begin(), 512, 0xF6);
    const auto backup = ReadVolume(image, 0);
    ASSERT_TRUE(backup);
    EXPECT_TRUE(backup->FromBackup);
    EXPECT_EQ(backup->DataOffset, good->DataOffset);
    EXPECT_EQ(backup->RootCluster, good->RootCluster);
    EXPECT_EQ(backup->ClusterCount, good->ClusterCount);
  }
}

TEST(FileSystemCards, PartitionTablesGiveTheVolumeStarts) {
  std::vector<uint8_t> head(34 * 512, 0);
  head[510] = 0x55, head[511] = 0xAA;
  EXPECT_EQ(PartitionOffsets(head), std::vector<uint64_t>{});  // a table without partitions
  // A protective MBR and a GPT with two partitions.
  head[446 + 4] = 0xEE;
  head[446 + 8] = 1;
  std::memcpy(&head[512], "EFI PART", 8);
  head[512 + 72] = 2;                       // entries from LBA 2
  head[512 + 80] = 128;                     // 128 entries
  head[512 + 84] = 128;                     // of 128 bytes
  for (int i = 0; i < 2; ++i) {
    const size_t entry = 1024 + 128 * i;
    head[entry] = 0xA2;                     // a type GUID
    head[entry + 33] = i == 0 ? 0x08 : 0x10;  // first LBA 2048, 4096
  }
  EXPECT_EQ(PartitionOffsets(head), (std::vector<uint64_t>{2048 * 512, 4096 * 512}));
  // A card formatted without a table: its boot sector is sector 0.
  const FatCard card({.Kind = FatCardKind::Fat16, .SectorsPerCluster = 4});
  EXPECT_EQ(PartitionOffsets(card.Image()), std::vector<uint64_t>{0});
  // Garbage in the status bytes: not a table.
  std::vector<uint8_t> noise(512, 0x5A);
  noise[510] = 0x55, noise[511] = 0xAA;
  EXPECT_EQ(PartitionOffsets(noise), std::vector<uint64_t>{});
}

// A deleted 8.3 name's lost first character is the one every like-named file of its folder
// (same length, next three characters and extension) starts with; else it stays '_'.
TEST(FileSystemCards, ALostFirstCharacterComesFromTheFolderslikeNamedFiles) {
  FatCard card({.Kind = FatCardKind::Fat32});
  const std::pair<const char*, const char*> cases[] = {
      {"IMG_0002.JPG", "IMG_0002.JPG"},  // IMG_0001.JPG and IMG_0009.JPG agree
      {"MVI_0003.MOV", "_VI_0003.MOV"},  // no other MVI_ file
      {"ABC_0003.JPG", "_BC_0003.JPG"},  // ABC_ and XBC_ disagree
      {"IMG_0004.CR2", "_MG_0004.CR2"},  // another extension
  };
  for (const char* live : {"IMG_0001.JPG", "IMG_0009.JPG", "ABC_0001.JPG", "XBC_0002.JPG"})
    card.AddFile(std::string("DCIM/") + live, Photo(1));
  for (const auto& [name, read] : cases) card.AddFile(std::string("DCIM/") + name, Photo(2));
  for (const auto& [name, read] : cases) card.Delete(std::string("DCIM/") + name);
  const auto read = ReadCard(card.Image());
  for (const auto& [name, want] : cases) {
    SCOPED_TRACE(name);
    const NamedEntry* e = FindEntry(read.Entries, std::string("DCIM/") + want, true);
    ASSERT_NE(e, nullptr);
    EXPECT_FALSE(e->Entry.NameComplete);
  }
}

TEST(FileSystemCards, ChainsStopAtLoopsAndCaps) {
  std::vector<uint8_t> fat(64, 0);
  const auto link = [&](uint32_t from, uint32_t to) {
    for (int b = 0; b < 4; ++b) fat[from * 4 + b] = static_cast<uint8_t>(to >> (8 * b));
  };
  link(2, 3), link(3, 4), link(4, 2);              // a loop
  link(5, 6), link(6, 0x0FFFFFFF);                 // a proper chain
  link(7, 200);                                     // points past the card
  const FatTable table(FsKind::Fat32, fat, 14);
  const Chain loop = table.Follow(2, 100);
  EXPECT_TRUE(loop.Loop);
  EXPECT_EQ(loop.Clusters, (std::vector<uint32_t>{2, 3, 4}));
  EXPECT_TRUE(table.Follow(5, 100).Complete);
  EXPECT_EQ(table.Follow(2, 2).Clusters.size(), 2u);
  const Chain broken = table.Follow(7, 100);
  EXPECT_FALSE(broken.Complete);
  EXPECT_EQ(broken.Clusters, std::vector<uint32_t>{7});
  // FAT12 packs two entries in three bytes; FAT16 ends at FFF8 and above.
  const uint8_t fat12[] = {0xF8, 0xFF, 0xFF, 0x03, 0xF0, 0xFF};
  EXPECT_EQ(FatTable(FsKind::Fat12, fat12, 2).Follow(2, 10).Clusters, (std::vector<uint32_t>{2, 3}));
  EXPECT_TRUE(FatTable(FsKind::Fat12, fat12, 2).Follow(2, 10).Complete);
  const uint8_t fat16[] = {0xF8, 0xFF, 0xFF, 0xFF, 0x03, 0x00, 0xF8, 0xFF};
  EXPECT_TRUE(FatTable(FsKind::Fat16, fat16, 2).Follow(2, 10).Complete);
  EXPECT_EQ(FatTable(FsKind::Fat16, fat16, 2).Follow(2, 10).Clusters.size(), 2u);
}

// Where an entry says its bytes lie: cut to its size, in one run or along its chain, and
// nowhere when the entry or the chain cannot say it.
TEST(FileSystemCards, EntryRunsFollowTheEntryOrSayNothing) {
  std::vector<uint8_t> fat(64, 0);
  const auto link = [&](uint32_t from, uint32_t to) {
    for (int b = 0; b < 4; ++b) fat[from * 4 + b] = static_cast<uint8_t>(to >> (8 * b));
  };
  link(2, 3), link(3, 0x0FFFFFFF);              // straight
  link(4, 6), link(6, 7), link(7, 0x0FFFFFFF);  // in two pieces
  link(8, 9), link(9, 8);                       // a loop
  link(10, 0);                                  // broken
  const FatTable table(FsKind::Fat32, fat, 14);
  const ClusterLayout layout{.DataOffset = 4096, .ClusterBytes = 1024};
  struct Case {
    const char* Name;
    uint32_t First;
    uint64_t Size;
    bool Contiguous, Deleted, Live;
    std::vector<EntryRun> Runs;
  };
  const Case cases[] = {
      {"straight chain", 2, 1500, false, false, true, {{4096, 1500}}},
      {"chain in pieces", 4, 2100, false, false, true, {{6144, 1024}, {8192, 1076}}},
      {"contiguous, no chain needed", 20, 5000, true, true, false, {{4096 + 18 * 1024, 5000}}},
      {"chain longer than the size", 4, 1000, false, false, true, {}},
      {"chain shorter than the size", 2, 4000, false, false, true, {}},
      {"loop", 8, 3000, false, false, true, {}},
      {"broken", 10, 2000, false, false, true, {}},
      {"deleted: its chain is gone", 2, 1500, false, true, true, {}},
      {"another layout's FAT", 2, 1500, false, false, false, {}},
      {"no size", 2, 0, true, false, true, {}},
      {"no cluster", 0, 100, true, false, true, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    DirEntry entry;
    entry.FirstCluster = c.First;
    entry.Size = c.Size;
    entry.Contiguous = c.Contiguous;
    entry.Deleted = c.Deleted;
    EXPECT_EQ(EntryRuns(entry, layout, c.Live ? &table : nullptr), c.Runs);
  }
}

}  // namespace
}  // namespace snapsalvager::filesystems
