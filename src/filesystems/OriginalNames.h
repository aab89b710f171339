// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Which directory entry names a found file: the entry whose first cluster starts where the
// file was found; when two claim one start (a deleted file, then a new one there), the one
// whose size and extension agree with the found file. Pure: no I/O.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "filesystems/FolderTree.h"

namespace snapsalvager::filesystems {

struct FoundStart {
  uint64_t StartSector = 0;  // where the file's header was found on the card
  uint64_t Length = 0;       // carved bytes
  std::string Ext;           // the found type ("JPG", "MOV")
};

// True when an entry's name extension fits a found type ("JPEG" fits "JPG").
bool ExtensionFits(std::string_view entryName, std::string_view foundExt);

// For each found file, the index in entries of the entry that names it, or nothing. An entry
// names at most one file; an entry agreeing with neither the type nor the size is not used.
std::vector<std::optional<size_t>> MatchOriginalNames(std::span<const FoundStart> files,
                                                      std::span<const NamedEntry> entries,
                                                      const ClusterLayout& layout, uint32_t sectorSize = 512);

}  // namespace snapsalvager::filesystems
