// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// What the scan's journal records and when: the log lines of files recorded, started,
// claimed and broken off as they happen, the key's sample sectors as the scan reads them, and
// points to go on from, written after a batch that recorded a file and at least every
// kDurablePointMs synced to the disk (ScanJournal.h).
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "carving/Carver.h"
#include "session/FoundFileSink.h"
#include "session/ScanJournal.h"

namespace snapsalvager {

inline constexpr uint32_t kDurablePointMs = 2000;

class TJournalKeeper {
 public:
  // A new scan (resumeFrom null) replaces any journal in tempFolder with its own; a
  // continued one appends to resumeFrom's. Without a journal writer (it could not be made,
  // or a write failed) the scan runs on and cannot be continued.
  TJournalKeeper(const std::filesystem::path& tempFolder, TJournalKey key, const TScanJournal* resumeFrom,
                 uint64_t base, uint64_t total, uint32_t startTick);

  bool Writing() const { return journal_ != nullptr; }

  void NoteRow(const TFoundFile& record);
  void NoteStart(uint64_t sector);
  void NoteClaimed(const TClaimedRun& run);
  void NoteBreak(const TPhotoBreak& brk);

  // The batch's samples as read: n sectors from range sector done, unreadable where
  // badSlots says so. A continued scan has those before its point already.
  void RecordSamples(const std::vector<uint8_t>& batch, const std::vector<uint8_t>& badSlots, uint64_t done,
                     uint32_t n, uint32_t sectorSize);
  // The state at the end of range sector at - 1 (bad: the bytes unreadable up to there);
  // the open file's collected bytes go to it first.
  void TakePoint(uint64_t at, int64_t bad, const TCarver& carver, TFoundFileSink& sink);
  // Writes the point taken, if any (durable: synced), at tick now.
  void WritePoint(bool durable, uint32_t now);
  // After a batch: whether the next point is to be synced (the interval passed at now, or
  // force), and whether a file was recorded since the last point (one is due then too).
  bool DurableDue(bool force, uint32_t now) const { return force || now - lastDurableTick_ >= kDurablePointMs; }
  bool RecordedSince() const { return recordedSinceJournal_; }
  // The scan reached the end of its range: nothing is left to go on with.
  void Remove(const std::filesystem::path& tempFolder);

 private:
  std::unique_ptr<TScanJournalWriter> journal_;
  TJournalKey key_;
  uint64_t base_;
  uint64_t total_;
  // The log lines not yet written, and the latest point not yet written with how much of
  // them it counts.
  std::string logPending_;
  std::optional<TJournalPoint> point_;
  size_t pointLog_ = 0;
  uint32_t lastDurableTick_;
  bool recordedSinceJournal_ = false;
  std::vector<uint64_t> samples_;  // the card sectors the key records as read
  size_t nextSample_ = 0;
};

}  // namespace snapsalvager
