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
    : TCarvingRule(inputs, sectorSize),
      inputs_(inputs),
      candidateFirst_(sectorSize, 0),
      previous_(sectorSize, 0) {}

// A header inside the open file held past its own first sector, or the open file broke
// where it began: it starts a file there after all. Otherwise it was the open file's data.
bool TStructureRule::StartedBefore(const uint8_t* sector, uint64_t, TLateStart& start) {
  if (!candidate_) return false;
  std::unique_ptr<TStructureCheck> candidate = std::move(candidate_);
  const bool containerBroke = check_ && check_->Verdict() == TCheckVerdict::CannotTell;
  if (candidate->Feed(sector, sectorSize_) == TCheckVerdict::CannotTell && !containerBroke) return false;
  start.Cut = candidateAt_;
  start.Type = candidateType_;
  start.First = candidateFirst_.data();
  fileLimit_ -= candidateAt_;
  check_ = std::move(candidate);
  return true;
}

// The table's header, a file-type box's own brand, then the deep recognitions. A header
// whose own first units are impossible is none; one inside the open file's extent may be
// part of it.
bool TStructureRule::StartsFile(const uint8_t* sector, bool open, uint64_t filePos, std::string& type) {
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
  std::memcpy(candidateFirst_.data(), sector, sectorSize_);
  return false;
}

void TStructureRule::FileStarts(const std::string& type, const uint8_t* sector, uint64_t bytesLeft) {
  check_ = MakeStructureCheck(type, sector, sectorSize_, bytesLeft);
  fileLimit_ = bytesLeft;
  candidate_.reset();
}

// The check is fed before the loop writes the sector (which scrambles the head in place);
// a check that became the file's at a late start has seen this sector already.
bool TStructureRule::EndsIn(const uint8_t* sector, uint64_t filePos, uint64_t& end) {
  if (!check_) return false;
  TCheckVerdict verdict = check_->Verdict();
  if (verdict == TCheckVerdict::GoesOn && check_->Fed() <= filePos) {
    verdict = check_->Feed(sector, sectorSize_);
  }
  if (verdict != TCheckVerdict::EndsAt) return false;
  end = check_->End();
  check_.reset();
  candidate_.reset();
  return true;
}

// Where the check can still place the end in what was carved, the file ends there.
uint64_t TStructureRule::DataEnds(uint64_t carved) {
  uint64_t length = carved;
  if (check_ && check_->Verdict() == TCheckVerdict::GoesOn &&
      check_->DataEnds() == TCheckVerdict::EndsAt) {
    length = std::min(carved, check_->End());
  }
  check_.reset();
  candidate_.reset();
  return length;
}

std::unique_ptr<TCarvingRule> MakeCarvingRule(bool deep, const TRecogniserInputs& inputs,
                                              uint32_t sectorSize) {
  if (deep) return std::make_unique<TStructureRule>(inputs, sectorSize);
  return std::make_unique<TCarvingRule>(inputs, sectorSize);
}

}  // namespace snapsalvager
