// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The join pass over the breaks the carving loop recorded.
#include "carving/JoinPass.h"

#include <optional>
#include <utility>

namespace snapsalvager {

void TJoinPass::Run(TCarvingFindings findings, uint32_t sectorSize) const {
  if (findings.Breaks.empty() || Stopped() || sectorSize != 512) return;
  TJoinSearch search;
  search.Read = Read;
  search.EndSector = Base + Total;
  search.Clusters = CardClusterGeometry(search.Read, Base, findings.FileStarts);
  // The first pieces are photos' own sectors too.
  for (const TPhotoBreak& b : findings.Breaks)
    findings.Claimed.push_back({b.FirstSector, b.FirstSector + b.BreakOffset / 512});
  search.Claimed = MergedRuns(std::move(findings.Claimed));
  search.Stopped = Stopped;
  const auto count = static_cast<uint32_t>(findings.Breaks.size());
  uint32_t k = 0;
  for (; k < count && !Stopped(); ++k) {
    if (PauseCheckpoint()) break;
    Progress(k, count);
    std::optional<TJoinedPhoto> photo = FindSecondPiece(search, findings.Breaks[k]);
    if (!photo) continue;
    // Its second piece is the joined photo's own now.
    search.Claimed.push_back({photo->SecondSector, photo->SecondSector + (photo->SecondBytes + 511) / 512});
    search.Claimed = MergedRuns(std::move(search.Claimed));
    Joined(std::move(*photo));
  }
  Progress(k, count);  // where the search ended
}

}  // namespace snapsalvager
