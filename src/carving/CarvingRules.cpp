// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The header rule and the structure rule of the carving loop.
#include "carving/CarvingRules.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "carving/StructureChecks/TodaysTypes.h"

namespace snapsalvager {

TCarvingRule::TCarvingRule(const TRecogniserInputs& inputs, uint32_t sectorSize)
    : recogniser_(inputs), sectorSize_(sectorSize) {
  recogniser_.ResetSignatureState();
}

bool TCarvingRule::StartsFile(const uint8_t* sector, bool, uint64_t, std::string& type) {
  return recogniser_.DetectFileHeader(sector, type);
}

TFileEnd TCarvingRule::EndOf(uint64_t length) {
  TFileEnd end;
  end.Length = DataEnds(length);
  end.Placed = EndPlaced();
  end.Broke = TakeBreak(end.BrokeAt);
  return end;
}

TFileEnd TCarvingRule::EndsNow(uint64_t carved) { return EndOf(carved); }

// The steps in their order: a late start before the sector; the header question and a late
// start it brings; the open file's end and the new file's start; else the open file's
// exact end in the sector, or its end at the range's end.
TSectorVerdict TCarvingRule::Judge(const uint8_t* sector, const TSectorQuestion& q) {
  TSectorVerdict v;
  const int resume = q.Replaying ? 0 : std::exchange(resume_, 0);
  if (resume == 0 && q.Open && !q.Replaying && StartedBefore(sector, q.FilePos, v.Late)) {
    resume_ = 1;
    v.Kind = TVerdictKind::EndedBefore;
    return v;
  }
  std::string type;
  bool header = true;
  if (resume == 2) {
    // The header was judged against the file that ended before it; a file carved again up
    // to here may be open now, and its own structure judges the header afresh.
    type = std::move(resumeType_);
    header = !q.Open || StillStarts(sector, q.FilePos, type);
  } else {
    header = StartsFile(sector, q.Open, q.FilePos, type);
    if (header && q.Open && !q.Replaying && StartedBeforeEnd(v.Late)) {
      resume_ = 2;
      resumeType_ = std::move(type);
      v.Kind = TVerdictKind::EndedBefore;
      return v;
    }
  }
  uint64_t end = 0;
  if (header) {
    v.Header = true;
    v.Type = (!q.FileStarted || !type.empty()) ? type : std::string(q.CurrentType);
    if (q.Open) v.Ends = EndOf(q.FilePos);
    if (!q.MayStart) {
      v.Kind = q.Open ? TVerdictKind::EndHere : TVerdictKind::Continue;
      return v;
    }
    v.Kind = q.Open ? TVerdictKind::EndAndStart : TVerdictKind::StartHere;
    FileStarts(v.Type, sector, q.BytesLeft);
    if (EndsIn(sector, 0, end)) {
      v.StartedEnds = true;
      v.StartedEnd = EndOf(end);
      v.StartedEnd.Exact = true;
      v.StartedEnd.ExactEnd = end;
    }
    return v;
  }
  if (!q.Open) return v;
  if (EndsIn(sector, q.FilePos, end)) {
    if (!q.Replaying && StartedBeforeExactEnd(end, v.Late)) {
      v.Kind = TVerdictKind::EndedBefore;
      return v;
    }
    v.Kind = TVerdictKind::EndHere;
    v.Ends = EndOf(end);
    v.Ends.Exact = true;
    v.Ends.ExactEnd = end;
  } else if (q.LastSector) {
    if (!q.Replaying && StartedBeforeEnd(v.Late)) {
      v.Kind = TVerdictKind::EndedBefore;
      return v;
    }
    v.Kind = TVerdictKind::EndHere;
    v.Ends = EndOf(q.FilePos + sectorSize_);
  }
  return v;
}

// Bytes, not text: the structure rule's is taken at every sector between files.
std::string TCarvingRule::SaveState() const {
  return {static_cast<char>(recogniser_.IsoMediaFound()), static_cast<char>(recogniser_.MovAtomLock())};
}

bool TCarvingRule::RestoreState(const std::string& state) {
  if (state.size() < 2 || static_cast<uint8_t>(state[0]) > 1 ||
      static_cast<uint8_t>(state[1]) > static_cast<uint8_t>(TSignatureRecogniser::MovAtom::Ftyp))
    return false;
  recogniser_.RestoreSignatureState(state[0] == 1, static_cast<TSignatureRecogniser::MovAtom>(state[1]));
  return true;
}

// The base state, then whether a sector was read before and that sector.
std::string TStructureRule::SaveState() const {
  std::string state = TCarvingRule::SaveState();
  state += static_cast<char>(havePrevious_);
  if (havePrevious_) state.append(reinterpret_cast<const char*>(previous_.data()), previous_.size());
  return state;
}

bool TStructureRule::RestoreState(const std::string& state) {
  if (state.size() < 3 || !TCarvingRule::RestoreState(state)) return false;
  havePrevious_ = state[2] == 1;
  if (state.size() != 3 + (havePrevious_ ? previous_.size() : 0)) return false;
  if (havePrevious_) std::memcpy(previous_.data(), state.data() + 3, previous_.size());
  return true;
}

TStructureRule::TStructureRule(const TRecogniserInputs& inputs, uint32_t sectorSize)
    : TCarvingRule(inputs, sectorSize), inputs_(inputs), previous_(sectorSize, 0) {
  frames_.reserve(kMaxFrames);
}

// A header inside the open file held past its own first sector, or the open file's
// structure broke at or after it: it starts a file there after all.
bool TStructureRule::StartedBefore(const uint8_t* sector, uint64_t, TLateStart& start) {
  const bool broke = check_ && check_->Verdict() == TCheckVerdict::CannotTell;
  if (broke && part_) PartIsAFile();
  if (candidate_) {
    const std::unique_ptr<TStructureCheck> candidate = std::move(candidate_);
    if (candidate->Feed(sector, sectorSize_) != TCheckVerdict::CannotTell || broke) {
      return LateStart(candidateAt_, candidateType_, start);
    }
  }
  return frame_ && broke && LateStart(frameAt_, frameType_, start);
}

// A header ends the open file: a frame it held starts a file, and the open file keeps what
// its structure still places.
bool TStructureRule::StartedBeforeEnd(TLateStart& start) {
  headerPlain_ = plain_;  // the sectors carved again before it is asked again change plain_
  if (part_) PartIsAFile();
  if (!frame_ || !check_) return false;
  if (check_->Verdict() == TCheckVerdict::GoesOn && check_->DataEnds() == TCheckVerdict::EndsAt) {
    if (FramesNamed(*check_)) {
      frame_ = false;
      return false;
    }
    return FrameOutlives(check_->End(), start);
  }
  return LateStart(frameAt_, frameType_, start);
}

bool TStructureRule::StartedBeforeExactEnd(uint64_t end, TLateStart& start) {
  return std::exchange(outlived_, false) && FrameOutlives(end, start);
}

// The open file's structure ended it without naming the frame it held: both are files.
bool TStructureRule::FrameOutlives(uint64_t end, TLateStart& start) {
  const uint64_t at = frameAt_;
  LateStart(at, frameType_, start);
  start.Kept = true;
  start.Keep = end;
  return true;
}

bool TStructureRule::LateStart(uint64_t at, const std::string& type, TLateStart& start) {
  start.Cut = at;
  start.Kept = false;
  start.Type = type;
  restart_ = type;
  check_.reset();
  candidate_.reset();
  frame_ = false;
  part_.reset();
  ForgetFrames();
  return true;
}

// A frame may be padded to its chunk's or sample's end.
constexpr uint64_t kPadding = 16;

void TStructureRule::FollowPart(const uint8_t* sector) {
  const TCheckVerdict verdict = part_->Feed(sector, sectorSize_);
  if (partEnd_ == 0) {  // a frame's: its own end is kept for the index
    if (verdict == TCheckVerdict::EndsAt && !frames_.empty() && frames_.back().At == partAt_) {
      frames_.back().End = partAt_ + part_->End();
    }
    if (verdict != TCheckVerdict::GoesOn) part_.reset();
    return;
  }
  if (verdict == TCheckVerdict::EndsAt) {
    const uint64_t end = partAt_ + part_->End();
    if (end <= partEnd_ && partEnd_ - end <= kPadding) {
      part_.reset();
    } else {
      PartIsAFile();
    }
  } else if (verdict == TCheckVerdict::CannotTell || partAt_ + part_->Fed() > partEnd_ + kPadding) {
    PartIsAFile();
  }
}

bool TStructureRule::FramesNamed(const TStructureCheck& check) {
  if (framesOverflow_) return false;
  for (const TFrameSeen& frame : frames_) {
    uint64_t end = 0;
    if (check.PartEnd(frame.At, end) && frame.End != 0 && frame.End <= end && end - frame.End <= kPadding) continue;
    frameAt_ = frame.At;
    frameType_ = frame.Type;
    return false;
  }
  return true;
}

void TStructureRule::ForgetFrames() {
  frames_.clear();
  framesOverflow_ = false;
}

void TStructureRule::PartIsAFile() {
  if (partEnd_ != 0) {  // a part's, proven none: a frame no index names
    if (!frame_) {
      frame_ = true;
      frameAt_ = partAt_;
      frameType_ = partType_;
    }
    const auto at = std::find_if(frames_.begin(), frames_.end(), [this](const TFrameSeen& f) { return f.At > partAt_; });
    if (frames_.size() < kMaxFrames) {
      frames_.insert(at, {partAt_, 0, partType_});
    } else {
      framesOverflow_ = true;
    }
  }
  part_.reset();
}

// The table's header, a file-type box's own brand, then the deep recognitions. A header
// whose own first units are impossible is none; one inside the open file's extent may be
// part of it.
bool TStructureRule::StartsFile(const uint8_t* sector, bool open, uint64_t filePos, std::string& type) {
  if (part_ && open && filePos > partAt_) FollowPart(sector);
  if (!restart_.empty()) {
    type = std::move(restart_);
    restart_.clear();
    std::memcpy(previous_.data(), sector, sectorSize_);
    havePrevious_ = true;
    return true;
  }
  bool header = recogniser_.DetectFileHeader(sector, type);
  const bool plain = header;
  plain_ = plain;
  const std::string_view brand = BrandType(sector, sectorSize_);
  if (!brand.empty() && inputs_.Enabled(IndexOfFileType(brand))) {
    type.assign(brand);
    header = true;
  }
  // Today's formats the table does not know: their brand, maker or magic names the file.
  if (const std::string_view today = NameTodaysType(sector, sectorSize_, inputs_); !today.empty()) {
    type.assign(today);
    header = true;
  }
  if (!header) {
    // Inside an open transport stream its own check tells whether a run of packets goes on
    // with the stream's PIDs and counters; elsewhere a run the previous sector leads into
    // is no new file.
    const bool stream = open && check_ && openType_ == "MTS";
    const std::string_view deep =
        DetectDeepHeader(sector, havePrevious_ && !stream ? previous_.data() : nullptr, sectorSize_);
    if (!deep.empty() && inputs_.Enabled(IndexOfFileType(deep))) {
      type.assign(deep);
      header = true;
    }
  }
  std::memcpy(previous_.data(), sector, sectorSize_);
  havePrevious_ = true;
  if (header && ImpossibleStart(type, sector, sectorSize_)) return false;
  if (!header || !open || !check_) return header;
  return StartsInside(sector, filePos, type, plain);
}

bool TStructureRule::StillStarts(const uint8_t* sector, uint64_t filePos, const std::string& type) {
  return !check_ || StartsInside(sector, filePos, type, headerPlain_);
}

// The one place where a header inside the open file is judged. A header the header rule
// takes starts a file unless the open file's structure names its offset (Part); one it
// holds as a frame without naming it is followed both ways (frame_). Only the deep scan's
// own headers may wait for their own structure to tell.
bool TStructureRule::StartsInside(const uint8_t* sector, uint64_t filePos, const std::string& type, bool plain) {
  const TInside inside = check_->Inside(filePos, IndexOfFileType(type), sector);
  if (inside == TInside::Frame) {
    if (!frame_) {
      frame_ = true;
      frameAt_ = filePos;
      frameType_ = type;
    }
    if (frames_.size() < kMaxFrames) {
      frames_.push_back({filePos, 0, type});
    } else {
      framesOverflow_ = true;
    }
    // A photo's own end, to hold against the sample the index may name there.
    if (!part_ && type == "JPG") {
      part_ = MakeStructureCheck(type, sector, sectorSize_, fileLimit_ - filePos);
      if (part_) {
        partAt_ = filePos;
        partEnd_ = 0;
        partType_ = type;
        FollowPart(sector);
      }
    }
    return false;
  }
  uint64_t partEnd = 0;
  // Only a photo's own end is known at once: other frames run on into the next sample.
  if (inside == TInside::Part && !part_ && type == "JPG" && check_->PartEnd(filePos, partEnd)) {
    part_ = MakeStructureCheck(type, sector, sectorSize_, fileLimit_ - filePos);
    if (part_) {
      partAt_ = filePos;
      partEnd_ = partEnd;
      partType_ = type;
      FollowPart(sector);
    }
  }
  if (inside != TInside::Maybe || plain) return inside != TInside::Part;
  // When in doubt, both files: the open one ends where this one starts.
  std::unique_ptr<TStructureCheck> own =
      MakeStructureCheck(type, sector, sectorSize_, fileLimit_ - filePos);
  if (!own) return true;
  const TCheckVerdict verdict = own->Feed(sector, sectorSize_);
  if (verdict == TCheckVerdict::CannotTell) return false;
  if (verdict == TCheckVerdict::EndsAt) return true;
  candidate_ = std::move(own);
  candidateAt_ = filePos;
  candidateType_ = type;
  return false;
}

void TStructureRule::FileStarts(const std::string& type, const uint8_t* sector, uint64_t bytesLeft) {
  check_ = MakeStructureCheck(type, sector, sectorSize_, bytesLeft);
  openType_ = type;
  fileLimit_ = bytesLeft;
  candidate_.reset();
  part_.reset();
  ForgetFrames();
  frame_ = false;
  outlived_ = false;
}

bool TStructureRule::EndsIn(const uint8_t* sector, uint64_t, uint64_t& end) {
  if (!check_ || check_->Verdict() != TCheckVerdict::GoesOn) return false;
  if (check_->Feed(sector, sectorSize_) != TCheckVerdict::EndsAt) return false;
  end = check_->End();
  if (part_) PartIsAFile();  // it runs on past the open file's end
  if (frame_ && FramesNamed(*check_)) frame_ = false;
  ForgetFrames();
  check_.reset();
  candidate_.reset();
  outlived_ = frame_;
  frame_ = false;
  return true;
}

// Where the check can still place the end in what was carved, the file ends there.
uint64_t TStructureRule::DataEnds(uint64_t carved) {
  uint64_t length = carved;
  if (check_) {
    // StartedBeforeEnd may have asked already.
    TCheckVerdict verdict = check_->Verdict();
    if (verdict == TCheckVerdict::GoesOn) verdict = check_->DataEnds();
    if (verdict == TCheckVerdict::EndsAt) length = std::min(carved, check_->End());
    placed_ = verdict == TCheckVerdict::EndsAt;
  } else {
    placed_ = false;
  }
  broke_ = check_ && check_->EntropyBreak(breakAt_) && breakAt_ > 0 && breakAt_ <= length;
  check_.reset();
  candidate_.reset();
  part_.reset();
  ForgetFrames();
  frame_ = false;
  return length;
}

bool TStructureRule::TakeBreak(uint64_t& at) {
  at = breakAt_;
  return std::exchange(broke_, false);
}

std::unique_ptr<TCarvingRule> MakeCarvingRule(bool deep, const TRecogniserInputs& inputs,
                                              uint32_t sectorSize) {
  if (deep) return std::make_unique<TStructureRule>(inputs, sectorSize);
  return std::make_unique<TCarvingRule>(inputs, sectorSize);
}

}  // namespace snapsalvager
