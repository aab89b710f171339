// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The checks before a scan, shared by the wizard and the command line.
#include "session/ScanChecks.h"

#include <gtest/gtest.h>
#include <grp.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>

#include "card/LinuxDrives.h"
#include "session/Texts.h"
#include "tempfile/Utf8Path.h"
#include "card/DriveReads.h"

namespace snapsalvager {
namespace {

namespace fs = std::filesystem;

// A temporary folder, removed with everything in it.
class TTempDir {
 public:
  TTempDir() {
    std::string pattern = (fs::temp_directory_path() / "checks-XXXXXX").string();
    if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~TTempDir() {
    std::error_code ec;
    if (!path_.empty()) fs::remove_all(path_, ec);
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

// A card whose geometry and length answer as given (0 sectors / -1 bytes: the query fails).
class TSizedCard : public TCardSource {
 public:
  TSizedCard(uint32_t sectors, uint32_t bytesPerSector, int64_t length)
      : sectors_(sectors), bytesPerSector_(bytesPerSector), length_(length) {}
  bool ReadAt(uint64_t, void* dest, size_t length) override {
    std::memset(dest, 0, length);
    return true;
  }
  bool Geometry(TDiskGeometry& geometry) override {
    if (sectors_ == 0) return false;
    geometry = TDiskGeometry{};
    geometry.BytesPerSector = bytesPerSector_;
    geometry.Cylinders = sectors_;  // the total is cylinders x tracks x sectors per track
    geometry.TracksPerCylinder = 1;
    geometry.SectorsPerTrack = 1;
    return true;
  }
  bool Length(int64_t& bytes) override {
    bytes = length_;
    return length_ >= 0;
  }

 private:
  uint32_t sectors_, bytesPerSector_;
  int64_t length_;
};

// Measures a card of that geometry and length; returns MeasureCard's answer.
bool Measure(uint32_t sectors, uint32_t bytesPerSector, int64_t length, TDriveEntry& drive) {
  const char letter = LinuxDrives::AttachSource("sized.img", DRIVE_REMOVABLE, [=] {
    return std::unique_ptr<TCardSource>(std::make_unique<TSizedCard>(sectors, bytesPerSector, length));
  });
  drive = TDriveEntry{};
  drive.Letter = letter;
  drive.DriveNumber = static_cast<uint8_t>(letter - 'A' + 1);
  const bool measured = MeasureCard(drive);
  LinuxDrives::DetachAll();
  return measured;
}

TEST(ScanChecksTest, TheLongerOfGeometryAndLengthIsTheCardsSize) {
  TDriveEntry drive;
  EXPECT_TRUE(Measure(1000000, 512, 1000448LL * 512, drive));
  EXPECT_EQ(drive.SectorCount, 1000448u);
  EXPECT_EQ(drive.SectorSize, 512u);
  // The geometry alone is not trusted: the capacity is asked, prefilled from it.
  EXPECT_FALSE(Measure(1000000, 512, -1, drive));
  EXPECT_EQ(drive.SectorCount, 1000000u);
  // Large device sectors become 512; smaller ones stay and divide the length.
  EXPECT_TRUE(Measure(1000, 2048, 4096LL * 512, drive));
  EXPECT_EQ(drive.SectorSize, 512u);
  EXPECT_EQ(drive.SectorCount, 4096u);
  EXPECT_TRUE(Measure(1000, 256, 8192LL * 256, drive));
  EXPECT_EQ(drive.SectorSize, 256u);
  EXPECT_EQ(drive.SectorCount, 8192u);
}

TEST(ScanChecksTest, ImplausibleSizesFallBackToAskingFor65536Sectors) {
  TDriveEntry drive;
  EXPECT_TRUE(Measure(0, 0, 2047LL * 512, drive));
  EXPECT_EQ(drive.SectorCount, 2047u);
  // Past 2 TiB and up to the largest card the count is exact: no 32-bit limit is left.
  for (const int64_t sectors : {int64_t{1} << 33, int64_t{5859375000}, int64_t{kMostCardSectors}}) {
    EXPECT_TRUE(Measure(0, 0, sectors * 512, drive)) << sectors;
    EXPECT_EQ(drive.SectorCount, static_cast<uint64_t>(sectors));
  }
  for (const int64_t sectors : {int64_t{2046}, int64_t{kMostCardSectors} + 1}) {
    EXPECT_FALSE(Measure(0, 0, sectors * 512, drive)) << sectors;
    EXPECT_EQ(drive.SectorCount, 65536u) << sectors;
    EXPECT_EQ(drive.SectorSize, 512u) << sectors;
  }
  EXPECT_FALSE(Measure(0, 0, -1, drive));
  EXPECT_EQ(drive.SectorCount, 65536u);
}

TEST(ScanChecksTest, DestinationIsTrimmedAndEndsWithASlash) {
#ifdef _WIN32
  GTEST_SKIP() << "Linux paths: on Windows an absolute path begins with a drive letter";
#endif
  EXPECT_EQ(NormaliseDestFolder("  /media/out  "), "/media/out/");
  EXPECT_EQ(NormaliseDestFolder("/media/out/"), "/media/out/");
  EXPECT_EQ(NormaliseDestFolder(" \t "), "");
}

TEST(ScanChecksTest, RelativeAndHomeDestinationsBecomeAbsolute) {
#ifdef _WIN32
  // A relative folder joins the current one with "/" throughout; a trailing "\" is a
  // separator already; "~" is an ordinary name.
  std::string current = Utf8Of(fs::current_path());
  std::replace(current.begin(), current.end(), '\\', '/');
  EXPECT_EQ(NormaliseDestFolder(" relative\\out "), current + "/relative/out/");
  EXPECT_EQ(NormaliseDestFolder("~"), current + "/~/");
  EXPECT_EQ(NormaliseDestFolder("D:\\Rescued\\"), "D:\\Rescued\\");
  EXPECT_EQ(NormaliseDestFolder("D:\\Rescued"), "D:\\Rescued/");
#else
  EXPECT_EQ(NormaliseDestFolder(" relative/out "), (fs::current_path() / "relative/out").string() + "/");
  const char* home = std::getenv("HOME");
  const std::string base = home && *home ? home : "/";
  EXPECT_EQ(NormaliseDestFolder("~/Pictures"), base + "/Pictures/");
  // Only a leading "~" alone or "~/" is the home folder.
  EXPECT_EQ(NormaliseDestFolder("/data/~user"), "/data/~user/");
#endif
}

TEST(ScanChecksTest, DestinationAndItsTemporaryFolderAreMadeOnce) {
  TTempDir dir;
  ASSERT_FALSE(dir.path().empty());
  const std::string dest = dir.path().string() + "/a/b/";
  std::string temp;
  ASSERT_EQ(PrepareDestFolder(dest, temp), TDestFolderResult::Ready);
  EXPECT_EQ(temp, dest + "TmpFiles/");
  EXPECT_TRUE(fs::is_directory(temp));
  EXPECT_TRUE(fs::exists(fs::path(temp) / "AboutThisFolder.txt"));

  // An existing temporary folder keeps what it holds and gets no new note.
  fs::remove(fs::path(temp) / "AboutThisFolder.txt");
  std::ofstream(fs::path(temp) / "keep").close();
  ASSERT_EQ(PrepareDestFolder(dest, temp), TDestFolderResult::Ready);
  EXPECT_TRUE(fs::exists(fs::path(temp) / "keep"));
  EXPECT_FALSE(fs::exists(fs::path(temp) / "AboutThisFolder.txt"));
}

// Looking before the questions and making at the start find the same obstacles, with the
// same reasons.
TEST(ScanChecksTest, FilesInTheWayOfTheFoldersAreReported) {
  using TCheck = TDestFolderResult (*)(const std::string&, std::string&, int*);
  const TCheck checks[] = {
      InspectDestFolder,
      [](const std::string& dest, std::string& temp, int* error) { return PrepareDestFolder(dest, temp, error); }};
  for (const TCheck check : checks) {
    TTempDir dir;
    ASSERT_FALSE(dir.path().empty());
    std::ofstream(dir.path() / "file").close();
    std::string temp;
    int error = 0;
    EXPECT_EQ(check(dir.path().string() + "/file/sub/", temp, &error), TDestFolderResult::CannotCreate);
    EXPECT_EQ(error, ENOTDIR);
    EXPECT_EQ(temp, "");

    fs::create_directory(dir.path() / "out");
    std::ofstream(dir.path() / "out" / "TmpFiles").close();
    EXPECT_EQ(check(dir.path().string() + "/out/", temp, &error), TDestFolderResult::CannotWriteTemp);
    EXPECT_EQ(error, EEXIST);
    EXPECT_EQ(temp, dir.path().string() + "/out/TmpFiles/");
  }
}

// The destination may lie on the card: before the last question nothing is made there.
TEST(ScanChecksTest, InspectingTheDestinationWritesNothing) {
  TTempDir dir;
  ASSERT_FALSE(dir.path().empty());
  std::string temp;
  EXPECT_EQ(InspectDestFolder(dir.path().string() + "/a/b/", temp), TDestFolderResult::Ready);
  EXPECT_EQ(temp, dir.path().string() + "/a/b/TmpFiles/");
  EXPECT_EQ(InspectDestFolder(dir.path().string() + "/", temp), TDestFolderResult::Ready);
  EXPECT_TRUE(fs::is_empty(dir.path()));
}

TEST(ScanChecksTest, InspectingFindsFoldersItCannotWriteInto) {
  if (::geteuid() == 0) GTEST_SKIP() << "root may write into any folder";
  TTempDir dir;
  ASSERT_FALSE(dir.path().empty());
  std::string temp;
  fs::create_directory(dir.path() / "locked");
  fs::permissions(dir.path() / "locked", fs::perms::owner_read | fs::perms::owner_exec);
  int error = 0;
  EXPECT_EQ(InspectDestFolder(dir.path().string() + "/locked/new/", temp, &error), TDestFolderResult::CannotCreate);
  EXPECT_EQ(error, EACCES);
  EXPECT_EQ(InspectDestFolder(dir.path().string() + "/locked/", temp, &error), TDestFolderResult::CannotWriteTemp);
  EXPECT_EQ(error, EACCES);
  fs::permissions(dir.path() / "locked", fs::perms::owner_all);
}

// What the start made is reported, and taken away again leaves the folder as it was;
// what was there before stays.
TEST(ScanChecksTest, WhatTheStartMadeCanBeTakenAway) {
  TTempDir dir;
  ASSERT_FALSE(dir.path().empty());
  fs::create_directory(dir.path() / "a");
  std::ofstream(dir.path() / "a" / "mine").close();
  std::string temp;
  std::vector<fs::path> created;
  ASSERT_EQ(PrepareDestFolder(dir.path().string() + "/a/b/c/", temp, nullptr, &created), TDestFolderResult::Ready);
  const std::vector<fs::path> expected = {dir.path() / "a/b", dir.path() / "a/b/c", dir.path() / "a/b/c/TmpFiles/",
                                          dir.path() / "a/b/c/TmpFiles/AboutThisFolder.txt"};
  ASSERT_EQ(created.size(), expected.size());
#ifndef _WIN32  // wine's equivalent() refuses a folder named with a trailing separator
  for (size_t i = 0; i < expected.size(); ++i) EXPECT_TRUE(fs::equivalent(created[i], expected[i])) << i;
#endif
  RemoveCreated(created);
  EXPECT_FALSE(fs::exists(dir.path() / "a" / "b"));
  EXPECT_TRUE(fs::exists(dir.path() / "a" / "mine"));

  // A folder that got a file in the meantime stays, with the file.
  created.clear();
  ASSERT_EQ(PrepareDestFolder(dir.path().string() + "/a/b/", temp, nullptr, &created), TDestFolderResult::Ready);
  std::ofstream(dir.path() / "a" / "b" / "TmpFiles" / "File0001.JPG.tmp").close();
  RemoveCreated(created);
  EXPECT_TRUE(fs::exists(dir.path() / "a" / "b" / "TmpFiles" / "File0001.JPG.tmp"));
  EXPECT_FALSE(fs::exists(dir.path() / "a" / "b" / "TmpFiles" / "AboutThisFolder.txt"));
}

// "File0*.*" as Windows matches it: any case, folders too, a name without a dot too.
TEST(ScanChecksTest, EarlierRecoveryIsAnyNameBeginningWithFile0) {
  TTempDir dir;
  ASSERT_FALSE(dir.path().empty());
  EXPECT_TRUE(NoEarlierRecovery(dir.path()));
  EXPECT_TRUE(NoEarlierRecovery(dir.path() / "missing"));
  std::ofstream(dir.path() / "File1.JPG").close();
  std::ofstream(dir.path() / "MyFile0001.JPG").close();
  EXPECT_TRUE(NoEarlierRecovery(dir.path()));
  std::ofstream(dir.path() / "File0").close();
  EXPECT_FALSE(NoEarlierRecovery(dir.path()));
  fs::remove(dir.path() / "File0");
  std::ofstream(dir.path() / "file00001.jpg").close();
  EXPECT_FALSE(NoEarlierRecovery(dir.path()));
  fs::remove(dir.path() / "file00001.jpg");
  fs::create_directory(dir.path() / "FILE0Folder");
  EXPECT_FALSE(NoEarlierRecovery(dir.path()));
}

TEST(ScanChecksTest, FreeSpaceIsAskedOfTheNearestExistingFolder) {
  TTempDir dir;
  ASSERT_FALSE(dir.path().empty());
  EXPECT_GT(FreeSpaceOf(dir.path()), 0);
  EXPECT_GT(FreeSpaceOf("  " + dir.path().string() + "/not/yet/made/  "), 0);
  EXPECT_EQ(FreeSpaceOf("//server/share/photos/"), kNoLocalDisk);
  EXPECT_EQ(FreeSpaceOf("\\\\server\\share"), kNoLocalDisk);
  EXPECT_EQ(FreeSpaceOf("   "), kNoLocalDisk);
}

TEST(ScanChecksTest, SizesRoundHalvesToEven) {
  EXPECT_EQ(CardSizes(3 * 1024, 0).CardMB, 2);  // 1.5
  EXPECT_EQ(CardSizes(5 * 1024, 0).CardMB, 2);  // 2.5
  EXPECT_EQ(CardSizes(5 * 1024 + 1, 0).CardMB, 3);
  EXPECT_EQ(CardSizes(4194304, 0).NeededMB, 2252);
  EXPECT_EQ(CardSizes(0, 3 * (1 << 19)).FreeMB, 2);  // 1.5 MB free
}

TEST(ScanChecksTest, CapacityOfferedInWholeDecimalMegabytes) {
  EXPECT_EQ(DecimalMegabytes(65536), 33u);  // 33.55
  EXPECT_EQ(DecimalMegabytes(3906250), 2000u);
}

TEST(ScanChecksTest, FreeSpaceQuestionWhenTheDestinationHasLessThanTheCardNeeds) {
  const int64_t mb = 1 << 20;
  EXPECT_FALSE(FreeSpaceQuestion(CardSizes(4194304, 2252 * mb)));
  const auto question = FreeSpaceQuestion(CardSizes(4194304, 2251 * mb));
  ASSERT_TRUE(question);
  EXPECT_EQ(question->substr(0, question->find("\r\n\r\n")),
            "记忆卡存储大小: 2048 MB (  2.0 GB)\r\n目标文件夹驱动器可用空间: 2251 MB (  2.2 GB)\r\n"
            "建议的可用磁盘空间: 2252 MB (  2.2 GB)");
  // A destination on no local disk is never asked about; one that cannot be asked is.
  EXPECT_FALSE(FreeSpaceQuestion(CardSizes(4194304, kNoLocalDisk)));
  EXPECT_TRUE(FreeSpaceQuestion(CardSizes(4194304, -1)));
}

TEST(ScanChecksTest, HardDiskQuestionAboveTheCardLimitOrOnDriveC) {
  EXPECT_FALSE(HardDiskQuestion('E', CardSizes(168960u * 2048, 0)));
  const auto big = HardDiskQuestion('E', CardSizes(168961u * 2048, 0));
  ASSERT_TRUE(big);
  EXPECT_EQ(*big,
            "对不起，它看起来像驱动器E: 您选择好要扫描的硬盘驱动器 (大小: 165.0 GB) "
            "而不是一台数码相机的存储卡（存储卡大小通常大于 128 GB）。\r\n\r\n"
            "点击“是”以取消并重新选择一个驱动器盘符，或者单击“否”继续处理。");
  EXPECT_TRUE(HardDiskQuestion('C', CardSizes(65536, 0)));
  EXPECT_TRUE(HardDiskQuestion('c', CardSizes(65536, 0)));
}

TEST(ScanChecksTest, SoughtTypesFollowTheTableOrder) {
  EXPECT_EQ(SoughtTypes(MakeRecogniserInputs("Canon Digital Camera", true, false, false, "ALL")),
            ".JPG/.CRW/.CR2");
  EXPECT_EQ(SoughtTypes(MakeRecogniserInputs("Generic Digital Camera", true, false, false, "ALL")),
            ".JPG/.TIF");
  EXPECT_EQ(SoughtTypes(TRecogniserInputs{}), "");
}

TEST(CannotOpenCardTextTest, NamesTheDeviceTheReasonAndForPermissionTheDevicesGroup) {
  TTempDir dir;
  const fs::path device = dir.path() / "sdz1";
  std::ofstream(device).close();
  const struct group* disk = ::getgrnam("disk");
  const bool grouped = disk != nullptr && ::chown(device.c_str(), 0, disk->gr_gid) == 0;
  const std::string advice = Text(TText::CannotOpenCardGroup, {"disk"});
  const struct {
    int Error;
    bool Advice;
  } cases[] = {{EACCES, true}, {EPERM, true}, {ENOENT, false}, {EIO, false}};
  for (const auto& c : cases) {
    const std::string text = CannotOpenCardText(device.string(), c.Error);
    EXPECT_EQ(text.rfind(Text(TText::CannotOpenCard, {device.string(), std::strerror(c.Error)}), 0), 0u) << text;
#ifdef _WIN32
    (void)grouped;
    // Windows: run elevated; an elevated program refused is told something else holds it.
    EXPECT_EQ(text.find(Text(TText::CannotOpenVolumeWho)) != std::string::npos, c.Advice) << text;
    const std::string elevated = CannotOpenCardText(device.string(), c.Error, {}, true);
    EXPECT_EQ(elevated.find(Text(TText::CannotOpenVolumeAsAdministrator)) != std::string::npos, c.Advice)
        << elevated;
    EXPECT_EQ(elevated.find(Text(TText::CannotOpenVolumeWho)), std::string::npos) << elevated;
#else
    EXPECT_EQ(text.find("请以 root 身份运行") != std::string::npos, c.Advice) << text;
    if (grouped) {
      EXPECT_EQ(text.find(advice) != std::string::npos, c.Advice) << text;
    }
#endif
  }
}

TEST(CannotOpenCardTextTest, ASourceThatDoesNotOpenIsReportedBeforeMeasuring) {
  const char letter = LinuxDrives::AttachSource("broken.img", DRIVE_REMOVABLE, [] {
    errno = EIO;
    return std::unique_ptr<TCardSource>();
  });
  ASSERT_NE(letter, 0);
  const uint8_t number = static_cast<uint8_t>(letter - 'A' + 1);
  EXPECT_EQ(CardOpenProblem(number), CannotOpenCardText("broken.img", EIO));
  LinuxDrives::DetachAll();
}

}  // namespace
}  // namespace snapsalvager
