// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// An interrupted scan goes on from its journal and ends as if never interrupted: the scan is
// killed (SIGKILL, in a child process) at points spread over a card with photos, clips,
// split photos and bad sectors, continued each time (deep: also once in the search for
// split photos' second pieces), and its rows and temporary files are
// compared byte for byte with a scan that ran through. Also: what the journal refuses.
#include "session/ScanJournal.h"
#include "session/ScanThread.h"
#include "carving/CarvingRules.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <map>
#include <mutex>

#include "card/LinuxDrives.h"
#include "fixtures/DamagedCards.h"
#include "metadata/PhotoSummary.h"

namespace snapsalvager {
namespace {

namespace fs = std::filesystem;

// The card's reads, passed on; the first read that starts in the batch-long window from
// killFrom (a byte offset) kills the process, as a crash or a pulled plug would end it. A
// window, not all reads past it: a continued scan first reads the journal's samples again.
// kAfterCarving kills at the first read after the carving loop's last batch (the deep
// scan's search for second pieces).
constexpr uint64_t kAfterCarving = UINT64_MAX - 1;  // UINT64_MAX: never
class TKillingSource : public TCardSource {
 public:
  TKillingSource(std::unique_ptr<TCardSource> inner, uint64_t killFrom, std::shared_ptr<bool> carved)
      : inner_(std::move(inner)), killFrom_(killFrom), carved_(std::move(carved)) {}
  bool ReadAt(uint64_t offset, void* dest, size_t length) override {
    if (offset >= killFrom_ && offset - killFrom_ < 200 * 512) ::kill(::getpid(), SIGKILL);
    if (killFrom_ == kAfterCarving && *carved_) ::kill(::getpid(), SIGKILL);
    int64_t bytes = 0;
    if (length > 512 && inner_->Length(bytes) && offset + length == static_cast<uint64_t>(bytes)) *carved_ = true;
    return inner_->ReadAt(offset, dest, length);
  }
  bool Geometry(TDiskGeometry& geometry) override { return inner_->Geometry(geometry); }
  bool Length(int64_t& bytes) override { return inner_->Length(bytes); }

 private:
  std::unique_ptr<TCardSource> inner_;
  uint64_t killFrom_;
  std::shared_ptr<bool> carved_;
};

class TRows : public TScanEvents {
 public:
  void SetProgressPosition(uint64_t) override {}
  void SetProgressMaximum(uint64_t) override {}
  void StepProgress() override {}
  void SetLabelText(TScanLabel label, const std::string& text) override {
    std::lock_guard<std::mutex> lock(mutex);
    if (label == TScanLabel::LBad) bad = text;
  }
  void AddFoundFile(const std::string& name, const std::string& description, int64_t size) override {
    std::lock_guard<std::mutex> lock(mutex);
    rows.push_back(name + "\t" + description + "\t" + std::to_string(size));
  }
  void Finish(const std::string& text) override {
    std::lock_guard<std::mutex> lock(mutex);
    error = text;
  }
  std::mutex mutex;
  std::vector<std::string> rows;
  std::string bad, error;
};

// What a scan leaves: its rows, the unreadable count, every file of the temporary folder.
struct TOutcome {
  std::vector<std::string> Rows;
  std::string Bad;
  std::map<std::string, std::string> Files;
};

std::map<std::string, std::string> FolderFiles(const fs::path& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::directory_iterator(folder)) {
    std::ifstream in(entry.path(), std::ios::binary);
    files[entry.path().filename().string()] = std::string(std::istreambuf_iterator<char>(in), {});
  }
  return files;
}

class ScanResumeTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "scanresume-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    // The split photos, whole photos and clips of a camera's card, then two files of several
    // MiB (a photo, a clip) that the writer holds part of in memory when the kill comes.
    const fixtures::FragmentedCard fragmented = fixtures::MakeFragmentedCard(4096, false);
    const uint32_t front = fragmented.Image.sectors();
    card_ = std::make_unique<fixtures::CardImage>(front + 2 * kLargeSectors);
    card_->noise(7).place(0, fragmented.Image.bytes()).jpegAt(front).header(front + kLargeSectors, "MOV");
    // Bad sectors in photos, in clips, in the gaps and in the file system, never two whole
    // batches in a row (that reads as a card pulled out).
    const uint32_t sectors = card_->sectors();
    for (uint32_t k = 1; k <= 12; ++k) bad_.insert(sectors / 13 * k + k * 7);
    bad_.insert(40);
    bad_.insert(41);
  }
  void TearDown() override {
    LinuxDrives::DetachAll();
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  // The card as a drive whose reads kill the process from killFrom on.
  TDriveEntry Attach(uint64_t killFrom) {
    LinuxDrives::DetachAll();
    const fixtures::CardImage& image = *card_;
    const std::set<uint32_t> bad = bad_;
    auto carved = std::make_shared<bool>(false);
    const char letter = LinuxDrives::AttachSource("card", DRIVE_REMOVABLE, [&image, bad, killFrom, carved] {
      return std::unique_ptr<TCardSource>(new TKillingSource(image.source(nullptr, bad), killFrom, carved));
    });
    TDriveEntry drive;
    drive.Letter = letter;
    drive.DriveNumber = static_cast<uint8_t>(letter - 'A' + 1);
    drive.SectorCount = image.sectors();
    drive.SectorSize = 512;
    return drive;
  }

  // One scan into temp: a new one, or the journal's continuation when there is one of this
  // card and these options.
  TOutcome Scan(const fs::path& temp, uint64_t killFrom = UINT64_MAX) {
    fs::create_directories(temp);
    TRows events;
    TFoundFileList found;
    {
      TDigitalReadThread scan(events, [](const std::function<void()>& call) { call(); }, found);
      scan.Drive = Attach(killFrom);
      scan.Card = DriveSectors(scan.Drive.DriveNumber);
      scan.TempFolder = temp.string() + "/";
      scan.Inputs = MakeRecogniserInputs("Generic Digital Camera", true, true, true, "ALL");
      scan.DeepScan = GetParam();
      scan.DescribeFile = DescribeFoundFile;
      const TResumeOffer offer = FindResumableScan(
          temp, ScanJournalKey(scan.Drive, scan.Inputs, scan.DeepScan, true, 0, 0), scan.Drive.DriveNumber);
      EXPECT_NE(offer.Verdict, TResumeVerdict::OtherScan);
      EXPECT_NE(offer.Verdict, TResumeVerdict::Unusable);
      scan.ResumeFrom = offer.Journal;
      scan.Start();
      EXPECT_TRUE(scan.WaitFor(60000));
    }
    EXPECT_EQ(events.error, "");
    TOutcome outcome{events.rows, events.bad, FolderFiles(temp)};
    EXPECT_EQ(found.Count(), outcome.Rows.size());
    return outcome;
  }

  // The same scan in a child process, killed at the first read from killFrom on.
  void KilledScan(const fs::path& temp, uint64_t killFrom) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      Scan(temp, killFrom);
      ::_exit(0);  // it ran through: the parent says so
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "not killed at byte " << killFrom;
  }

  fs::path dir_;
  static constexpr uint32_t kLargeSectors = 6000;
  std::unique_ptr<fixtures::CardImage> card_;
  std::set<uint32_t> bad_;
};

TEST_P(ScanResumeTest, KilledTwentyTimesEndsAsAScanThatRanThrough) {
  const TOutcome whole = Scan(dir_ / "whole");
  ASSERT_GT(whole.Rows.size(), 20u);
  ASSERT_EQ(whole.Bad, std::to_string(bad_.size()));
  EXPECT_FALSE(JournalPresent(dir_ / "whole")) << "a scan that reached the end leaves no journal";

  // Twenty kills spread over the card, each at an odd sector so they fall inside files and
  // batches, each run continuing the one before.
  const uint64_t sectors = card_->sectors();
  for (uint64_t k = 1; k <= 20; ++k) {
    const uint64_t sector = sectors * k / 21 + k * 37 % 199;
    KilledScan(dir_ / "resumed", sector * 512);
    ASSERT_TRUE(JournalPresent(dir_ / "resumed")) << "kill " << k;
  }
  // Deep: once more while photos' second pieces are searched for, after the carving.
  if (GetParam()) KilledScan(dir_ / "resumed", kAfterCarving);
  const TOutcome resumed = Scan(dir_ / "resumed");
  EXPECT_EQ(resumed.Rows, whole.Rows);
  EXPECT_EQ(resumed.Bad, whole.Bad);
  ASSERT_EQ(resumed.Files.size(), whole.Files.size());
  for (const auto& [name, bytes] : whole.Files) {
    ASSERT_TRUE(resumed.Files.count(name)) << name;
    EXPECT_TRUE(resumed.Files.at(name) == bytes) << name << " differs";
  }
}

// A journal is continued only for the card and options it was made with, and only while its
// files are as it counts them; a torn latest point leaves the one before.
TEST_P(ScanResumeTest, JournalOfAnotherScanOrWithChangedFilesIsNotContinued) {
  const fs::path temp = dir_ / "temp";
  KilledScan(temp, uint64_t{card_->sectors()} / 3 * 512);
  const TDriveEntry drive = Attach(UINT64_MAX);
  const TRecogniserInputs inputs = MakeRecogniserInputs("Generic Digital Camera", true, true, true, "ALL");
  const TJournalKey key = ScanJournalKey(drive, inputs, GetParam(), true, 0, 0);
  const TResumeOffer offer = FindResumableScan(temp, key, drive.DriveNumber);
  ASSERT_EQ(offer.Verdict, TResumeVerdict::Matches);
  ASSERT_FALSE(offer.Journal->Rows.empty());
  EXPECT_GT(offer.Journal->Point.Done, 0u);

  TJournalKey otherOptions = key;
  otherOptions.Options = ScanOptionsLine(inputs, !GetParam(), true, 0, 0);
  TJournalKey otherSize = key;
  otherSize.SectorCount += 1;
  for (const TJournalKey& other : {otherOptions, otherSize})
    EXPECT_EQ(FindResumableScan(temp, other, drive.DriveNumber).Verdict, TResumeVerdict::OtherScan);
  // A card of the same size whose sectors differ at one of the places the scan passed.
  const std::vector<uint8_t> original = card_->sector(2048);
  card_->place(2048, std::string(512, 'x'));
  EXPECT_EQ(FindResumableScan(temp, key, Attach(UINT64_MAX).DriveNumber).Verdict, TResumeVerdict::OtherScan);
  card_->place(2048, original);
  ASSERT_EQ(Attach(UINT64_MAX).DriveNumber, drive.DriveNumber);

  // The latest point torn: the one before it is taken.
  const fs::path state = temp / kJournalStateName;
  const std::string slots = FolderFiles(temp).at(kJournalStateName);
  const TJournalPoint latest = offer.Journal->Point;
  for (const size_t slot : {size_t{0}, size_t{16384}}) {
    std::string torn = slots;
    torn[slot + 40] ^= 1;
    std::ofstream(state, std::ios::binary | std::ios::trunc) << torn;
    const TResumeOffer before = FindResumableScan(temp, key, drive.DriveNumber);
    ASSERT_EQ(before.Verdict, TResumeVerdict::Matches);
    EXPECT_LE(before.Journal->Point.Done, latest.Done);
  }
  std::string both = slots;
  both[40] ^= 1;
  both[16384 + 40] ^= 1;
  std::ofstream(state, std::ios::binary | std::ios::trunc) << both;
  EXPECT_EQ(FindResumableScan(temp, key, drive.DriveNumber).Verdict, TResumeVerdict::Unusable);
  std::ofstream(state, std::ios::binary | std::ios::trunc) << slots;

  // A type that would lead a file name out of the folder (a journal is read from disk).
  {
    TScanJournalWriter writer(temp, &*offer.Journal);
    TJournalPoint point = offer.Journal->Point;
    point.FileOpen = true;
    point.OpenType = "../JPG";
    writer.Write(point, "", false);
  }
  EXPECT_EQ(FindResumableScan(temp, key, drive.DriveNumber).Verdict, TResumeVerdict::Matches)
      << "the slot before is taken";
  {
    TScanJournalWriter writer(temp, &*offer.Journal);
    TJournalPoint point = offer.Journal->Point;
    point.CurrentType = "A/B";
    writer.Write(point, "", false);
    writer.Write(point, "", false);
  }
  EXPECT_EQ(FindResumableScan(temp, key, drive.DriveNumber).Verdict, TResumeVerdict::Unusable);
  std::ofstream(state, std::ios::binary | std::ios::trunc) << slots;

  // A found file saved (moved away) since: the journal no longer fits the folder.
  fs::rename(offer.Journal->Rows.front().TempFile, dir_ / "saved");
  EXPECT_EQ(FindResumableScan(temp, key, drive.DriveNumber).Verdict, TResumeVerdict::Unusable);
}

INSTANTIATE_TEST_SUITE_P(PlainAndDeep, ScanResumeTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Deep" : "Plain"; });

}  // namespace
}  // namespace snapsalvager
