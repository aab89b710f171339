// The header rule and the structure rule of the carving loop.
#include "engine/CarvingRules.h"

#include <algorithm>
#include <cstring>

namespace snapsalvager {

TCarvingRule::TCarvingRule(const TRecogniserInputs& inputs, uint32_t sectorSize)
    : recogniser_(inputs), sectorSize_(sectorSize) {
  recogniser_.ResetSignatureState();
}

bool TCarvingRule::StartsFile(const uint8_t* sector, bool, uint64_t, std::string& type) {
  return recogniser_.DetectFileHeader(sector, type);
}

TStructureRule::TStructureRule(const TRecogniserInputs& inputs, uint32_t sectorSize)
    : TCarvingRule(inputs, sectorSize), inputs_(inputs), previous_(sectorSize, 0) {}

// A header inside the open file held past its own first sector, or the open file's
// structure broke at or after it: it starts a file there after all.
bool TStructureRule::StartedBefore(const uint8_t* sector, uint64_t, TLateStart& start) {
  const bool broke = check_ && check_->Verdict() == TCheckVerdict::CannotTell;
  if (candidate_) {
    const std::unique_ptr<TStructureCheck> candidate = std::move(candidate_);
    if (candidate->Feed(sector, sectorSize_) != TCheckVerdict::CannotTell || broke) {
      return LateStart(candidateAt_, candidateType_, start);
    }
  }
  return frame_ && broke && LateStart(frameAt_, frameType_, start);
}

// A header ends the open file before its structure placed its end.
bool TStructureRule::StartedBeforeEnd(TLateStart& start) {
  if (!frame_ || !check_) return false;
  if (check_->Verdict() == TCheckVerdict::GoesOn && check_->DataEnds() == TCheckVerdict::EndsAt) return false;
  return LateStart(frameAt_, frameType_, start);
}

bool TStructureRule::LateStart(uint64_t at, const std::string& type, TLateStart& start) {
  start.Cut = at;
  start.Type = type;
  restart_ = type;
  check_.reset();
  candidate_.reset();
  frame_ = false;
  return true;
}

// The table's header, a file-type box's own brand, then the deep recognitions. A header
// whose own first units are impossible is none; one inside the open file's extent may be
// part of it.
bool TStructureRule::StartsFile(const uint8_t* sector, bool open, uint64_t filePos, std::string& type) {
  if (!restart_.empty()) {
    type = std::move(restart_);
    restart_.clear();
    std::memcpy(previous_.data(), sector, sectorSize_);
    havePrevious_ = true;
    return true;
  }
  bool header = recogniser_.DetectFileHeader(sector, type);
  const std::string_view brand = BrandType(sector, sectorSize_);
  if (!brand.empty() && inputs_.Enabled(IndexOfFileType(brand))) {
    type.assign(brand);
    header = true;
  }
  if (!header) {
    const std::string_view deep =
        DetectDeepHeader(sector, havePrevious_ ? previous_.data() : nullptr, sectorSize_);
    if (!deep.empty() && inputs_.Enabled(IndexOfFileType(deep))) {
      type.assign(deep);
      header = true;
    }
  }
  std::memcpy(previous_.data(), sector, sectorSize_);
  havePrevious_ = true;
  if (header && ImpossibleStart(type, sector, sectorSize_)) return false;
  if (!header || !open || !check_) return header;
  return StartsInside(sector, filePos, type);
}

bool TStructureRule::StartsInside(const uint8_t* sector, uint64_t filePos, const std::string& type) {
  const TInside inside = check_->Inside(filePos, IndexOfFileType(type), sector);
  if (inside == TInside::Frame && !frame_) {
    frame_ = true;
    frameAt_ = filePos;
    frameType_ = type;
  }
  if (inside != TInside::Maybe) return inside == TInside::No;
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
  fileLimit_ = bytesLeft;
  candidate_.reset();
  frame_ = false;
}

// The check is fed before the loop writes the sector (which scrambles the head in place).
bool TStructureRule::EndsIn(const uint8_t* sector, uint64_t, uint64_t& end) {
  if (!check_ || check_->Verdict() != TCheckVerdict::GoesOn) return false;
  if (check_->Feed(sector, sectorSize_) != TCheckVerdict::EndsAt) return false;
  end = check_->End();
  check_.reset();
  candidate_.reset();
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
  }
  check_.reset();
  candidate_.reset();
  frame_ = false;
  return length;
}

std::unique_ptr<TCarvingRule> MakeCarvingRule(bool deep, const TRecogniserInputs& inputs,
                                              uint32_t sectorSize) {
  if (deep) return std::make_unique<TStructureRule>(inputs, sectorSize);
  return std::make_unique<TCarvingRule>(inputs, sectorSize);
}

}  // namespace snapsalvager
