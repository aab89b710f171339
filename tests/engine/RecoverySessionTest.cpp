// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The recovery's road through the session: its steps reach the observer in order, an image
// that cannot be made stops or skips as the observer answers, a second scan keeps the
// first one's files aside, a journal that is not of this scan is never resumed, and the
// save empties the journal; the restore step saves the files a scan kept, stops between
// files when asked, and takes the journal away with the last file.
#include "session/RecoverySession.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>

#include "card/LinuxDrives.h"
#include "session/Texts.h"
#include "tempfile/TempFileFormat.h"
#include "tempfile/Utf8Path.h"
#include "fixtures/CardImage.h"
#include "fixtures/TempFolder.h"

namespace snapsalvager {
namespace {

namespace fs = std::filesystem;

// Records the session's steps by name and answers its questions as told.
class TRecordingObserver : public TRecoveryObserver {
 public:
  void SetProgressPosition(uint64_t) override {}
  void SetProgressMaximum(uint64_t) override {}
  void StepProgress() override {}
  void SetLabelText(TScanLabel, const std::string&) override {}
  void AddFoundFile(const std::string&, const std::string&, int64_t) override {}
  void Finish(const std::string& error) override { Log("Finish" + error); }
  bool GoOnWithoutCardImage(const std::string&) override {
    Log("GoOnWithoutCardImage");
    return GoOnWithoutImage;
  }
  void ScanStarting() override { Log("ScanStarting"); }
  void NoInterruptedScan() override { Log("NoInterruptedScan"); }
  bool ResumeInterruptedScan(const TResumeOffer& offer, bool imaging) override {
    Log("Resume" + std::to_string(static_cast<int>(offer.Verdict)) + (imaging ? "+image" : ""));
    return true;  // always asks to go on: only a matching journal may be resumed
  }
  void Info(const std::string& text) override {
    Log("Info");
    InfoText = text;
  }
  void ScanThreadStarting() override { Log("ScanThreadStarting"); }
  void SavingFile(const TSaveStep&) override { Log("SavingFile"); }
  void FileRenamed(const TRenamedFile& renamed) override { Log("Renamed" + renamed.SavedAs); }
  void FileRestored(const std::string&, const fs::path& target) override { Log("Restored" + target.filename().string()); }
  void FileNotRestored(const std::string&, const std::string&) override { Log("NotRestored"); }

  std::vector<std::string> Steps() {
    std::lock_guard<std::mutex> lock(mutex_);
    return steps_;
  }
  bool GoOnWithoutImage = true;
  std::string InfoText;

 private:
  void Log(const std::string& step) {
    std::lock_guard<std::mutex> lock(mutex_);
    steps_.push_back(step);
  }
  std::mutex mutex_;
  std::vector<std::string> steps_;
};

class RecoverySessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fixtures::CardImage card(2048);
    card.noise(3).jpegAt(100).jpegAt(700).jpegAt(1500);
    const char letter = LinuxDrives::AttachImage(card.writeTo(dir_ / "card.img").string());
    ASSERT_NE(letter, 0);
    session_.Settings.Drive.Letter = letter;
    session_.Settings.Drive.DriveNumber = static_cast<uint8_t>(letter - 'A' + 1);
    session_.Settings.Drive.SectorCount = card.sectors();
    session_.Settings.Drive.SectorSize = 512;
    session_.Settings.TempFolder = dir_ / "dest" / "TmpFiles" / "";
    session_.Settings.DestFolder = dir_ / "dest" / "";
    session_.Settings.Inputs = MakeRecogniserInputs("Generic Digital Camera", true, false, false, "ALL");
    fs::create_directories(session_.Settings.TempFolder);
  }
  void TearDown() override {
    session_.EndScan();
    LinuxDrives::DetachAll();
  }

  // One scan run to its end; false when none started.
  bool Scan() {
    const TScanStart start = session_.StartScan();
    if (!start.Thread) return false;
    EXPECT_TRUE(start.Thread->WaitFor(60000));
    return true;
  }

  fixtures::TempFolder dir_{"recoverysession"};
  TRecordingObserver observer_;
  TFoundFileList found_;
  TRecoverySession session_{observer_, [](const std::function<void()>& call) { call(); }, found_};
};

TEST_F(RecoverySessionTest, ScanImageAndSaveInOrder) {
  session_.Settings.CardImage = dir_ / "copy.img";
  ASSERT_TRUE(Scan());
  const TCardImageEnd image = session_.EndScan();
  EXPECT_TRUE(image.Made && image.Written) << image.Error;
  EXPECT_EQ(fs::file_size(dir_ / "copy.img"), 2048u * 512);
  EXPECT_TRUE(fs::exists(image.MapPath));
  ASSERT_EQ(found_.Count(), 3u);

  const TSaveOutcome outcome = session_.Save();
  EXPECT_EQ(outcome.Saved, 3u);
  EXPECT_FALSE(JournalPresent(session_.Settings.TempFolder));
  const std::vector<std::string> expected{"ScanStarting", "NoInterruptedScan", "ScanThreadStarting", "Finish",
                                          "SavingFile",   "SavingFile",        "SavingFile"};
  EXPECT_EQ(observer_.Steps(), expected);
}

TEST_F(RecoverySessionTest, CardImageThatCannotBeMade) {
  std::ofstream(dir_ / "taken.img") << "a file of the user's";
  session_.Settings.CardImage = dir_ / "taken.img";
  for (const bool goOn : {false, true}) {
    SCOPED_TRACE(goOn);
    observer_.GoOnWithoutImage = goOn;
    EXPECT_EQ(Scan(), goOn);
    EXPECT_FALSE(session_.EndScan().Made);
    EXPECT_EQ(found_.Count(), goOn ? 3u : 0u);
  }
  EXPECT_EQ(observer_.Steps().front(), "GoOnWithoutCardImage");
  EXPECT_EQ(observer_.Steps()[1], "GoOnWithoutCardImage") << "refused: nothing else happened";
  std::ifstream in(dir_ / "taken.img");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "a file of the user's");
}

// The destination is made when the scan starts, with its note; a start refused on the way
// takes away what it made, and only that.
TEST_F(RecoverySessionTest, TheStartMakesTheDestinationAndARefusedStartTakesItAway) {
  fs::remove_all(dir_ / "dest");
  std::ofstream(dir_ / "taken.img") << "a file of the user's";
  session_.Settings.CardImage = dir_ / "taken.img";
  observer_.GoOnWithoutImage = false;
  EXPECT_FALSE(Scan());
  EXPECT_FALSE(fs::exists(dir_ / "dest"));
  EXPECT_TRUE(fs::exists(dir_ / "taken.img"));

  observer_.GoOnWithoutImage = true;
  EXPECT_TRUE(Scan());
  EXPECT_TRUE(fs::exists(session_.Settings.TempFolder / kFolderNoteName));
  EXPECT_EQ(found_.Count(), 3u);

  // A file where the destination must go: the start says so and makes nothing.
  session_.Settings.CardImage.clear();
  session_.Settings.DestFolder = dir_ / "taken.img" / "sub" / "";
  const TScanStart start = session_.StartScan();
  EXPECT_FALSE(start.Thread);
  EXPECT_EQ(start.Error, std::string(Text(TText::CannotCreateDest, {Utf8Of(session_.Settings.DestFolder)})) +
                             Text(TText::SystemReason, {std::strerror(ENOTDIR)}));
}

TEST_F(RecoverySessionTest, SecondScanKeepsTheFirstScansFilesAside) {
  ASSERT_TRUE(Scan());
  ClearFoundFiles(found_);
  ASSERT_TRUE(Scan());
  EXPECT_EQ(found_.Count(), 3u);
  ASSERT_FALSE(observer_.InfoText.empty());
  size_t keptFolders = 0;
  for (const auto& entry : fs::directory_iterator(session_.Settings.TempFolder))
    if (entry.is_directory() && entry.path().filename().string().rfind("Kept_", 0) == 0) ++keptFolders;
  EXPECT_EQ(keptFolders, 1u);
}

TEST_F(RecoverySessionTest, JournalOfNoScanIsNeverResumed) {
  std::ofstream(session_.Settings.TempFolder / kJournalStateName) << "not a journal";
  for (const bool imaging : {false, true}) {
    SCOPED_TRACE(imaging);
    session_.Settings.CardImage = imaging ? dir_ / "copy.img" : fs::path();
    ASSERT_TRUE(Scan());
    session_.EndScan();
    EXPECT_EQ(session_.ResumedFrom(), nullptr);
    EXPECT_EQ(found_.Count(), 3u);
    ClearFoundFiles(found_);
    std::ofstream(session_.Settings.TempFolder / kJournalStateName) << "not a journal";
  }
  const std::vector<std::string> steps = observer_.Steps();
  const std::string unusable = "Resume" + std::to_string(static_cast<int>(TResumeVerdict::Unusable));
  EXPECT_NE(std::find(steps.begin(), steps.end(), unusable), steps.end());
  EXPECT_NE(std::find(steps.begin(), steps.end(), unusable + "+image"), steps.end());
}

// The files of a scan never saved are restored from the temporary folder: a stop between
// files leaves the rest (and the journal) for later; a taken name is never replaced.
TEST_F(RecoverySessionTest, RestoreKeptFilesStopsBetweenFiles) {
  ASSERT_TRUE(Scan());
  ASSERT_EQ(found_.Count(), 3u);
  const bool journal = JournalPresent(session_.Settings.TempFolder);
  const fs::path dest = dir_ / "restored";
  fs::create_directories(dest);
  std::ofstream(dest / "File0001.JPG") << "taken";

  TRestoreSession restore(observer_);
  restore.Files = KeptTemporaryFiles(session_.Settings.TempFolder);
  ASSERT_EQ(restore.Files.size(), 3u);
  restore.DestFolder = dest;
  int asked = 0;
  TRestoreOutcome outcome = restore.Restore([&asked] { return ++asked > 1; });
  EXPECT_TRUE(outcome.Interrupted);
  EXPECT_EQ(outcome.Restored, 1u);
  EXPECT_EQ(JournalPresent(session_.Settings.TempFolder), journal);

  restore.Files = KeptTemporaryFiles(session_.Settings.TempFolder);
  restore.Files.push_back((dir_ / "not-a-temporary-file").string());
  outcome = restore.Restore({});
  EXPECT_FALSE(outcome.Interrupted);
  EXPECT_EQ(outcome.Restored, 2u);
  EXPECT_EQ(outcome.Failed, 1u);
  EXPECT_FALSE(JournalPresent(session_.Settings.TempFolder));
  std::ifstream taken(dest / "File0001.JPG");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(taken), {}), "taken");
  const std::vector<std::string> expected{"ScanStarting", "NoInterruptedScan", "ScanThreadStarting", "Finish",
                                          "RenamedFile0004.JPG", "RestoredFile0004.JPG",
                                          "RestoredFile0002.JPG", "RestoredFile0003.JPG", "NotRestored"};
  EXPECT_EQ(observer_.Steps(), expected);
}

// The card's names kept beside the files of a scan without a save go aside with them when a
// new scan starts, and name them when they are restored: under their folders, dated as the
// entry, however hostile the name; a line that no longer fits its file (another scan's
// File0003) names nothing.
TEST_F(RecoverySessionTest, RestoreUnderTheNamesKeptBesideTheFiles) {
  ASSERT_TRUE(Scan());
  ASSERT_EQ(found_.Count(), 3u);
  const auto entry = [](std::vector<std::string> folder, std::string name, int year) {
    auto named = std::make_shared<filesystems::NamedEntry>();
    named->Folder = std::move(folder);
    named->Entry.Name = std::move(name);
    named->Entry.Modified = {year, 6, 10, 9, 41, 20, 0, 0};
    return named;
  };
  found_[0].Original = entry({"DCIM", "100CANON"}, "IMG_0001.JPG", 2021);
  found_[1].Original = entry({"..", "a/b", "%41"}, "c\tx\n..jpg", 0);
  const std::optional<int64_t> time = EntryTime(found_[0].Original->Entry.Modified);
  ASSERT_TRUE(session_.KeepNames());
  std::ofstream(session_.Settings.TempFolder / kKeptNamesFile, std::ios::app)
      << "Temporary_v5_File0003_JPG.~QX\t1\t-\tstale.jpg\n"
      << "half a line\n";
  ClearFoundFiles(found_);
  ASSERT_TRUE(Scan());
  EXPECT_FALSE(fs::exists(session_.Settings.TempFolder / kKeptNamesFile));
  fs::path kept;
  for (const auto& item : fs::directory_iterator(session_.Settings.TempFolder))
    if (item.is_directory()) kept = item.path();
  ASSERT_TRUE(fs::exists(kept / kKeptNamesFile));

  const fs::path dest = dir_ / "restored";
  fs::create_directories(dest);
  TRestoreSession restore(observer_);
  restore.Files = KeptTemporaryFiles(kept);
  restore.DestFolder = dest;
  restore.OriginalNames = true;
  EXPECT_EQ(restore.Restore({}).Restored, 3u);
  std::vector<std::string> saved;
  for (const auto& item : fs::recursive_directory_iterator(dest)) {
    if (!item.is_regular_file()) continue;
    saved.push_back(Utf8Of(item.path().lexically_relative(dest)));
    std::replace(saved.back().begin(), saved.back().end(), '\\', '/');  // Windows' own separator
  }
  std::sort(saved.begin(), saved.end());
  const std::vector<std::string> expected{"DCIM/100CANON/IMG_0001.JPG", "File0003.JPG", "_/a_b/%41/c_x_..jpg"};
  EXPECT_EQ(saved, expected);
  const auto modified = fs::last_write_time(dest / "DCIM/100CANON/IMG_0001.JPG");
  EXPECT_EQ(std::chrono::time_point_cast<std::chrono::seconds>(std::chrono::file_clock::to_sys(modified)),
            std::chrono::sys_seconds(std::chrono::seconds(*time)));
}

}  // namespace
}  // namespace snapsalvager
