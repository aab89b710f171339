// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
#include "filesystems/FolderTree.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>
#include <unordered_map>

namespace snapsalvager::filesystems {
namespace {

constexpr size_t kMaxExfatPairs = 1u << 14;
// Entries pointing at one folder that are weighed for its name (a real card has one or two).
constexpr size_t kMaxPointers = 16;
// Layouts implied by the folders that are tried against the files: the most agreed on.
constexpr size_t kMaxImpliedLayouts = 64;

// A camera folder name: three digits, then five upper-case letters, digits or '_'.
bool CameraFolderName(const std::string& name) {
  if (name.size() != 8) return false;
  for (size_t i = 0; i < 8; ++i) {
    const char c = name[i];
    const bool digit = c >= '0' && c <= '9';
    if (i < 3 ? !digit : !(digit || (c >= 'A' && c <= 'Z') || c == '_')) return false;
  }
  return true;
}

}  // namespace

std::optional<uint64_t> ClusterLayout::Offset(uint32_t cluster) const {
  if (cluster < 2 || ClusterBytes == 0) return std::nullopt;
  return DataOffset + uint64_t{cluster - 2} * ClusterBytes;
}

std::vector<EntryRun> EntryRuns(const DirEntry& entry, const ClusterLayout& layout, const FatTable* liveFat) {
  const std::optional<uint64_t> first = layout.Offset(entry.FirstCluster);
  if (entry.Size == 0 || !first || entry.IsDirectory()) return {};
  if (entry.Contiguous) return {{*first, entry.Size}};
  if (liveFat == nullptr || entry.Deleted) return {};
  const uint64_t clusters = entry.Size / layout.ClusterBytes + (entry.Size % layout.ClusterBytes != 0);
  // One more than the size needs, so a chain longer than the file is seen as such; a chain
  // never repeats a cluster, so it is no longer than the table.
  const Chain chain = liveFat->Follow(entry.FirstCluster, static_cast<size_t>(std::min<uint64_t>(clusters, SIZE_MAX - 1) + 1));
  if (!chain.Complete || chain.Clusters.size() != clusters) return {};
  std::vector<EntryRun> runs;
  uint64_t left = entry.Size;
  for (const uint32_t cluster : chain.Clusters) {
    const uint64_t offset = *layout.Offset(cluster);
    const uint64_t length = std::min<uint64_t>(left, layout.ClusterBytes);
    if (!runs.empty() && runs.back().Offset + runs.back().Length == offset) {
      runs.back().Length += length;
    } else {
      runs.push_back({offset, length});
    }
    left -= length;
  }
  return runs;
}

std::optional<uint32_t> ClusterLayout::ClusterAt(uint64_t offset) const {
  if (ClusterBytes == 0 || offset < DataOffset || (offset - DataOffset) % ClusterBytes != 0) return std::nullopt;
  const uint64_t index = (offset - DataOffset) / ClusterBytes + 2;
  if (index > 0xFFFFFFFFu) return std::nullopt;
  return static_cast<uint32_t>(index);
}

ClusterLayout LayoutOf(const Geometry& g) { return {g.DataOffset, g.ClusterBytes()}; }

std::vector<NamedEntry> BuildTree(const std::vector<FoundFolder>& folders,
                                  const std::optional<ClusterLayout>& layout) {
  const size_t n = folders.size();
  std::vector<uint32_t> self(n, 0);
  std::unordered_map<uint32_t, size_t> byCluster;  // cluster -> the folder taken for it
  for (size_t i = 0; i < n; ++i) {
    const FoundFolder& f = folders[i];
    self[i] = f.SelfCluster;
    if (self[i] == 0 && layout) self[i] = layout->ClusterAt(f.Offset).value_or(0);
    if (self[i] < 2) continue;
    auto [it, inserted] = byCluster.emplace(self[i], i);
    // Two folders claim one cluster (an old one and the one that replaced it): the one where
    // the layout puts that cluster wins, else the first (card order).
    if (!inserted && layout && layout->Offset(self[i]) == f.Offset &&
        layout->Offset(self[it->second]) != folders[it->second].Offset) {
      it->second = i;
    }
  }
  // Directory entries that point at a cluster: where a folder's name comes from.
  struct Pointer {
    size_t Folder;
    const DirEntry* Entry;
  };
  std::unordered_map<uint32_t, std::vector<Pointer>> pointers;
  for (size_t i = 0; i < n; ++i) {
    for (const auto& e : folders[i].Entries) {
      if (e.IsDirectory() && e.FirstCluster >= 2 && byCluster.count(e.FirstCluster)) {
        auto& list = pointers[e.FirstCluster];
        if (list.size() < kMaxPointers) list.push_back({i, &e});
      }
    }
  }
  // Each folder's parent (index, or n for the root / unknown) and name.
  std::vector<size_t> parent(n, n);
  std::vector<std::string> name(n);
  std::vector<bool> topLevel(n, false);  // parent is the root (FAT ".." = 0, or found in a root)
  std::vector<bool> taken(n, false);     // the folder is the one chosen for its cluster
  for (size_t i = 0; i < n; ++i) taken[i] = self[i] < 2 || byCluster.at(self[i]) == i;
  for (size_t i = 0; i < n; ++i) {
    const FoundFolder& f = folders[i];
    if (f.Root) continue;
    std::optional<size_t> fatParent;
    if (!f.Exfat && f.HasParentEntry) {
      if (f.ParentCluster == 0) {
        topLevel[i] = true;
      } else if (auto it = byCluster.find(f.ParentCluster); it != byCluster.end() && it->second != i) {
        fatParent = it->second;
      }
    }
    const Pointer* best = nullptr;
    if (auto it = pointers.find(self[i]); it != pointers.end()) {
      for (const Pointer& p : it->second) {
        const auto rank = [&](const Pointer* q) {
          const bool qIn = fatParent ? q->Folder == *fatParent : (topLevel[i] && folders[q->Folder].Root);
          return (qIn ? 4 : 0) + (q->Entry->Deleted ? 0 : 2) + (taken[q->Folder] ? 1 : 0);
        };
        if (p.Folder != i && (!best || rank(&p) > rank(best))) best = &p;
      }
    }
    if (best) name[i] = best->Entry->Name;
    if (fatParent) {
      parent[i] = *fatParent;
    } else if (best && !topLevel[i]) {
      if (folders[best->Folder].Root) {
        topLevel[i] = true;
      } else if (f.Exfat || !f.HasParentEntry) {
        parent[i] = best->Folder;
      }
    }
  }
  // Nameless folders: "DCIM" for a top (or parentless) one holding a camera folder, as after
  // a format took the root; else numbered.
  std::set<size_t> holdsCameraFolder;
  for (size_t i = 0; i < n; ++i) {
    if (parent[i] < n && CameraFolderName(name[i])) holdsCameraFolder.insert(parent[i]);
  }
  int unnamed = 0;
  for (size_t i = 0; i < n; ++i) {
    if (folders[i].Root || !name[i].empty()) continue;
    if ((topLevel[i] || parent[i] >= n) && holdsCameraFolder.count(i)) {
      name[i] = kCameraFolder;
    } else {
      char text[32];
      std::snprintf(text, sizeof text, "%s%04d", kUnnamedFolderPrefix, ++unnamed);
      name[i] = text;
    }
  }
  std::vector<NamedEntry> named;
  for (size_t i = 0; i < n; ++i) {
    std::vector<std::string> path;
    bool orphan = false;
    if (!folders[i].Root) {
      std::vector<size_t> seen;  // at most kMaxFolderDepth long
      size_t at = i;
      while (true) {
        seen.push_back(at);
        path.push_back(name[at]);
        if (topLevel[at]) break;
        const size_t up = parent[at];
        if (up < n && folders[up].Root) break;
        if (up >= n || std::find(seen.begin(), seen.end(), up) != seen.end() || path.size() >= kMaxFolderDepth) {
          orphan = true;  // the path starts at the highest folder found
          break;
        }
        at = up;
      }
      std::reverse(path.begin(), path.end());
    }
    for (const DirEntry& e : folders[i].Entries) {
      if (e.IsDirectory() || e.IsVolumeLabel() || e.IsDot()) continue;
      named.push_back({e, path, orphan});
    }
  }
  return named;
}

std::vector<ClusterLayout> CandidateLayouts(const std::vector<FoundFolder>& folders,
                                            std::span<const Geometry> volumes, uint32_t sectorSize) {
  std::vector<ClusterLayout> candidates;
  for (const Geometry& g : volumes) {
    const ClusterLayout l = LayoutOf(g);
    if (l.ClusterBytes != 0 && std::find(candidates.begin(), candidates.end(), l) == candidates.end()) {
      candidates.push_back(l);
    }
  }
  // Each folder whose cluster is known votes for the layout of every cluster size that puts
  // it where it was found; the true layout gets a vote from every folder.
  std::map<std::pair<uint64_t, uint32_t>, size_t> votes;
  const auto vote = [&](uint64_t offset, uint32_t cluster) {
    for (uint32_t bytes = std::max<uint32_t>(sectorSize, 512); bytes <= 65536; bytes *= 2) {
      const uint64_t before = uint64_t{cluster - 2} * bytes;
      if (offset >= before) ++votes[{offset - before, bytes}];
    }
  };
  for (const FoundFolder& f : folders) {
    if (!f.Exfat && f.SelfCluster >= 2) vote(f.Offset, f.SelfCluster);
  }
  size_t pairs = 0;
  for (const FoundFolder& f : folders) {
    if (!f.Exfat || f.Root) continue;
    for (const FoundFolder& p : folders) {
      if (!p.Exfat || pairs > kMaxExfatPairs) continue;
      for (const DirEntry& e : p.Entries) {
        if (!e.IsDirectory() || e.FirstCluster < 2 || ++pairs > kMaxExfatPairs) continue;
        vote(f.Offset, e.FirstCluster);
      }
    }
  }
  std::vector<std::pair<size_t, ClusterLayout>> ranked;
  for (const auto& [layout, count] : votes) ranked.push_back({count, {layout.first, layout.second}});
  std::stable_sort(ranked.begin(), ranked.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
  for (size_t i = 0; i < ranked.size() && i < kMaxImpliedLayouts; ++i) {
    if (std::find(candidates.begin(), candidates.end(), ranked[i].second) == candidates.end()) {
      candidates.push_back(ranked[i].second);
    }
  }
  return candidates;
}

LayoutScore BestLayout(const std::vector<FoundFolder>& folders, std::span<const ClusterLayout> candidates,
                       std::span<const uint64_t> sortedStartSectors, uint32_t sectorSize) {
  LayoutScore best;
  if (sectorSize == 0) return best;
  for (const ClusterLayout& layout : candidates) {
    size_t hits = 0;
    for (const FoundFolder& f : folders) {
      for (const DirEntry& e : f.Entries) {
        if (e.IsDirectory() || e.Size == 0) continue;
        const auto offset = layout.Offset(e.FirstCluster);
        if (!offset || *offset % sectorSize != 0) continue;
        hits += std::binary_search(sortedStartSectors.begin(), sortedStartSectors.end(), *offset / sectorSize);
      }
    }
    if (hits > best.Hits || best.Layout.ClusterBytes == 0) best = {layout, hits};
  }
  return best;
}

}  // namespace snapsalvager::filesystems
