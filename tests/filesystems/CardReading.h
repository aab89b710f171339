// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Reads a card image the way the scan will: the partition table and boot sector from its
// head, then every sector once, in order, through the FolderFinder; the entries with paths.
#pragma once

#include <algorithm>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "filesystems/FolderFinder.h"
#include "filesystems/FolderTree.h"
#include "filesystems/Volumes.h"

namespace snapsalvager::filesystems::testing {

struct CardRead {
  std::optional<Geometry> Volume;
  std::vector<FoundFolder> Folders;
  std::vector<NamedEntry> Entries;
};

// How the finder learns the live volume: from the sectors it is fed, from the caller, or not.
enum class Live { Found, Given, None };

inline CardRead ReadCard(const std::vector<uint8_t>& image, Live live = Live::Found, size_t chunk = 64 * 1024) {
  CardRead read;
  const std::span<const uint8_t> card(image);
  const auto partitions = PartitionOffsets(card.first(std::min<size_t>(card.size(), 34 * 512)));
  const uint64_t start = partitions.empty() ? 0 : partitions.front();
  if (start < card.size()) {
    read.Volume = ReadVolume(card.subspan(start, std::min<size_t>(card.size() - start, 64 * 1024)), start);
  }
  FolderFinderOptions options;
  options.FindVolume = live == Live::Found;
  FolderFinder finder(512, options);
  if (live == Live::Given && read.Volume) {
    finder.UseLiveVolume(*read.Volume, card.subspan(read.Volume->FatOffset, read.Volume->FatBytes));
    finder.ExpectRoot();
  }
  for (size_t at = 0; at < card.size(); at += chunk) {
    finder.Feed(at, card.subspan(at, std::min(chunk, card.size() - at)));
  }
  finder.Finish();
  if (live == Live::Found && read.Volume) {
    // The finder read the same volume from the sectors as they passed.
    if (!finder.Volume() || finder.Volume()->DataOffset != read.Volume->DataOffset ||
        finder.Volume()->RootCluster != read.Volume->RootCluster) {
      read.Volume.reset();
    }
  }
  read.Folders = finder.Folders();
  std::optional<ClusterLayout> layout;
  if (read.Volume) layout = LayoutOf(*read.Volume);
  read.Entries = BuildTree(read.Folders, layout);
  return read;
}

inline std::string PathOf(const NamedEntry& e) {
  std::string path;
  for (const auto& folder : e.Folder) path += folder + "/";
  return path + e.Entry.Name;
}

// The entry at that path ("DCIM/100CANON/IMG_0001.JPG"), live or deleted as asked.
inline const NamedEntry* FindEntry(const std::vector<NamedEntry>& entries, const std::string& path,
                                   bool deleted = false) {
  for (const auto& e : entries) {
    if (PathOf(e) == path && e.Entry.Deleted == deleted) return &e;
  }
  return nullptr;
}

}  // namespace snapsalvager::filesystems::testing
