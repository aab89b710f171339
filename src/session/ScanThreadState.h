// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The scan thread's state, shared by its control (ScanThread.cpp: start, pause, stop,
// abandon) and its pass over the card (ScanPass.cpp). The session's own.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "carving/Carver.h"
#include "filesystems/FolderFinder.h"
#include "filesystems/OriginalNames.h"
#include "session/FoundFileSink.h"
#include "session/JournalKeeper.h"
#include "session/ScanThread.h"

namespace snapsalvager {

// The thread's state: the front end, pause and stop control, reporting, the card reads;
// the carving itself is the carver's, the files the sink's, the journal the keeper's.
struct TDigitalReadThread::Impl {
  // Front end, reached only through Sync.
  TScanEvents* events;
  TSynchronize synchronize;
  TFoundFileList* foundFiles;

  // Copies taken at Start.
  std::shared_ptr<TCardSectors> card;
  TDriveEntry drive;
  std::filesystem::path tempFolder;
  TRecogniserInputs inputs;
  bool wholeVolume = true;
  uint64_t firstSector = 0;
  uint64_t lastSector = 0;
  bool deepScan = false;
  TTickSource tick;
  TDescribeFile describe;
  std::shared_ptr<const TScanJournal> resumeFrom;
  std::function<void(uint64_t)> afterBatch;

  // Control, shared with the front end.
  std::atomic<bool> terminated{false};
  std::atomic<bool> abandoned{false};
  std::atomic<bool> finished{false};
  std::atomic<bool> parked{false};
  mutable std::mutex controlMutex;
  std::condition_variable controlChanged;
  bool pauseRequested = false;  // under controlMutex
  bool countedAbandoned = false;  // under controlMutex: counted in g_abandonedRunning
  bool writesDone = false;        // under controlMutex: no temporary file is written any more
  // Held while a call runs against the front end, and by Abandon, so no call starts
  // after Abandon returned. Recursive: a handler may abandon from inside its own call.
  std::recursive_mutex frontMutex;

  // The running scan.
  std::unique_ptr<TFoundFileSink> sink;
  std::unique_ptr<TJournalKeeper> journal;
  std::unique_ptr<TCarverOutput> output;
  std::unique_ptr<TCarver> carver;
  // Folders on the card, found in the batches as they pass; after the pass they name the
  // files this run listed (starts: theirs, in order; listedAt: their places in the list).
  std::unique_ptr<filesystems::FolderFinder> finder;
  std::vector<filesystems::FoundStart> starts;
  std::vector<size_t> listedAt;
  bool endPlaced = false;  // the carver said the open file's structure placed its end
  std::optional<uint64_t> joinedStart;  // the join pass's photo being recorded
  std::vector<TFoundFile::TCardRun> joinedRuns;
  std::vector<uint8_t> buffer;
  std::vector<uint8_t> badSlots;  // the last batch's sectors that could not be read
  int64_t badBytes = 0;
  uint64_t total = 0;      // sectors to scan
  uint64_t base = 0;       // the first of them on the card
  uint64_t done = 0;       // sectors of the range carved so far
  uint64_t startDone = 0;  // where this run began (a continued scan: past 0)
  uint32_t sectorSize = 512;
  uint32_t startTick = 0;
  uint32_t lastTick = 0;
  uint32_t reportCount = 0;
  bool sectorsShown = false;  // a report of the sectors read has been sent
  uint32_t deadBatches = 0;  // batches in a row of which no sector could be read
  uint64_t lastReadSector = UINT64_MAX;  // the last card sector read, UINT64_MAX: none yet
  int64_t deadBytes = 0;     // what those batches put into the open file (zeros)

  Impl(TScanEvents& e, TSynchronize s, TFoundFileList& f)
      : events(&e), synchronize(std::move(s)), foundFiles(&f) {}

  static void Execute(const std::shared_ptr<Impl>& self);

  // Runs call against the front end through Synchronize, unless the thread was abandoned.
  void Sync(const std::function<void()>& call) {
    if (abandoned) return;
    auto guarded = [this, &call] {
      std::lock_guard<std::recursive_mutex> lock(frontMutex);
      if (!abandoned) call();
    };
    if (synchronize) {
      synchronize(guarded);
    } else {
      guarded();
    }
  }

  // The pause checkpoint: between batches, holding nothing the main thread waits for.
  // True when a stop request ended the pause.
  bool PauseCheckpoint() {
    std::unique_lock<std::mutex> lock(controlMutex);
    if (!pauseRequested || terminated) return false;
    const uint32_t parkedAt = Now();
    parked = true;
    controlChanged.notify_all();
    controlChanged.wait(lock, [this] { return !pauseRequested || terminated.load(); });
    parked = false;
    // The estimate counts scanning time only: the pause moves the scan's start forward.
    const uint32_t pausedMs = Now() - parkedAt;
    startTick += pausedMs;
    lastTick += pausedMs;
    return terminated;
  }

  // The test clock when one was given, else the steady clock, in milliseconds.
  uint32_t Now() const;

  void CarvingLoop();
  void BeginScan();
  void ContinueFromJournal(const TScanJournal& from);
  bool ReadBatch(uint32_t n);
  bool CardStillThere(uint64_t sector);
  void ReportIfDue();
  void Report(uint64_t sectorsDone, uint64_t total, uint32_t sectorSize);
  void JournalIfDue(bool force);
  void JoinSplitPhotos();
  void NameFoundFiles();
  void EndAsEntriesRecord(const std::vector<filesystems::NamedEntry>& entries,
                          const std::vector<std::optional<size_t>>& matches, const filesystems::ClusterLayout& layout);
  void Listed(TFoundFile&& record);
};

}  // namespace snapsalvager
