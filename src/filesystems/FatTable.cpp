// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
#include "filesystems/FatTable.h"

#include <unordered_set>

#include "filesystems/Bytes.h"

namespace snapsalvager::filesystems {

FatTable::FatTable(FsKind kind, std::span<const uint8_t> fat, uint32_t clusterCount)
    : kind_(kind), fat_(fat), cluster_count_(clusterCount) {}

uint32_t FatTable::Entry(uint32_t cluster) const {
  switch (kind_) {
    case FsKind::Fat12: {
      const uint64_t at = uint64_t{cluster} + cluster / 2;
      if (at + 1 >= fat_.size()) return 0;
      const uint16_t pair = U16(fat_, at);
      return (cluster & 1) ? pair >> 4 : pair & 0x0FFF;
    }
    case FsKind::Fat16:
      return uint64_t{cluster} * 2 + 1 < fat_.size() ? U16(fat_, size_t{cluster} * 2) : 0;
    case FsKind::Fat32:
      return uint64_t{cluster} * 4 + 3 < fat_.size() ? U32(fat_, size_t{cluster} * 4) & 0x0FFFFFFF : 0;
    case FsKind::Exfat:
      return uint64_t{cluster} * 4 + 3 < fat_.size() ? U32(fat_, size_t{cluster} * 4) : 0;
  }
  return 0;
}

bool FatTable::IsEnd(uint32_t entry) const {
  switch (kind_) {
    case FsKind::Fat12: return entry >= 0xFF8;
    case FsKind::Fat16: return entry >= 0xFFF8;
    case FsKind::Fat32: return entry >= 0x0FFFFFF8;
    case FsKind::Exfat: return entry == 0xFFFFFFFF;
  }
  return true;
}

Chain FatTable::Follow(uint32_t first, size_t maxClusters) const {
  Chain chain;
  std::unordered_set<uint32_t> seen;
  uint32_t cluster = first;
  while (chain.Clusters.size() < maxClusters) {
    if (cluster < 2 || cluster - 2 >= cluster_count_) return chain;  // broken
    if (!seen.insert(cluster).second) {
      chain.Loop = true;
      return chain;
    }
    chain.Clusters.push_back(cluster);
    const uint32_t next = Entry(cluster);
    if (IsEnd(next)) {
      chain.Complete = true;
      return chain;
    }
    cluster = next;
  }
  return chain;
}

}  // namespace snapsalvager::filesystems
