// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// A file allocation table read from its bytes: the next cluster of a chain and whole chains,
// followed at most to a cap and stopped at a loop. Works for FAT12/16/32 and exFAT's FAT.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "filesystems/Volumes.h"

namespace snapsalvager::filesystems {

struct Chain {
  std::vector<uint32_t> Clusters;
  bool Complete = false;  // ended at an end-of-chain mark
  bool Loop = false;      // came back to a cluster already in the chain
};

class FatTable {
 public:
  // fat: the table's bytes (the caller's copy; kept by reference, must outlive this object).
  // clusterCount: clusters 2 .. clusterCount + 1 exist; others end a chain as broken.
  FatTable(FsKind kind, std::span<const uint8_t> fat, uint32_t clusterCount);

  // The raw entry of a cluster (masked to 28 bits on FAT32), 0 when beyond the table.
  uint32_t Entry(uint32_t cluster) const;
  bool IsEnd(uint32_t entry) const;
  bool IsFree(uint32_t cluster) const { return Entry(cluster) == 0; }

  // The chain from first, at most maxClusters long. exFAT files marked contiguous
  // (NoFatChain) are not in the FAT: the caller computes their clusters from the length.
  Chain Follow(uint32_t first, size_t maxClusters) const;

 private:
  FsKind kind_;
  std::span<const uint8_t> fat_;
  uint32_t cluster_count_;
};

}  // namespace snapsalvager::filesystems
