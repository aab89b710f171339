// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The scan's journal keeping.
#include "session/JournalKeeper.h"

#include <exception>
#include <utility>

namespace snapsalvager {

TJournalKeeper::TJournalKeeper(const std::filesystem::path& tempFolder, TJournalKey key,
                               const TScanJournal* resumeFrom, uint64_t base, uint64_t total, uint32_t startTick)
    : key_(std::move(key)), base_(base), total_(total), lastDurableTick_(startTick) {
  samples_ = SampleSectors(base, total);
  try {
    journal_ = std::make_unique<TScanJournalWriter>(tempFolder, resumeFrom);
  } catch (const std::exception&) {
    journal_.reset();  // the scan runs without: it cannot be continued
  }
}

void TJournalKeeper::NoteRow(const TFoundFile& record) {
  logPending_ += JournalRowLine(record);
  recordedSinceJournal_ = true;
}

void TJournalKeeper::NoteStart(uint64_t sector) { logPending_ += JournalStartLine(sector); }

void TJournalKeeper::NoteClaimed(const TClaimedRun& run) { logPending_ += JournalClaimedLine(run); }

void TJournalKeeper::NoteBreak(const TPhotoBreak& brk) { logPending_ += JournalBreakLine(brk); }

void TJournalKeeper::RecordSamples(const std::vector<uint8_t>& batch, const std::vector<uint8_t>& badSlots,
                                   uint64_t done, uint32_t n, uint32_t sectorSize) {
  for (; nextSample_ < samples_.size() && samples_[nextSample_] < base_ + done + n; ++nextSample_) {
    const uint64_t sector = samples_[nextSample_];
    if (sector < base_ + done || (";" + key_.Samples).find(";" + std::to_string(sector) + ":") != std::string::npos)
      continue;
    const uint64_t slot = sector - base_ - done;
    key_.Samples += SampleEntry(sector, badSlots[slot] ? nullptr : batch.data() + slot * sectorSize, sectorSize);
  }
}

void TJournalKeeper::TakePoint(uint64_t at, int64_t bad, const TCarver& carver, TFoundFileSink& sink) {
  TJournalPoint& p = point_.emplace();
  const TCarverState state = carver.State();
  p.Done = at;
  p.FileCounter = sink.FileCounter();
  p.CurrentType = state.CurrentType;
  p.FileStarted = state.FileStarted;
  p.BadBytes = bad;
  p.RuleState = state.RuleState;
  if (sink.FileOpen()) {
    const TOpenTempFile open = sink.FlushOpenFile();
    p.FileOpen = true;
    p.OpenType = open.Type;
    p.FilePos = state.FilePos;
    p.FileFirst = state.FileFirst;
    p.Written = open.Written;
    p.Stored = open.Stored;
    p.FileCut = open.Cut;
  }
  pointLog_ = logPending_.size();
}

void TJournalKeeper::WritePoint(bool durable, uint32_t now) {
  if (!point_) return;
  if (journal_) {
    point_->Key = key_;
    point_->Total = total_;
    try {
      journal_->Write(std::move(*point_), logPending_.substr(0, pointLog_), durable);
      logPending_.erase(0, pointLog_);
    } catch (const std::exception&) {
      journal_.reset();  // the last point written stays valid; the scan goes on without more
    }
  }
  point_.reset();
  recordedSinceJournal_ = !logPending_.empty();
  if (durable) lastDurableTick_ = now;
}

void TJournalKeeper::Remove(const std::filesystem::path& tempFolder) {
  journal_.reset();
  RemoveScanJournal(tempFolder);
}

}  // namespace snapsalvager
