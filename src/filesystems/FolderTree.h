// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Found folders linked into paths ("DCIM/100CANON"): by "."/".." clusters on FAT and by the
// parent's entry on exFAT; the cluster layout that best explains the found files after a
// format changed it. Pure functions over what the FolderFinder kept.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "filesystems/FolderFinder.h"
#include "filesystems/Volumes.h"

namespace snapsalvager::filesystems {

// Where clusters lie on the card: cluster 2 at DataOffset, each ClusterBytes long.
struct ClusterLayout {
  uint64_t DataOffset = 0;
  uint32_t ClusterBytes = 0;
  std::optional<uint64_t> Offset(uint32_t cluster) const;
  std::optional<uint32_t> ClusterAt(uint64_t offset) const;
  bool operator==(const ClusterLayout&) const = default;
};
ClusterLayout LayoutOf(const Geometry& geometry);

// A file entry with the folders it lies in, root first (untrusted names).
struct NamedEntry {
  DirEntry Entry;
  std::vector<std::string> Folder;
  bool Orphan = false;  // the top folder's parent was not found: the path starts there
};

// The prefix of folders whose name was lost; "Folder0001" and so on, in card order.
constexpr const char* kUnnamedFolderPrefix = "Folder";
// The name the camera standard gives the folder holding "100CANON"-style folders.
constexpr const char* kCameraFolder = "DCIM";
constexpr size_t kMaxFolderDepth = 32;

// Every file entry of the folders (no folders, labels, "." or ".."), with its path. layout,
// when known, gives exFAT folders their clusters and prefers, among two folders claiming one
// cluster, the one lying where the layout puts it.
std::vector<NamedEntry> BuildTree(const std::vector<FoundFolder>& folders,
                                  const std::optional<ClusterLayout>& layout);

// A stretch of the card a file's bytes take, in file order.
struct EntryRun {
  uint64_t Offset = 0;
  uint64_t Length = 0;
  bool operator==(const EntryRun&) const = default;
};
// Where a file's bytes lie by its entry, cut to its recorded size: one run when its clusters
// follow each other (exFAT's NoFatChain, or a chain in liveFat that runs straight), the
// chain's runs when it lies in pieces. Empty when the entry cannot tell: no size, a chain
// not in liveFat (null: the layout is not the live volume's; a deleted entry's chain is
// gone), broken, looping or not as long as the size.
std::vector<EntryRun> EntryRuns(const DirEntry& entry, const ClusterLayout& layout, const FatTable* liveFat);

// Layouts the found folders imply: a FAT folder's "." cluster at its offset, for each cluster
// size from the sector size to 64 KiB; exFAT folders paired with the directory entries that
// may point at them (bounded). The volumes' own layouts first, then the 64 implied by the
// most folders.
std::vector<ClusterLayout> CandidateLayouts(const std::vector<FoundFolder>& folders,
                                            std::span<const Geometry> volumes, uint32_t sectorSize = 512);

struct LayoutScore {
  ClusterLayout Layout;
  size_t Hits = 0;  // file entries whose first cluster starts a found file
};
// The candidate whose layout makes the most file entries' first clusters fall on the found
// files' start sectors (sorted ascending); the first such candidate on a tie.
LayoutScore BestLayout(const std::vector<FoundFolder>& folders, std::span<const ClusterLayout> candidates,
                       std::span<const uint64_t> sortedStartSectors, uint32_t sectorSize = 512);

}  // namespace snapsalvager::filesystems
