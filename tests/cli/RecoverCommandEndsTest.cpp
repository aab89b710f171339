// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// snapsalvager-cli recover when something gets in its way (a full disk, Ctrl-C, a card pulled
// out, a file-size limit, a closed stdout) and what it refuses (bad values, the card's own
// disk, a card it cannot open); restore of what it kept.
#include "RecoverCommandTestSupport.h"

namespace {

using namespace recovertest;

class RecoverOnSmallDiskTest : public RecoverCommandTest {
 protected:
  void SetUp() override {
    RecoverCommandTest::SetUp();
    if (IsSkipped()) return;
    small_ = work_ / "small";
    fs::create_directories(small_);
    if (::mount("tmpfs", small_.c_str(), "tmpfs", 0, "size=1m") != 0) {
      GTEST_SKIP() << "cannot mount a small tmpfs here (needs root)";
    }
    mounted_ = true;
  }
  void TearDown() override {
    if (mounted_) ::umount2(small_.c_str(), MNT_DETACH);
    RecoverCommandTest::TearDown();
  }
  fs::path small_;
  bool mounted_ = false;
};

// A 16 GiB sparse card image with one photo at sector 100: its scan takes seconds.
fs::path SparseCardWithAPhoto(const fs::path& image, const fs::path& photo) {
  {
    std::ofstream out(image, std::ios::binary);
    out.seekp(512 * 100);
    out << ReadAll(photo);
  }
  fs::resize_file(image, uint64_t{16} << 30);
  return image;
}

TEST_F(RecoverOnSmallDiskTest, TooLittleFreeSpaceIsAQuestion) {
  const TResult run = RunRecover({card_->Image.string(), (small_ / "out").string()}, work_);
  EXPECT_EQ(run.Status, 4);
  EXPECT_NE(run.Err.find("记忆卡存储大小: 40 MB (  0.0 GB)"), std::string::npos) << run.Err;
  EXPECT_NE(run.Err.find("建议的可用磁盘空间: 44 MB (  0.0 GB)"), std::string::npos) << run.Err;
}

TEST_F(RecoverOnSmallDiskTest, DiskFullEndsTheScanWithThreeAndSavesWhatWasFound) {
  // The last photo runs to the end of the card (tens of MB): it cannot fit.
  const fs::path dest = small_ / "out";
  const TResult run = RunRecover({card_->Image.string(), dest.string(), "--yes", "--video", "--audio"}, work_);
  EXPECT_EQ(run.Status, 3) << run.Err;
  const std::string ended = Text(TText::ScanEndedOnError, {"Cannot write the temporary file"});
  EXPECT_NE(run.Err.find(ended.substr(0, ended.size() - 1)), std::string::npos)
      << run.Err;
  ASSERT_FALSE(run.Rows.empty());
  ASSERT_LT(run.Rows.size(), card_->Files.size());
  for (size_t i = 0; i < run.Rows.size(); ++i) {
    const std::string original = ReadAll(card_->Files[i].Original);
    EXPECT_EQ(ReadAll(dest / run.Rows[i][1]).substr(0, original.size()), original) << run.Rows[i][1];
  }
}

TEST_F(RecoverCommandTest, CtrlCStopsTheScanAndSavesWhatWasFound) {
  // A large sparse card with one photo near its start: the scan takes seconds.
  const fs::path image = SparseCardWithAPhoto(work_ / "sparse.img", card_->Files[0].Original);
  const fs::path dest = work_ / "out";
  const TResult run = RunRecover({image.string(), dest.string(), "--yes"}, work_, 300);
  ASSERT_EQ(run.Status, 130) << run.Err;
  EXPECT_TRUE(run.Exited);
  EXPECT_NE(run.Err.find(Text(TText::UserStopped)), std::string::npos) << run.Err;
  ASSERT_EQ(run.Rows.size(), 1u);
  const std::string original = ReadAll(card_->Files[0].Original);
  const std::string saved = ReadAll(dest / "File0001.JPG");
  EXPECT_EQ(saved.substr(0, original.size()), original);
  EXPECT_EQ(run.Err.find("33554432/33554432"), std::string::npos) << run.Err;  // stopped early

  // A second Ctrl-C quits at once and says how to save what was found.
  const fs::path later = work_ / "later";
  const TResult quit = RunRecover({image.string(), later.string(), "--yes"}, work_, 300, {}, 2);
  EXPECT_EQ(quit.Status, 130) << quit.Err;
  EXPECT_TRUE(quit.Exited);
  // On a busy machine the second signal can come after the stop was done and the photo saved:
  // then nothing is left to restore. Otherwise the line says how.
  if (quit.Err.find(Text(TText::FilesSaved, {"1"})) == std::string::npos) {
    EXPECT_NE(quit.Err.find("snapsalvager-cli restore " + (later / "TmpFiles").string()), std::string::npos)
        << quit.Err;
  }
}

// A card that goes away mid-scan (its image cut short, so every read past the cut finds
// nothing and a re-open reads nothing there either): the scan ends within seconds with the
// reason and exit 3, and the photo found before is saved.
TEST_F(RecoverCommandTest, CardThatGoesAwayEndsTheScanAndSavesWhatWasFound) {
  const fs::path image = SparseCardWithAPhoto(work_ / "vanishing.img", card_->Files[0].Original);
  const fs::path dest = work_ / "out";
  std::thread pull([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    fs::resize_file(image, 1 << 20);
  });
  const auto start = std::chrono::steady_clock::now();
  const TResult run = RunRecover({image.string(), dest.string(), "--yes"}, work_);
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start);
  pull.join();
  EXPECT_EQ(run.Status, 3) << run.Err;
  EXPECT_LT(seconds.count(), 10) << run.Err;
  EXPECT_NE(run.Err.find(snapsalvager::Text(snapsalvager::TText::CardGone)), std::string::npos) << run.Err;
  const std::string original = ReadAll(card_->Files[0].Original);
  EXPECT_EQ(ReadAll(dest / "File0001.JPG").substr(0, original.size()), original);
}

// A card of photos at the given sectors (the rest zeros), in dir/name.
fs::path CardWithPhotosAt(const fs::path& dir, const std::vector<std::pair<uint32_t, std::string>>& photos,
                          uint64_t bytes) {
  const fs::path image = dir / "photos.img";
  {
    std::ofstream out(image, std::ios::binary);
    for (const auto& [sector, photo] : photos) {
      out.seekp(static_cast<std::streamoff>(sector) * 512);
      out << photo;
    }
  }
  fs::resize_file(image, bytes);
  return image;
}

std::vector<std::string> PhotoBytes(const fixtures::MediaCard& card) {
  std::vector<std::string> photos;
  for (const auto& f : card.Files) {
    if (f.Ext == "JPG") photos.push_back(ReadAll(f.Original));
  }
  return photos;
}

TEST_F(RecoverCommandTest, FileSizeLimitCutsOnlyTheFileTooLargeAndTheScanGoesOn) {
  // A 3 MiB run after the first photo, then a photo, then 4 MiB to the card's end, written
  // where no file may grow past 1 MiB (as FAT32 stops at 4 GiB).
  const auto photos = PhotoBytes(*card_);
  ASSERT_GE(photos.size(), 3u);
  const fs::path image = CardWithPhotosAt(work_, {{100, photos[0]}, {6244, photos[1]}, {8000, photos[2]}}, 8 << 20);
  const uint64_t before = fixtures::HashFile(image);
  const fs::path dest = work_ / "out";
  const TResult run = RunRecover({image.string(), dest.string()}, work_, -1, [] {
    ::signal(SIGXFSZ, SIG_DFL);  // the command itself must not die of it
    const struct rlimit limit{1 << 20, 1 << 20};
    ::setrlimit(RLIMIT_FSIZE, &limit);
  });
  ASSERT_EQ(run.Status, 0) << run.Err;
  ASSERT_EQ(run.Rows.size(), 3u) << run.Out;
  const std::string cut = Text(TText::CutFileNote, {"1048576"});
  const struct {
    size_t Photo;
    uint64_t Size;
    bool Cut;
  } expected[] = {{0, 1 << 20, true}, {1, (8000 - 6244) * 512, false}, {2, 1 << 20, true}};
  for (size_t i = 0; i < 3; ++i) {
    const auto& row = run.Rows[i];
    EXPECT_EQ(row[2], std::to_string(expected[i].Size)) << row[1];
    EXPECT_EQ(row[3].find(cut) != std::string::npos, expected[i].Cut) << row[3];
    const std::string saved = ReadAll(dest / row[1]);
    EXPECT_EQ(saved.size(), expected[i].Size) << row[1];
    EXPECT_EQ(saved.substr(0, photos[expected[i].Photo].size()), photos[expected[i].Photo]) << row[1];
  }
  EXPECT_EQ(fixtures::HashFile(image), before);
}

TEST_F(RecoverCommandTest, ClosedStdoutEndsTheRowsNotTheScanOrTheSave) {
  const fs::path dest = work_ / "out";
  const TResult run = RunRecover({card_->Image.string(), dest.string()}, work_, -1, [] {
    int ends[2];
    if (::pipe(ends) != 0) ::_exit(120);
    ::close(ends[0]);  // nobody reads: the first row meets a broken pipe
    ::dup2(ends[1], 1);
    ::signal(SIGPIPE, SIG_DFL);
  });
  ASSERT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(RecoveredNames(dest).size(), PhotoBytes(*card_).size());
  EXPECT_NE(run.Err.find(Text(TText::SavedIn)), std::string::npos) << run.Err;
}

TEST_F(RecoverCommandTest, CamerasAsUsersTypeThemAndVideoTypeAsTheNextWord) {
  const fs::path blank = work_ / "blank.img";
  std::ofstream(blank, std::ios::binary).close();
  fs::resize_file(blank, 4 << 20);
  const struct {
    std::vector<std::string> Options;
    int Status;
    std::string Err;  // a line the command must print
  } cases[] = {
      {{"--camera", "canon"}, 1, "要检测的文件类型：.JPG/.CRW/.CR2\n"},
      {{"--camera", "Sony", "--video", "MOV"}, 1, "要检测的文件类型：.JPG/.MOV/.SRF\n"},
      {{"--video", "mov", "--no-photo", "--camera=nikon digital camera"}, 1, "要检测的文件类型：.MOV\n"},
      {{"--camera", "generic"}, 2, "  Generic Phone Camera\n"},
      {{"--camera", "Polaroid"}, 2, "  Sony Digital Camera\n"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {blank.string(), (work_ / "out").string()};
    args.insert(args.end(), c.Options.begin(), c.Options.end());
    const TResult run = RunRecover(args, work_);
    EXPECT_EQ(run.Status, c.Status) << c.Options[1] << "\n" << run.Err;
    EXPECT_NE(run.Err.find(c.Err), std::string::npos) << c.Options[1] << "\n" << run.Err;
  }
}

TEST_F(RecoverCommandTest, RestoreSavesKeptTemporaryFilesAndNeverReplaces) {
  const fs::path dest = work_ / "out";
  ASSERT_EQ(RunRecover({card_->Image.string(), dest.string(), "--scan-only"}, work_).Status, 0);
  const fs::path temp = dest / "TmpFiles";
  const fs::path other = work_ / "restored";
  fs::create_directories(other);
  std::ofstream(other / "File0002.JPG") << "mine";
  const TResult run = RunCli({"restore", (temp / "Temporary_v5_File0001_JPG.~QX").string(),
                              (temp / "Temporary_v5_File0002_JPG.~QX").string(), (temp / "AboutThisFolder.txt").string(),
                              other.string()},
                             work_);
  EXPECT_EQ(run.Status, 1) << run.Err;  // the note is no temporary file
  const auto photos = PhotoBytes(*card_);
  EXPECT_EQ(ReadAll(other / "File0001.JPG").substr(0, photos[0].size()), photos[0]);
  EXPECT_FALSE(fs::exists(temp / "Temporary_v5_File0001_JPG.~QX"));
  // A taken name is never replaced and never blocks the restore.
  EXPECT_EQ(ReadAll(other / "File0002.JPG"), "mine");
  EXPECT_EQ(ReadAll(other / "File0003.JPG").substr(0, photos[1].size()), photos[1]);
  EXPECT_FALSE(fs::exists(temp / "Temporary_v5_File0002_JPG.~QX"));
  EXPECT_NE(run.Err.find("File0002.JPG 已被占用，改存为 File0003.JPG"), std::string::npos) << run.Err;
  EXPECT_NE(run.Err.find(Text(TText::NotRestored, {(temp / "AboutThisFolder.txt").string(),
                                                  Text(TText::NotATemporaryFile, {snapsalvager::TemporaryNameForm()})})),
            std::string::npos)
      << run.Err;
  EXPECT_EQ(RunCli({"restore", (temp / "Temporary_v5_File0003_JPG.~QX").string()}, work_).Status, 2);
}

TEST_F(RecoverCommandTest, RefusalsNameTheRefusedValueAndTheSystemsReason) {
  const std::string image = card_->Image.string();
  fs::create_directories(work_ / "taken");
  std::ofstream(work_ / "file").close();
  std::ofstream(work_ / "taken" / "TmpFiles").close();  // a file where the folder must go
  const struct {
    std::vector<std::string> Args;
    std::string Said;
  } cases[] = {
      {{"--video", "BOGUS", image, (work_ / "a").string()}, Text(TText::VideoTypeAfterVideo, {"BOGUS"})},
      {{image, (work_ / "b").string(), "--video", "BOGUS"}, Text(TText::VideoTypeAfterVideo, {"BOGUS"})},
      {{image, (work_ / "file" / "sub").string()},
       Shown(Text(TText::CannotCreateDest, {(work_ / "file" / "sub").string() + "/"}) +
             Text(TText::SystemReason, {fixtures::SystemMessage(ENOTDIR, true)}))},
      {{image, (work_ / "taken").string()},
       Shown(Text(TText::CannotWriteTemp, {(work_ / "taken").string() + "/"}) +
             Text(TText::SystemReason, {fixtures::SystemMessage(EEXIST, true)}))},
  };
  for (const auto& c : cases) {
    const TResult run = RunRecover(c.Args, work_);
    EXPECT_EQ(run.Status, 2) << run.Err;
    EXPECT_NE(run.Err.find(c.Said), std::string::npos) << run.Err;
  }
}

// Root whose container or security policy withholds the device is not told to become root.
TEST_F(RecoverCommandTest, RootRefusedByItsSandboxIsToldSo) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root";
  const fs::path image = work_ / "withheld.img";
  std::ofstream(image, std::ios::binary).close();
  fs::resize_file(image, 4 << 20);
  fs::permissions(image, fs::perms::none);
  const TResult run = RunRecover({image.string(), (work_ / "out").string()}, work_, -1, [] {
    // Without the rights to pass file permissions (gone from the bounding set, so the
    // command does not get them back), root meets EACCES as a sandbox gives it.
    for (const int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH})
      if (::prctl(PR_CAPBSET_DROP, cap, 0, 0, 0) != 0) ::_exit(121);
  });
  if (run.Status == 121) GTEST_SKIP() << "capabilities cannot be dropped here";
  EXPECT_EQ(run.Status, 5) << run.Err;
  EXPECT_NE(run.Err.find(Shown(Text(TText::CannotOpenCardAsRoot))), std::string::npos) << run.Err;
  EXPECT_EQ(run.Err.find("请以 root 身份运行"), std::string::npos) << run.Err;
  EXPECT_FALSE(fs::exists(work_ / "out"));
}

// Exit statuses by cause; the questions' 4 is shown by the question tests above.
TEST_F(RecoverCommandTest, CardThatCannotBeOpenedIsSaidSoFirstWithFive) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to run the command as another user";
  const fs::path image = work_ / "locked.img";
  std::ofstream(image, std::ios::binary).close();
  fs::resize_file(image, 4 << 20);
  fs::permissions(image, fs::perms::owner_read | fs::perms::owner_write);
  fs::permissions(work_, fs::perms::all);
  const TResult run = RunRecover({image.string(), (work_ / "out").string(), "--sectors", "81920"}, work_, -1, [] {
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(121);
  });
  EXPECT_EQ(run.Status, 5) << run.Err;
  EXPECT_NE(run.Err.find(Text(TText::CannotOpenCard, {image.string(), fixtures::SystemMessage(EACCES, true)})), std::string::npos)
      << run.Err;
  EXPECT_EQ(run.Err.find(Text(TText::ScanInProgress)), std::string::npos) << run.Err;
  EXPECT_FALSE(fs::exists(work_ / "out"));
}

// The guard on real devices: a whole disk scanned into one of its partitions, a partition
// scanned into its sibling.
TEST(RecoverOnLoopDiskTest, DestinationOnTheCardsOwnDiskIsRefusedEvenWithYes) {
  const fs::path work = MakeTempDir("recover-loop");
  {
    fixtures::LoopDisk disk(work);
    if (!disk.Skipped().empty()) {
      fs::remove_all(work);
      GTEST_SKIP() << disk.Skipped();
    }
    const uint64_t before = fixtures::HashFile(disk.Image());
    const struct {
      std::string Source;
      fs::path Dest;
    } cases[] = {{disk.Disk(), disk.MountPoint(1) / "out"}, {disk.Partition(1), disk.MountPoint(2) / "out"}};
    for (const auto& c : cases) {
      TResult run = RunRecover({c.Source, c.Dest.string(), "--yes", "--sectors", "8192"}, work);
      EXPECT_EQ(run.Status, 4) << c.Source << "\n" << run.Err;
      EXPECT_NE(run.Err.find(Shown(Text(TText::SameDrive))), std::string::npos) << run.Err;
      EXPECT_NE(run.Err.find(Text(TText::StoppedAtQuestion, {"--onto-card-drive"})), std::string::npos) << run.Err;
      // The option goes past the question (here to the read-only mount's refusal).
      run = RunRecover({c.Source, c.Dest.string(), "--onto-card-drive"}, work);
      EXPECT_EQ(run.Status, 2) << c.Source << "\n" << run.Err;
      EXPECT_NE(run.Err.find(Shown(Text(TText::SystemReason, {fixtures::SystemMessage(EROFS, true)}))), std::string::npos) << run.Err;
    }
    // restore asks the same question before writing onto a card's drive.
    const fs::path kept = work / "kept";
    fs::create_directories(kept);
    TResult restore = RunCli({"restore", kept.string(), (disk.MountPoint(1) / "out").string()}, work);
    EXPECT_EQ(restore.Status, 4) << restore.Err;
    EXPECT_NE(restore.Err.find("警告: 目标文件夹的驱动器与源驱动器是相同的。"), std::string::npos) << restore.Err;
    restore = RunCli({"restore", kept.string(), (disk.MountPoint(1) / "out").string(), "--onto-card-drive"}, work);
    EXPECT_NE(restore.Status, 4) << restore.Err;
    EXPECT_EQ(RunCli({"restore", kept.string(), (work / "restored").string()}, work).Status, 0);

    // Another disk is not asked about.
    const TResult elsewhere = RunRecover({disk.Partition(1), (work / "out").string()}, work);
    EXPECT_EQ(elsewhere.Status, 1) << elsewhere.Err;
    EXPECT_EQ(elsewhere.Err.find(Shown(Text(TText::SameDrive))), std::string::npos) << elsewhere.Err;

    // Opened by a user who may not read the device: said so, nothing measured or scanned.
    const TResult denied = RunRecover({disk.Partition(1), (work / "out").string(), "--sectors", "8192"}, work, -1, [] {
      if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(121);
    });
    EXPECT_EQ(denied.Status, 5) << denied.Err;
    EXPECT_NE(denied.Err.find(Text(TText::CannotOpenCard, {disk.Partition(1), fixtures::SystemMessage(EACCES, true)})), std::string::npos)
        << denied.Err;
    EXPECT_EQ(denied.Err.find(Text(TText::ScanInProgress)), std::string::npos) << denied.Err;

    // drives lists the partitions with where they are mounted.
    const TResult drives = RunCli({"drives"}, work);
    EXPECT_EQ(drives.Status, 0);
    EXPECT_NE(drives.Out.find(disk.Partition(2)), std::string::npos) << drives.Out;
    EXPECT_NE(drives.Out.find(disk.MountPoint(2).string()), std::string::npos) << drives.Out;
    EXPECT_EQ(fixtures::HashFile(disk.Image()), before);
  }
  fs::remove_all(work);
}

}  // namespace
