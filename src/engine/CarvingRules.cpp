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

bool TStructureRule::StartedBefore(const uint8_t*, uint64_t, TLateStart&) { return false; }

// The table's header, a file-type box's own brand, then the deep recognitions; a header
// inside the open file's known extent, of a kind it carries, is part of it.
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
  if (header && open && check_ && check_->Contains(filePos, IndexOfFileType(type), sector)) {
    return false;
  }
  return header;
}

void TStructureRule::FileStarts(const std::string& type, const uint8_t* sector, uint64_t bytesLeft) {
  check_ = MakeStructureCheck(type, sector, sectorSize_, bytesLeft);
}

// The check is fed before the loop writes the sector (which scrambles the head in place).
bool TStructureRule::EndsIn(const uint8_t* sector, uint64_t, uint64_t& end) {
  if (!check_ || check_->Verdict() != TCheckVerdict::GoesOn) return false;
  if (check_->Feed(sector, sectorSize_) != TCheckVerdict::EndsAt) return false;
  end = check_->End();
  check_.reset();
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
  return length;
}

std::unique_ptr<TCarvingRule> MakeCarvingRule(bool deep, const TRecogniserInputs& inputs,
                                              uint32_t sectorSize) {
  if (deep) return std::make_unique<TStructureRule>(inputs, sectorSize);
  return std::make_unique<TCarvingRule>(inputs, sectorSize);
}

}  // namespace snapsalvager
