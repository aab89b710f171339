// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The carving loop on memory cards: file bounds, the last sector, the JPG cap, bad sectors,
// stop, pause, abandon, a destination that fills up, and the time estimate.
#include "session/ScanThread.h"
#include "session/Texts.h"
#include "metadata/PhotoSummary.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/mount.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <set>

#include "card/LinuxDrives.h"

namespace snapsalvager {
namespace {

namespace fs = std::filesystem;
constexpr uint32_t kSector = 512;

const uint8_t kJpgHeader[10] = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F'};
const uint8_t kCr2Header[10] = {0x49, 0x49, 0x2A, 0x00, 0x10, 0x00, 0x00, 0x00, 'C', 'R'};

// Sector bytes that never look like a header (no signature starts with A0..DF).
std::vector<uint8_t> Card(uint32_t sectors) {
  std::vector<uint8_t> bytes(size_t{sectors} * kSector);
  for (size_t s = 0; s < sectors; ++s) {
    for (size_t k = 0; k < kSector; ++k) bytes[s * kSector + k] = static_cast<uint8_t>(0xA0 + (s * 31 + k) % 64);
  }
  return bytes;
}

void PutHeader(std::vector<uint8_t>& card, uint32_t sector, const uint8_t (&header)[10]) {
  std::copy(std::begin(header), std::end(header), card.begin() + size_t{sector} * kSector);
}

// A card in memory. Reads touching a bad sector fail; the hook sees every read first.
struct TCardState {
  std::vector<uint8_t> Bytes;
  std::set<uint32_t> BadSectors;
  std::function<void(uint64_t offset, size_t length)> Hook;
  std::mutex Mutex;
  std::vector<std::pair<uint64_t, size_t>> Reads;
  std::atomic<int> OpenSources{0};
  // A card pulled out when the scan reaches this byte: every read there and past it fails
  // with GoneErrno, and after the first batch read there, every read.
  uint64_t GoneFrom = UINT64_MAX;
  int GoneErrno = 0;
  std::atomic<bool> Gone{false};
};

class TMemorySource : public TCardSource {
 public:
  explicit TMemorySource(std::shared_ptr<TCardState> state) : state_(std::move(state)) { ++state_->OpenSources; }
  ~TMemorySource() override { --state_->OpenSources; }
  bool ReadAt(uint64_t offset, void* dest, size_t length) override {
    if (state_->Hook) state_->Hook(offset, length);
    if (offset + length > state_->GoneFrom && length > kSector) state_->Gone = true;
    if (state_->Gone || offset + length > state_->GoneFrom) {
      errno = state_->GoneErrno;
      return false;
    }
    {
      std::lock_guard<std::mutex> lock(state_->Mutex);
      state_->Reads.emplace_back(offset, length);
    }
    for (uint64_t s = offset / kSector; s < (offset + length + kSector - 1) / kSector; ++s) {
      if (state_->BadSectors.count(static_cast<uint32_t>(s))) return false;
    }
    if (offset + length > state_->Bytes.size()) return false;
    std::memcpy(dest, state_->Bytes.data() + offset, length);
    return true;
  }
  bool Geometry(TDiskGeometry& g) override {
    g = {};
    g.MediaKind = 2;
    g.Removable = 1;
    g.BytesPerSector = kSector;
    g.TracksPerCylinder = 255;
    g.SectorsPerTrack = 63;
    g.Cylinders = static_cast<uint32_t>(state_->Bytes.size() / kSector / (255 * 63));
    g.TotalSectors = g.Cylinders * 255 * 63;
    return true;
  }
  bool Length(int64_t& bytes) override {
    bytes = static_cast<int64_t>(state_->Bytes.size());
    return true;
  }

 private:
  std::shared_ptr<TCardState> state_;
};

struct TFound {
  std::string Name, Description;
  int64_t Size;
};

// Records every report; safe to call from the scan thread.
class TRecorder : public TScanEvents {
 public:
  void SetProgressPosition(uint64_t value) override { Note([&] { position = value; }); }
  void SetProgressMaximum(uint64_t value) override { Note([&] { maximum = value; }); }
  void StepProgress() override { Note([&] { ++steps; }); }
  void SetLabelText(TScanLabel label, const std::string& text) override {
    Note([&] {
      labels[label] = text;
      labelLog.emplace_back(label, text);
    });
  }
  void AddFoundFile(const std::string& name, const std::string& description, int64_t size) override {
    Note([&] { found.push_back({name, description, size}); });
  }
  void Finish(const std::string& text) override {
    Note([&] {
      ++finishes;
      error = text;
    });
  }

  std::mutex mutex;
  std::atomic<int> calls{0};
  uint64_t position = 0, maximum = 0;
  int steps = 0, finishes = 0;
  std::map<TScanLabel, std::string> labels;
  std::vector<std::pair<TScanLabel, std::string>> labelLog;
  std::vector<TFound> found;
  std::string error;

 private:
  template <typename F>
  void Note(F f) {
    std::lock_guard<std::mutex> lock(mutex);
    ++calls;
    f();
  }
};

std::string ReadTemp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), {});
  for (size_t i = 0; i < bytes.size() && i < 512; ++i) bytes[i] = static_cast<char>(bytes[i] ^ 0xD3);
  return bytes;
}

std::string Slice(const std::vector<uint8_t>& card, uint32_t first, uint32_t end) {
  return std::string(card.begin() + size_t{first} * kSector, card.begin() + size_t{end} * kSector);
}

class ScanThreadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "scanthread-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    temp_ = dir_ / "TmpFiles";
    fs::create_directories(temp_);
    card_ = std::make_shared<TCardState>();
  }
  void TearDown() override {
    scan_.reset();
    LinuxDrives::DetachAll();
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  // Makes the scan object over the card, photos of the given camera (CR2 needs Canon).
  TDigitalReadThread& Prepare(const std::string& camera = "Generic Digital Camera") {
    auto state = card_;
    const char letter = LinuxDrives::AttachSource("memory card", DRIVE_REMOVABLE, [state] {
      return std::unique_ptr<TCardSource>(new TMemorySource(state));
    });
    EXPECT_NE(letter, 0);
    scan_ = std::make_unique<TDigitalReadThread>(events_, synchronize_, found_);
    scan_->Drive.Letter = letter;
    scan_->Drive.DriveNumber = static_cast<uint8_t>(letter - 'A' + 1);
    scan_->Drive.SectorCount = static_cast<uint32_t>(card_->Bytes.size() / kSector);
    scan_->Drive.SectorSize = kSector;
    scan_->Card = DriveSectors(scan_->Drive.DriveNumber);
    scan_->TempFolder = temp_.string() + "/";
    scan_->Inputs = MakeRecogniserInputs(camera, true, false, false, "ALL");
    scan_->DescribeFile = DescribeFoundFile;
    return *scan_;
  }
  void Run(const std::string& camera = "Generic Digital Camera") {
    Prepare(camera).Start();
    ASSERT_TRUE(scan_->WaitFor(20000));
  }

  fs::path dir_, temp_;
  std::shared_ptr<TCardState> card_;
  TRecorder events_;
  TFoundFileList found_;
  TSynchronize synchronize_ = [](const std::function<void()>& call) { call(); };
  std::unique_ptr<TDigitalReadThread> scan_;
};

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

TEST_F(ScanThreadTest, StopRequestRecordsTheOpenFileAtTheEndOfTheBatch) {
  card_->Bytes = Card(5000);
  PutHeader(card_->Bytes, 10, kJpgHeader);
  TDigitalReadThread& scan = Prepare();
  card_->Hook = [&](uint64_t offset, size_t) {
    if (offset == 1000 * kSector) scan.Terminate();
  };
  scan.Start();
  ASSERT_TRUE(scan.WaitFor(20000));

  EXPECT_TRUE(scan.Terminated());
  EXPECT_EQ(events_.finishes, 1);
  EXPECT_EQ(events_.error, "");
  ASSERT_EQ(found_.Count(), 1u);
  // The batch 1000..1199 is finished, its last sector included, and nothing after it read.
  EXPECT_EQ(found_[0].Size, (1200 - 10) * 512);
  EXPECT_EQ(ReadTemp(found_[0].TempFile), Slice(card_->Bytes, 10, 1200));
  for (auto& read : card_->Reads) EXPECT_LT(read.first, 1200u * kSector);
  EXPECT_EQ(events_.labels[TScanLabel::LRead], "1200/5000");
}

TEST_F(ScanThreadTest, StopBeforeAnyHeaderEndsAfterTheBatch) {
  card_->Bytes = Card(5000);
  TDigitalReadThread& scan = Prepare();
  card_->Hook = [&](uint64_t offset, size_t) {
    if (offset == 400 * kSector) scan.Terminate();
  };
  scan.Start();
  ASSERT_TRUE(scan.WaitFor(20000));
  EXPECT_EQ(found_.Count(), 0u);
  EXPECT_EQ(events_.labels[TScanLabel::LRead], "600/5000");
}

TEST_F(ScanThreadTest, PauseParksBetweenBatchesAndContinueFinishesTheScan) {
  card_->Bytes = Card(3000);
  PutHeader(card_->Bytes, 10, kJpgHeader);
  PutHeader(card_->Bytes, 2500, kJpgHeader);
  TDigitalReadThread& scan = Prepare();
  card_->Hook = [&](uint64_t offset, size_t) {
    if (offset == 1000 * kSector) scan.Suspend();
  };
  scan.Start();
  for (int i = 0; i < 2000 && !scan.Parked(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  ASSERT_TRUE(scan.Parked());
  EXPECT_TRUE(scan.Suspended());
  size_t readsWhenParked;
  {
    std::lock_guard<std::mutex> lock(card_->Mutex);
    readsWhenParked = card_->Reads.size();
  }
  const int callsWhenParked = events_.calls;
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  {
    std::lock_guard<std::mutex> lock(card_->Mutex);
    EXPECT_EQ(card_->Reads.size(), readsWhenParked);
    // Parked after the batch holding sector 1000, before the next read.
    EXPECT_EQ(card_->Reads.back().first + card_->Reads.back().second, 1200u * kSector);
  }
  EXPECT_EQ(events_.calls, callsWhenParked);
  EXPECT_FALSE(scan.Finished());

  card_->Hook = nullptr;
  scan.Resume();
  ASSERT_TRUE(scan.WaitFor(20000));
  EXPECT_FALSE(scan.Parked());
  ASSERT_EQ(found_.Count(), 2u);
  EXPECT_EQ(ReadTemp(found_[0].TempFile), Slice(card_->Bytes, 10, 2500));
  EXPECT_EQ(ReadTemp(found_[1].TempFile), Slice(card_->Bytes, 2500, 3000));
}

TEST_F(ScanThreadTest, StopReleasesAPausedScan) {
  card_->Bytes = Card(3000);
  PutHeader(card_->Bytes, 10, kJpgHeader);
  TDigitalReadThread& scan = Prepare();
  scan.Suspend();
  scan.Start();
  for (int i = 0; i < 2000 && !scan.Parked(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  ASSERT_TRUE(scan.Parked());
  EXPECT_TRUE(card_->Reads.empty());
  scan.Terminate();
  ASSERT_TRUE(scan.WaitFor(20000));
  EXPECT_EQ(events_.finishes, 1);
  EXPECT_EQ(found_.Count(), 0u);  // stopped before its first batch
}

TEST_F(ScanThreadTest, StopWhilePausedRecordsTheOpenFileWithoutReadingOn) {
  card_->Bytes = Card(3000);
  PutHeader(card_->Bytes, 10, kJpgHeader);
  TDigitalReadThread& scan = Prepare();
  card_->Hook = [&](uint64_t offset, size_t) {
    if (offset == 1000 * kSector) scan.Suspend();
  };
  scan.Start();
  for (int i = 0; i < 2000 && !scan.Parked(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  ASSERT_TRUE(scan.Parked());
  scan.Terminate();
  ASSERT_TRUE(scan.WaitFor(20000));
  EXPECT_EQ(events_.finishes, 1);
  ASSERT_EQ(found_.Count(), 1u);
  EXPECT_EQ(ReadTemp(found_[0].TempFile), Slice(card_->Bytes, 10, 1200));
  for (auto& read : card_->Reads) EXPECT_LT(read.first, 1200u * kSector);
}

TEST_F(ScanThreadTest, AbandonedScanTouchesNeitherEventsNorListAgain) {
  card_->Bytes = Card(3000);
  PutHeader(card_->Bytes, 10, kJpgHeader);
  std::mutex gateMutex;
  std::condition_variable gate;
  bool reached = false, released = false;
  TDigitalReadThread& scan = Prepare();
  card_->Hook = [&](uint64_t offset, size_t) {
    if (offset != 1000 * kSector) return;
    std::unique_lock<std::mutex> lock(gateMutex);
    reached = true;
    gate.notify_all();
    gate.wait(lock, [&] { return released; });
  };
  scan.Start();
  {
    std::unique_lock<std::mutex> lock(gateMutex);
    ASSERT_TRUE(gate.wait_for(lock, std::chrono::seconds(20), [&] { return reached; }));
  }
  scan.Abandon();
  const int callsAtAbandon = events_.calls;
  scan_.reset();  // the front end moves on while the thread still runs
  {
    std::lock_guard<std::mutex> lock(gateMutex);
    released = true;
  }
  gate.notify_all();
  // The thread ends by itself: it closes the card, dropping the last source.
  for (int i = 0; i < 2000 && card_->OpenSources > 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(card_->OpenSources, 0);
  EXPECT_EQ(events_.calls, callsAtAbandon);
  EXPECT_EQ(events_.finishes, 0);
  EXPECT_EQ(found_.Count(), 0u);
}

TEST_F(ScanThreadTest, ErrorEndingTheLoopStillFinishesWithItsText) {
  card_->Bytes = Card(400);
  PutHeader(card_->Bytes, 10, kJpgHeader);
  TDigitalReadThread& scan = Prepare();
  scan.TempFolder = dir_ / "no-such-folder/";
  scan.Start();
  ASSERT_TRUE(scan.WaitFor(20000));
  EXPECT_EQ(events_.finishes, 1);
  EXPECT_NE(events_.error, "");
  EXPECT_EQ(found_.Count(), 0u);
}

TEST_F(ScanThreadTest, DestinationThatFillsUpEndsTheScanWithAClearError) {
  const fs::path small = dir_ / "small";
  fs::create_directories(small);
  if (::mount("tmpfs", small.c_str(), "tmpfs", 0, "size=256k") != 0) {
    GTEST_SKIP() << "cannot mount a small tmpfs here (needs root)";
  }
  card_->Bytes = Card(4000);  // two files of 1 MB each: neither fits
  PutHeader(card_->Bytes, 0, kJpgHeader);
  PutHeader(card_->Bytes, 2000, kJpgHeader);
  TDigitalReadThread& scan = Prepare();
  scan.TempFolder = small.string() + "/";
  scan.Start();
  const bool ended = scan.WaitFor(20000);
  scan_.reset();
  ::umount2(small.c_str(), MNT_DETACH);
  ASSERT_TRUE(ended);
  EXPECT_EQ(events_.finishes, 1);
  EXPECT_NE(events_.error.find("Temporary_v5_File0001_JPG.~QX"), std::string::npos) << events_.error;
  EXPECT_EQ(found_.Count(), 0u);  // no record whose size the disk does not hold
}

TEST_F(ScanThreadTest, TimeEstimateFirstAppearsAtTheFourthReport) {
  card_->Bytes = Card(2000);
  TDigitalReadThread& scan = Prepare();
  auto clock = std::make_shared<std::atomic<uint32_t>>(1000000);
  scan.TickCount = [clock] { return clock->fetch_add(250) + 250; };
  scan.Start();
  ASSERT_TRUE(scan.WaitFor(20000));

  int readsBeforeTime = 0;
  std::string firstTime;
  for (auto& [label, text] : events_.labelLog) {
    if (label == TScanLabel::LTime) {
      firstTime = text;
      break;
    }
    if (label == TScanLabel::LRead) ++readsBeforeTime;
  }
  EXPECT_EQ(readsBeforeTime, 3);
  // Fourth report: 1 s elapsed, 800 of 2000 sectors done: 1.5 s left, to the nearest second.
  EXPECT_EQ(firstTime, "0:00:02");
}

// A blank 2 GB card read at a steady rate on a clock of its own: each read moves the clock
// on by the time the bytes take, so the scan's estimate can be held against what follows.
class TThrottledBlankSource : public TCardSource {
 public:
  static constexpr int64_t kBytes = int64_t{2} << 30;
  TThrottledBlankSource(std::shared_ptr<std::atomic<uint64_t>> clockUs, uint64_t bytesPerMs)
      : clockUs_(std::move(clockUs)), bytesPerMs_(bytesPerMs) {}
  bool ReadAt(uint64_t offset, void* dest, size_t length) override {
    if (offset + length > static_cast<uint64_t>(kBytes)) return false;
    std::memset(dest, 0, length);
    *clockUs_ += length * 1000 / bytesPerMs_;
    return true;
  }
  bool Geometry(TDiskGeometry&) override { return false; }
  bool Length(int64_t& bytes) override {
    bytes = kBytes;
    return true;
  }

 private:
  std::shared_ptr<std::atomic<uint64_t>> clockUs_;
  uint64_t bytesPerMs_;
};

// A 2 GB card read at a steady 350 MB/s (6 s in all): from 35 % on the estimate is within
// a quarter of the time that then passes.
TEST_F(ScanThreadTest, TimeEstimateOfAFastLargeCardHoldsWithinAQuarter) {
  auto clockUs = std::make_shared<std::atomic<uint64_t>>(0);
  const uint64_t bytesPerMs = static_cast<uint64_t>(TThrottledBlankSource::kBytes / 6000);
  const char letter = LinuxDrives::AttachSource("fast card", DRIVE_REMOVABLE, [clockUs, bytesPerMs] {
    return std::unique_ptr<TCardSource>(new TThrottledBlankSource(clockUs, bytesPerMs));
  });
  ASSERT_NE(letter, 0);
  struct TEstimates : TRecorder {
    std::shared_ptr<std::atomic<uint64_t>> Clock;
    uint64_t Position = 0;  // of the report before
    std::vector<std::tuple<uint64_t, uint64_t, std::string>> Seen;  // clock, sectors, text
    void SetProgressPosition(uint64_t value) override { Position = value; }
    void SetLabelText(TScanLabel label, const std::string& text) override {
      if (label == TScanLabel::LTime) Seen.emplace_back(Clock->load(), Position, text);
    }
  } estimates;
  estimates.Clock = clockUs;
  TDigitalReadThread scan(estimates, synchronize_, found_);
  scan.Drive.Letter = letter;
  scan.Drive.DriveNumber = static_cast<uint8_t>(letter - 'A' + 1);
  scan.Drive.SectorCount = static_cast<uint32_t>(TThrottledBlankSource::kBytes / kSector);
  scan.Drive.SectorSize = kSector;
  scan.Card = DriveSectors(scan.Drive.DriveNumber);
  scan.TempFolder = temp_.string() + "/";
  scan.Inputs = MakeRecogniserInputs("Generic Digital Camera", true, false, false, "ALL");
  scan.TickCount = [clockUs] { return static_cast<uint32_t>(*clockUs / 1000); };
  scan.Start();
  ASSERT_TRUE(scan.WaitFor(120000));
  const uint64_t endUs = clockUs->load();

  // The first estimate from 35 % of the scan on.
  const auto at35 = std::find_if(estimates.Seen.begin(), estimates.Seen.end(),
                                 [endUs](const auto& e) { return std::get<0>(e) >= endUs / 100 * 35; });
  ASSERT_NE(at35, estimates.Seen.end());
  const std::string& text = std::get<2>(*at35);
  const int shown = std::stoi(text.substr(0, text.find(':'))) * 3600 +
                    std::stoi(text.substr(text.find(':') + 1, 2)) * 60 + std::stoi(text.substr(text.rfind(':') + 1));
  const double passed = static_cast<double>(endUs - std::get<0>(*at35)) / 1e6;
  EXPECT_GT(shown, 0) << text;
  EXPECT_NEAR(shown, passed, passed / 4) << text << " at " << std::get<1>(*at35) << " sectors";
}

TEST_F(ScanThreadTest, TimeEstimateLeavesOutPausedTime) {
  card_->Bytes = Card(6000);
  TDigitalReadThread& scan = Prepare();
  auto clock = std::make_shared<std::atomic<uint32_t>>(1000000);
  scan.TickCount = [clock] { return clock->fetch_add(250) + 250; };
  card_->Hook = [&](uint64_t offset, size_t) {
    if (offset == 1000 * kSector) scan.Suspend();
  };
  scan.Start();
  for (int i = 0; i < 2000 && !scan.Parked(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  ASSERT_TRUE(scan.Parked());
  // An hour of pause; 250 ms of clock per batch of 200 sectors is about 6 s for the card.
  clock->fetch_add(3600000);
  card_->Hook = nullptr;
  scan.Resume();
  ASSERT_TRUE(scan.WaitFor(20000));
  int estimates = 0;
  for (auto& [label, text] : events_.labelLog) {
    if (label != TScanLabel::LTime) continue;
    ++estimates;
    EXPECT_LE(text, "0:00:09") << "estimate " << estimates;
  }
  EXPECT_GE(estimates, 4);
}

TEST_F(ScanThreadTest, FirstListedFileBringsTheSectorCountAlong) {
  card_->Bytes = Card(2000);
  PutHeader(card_->Bytes, 10, kJpgHeader);
  PutHeader(card_->Bytes, 100, kJpgHeader);  // the first file ends here, in the first batch
  TDigitalReadThread& scan = Prepare();
  scan.TickCount = [] { return 5000u; };     // no report is ever due by time
  scan.Start();
  ASSERT_TRUE(scan.WaitFor(20000));
  std::string firstRead;
  for (auto& [label, text] : events_.labelLog)
    if (label == TScanLabel::LRead) {
      firstRead = text;
      break;
    }
  EXPECT_EQ(firstRead, "200/2000");
}

TEST(FormatRemainingTimeTest, PadsMinutesAndSecondsButNotHours) {
  EXPECT_EQ(FormatRemainingTime(0), "0:00:00");
  EXPECT_EQ(FormatRemainingTime(425), "0:07:05");
  EXPECT_EQ(FormatRemainingTime(12 * 3600 + 9), "12:00:09");
  EXPECT_EQ(FormatRemainingTime(3 * 3600), "3:00:00");
  EXPECT_EQ(EstimateRemainingSeconds(3600, 1800, 7200), 10800u);
  EXPECT_EQ(FormatRemainingTime(EstimateRemainingSeconds(3600, 1800, 7200)), "3:00:00");
  EXPECT_EQ(EstimateRemainingSeconds(10, 0, 100), 0u);
}

}  // namespace
}  // namespace snapsalvager
