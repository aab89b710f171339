// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The scan thread's tests share these: cards in memory with chosen headers and bad or
// vanishing sectors, a recorder of every report, and the fixture that scans such a card.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "card/LinuxDrives.h"
#include "fixtures/TempFolder.h"
#include "metadata/PhotoSummary.h"
#include "session/ScanThread.h"

namespace snapsalvager::scanthreadtest {

namespace fs = std::filesystem;
inline constexpr uint32_t kSector = 512;

inline constexpr uint8_t kJpgHeader[10] = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F'};
inline constexpr uint8_t kCr2Header[10] = {0x49, 0x49, 0x2A, 0x00, 0x10, 0x00, 0x00, 0x00, 'C', 'R'};

// Sector bytes that never look like a header (no signature starts with A0..DF).
inline std::vector<uint8_t> Card(uint32_t sectors) {
  std::vector<uint8_t> bytes(size_t{sectors} * kSector);
  for (size_t s = 0; s < sectors; ++s) {
    for (size_t k = 0; k < kSector; ++k) bytes[s * kSector + k] = static_cast<uint8_t>(0xA0 + (s * 31 + k) % 64);
  }
  return bytes;
}

inline void PutHeader(std::vector<uint8_t>& card, uint32_t sector, const uint8_t (&header)[10]) {
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
  void SectorsUnreadable(uint64_t first, uint64_t count) override {
    Note([&] { unreadable.emplace_back(first, count); });
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
  std::vector<std::pair<uint64_t, uint64_t>> unreadable;  // first sector, count
  std::string error;

 private:
  template <typename F>
  void Note(F f) {
    std::lock_guard<std::mutex> lock(mutex);
    ++calls;
    f();
  }
};

inline std::string ReadTemp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), {});
  for (size_t i = 0; i < bytes.size() && i < 512; ++i) bytes[i] = static_cast<char>(bytes[i] ^ 0xD3);
  return bytes;
}

inline std::string Slice(const std::vector<uint8_t>& card, uint32_t first, uint32_t end) {
  return std::string(card.begin() + size_t{first} * kSector, card.begin() + size_t{end} * kSector);
}

class ScanThreadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    temp_ = dir_ / "TmpFiles";
    fs::create_directories(temp_);
    card_ = std::make_shared<TCardState>();
  }
  void TearDown() override {
    scan_.reset();
    LinuxDrives::DetachAll();
    // A test that runs several scans tears down and sets up again: each scan a fresh folder.
    std::error_code ec;
    fs::remove_all(temp_, ec);
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

  fixtures::TempFolder dir_{"scanthread"};
  fs::path temp_;
  std::shared_ptr<TCardState> card_;
  TRecorder events_;
  TFoundFileList found_;
  TSynchronize synchronize_ = [](const std::function<void()>& call) { call(); };
  std::unique_ptr<TDigitalReadThread> scan_;
};


}  // namespace snapsalvager::scanthreadtest
