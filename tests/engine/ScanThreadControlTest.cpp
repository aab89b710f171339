// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The scan thread's control on memory cards: stop, pause, abandon, an error or a destination
// that fills up ending the loop, and the time estimate.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/mount.h>

#include <chrono>
#include <condition_variable>
#include <thread>

#include "ScanThreadTestSupport.h"
#include "session/Texts.h"

namespace snapsalvager {
namespace {

using namespace scanthreadtest;
namespace fs = std::filesystem;

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
