// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// snapsalvager-cli recover --original-names on FAT32 and exFAT cards built byte by byte: the
// files come back under the names, folders and dates the card's entries give, live, deleted
// and after a quick format; hostile names stay inside the destination and replace nothing.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "fixtures/FatCards.h"
#include "fixtures/HostileNames.h"
#include "fixtures/Jpegs.h"
#include "fixtures/RunCommand.h"

namespace {

namespace fs = std::filesystem;
using fixtures::FatCard;
using fixtures::FatCardKind;
using fixtures::FatTime;

std::vector<uint8_t> Photo(uint32_t salt) {
  fixtures::JpegOptions o;
  o.Width = 96;
  o.Height = 64;
  o.Texture = 20;
  o.Salt = salt;
  return fixtures::EncodeJpeg(o);
}

struct CardFile {
  std::string Path;
  FatTime Modified;
  bool Fragmented = false;
  bool Deleted = false;
  std::vector<uint8_t> Content = {};
};

class ScratchFolder {
 public:
  ScratchFolder() {
    std::string pattern = (fs::temp_directory_path() / "original-names-XXXXXX").string();
    path_ = ::mkdtemp(pattern.data());
  }
  ~ScratchFolder() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  const fs::path& Path() const { return path_; }

 private:
  fs::path path_;
};

fs::path WriteCard(const fs::path& folder, const FatCard& card) {
  const auto image = card.Image();
  const fs::path path = folder / "card.img";
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(image.data()), image.size());
  return path;
}

fixtures::CommandRun Recover(const fs::path& card, const fs::path& dest, const fs::path& work) {
  return fixtures::RunCommand({SNAPSALVAGER_CLI, "recover", card.string(), dest.string(), "--yes", "--original-names"},
                              work);
}

std::vector<uint8_t> ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// The time the entry keeps, as seconds since 1970: FAT local time in 2 s steps, exFAT with
// its zone.
int64_t EntrySeconds(const FatTime& t, bool exfat) {
  std::tm tm{};
  tm.tm_year = t.Year - 1900;
  tm.tm_mon = t.Month - 1;
  tm.tm_mday = t.Day;
  tm.tm_hour = t.Hour;
  tm.tm_min = t.Minute;
  tm.tm_sec = exfat ? t.Second : t.Second - t.Second % 2;
  if (exfat) return static_cast<int64_t>(::timegm(&tm)) - int64_t{t.UtcOffsetMinutes} * 60;
  tm.tm_isdst = -1;
  return static_cast<int64_t>(std::mktime(&tm));
}

// What DEST holds, one saved file a line, for a failure's message.
std::string Listing(const fs::path& dest) {
  std::set<std::string> paths;
  for (const auto& entry : fs::recursive_directory_iterator(dest)) {
    if (entry.is_regular_file()) paths.insert(entry.path().lexically_relative(dest).string());
  }
  std::string text;
  for (const auto& path : paths) text += path + "\n";
  return text;
}

int64_t ModifiedSeconds(const fs::path& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? static_cast<int64_t>(st.st_mtime) : -1;
}

struct CardCase {
  const char* Name;
  FatCardKind Kind;
  uint32_t SectorsPerCluster;
  bool QuickFormat;
};

class OriginalNames : public ::testing::TestWithParam<CardCase> {};

TEST_P(OriginalNames, EveryFileComesBackWithItsNameFolderAndDate) {
  const CardCase c = GetParam();
  const bool exfat = c.Kind == FatCardKind::Exfat;
  const FatTime june{2021, 6, 10, 9, 41, 21, 37, 120};
  const FatTime july{2022, 7, 1, 23, 59, 58, 99, -300};
  std::vector<CardFile> files = {
      {"DCIM/100CANON/IMG_0001.JPG", june},
      {"DCIM/100CANON/Été à Paris.jpg", july},
      {"DCIM/100CANON/北京 2021.JPG", june},
      {"DCIM/100CANON/Москва зимой.jpg", july},
      {"DCIM/101CANON/IMG_0101.JPG", june, true},
      {"photo.jpg", june},
      {"A very long file name that needs more than one long-name entry, 2021-06-10.jpeg", july},
      {"DCIM/100CANON/Urlaub Strand.jpg", june, false, true},
      {"DCIM/100CANON/IMG_0003.JPG", july, false, true},
  };
  FatCard card({.Kind = c.Kind, .SectorsPerCluster = c.SectorsPerCluster});
  uint32_t salt = 1;
  for (auto& f : files) {
    f.Content = Photo(salt++);
    if (f.Fragmented) f.Content.resize(f.Content.size() + 3 * card.ClusterBytes(), 0x5A);
    card.AddFile(f.Path, f.Content, {.Modified = f.Modified, .Created = f.Modified, .Fragmented = f.Fragmented});
  }
  for (const auto& f : files) {
    if (f.Deleted) card.Delete(f.Path);
  }
  if (c.QuickFormat) card.QuickFormat();
  ScratchFolder scratch;
  const fs::path dest = scratch.Path() / "dest";
  const auto run = Recover(WriteCard(scratch.Path(), card), dest, scratch.Path());
  ASSERT_EQ(run.Status, 0) << run.Err;

  for (const auto& f : files) {
    SCOPED_TRACE(f.Path);
    // A deleted 8.3 name with no long name lost its first character; IMG_0001.JPG beside it
    // gives it back.
    const std::string& path = f.Path;
    // After a format the root's own files are gone with the root; their folders are not.
    if (c.QuickFormat && f.Path.find('/') == std::string::npos) continue;
    const fs::path saved = dest / fs::path(std::u8string(path.begin(), path.end()));
    ASSERT_TRUE(fs::is_regular_file(saved)) << Listing(dest);
    const auto bytes = ReadBytes(saved);
    // The first cluster is where the entry points; a file in pieces (the fragmented one, and
    // those put into the gaps it left) goes on where the carver cannot know.
    const size_t compared = std::min<size_t>(card.ClusterBytes(), f.Content.size());
    ASSERT_GE(bytes.size(), compared);
    EXPECT_TRUE(std::equal(f.Content.begin(), f.Content.begin() + compared, bytes.begin())) << bytes.size() << " " << f.Content.size();
    EXPECT_EQ(ModifiedSeconds(saved), EntrySeconds(f.Modified, exfat));
  }
  EXPECT_TRUE(fs::is_regular_file(dest / "report.xml"));
}

INSTANTIATE_TEST_SUITE_P(RecoverCommand, OriginalNames,
                         ::testing::Values(CardCase{"Fat32", FatCardKind::Fat32, 1, false},
                                           CardCase{"Fat32QuickFormat", FatCardKind::Fat32, 1, true},
                                           CardCase{"Exfat", FatCardKind::Exfat, 8, false},
                                           CardCase{"ExfatQuickFormat", FatCardKind::Exfat, 8, true}),
                         [](const auto& info) { return std::string(info.param.Name); });

// Every name the card gives, however hostile, lands inside DEST, and a file already there
// is never replaced: taken names get the next free one.
TEST(OriginalNamesHostile, NamesStayInsideTheDestinationAndReplaceNothing) {
  for (const FatCardKind kind : {FatCardKind::Fat32, FatCardKind::Exfat}) {
    SCOPED_TRACE(kind == FatCardKind::Exfat ? "exFAT" : "FAT32");
    FatCard card({.Kind = kind, .SectorsPerCluster = kind == FatCardKind::Exfat ? 8u : 1u});
    std::set<std::string> written;
    uint32_t salt = 1;
    for (const auto& hostile : fixtures::kHostileNames) {
      const std::string name = hostile.In;
      // The card's own separator cannot be in a name; empty and dot names are not written.
      if (name.empty() || name.find('/') != std::string::npos || name.find_first_not_of('.') == std::string::npos) continue;
      if (!written.insert("DCIM/" + name).second) continue;
      card.AddFile("DCIM/" + name + (name.find('.') == std::string::npos ? ".jpg" : ""), Photo(salt++));
    }
    // Two names that come out alike, and one that DEST already holds.
    card.AddFile("DCIM/a*b.jpg", Photo(salt++));
    card.AddFile("DCIM/a?b.jpg", Photo(salt++));
    ScratchFolder scratch;
    const fs::path dest = scratch.Path() / "dest";
    fs::create_directories(dest / "DCIM");
    std::ofstream(dest / "DCIM" / "a_b.jpg") << "mine";
    const auto run = Recover(WriteCard(scratch.Path(), card), dest, scratch.Path());
    ASSERT_EQ(run.Status, 0) << run.Err;

    std::ifstream mine(dest / "DCIM" / "a_b.jpg");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(mine), {}), "mine");
    EXPECT_TRUE(fs::is_regular_file(dest / "DCIM" / "a_b (2).jpg"));
    EXPECT_TRUE(fs::is_regular_file(dest / "DCIM" / "a_b (3).jpg"));
    size_t saved = 0;
    const fs::path root = fs::canonical(dest);
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
      const fs::path where = fs::canonical(entry.path());
      EXPECT_EQ(where.string().rfind(root.string() + "/", 0), 0u) << where;
      EXPECT_FALSE(entry.is_symlink()) << where;
      if (entry.is_regular_file() && entry.path().parent_path() != root / "TmpFiles") ++saved;
    }
    // Every photo, the file that was there, and the report.
    EXPECT_EQ(saved, written.size() + 2 + 1 + 1);
  }
}

// The share of a camera's photos that come back under their own path, whole and dated, on a
// card used as cameras use one: all live; every other one deleted; quick formatted; then five
// new photos taken, whose folders take the place of the first old ones (DCIM, 100CANON): the
// photos of the other old folders keep their entries; their folders' own names went with the
// old DCIM (they become Folder0001 ...), and on FAT their ".." still names DCIM.
TEST(OriginalNamesShare, ACameraCardComesBackNamed) {
  for (const FatCardKind kind : {FatCardKind::Fat32, FatCardKind::Exfat}) {
    const bool exfat = kind == FatCardKind::Exfat;
    FatCard card({.Kind = kind, .SectorsPerCluster = exfat ? 8u : 4u});
    std::vector<CardFile> files;
    for (int k = 1; k <= 120; ++k) {
      char path[64];
      std::snprintf(path, sizeof path, "DCIM/%dCANON/IMG_%04d.JPG", 100 + (k - 1) / 50, k);
      const FatTime taken{2025, 7, 1 + k % 28, 8 + k % 12, k % 60, (2 * k) % 60};
      files.push_back({path, taken, false, false, Photo(static_cast<uint32_t>(k))});
      card.AddFile(path, files.back().Content, {.Modified = taken, .Created = taken});
    }
    for (const char* stage : {"live", "every other deleted", "quick formatted", "new photos after the format"}) {
      SCOPED_TRACE(std::string(exfat ? "exFAT, " : "FAT32, ") + stage);
      const bool newPhotos = stage[0] == 'n';
      if (stage[0] == 'e') {
        for (size_t k = 0; k < files.size(); k += 2) card.Delete(files[k].Path);
      } else if (stage[0] == 'q') {
        card.QuickFormat();
      } else if (newPhotos) {
        for (uint32_t k = 1; k <= 5; ++k) card.AddFile("DCIM/100CANON/IMG_" + std::to_string(1000 + k) + ".JPG", Photo(500 + k));
      }
      ScratchFolder scratch;
      const fs::path dest = scratch.Path() / "dest";
      const auto run = Recover(WriteCard(scratch.Path(), card), dest, scratch.Path());
      ASSERT_EQ(run.Status, 0) << run.Err;
      // Where each saved file went, by its name (the photos' numbers tell them apart).
      std::map<std::string, fs::path> savedAt;
      for (const auto& item : fs::recursive_directory_iterator(dest)) {
        if (item.is_regular_file()) savedAt[item.path().filename().string()] = item.path();
      }
      size_t named = 0, counted = 0;
      for (const CardFile& f : files) {
        if (newPhotos && f.Path.find("/100CANON/") != std::string::npos) continue;  // its folder is overwritten
        ++counted;
        const auto at = savedAt.find(fs::path(f.Path).filename().string());
        if (at == savedAt.end() || (newPhotos ? !exfat && at->second.parent_path().parent_path() != dest / "DCIM"
                                              : at->second != dest / f.Path))
          continue;
        // Whole: every byte of the photo, the carving's tail to the next file aside.
        const std::vector<uint8_t> bytes = ReadBytes(at->second);
        if (bytes.size() >= f.Content.size() && std::equal(f.Content.begin(), f.Content.end(), bytes.begin()) &&
            ModifiedSeconds(at->second) == EntrySeconds(f.Modified, exfat))
          ++named;
      }
      const double share = double(named) / counted;
      std::printf("%s, %s: %zu of %zu photos under their own path, whole and dated (%.3f)\n",
                  exfat ? "exFAT" : "FAT32", stage, named, counted, share);
      RecordProperty(std::string(exfat ? "exfat " : "fat32 ") + stage, std::to_string(share));
      EXPECT_GE(share, 0.95) << Listing(dest);
    }
  }
}

// A deep scan ends a file as its entry records it: a raw with no structure to end it at its
// recorded size (live, and deleted where exFAT says its clusters follow each other), a live
// photo in pieces read along its chain, whole.
TEST(OriginalNamesDeep, FilesEndAsTheirEntriesRecord) {
  for (const FatCardKind kind : {FatCardKind::Fat32, FatCardKind::Exfat}) {
    const bool exfat = kind == FatCardKind::Exfat;
    SCOPED_TRACE(exfat ? "exFAT" : "FAT32");
    FatCard card({.Kind = kind, .SectorsPerCluster = exfat ? 8u : 1u});
    const auto raw = [](uint32_t salt) {
      std::vector<uint8_t> bytes(20000 + salt * 77);
      std::mt19937 random(salt);
      for (auto& b : bytes) b = static_cast<uint8_t>(random() % 200 + 20);
      const char header[] = "FUJIFILMCCD-RAW 0201FF383501";
      std::copy(header, header + sizeof header - 1, bytes.begin());
      return bytes;
    };
    struct Expected {
      std::string Path;
      std::vector<uint8_t> Content;
    };
    std::vector<Expected> files = {{"DCIM/100_FUJI/DSCF0001.RAF", raw(1)},
                                   {"DCIM/100_FUJI/DSCF0002.JPG", Photo(2)},
                                   {"DCIM/100_FUJI/DSCF0003.RAF", raw(3)},
                                   {"DCIM/100_FUJI/DSCF0004.JPG", Photo(4)},
                                   {"DCIM/100_FUJI/DSCF0005.JPG", Photo(5)}};
    files[3].Content.resize(files[3].Content.size() + 3 * card.ClusterBytes(), 0x5A);
    for (size_t k = 0; k < files.size(); ++k) {
      card.AddFile(files[k].Path, files[k].Content, {.Fragmented = k == 3});
    }
    if (exfat) card.Delete(files[2].Path);
    ScratchFolder scratch;
    const fs::path dest = scratch.Path() / "dest";
    const auto run = fixtures::RunCommand({SNAPSALVAGER_CLI, "recover", WriteCard(scratch.Path(), card).string(),
                                           dest.string(), "--yes", "--original-names", "--deep", "--camera", "fuji"},
                                          scratch.Path());
    ASSERT_EQ(run.Status, 0) << run.Err;
    for (size_t k = 0; k < files.size(); ++k) {
      if (k == 2 && !exfat) continue;
      SCOPED_TRACE(files[k].Path);
      ASSERT_TRUE(fs::is_regular_file(dest / files[k].Path)) << Listing(dest);
      EXPECT_TRUE(ReadBytes(dest / files[k].Path) == files[k].Content) << ReadBytes(dest / files[k].Path).size();
    }
  }
}

// A scan without a save keeps the card's names beside its files: restore --original-names,
// the command it tells of, saves them under those names, folders and dates.
TEST(OriginalNamesRestore, AScanWithoutASaveIsRestoredUnderTheCardsNames) {
  const FatTime june{2021, 6, 10, 9, 41, 20};
  FatCard card({.Kind = FatCardKind::Fat32, .SectorsPerCluster = 1});
  card.AddFile("DCIM/100CANON/IMG_0001.JPG", Photo(1), {.Modified = june, .Created = june});
  card.AddFile("DCIM/100CANON/IMG_0002.JPG", Photo(2), {.Modified = june, .Created = june});
  card.Delete("DCIM/100CANON/IMG_0002.JPG");
  ScratchFolder scratch;
  const fs::path dest = scratch.Path() / "dest";
  const auto scan = fixtures::RunCommand({SNAPSALVAGER_CLI, "recover", WriteCard(scratch.Path(), card).string(),
                                          dest.string(), "--yes", "--original-names", "--scan-only"},
                                         scratch.Path());
  ASSERT_EQ(scan.Status, 0) << scan.Err;
  const std::string command = "snapsalvager-cli restore " + (dest / "TmpFiles").string() + "/ " + dest.string() + "/ --original-names";
  EXPECT_NE(scan.Err.find(command), std::string::npos) << scan.Err;

  const auto restore = fixtures::RunCommand(
      {SNAPSALVAGER_CLI, "restore", (dest / "TmpFiles").string(), dest.string(), "--original-names"}, scratch.Path());
  ASSERT_EQ(restore.Status, 0) << restore.Err;
  for (const char* path : {"DCIM/100CANON/IMG_0001.JPG", "DCIM/100CANON/IMG_0002.JPG"}) {
    SCOPED_TRACE(path);
    ASSERT_TRUE(fs::is_regular_file(dest / path)) << Listing(dest);
    EXPECT_EQ(ModifiedSeconds(dest / path), EntrySeconds(june, false));
  }
}

}  // namespace
