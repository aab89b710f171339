// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The carving loop's step: the rule says where files start and end, the carver keeps the
// open file's count and hands the bytes on.
#include "carving/Carver.h"

#include <algorithm>
#include <utility>

namespace snapsalvager {

TCarver::TCarver(std::unique_ptr<TCarvingRule> rule, uint32_t sectorSize, uint64_t base, uint64_t total,
                 TCarverOutput& output, TReadAgain readAgain, std::function<bool()> stopRequested)
    : rule_(std::move(rule)),
      sectorSize_(sectorSize),
      base_(base),
      total_(total),
      output_(output),
      readAgain_(std::move(readAgain)),
      stopRequested_(std::move(stopRequested)) {}

void TCarver::Carve(const uint8_t* sector, uint64_t p, bool batchEnd) {
  // One reading of the stop request: a request arriving between two readings would start
  // a file and end the loop, leaving that file open and never recorded.
  const bool stopRequested = stopRequested_();
  TSectorQuestion q;
  q.Replaying = replaying_;
  // A header in the last sector of the range starts no file (as when it closes one):
  // started there, the file would never be closed, recorded or removed. A sector that is
  // not a header and ends the range (or the batch, after a stop request) still belongs to
  // the open file: it is stored before the file is recorded.
  q.LastSector = p == total_ - 1 || (batchEnd && stopRequested);
  q.BytesLeft = (total_ - p) * sectorSize_;
  TSectorVerdict v;
  for (;;) {
    q.Open = open_;
    q.FilePos = filePos_;
    q.FileStarted = fileStarted_;
    q.CurrentType = currentType_;
    q.MayStart = !(stopRequested && fileStarted_) && p < total_ - 1;
    v = rule_->Judge(sector, q);
    if (v.Kind != TVerdictKind::EndedBefore) break;
    StartLate(v.Late, sector, p);
  }
  if (v.Header) {
    if (open_) EndOpenFile(v.Ends);
    const bool first = !fileStarted_;
    currentType_ = v.Type;
    fileStarted_ = true;
    if (stopRequested && !first) {
      keepGoing_ = false;
    } else if (v.Kind == TVerdictKind::StartHere || v.Kind == TVerdictKind::EndAndStart) {
      StartFile(p);
      if (v.StartedEnds) {
        EndExactly(sector, v.StartedEnd);
      } else {
        WriteWhole(sector);
      }
    }
    return;
  }
  if (open_) {
    if (v.Ends.Exact) {
      EndExactly(sector, v.Ends);
    } else {
      WriteWhole(sector);
      if (v.Kind == TVerdictKind::EndHere) EndOpenFile(v.Ends);
    }
  }
  if (fileStarted_ && batchEnd && stopRequested) keepGoing_ = false;
}

void TCarver::StartFile(uint64_t p) {
  output_.OpenFile(currentType_);
  open_ = true;
  filePos_ = 0;
  fileFirst_ = p;
  if (rule_->JoinsSplitPhotos()) {
    findings_.FileStarts.push_back(base_ + p);
    output_.FileStarted(findings_.FileStarts.back());
  }
}

// A header inside the open file is a file of its own after all: the open file ends where
// it starts (or where its own structure ends it, in sector p or before), and the sectors
// from there up to p are read again and carved anew, that header's sector starting a file
// (as the header rule would have had them).
void TCarver::StartLate(const TLateStart& late, const uint8_t* sector, uint64_t p) {
  if (late.Kept) {
    TFileEnd end;
    end.Exact = true;
    end.ExactEnd = end.Length = std::min<uint64_t>(late.Keep, filePos_ + sectorSize_);
    EndExactly(sector, end);
  } else {
    if (late.Cut < filePos_) output_.Truncate(late.Cut);
    open_ = false;
    output_.CloseFile(currentType_);
  }
  const uint64_t from = fileFirst_ + late.Cut / sectorSize_;
  std::vector<uint8_t> again(sectorSize_);
  replaying_ = true;
  for (uint64_t q = from; q < p; ++q) {
    if (!readAgain_(q, again.data())) std::fill(again.begin(), again.end(), 0);
    Carve(again.data(), q, false);
  }
  replaying_ = false;
}

void TCarver::WriteWhole(const uint8_t* sector) {
  output_.Write(sector, sectorSize_);
  filePos_ += sectorSize_;
}

// The open file's structure placed its end in or before this sector: the sector's part
// before it is the file's last, and the sectors up to there are claimed.
void TCarver::EndExactly(const uint8_t* sector, const TFileEnd& end) {
  if (end.ExactEnd > filePos_) {
    output_.Write(sector, static_cast<uint32_t>(std::min<uint64_t>(end.ExactEnd - filePos_, sectorSize_)));
  } else {
    output_.Truncate(end.ExactEnd);
  }
  filePos_ = end.ExactEnd;
  findings_.Claimed.push_back({base_ + fileFirst_, base_ + fileFirst_ + (end.ExactEnd + sectorSize_ - 1) / sectorSize_});
  output_.Claimed(findings_.Claimed.back());
  EndOpenFile(end);
}

// Records the open file at the length the rule gives it where its data stops. Only a
// type whose structure check follows entropy-coded data (the photo's) reports a break.
void TCarver::EndOpenFile(const TFileEnd& end) {
  if (end.Length < filePos_) output_.Truncate(end.Length);
  if (end.Broke) {
    findings_.Breaks.push_back({base_ + fileFirst_, end.BrokeAt});
    output_.Broke(findings_.Breaks.back());
  }
  open_ = false;
  if (end.Exact || end.Placed) output_.EndPlaced();
  output_.CloseFile(currentType_);
}

void TCarver::CloseOpenFile() {
  if (open_) {
    EndOpenFile(rule_->EndsNow(filePos_));
  } else {
    output_.CloseFile(currentType_);
  }
}

TCarverState TCarver::State() const {
  TCarverState state;
  state.CurrentType = currentType_;
  state.FileStarted = fileStarted_;
  state.RuleState = rule_->SaveState();
  state.FilePos = filePos_;
  state.FileFirst = fileFirst_;
  return state;
}

bool TCarver::Restore(const TCarverState& state, bool fileOpen, TCarvingFindings findings) {
  if (!rule_->RestoreState(state.RuleState)) return false;
  currentType_ = state.CurrentType;
  fileStarted_ = state.FileStarted;
  findings_ = std::move(findings);
  open_ = fileOpen;
  if (fileOpen) {
    filePos_ = state.FilePos;
    fileFirst_ = state.FileFirst;
  }
  return true;
}

}  // namespace snapsalvager
