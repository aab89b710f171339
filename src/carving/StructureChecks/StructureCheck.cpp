// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The base of every structure check: it collects the few head bytes of the next unit,
// skipping the bytes in between, and the format decides from them where the next unit
// starts, or that the file ends, or that the structure broke.
#include "carving/StructureChecks/StructureCheck.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "carving/StructureChecks/Formats.h"

namespace snapsalvager {

using structure::kJpgIndex;
using structure::kMp3Index;

TStructureCheck::TStructureCheck(uint64_t limit, uint64_t carriedTypes)
    : limit_(limit), carried_(carriedTypes) {}

TCheckVerdict TStructureCheck::Feed(const uint8_t* data, size_t length) {
  while (length > 0 && verdict_ == TCheckVerdict::GoesOn) {
    if (pendingEnd_ != 0 && fed_ >= pendingEnd_) break;
    if (scanning_) {
      progressed_ = false;
      const size_t used = std::min(Scan(data, length), length);
      data += used;
      length -= used;
      fed_ += used;
      if (used == 0 && scanning_ && !progressed_) Broken();  // a scan that cannot move on
      continue;
    }
    if (fed_ < at_) {
      const size_t skip = static_cast<size_t>(std::min<uint64_t>(at_ - fed_, length));
      data += skip;
      length -= skip;
      fed_ += skip;
      continue;
    }
    const uint32_t take = static_cast<uint32_t>(std::min<size_t>(need_ - have_, length));
    std::memcpy(head_ + have_, data, take);
    have_ += take;
    data += take;
    length -= take;
    fed_ += take;
    if (have_ < need_) continue;
    progressed_ = false;
    if (statedEnd_ != 0) {
      const uint64_t end = std::exchange(statedEnd_, 0);
      if (RunsOn(head_, need_, static_cast<uint32_t>(end - at_))) {
        Broken();
      } else {
        EndsOnceFed(end);
      }
      continue;
    }
    OnHead(head_);
    if (!progressed_ && verdict_ == TCheckVerdict::GoesOn) Broken();  // a unit that leads nowhere
  }
  if (verdict_ == TCheckVerdict::GoesOn && pendingEnd_ != 0 && fed_ >= pendingEnd_) {
    EndsAt(pendingEnd_);
  }
  return verdict_;
}

TCheckVerdict TStructureCheck::DataEnds() {
  if (verdict_ == TCheckVerdict::GoesOn && statedEnd_ != 0) {
    EndsAt(std::exchange(statedEnd_, 0));
  } else if (verdict_ == TCheckVerdict::GoesOn) {
    const TCheckVerdict v = OnDataEnds();
    if (v == TCheckVerdict::CannotTell) Broken();
  }
  return verdict_;
}

bool TStructureCheck::Carries(int typeIndex, const uint8_t* sector) const {
  if (verdict_ != TCheckVerdict::GoesOn || typeIndex <= 0 || typeIndex > kFileTypeCount) return false;
  if ((carried_ >> typeIndex & 1) == 0) return false;
  return !(exifPhotosAreFiles_ && typeIndex == kJpgIndex && std::memcmp(sector + 6, "Exif", 4) == 0);
}

bool TStructureCheck::Contains(uint64_t offset, int typeIndex, const uint8_t* sector) const {
  if (!Carries(typeIndex, sector)) return false;
  if (pendingEnd_ != 0) return offset < pendingEnd_;
  if (scanning_) return false;
  return offset < at_ || (boundaryInside_ && offset == at_);
}

TInside TStructureCheck::Inside(uint64_t offset, int typeIndex, const uint8_t* sector) const {
  if (!Contains(offset, typeIndex, sector)) return TInside::No;
  if (Accounts(offset, typeIndex, sector)) return TInside::Part;
  // A stream's frames carry no ID3 tag: one starts an MP3 file.
  const bool frameKind = (frameTypes_ >> typeIndex & 1) != 0 &&
                         !(typeIndex == kMp3Index && std::memcmp(sector, "ID3", 3) == 0);
  if (!frameKind) return TInside::Maybe;
  // A packet stream's next unit is the stream itself; a frame or packet anywhere else is
  // not named by the structure: it may as well be a file written over this one.
  if (boundaryInside_ && offset == at_) return TInside::Part;
  return TInside::Frame;
}

size_t TStructureCheck::Scan(const uint8_t*, size_t) {
  Broken();
  return 0;
}

void TStructureCheck::Expect(uint64_t at, uint32_t need) {
  progressed_ = true;
  // Units only move forward, and a unit that starts past the card's end cannot be whole.
  if (at < fed_ || at > limit_ || need == 0 || need > kMaxHead) {
    Broken();
    return;
  }
  at_ = at;
  need_ = need;
  have_ = 0;
}

void TStructureCheck::More(uint32_t need) {
  progressed_ = true;
  if (need <= have_ || need > kMaxHead) {
    Broken();
    return;
  }
  need_ = need;
}

void TStructureCheck::ResumeAt(uint64_t at, const uint8_t* bytes, uint32_t n, uint32_t need) {
  progressed_ = true;
  scanning_ = false;
  at_ = at;
  std::memcpy(head_, bytes, n);
  have_ = n;
  need_ = need;
}

void TStructureCheck::EndsUnlessRunsOn(uint64_t end, uint64_t windowAt, uint32_t bytes) {
  progressed_ = true;
  if (windowAt < fed_ || windowAt > end || end - windowAt > bytes || bytes == 0 || bytes > kMaxHead ||
      windowAt + bytes > limit_) {
    return EndsOnceFed(end);
  }
  Expect(windowAt, bytes);
  statedEnd_ = end;
}

void TStructureCheck::EndsAt(uint64_t end) {
  progressed_ = true;
  if (end > limit_ || end == 0) {
    Broken();
    return;
  }
  end_ = end;
  verdict_ = TCheckVerdict::EndsAt;
}

void TStructureCheck::EndsOnceFed(uint64_t end) {
  progressed_ = true;
  if (end > limit_ || end == 0) {
    Broken();
    return;
  }
  if (end <= fed_) {
    EndsAt(end);
    return;
  }
  pendingEnd_ = end;
  at_ = end;
  need_ = 1;
  have_ = 0;
}

void TStructureCheck::EndOfRun(const uint8_t* head, uint32_t n) {
  if (AllZero(head, n)) {
    EndsAt(at_);
  } else {
    Broken();
  }
}

}  // namespace snapsalvager
