// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The scan: a worker thread that reads the card in 200-sector batches, recognises headers
// and carves every file into its temporary file. It knows no widget: every report goes
// through the Synchronize function the front end injects, to a TScanEvents it names.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "card/CardSource.h"
#include "carving/Signatures.h"
#include "session/FoundFileSink.h"
#include "session/FoundFiles.h"
#include "session/ScanJournal.h"
#include "session/ScanOptions.h"

namespace snapsalvager {

enum class TScanLabel { LRead, LBad, LTime };

// Receives the scan's reports. Each call is made inside Synchronize, so a front end that
// runs Synchronize on its GUI thread gets every call there.
class TScanEvents {
 public:
  virtual ~TScanEvents() = default;
  virtual void SetProgressPosition(uint64_t value) = 0;
  virtual void SetProgressMaximum(uint64_t value) = 0;
  virtual void StepProgress() = 0;
  virtual void SetLabelText(TScanLabel label, const std::string& text) = 0;
  virtual void AddFoundFile(const std::string& name, const std::string& description,
                            int64_t size) = 0;
  // Once, at the end. error is empty when the carving loop ran to its end or stopped on
  // request; otherwise it is the text of the error that ended the scan.
  virtual void Finish(const std::string& error) = 0;
  // Deep scan, after the carving loop: done of total recorded breaks of photos searched for
  // their second piece. A front end that shows nothing for it may leave it.
  virtual void SetJoinProgress(uint32_t /*done*/, uint32_t /*total*/) {}
  // count sectors from firstSector could not be read (they are carved as zeros).
  virtual void SectorsUnreadable(uint64_t /*firstSector*/, uint64_t /*count*/) {}
  // Deep scan, after the pass: the found file at index in the list is now size bytes with
  // description, as the card's directory entry records it (its recorded size, or its cluster
  // chain read whole).
  virtual void FoundFileChanged(size_t /*index*/, const std::string& /*name*/, const std::string& /*description*/,
                                int64_t /*size*/) {}
};

// Runs call on the front end's main thread and returns when it has run. It may still be
// invoked after Abandon (the call it is handed then does nothing), so it must stay safe to
// call for as long as an abandoned thread may run (e.g. capture only a guarded pointer).
using TSynchronize = std::function<void(const std::function<void()>& call)>;

// TDescribeFile (FoundFileSink.h) gives the properties text of a closed file: its temporary
// file and type ("JPG" ...). The scan's owner supplies it (the photo summary for photos); the
// scan knows no file's insides. It must not throw; an empty function lists every file as "N/A".

// Milliseconds of a monotonic clock; the scan measures its reports and estimate with it.
using TTickSource = std::function<uint32_t()>;

// The found files are appended inside Synchronize calls, so the front end owns the list
// on its own thread; after Abandon neither the events nor the list are touched again.
class TDigitalReadThread {
 public:
  TDigitalReadThread(TScanEvents& events, TSynchronize synchronize, TFoundFileList& foundFiles);
  // Unless abandoned: asks a running thread to stop, releases a pause and waits for it.
  // An abandoned thread runs on by itself and frees its own state.
  ~TDigitalReadThread();
  TDigitalReadThread(const TDigitalReadThread&) = delete;
  TDigitalReadThread& operator=(const TDigitalReadThread&) = delete;

  // Set before Start; not changed while the thread runs.
  // The opened card the scan reads (required), and its size: Drive's SectorCount and
  // SectorSize. The drive's number and letter are the front end's; the scan reads only Card.
  std::shared_ptr<TCardSectors> Card;
  TDriveEntry Drive;
  std::filesystem::path TempFolder;  // ends with '/'
  TRecogniserInputs Inputs;
  bool WholeVolume = true;
  uint64_t FirstSector = 0;
  uint64_t LastSector = 0;
  // Deep scan: each file's structure is followed as it is carved, so it ends at its real
  // last byte, a JPEG frame inside a video starts no file of its own, and a few kinds the
  // header table misses are found. Off: the carving rule alone, exactly as always.
  bool DeepScan = false;
  TTickSource TickCount;  // empty: the steady clock
  TDescribeFile DescribeFile;
  // An interrupted scan to go on with (FindResumableScan's, for this card, these options
  // and this folder); null: a new scan from the range's first sector. Either way the scan
  // keeps a journal in TempFolder while it runs and removes it when it reaches the end.
  std::shared_ptr<const TScanJournal> ResumeFrom;
  // Tests: called on the scan thread after each batch is carved, with the sectors done.
  std::function<void(uint64_t done)> AfterBatch;

  void Start();
  // Pause: the thread parks at the next batch boundary, holding nothing.
  void Suspend();
  void Resume();
  bool Suspended() const;  // a pause is requested
  bool Parked() const;     // the thread sits at the pause checkpoint
  // Stop request: the thread finishes its batch, records the open file and ends. A paused
  // thread is released to do so.
  void Terminate();
  bool Terminated() const;
  bool Finished() const;  // Execute has returned (after the finish call)
  // Waits up to timeoutMs for the end; true when it has ended.
  bool WaitFor(uint32_t timeoutMs);
  // Gives up on a thread that did not end in time: its later calls are dropped (also the
  // finish call), the stop request is set, and the object may be destroyed at once.
  void Abandon();

 private:
  // The state the thread runs on; shared so an abandoned thread outlives this object.
  struct Impl;
  std::shared_ptr<Impl> impl_;
  std::thread thread_;
};

// Threads given up by Abandon that may still write temporary files; a new scan into the
// same folder would collide with them, so none is started while this is above 0.
int AbandonedScansRunning();
// The message shown instead of starting a scan then.
std::string AbandonedScanRunningText();

// "%s:%s:%s" with minutes and seconds padded to two digits: 0:07:05, 12:00:09.
std::string FormatRemainingTime(uint32_t seconds);
// The estimate of the time left: elapsed / done x (total - done), truncated, in the unit of
// elapsed (the scan passes milliseconds).
uint32_t EstimateRemainingSeconds(uint32_t elapsedSeconds, uint64_t sectorsDone,
                                  uint64_t sectorsTotal);

}  // namespace snapsalvager
