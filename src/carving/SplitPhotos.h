// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Joining photos written in two pieces. A camera writing into a reused card puts a photo
// around the clusters still in use: its first piece, a gap of other data, its second piece.
// The deep scan records where a photo's entropy-coded data broke off; after the scan this
// search looks past each break for the cluster where decoding goes on cleanly to an EOI.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace snapsalvager {

// Where a carved photo's data broke off: its first sector on the card and the bytes before
// the sector where the break was seen (a sector multiple).
struct TPhotoBreak {
  uint64_t FirstSector = 0;
  uint64_t BreakOffset = 0;
};

// Sectors [First, End) that a file's own structure accounts for: never a second piece.
struct TClaimedRun {
  uint64_t First = 0;
  uint64_t End = 0;
};

// Clusters of Sectors sectors begin at every card sector s with s % Sectors == Residue.
struct TClusterGeometry {
  uint32_t Sectors = 1;
  uint32_t Residue = 0;
};

struct TJoinedPhoto {
  uint64_t FirstSector = 0;
  uint64_t FirstBytes = 0;
  uint64_t SecondSector = 0;
  uint64_t SecondBytes = 0;
  std::vector<uint8_t> Bytes;  // the whole photo, first piece then second
};

// Reads count 512-byte card sectors from sector on; false when they cannot be read.
using TSectorReader = std::function<bool(uint64_t sector, uint32_t count, uint8_t* out)>;

struct TJoinSearch {
  TSectorReader Read;
  uint64_t EndSector = 0;  // the sector after the last one that may be read
  TClusterGeometry Clusters;
  std::vector<TClaimedRun> Claimed;  // sorted by First, not overlapping
  std::function<bool()> Stopped;     // empty: never
};

// The runs sorted and merged where they touch, as TJoinSearch::Claimed wants them.
std::vector<TClaimedRun> MergedRuns(std::vector<TClaimedRun> runs);

// A second piece lies at most this far behind its first piece's end: the search is bounded.
inline constexpr uint64_t kMaxGapBytes = 64ull << 20;

// The cluster geometry of a card: from the FAT boot sector at its first sector (or that of
// the first partition an MBR names), else learnt from where files start, else single sectors.
TClusterGeometry CardClusterGeometry(const TSectorReader& read, uint64_t firstSector,
                                     const std::vector<uint64_t>& fileStarts);

// Looks for the second piece of the photo that broke off at brk. Gaps of whole clusters are
// tried in rising order; the first join that decodes cleanly to the EOI and takes no claimed
// sector is the answer.
std::optional<TJoinedPhoto> FindSecondPiece(const TJoinSearch& search, const TPhotoBreak& brk);

}  // namespace snapsalvager
