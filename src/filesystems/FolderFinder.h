// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Folders found in the one pass over the card: the caller feeds the sectors as they pass and
// the finder keeps only the small entries of folder clusters. It reads the partition table,
// the boot sector and the FAT as they pass (holding back only the volume's head and FAT until
// they are complete), then the live folders along their chains, and it recognises folder
// clusters by content, as after a quick format (FAT: "." and ".." first; exFAT: entry sets
// with valid checksums).
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "filesystems/DirectoryEntries.h"
#include "filesystems/FatTable.h"
#include "filesystems/Volumes.h"

namespace snapsalvager::filesystems {

struct FoundFolder {
  uint64_t Offset = 0;          // card byte offset of the folder's bytes
  uint64_t Length = 0;          // bytes read as this folder
  bool Exfat = false;
  bool Root = false;            // expected as a root, or an exFAT folder holding the bitmap
  uint32_t SelfCluster = 0;     // FAT: from "."; expected folders: as given; 0 unknown
  uint32_t ParentCluster = 0;   // FAT: from ".." (0: the root)
  bool HasParentEntry = false;  // FAT: a ".." entry was there
  std::vector<DirEntry> Entries;  // without "." and ".."
};

struct FolderFinderOptions {
  uint32_t MaxFolderBytes = 1u << 20;   // one folder found by content is read at most this far
  size_t MaxFolders = 1u << 16;
  size_t MaxEntries = 1u << 20;         // all folders together
  uint64_t MaxExpectedBytes = 16u << 20; // one expected folder (half a million entries)
  uint64_t MaxExpectedTotal = 64u << 20; // all expected folders together, held until they pass
  // Read the volume from the sectors fed (from the card's first sector on): partition table,
  // boot sector (or its backup), FAT. Off: only what UseLiveVolume gives, or nothing.
  bool FindVolume = true;
  uint64_t MaxVolumeHead = 64u << 20;     // boot region and FAT held back, at most
};

// What the cheap test saw at the start of a sector.
enum class FolderStart { None, Fat, Exfat, ExfatRoot };

// The cheap test: two compares for almost every sector; exFAT candidates are confirmed by
// their first entry set's checksum.
FolderStart LooksLikeFolderStart(std::span<const uint8_t> sector);

class FolderFinder {
 public:
  explicit FolderFinder(uint32_t sectorSize = 512, FolderFinderOptions options = {});

  // The live volume, when the caller read its boot sector and FAT before the data area passes
  // (fat: the first FAT's bytes; kept by reference, must outlive the finder); stops the
  // finder's own search. With it a live folder is read whole along its FAT chain (or its
  // exFAT length), and the folders its entries point to are expected too.
  void UseLiveVolume(const Geometry& geometry, std::span<const uint8_t> fat);
  // The live volume, given or found in the sectors fed.
  const std::optional<Geometry>& Volume() const { return live_; }
  // The live volume's FAT, when it was read whole; null otherwise.
  const FatTable* LiveFat() const { return fat_ ? &*fat_ : nullptr; }
  // Expects the live volume's root folder (FAT12/16's fixed root, else its cluster chain).
  void ExpectRoot();
  // Reads the runs (card offset, length), joined in order, as one folder whatever its first
  // entries are. cluster: its first cluster (0 for FAT12/16's fixed root). Call before the
  // runs pass; a run already registered is left out.
  void ExpectFolder(const std::vector<std::pair<uint64_t, uint64_t>>& runs, bool exfat, bool root,
                    uint32_t cluster);
  // Card bytes at offset (a multiple of the sector size), in card order. Consecutive calls
  // over consecutive bytes let a folder run on past the end of one call.
  void Feed(uint64_t offset, std::span<const uint8_t> bytes);
  // Closes the folders still open (call once the pass is over).
  void Finish();

  const std::vector<FoundFolder>& Folders() const { return folders_; }
  size_t EntryCount() const { return entry_count_; }

 private:
  struct Open {
    FoundFolder Folder;
    std::vector<uint8_t> Bytes;
    bool Active = false;
    bool LastSectorEmpty = false;
  };
  struct Piece {
    uint64_t Length = 0;
    size_t Pending = 0;
    size_t Index = 0;
    std::vector<uint8_t> Bytes;
  };
  struct Pending {
    FoundFolder Folder;
    std::vector<std::vector<uint8_t>> Pieces;
    size_t Missing = 0;
    bool Closed = false;
  };
  void FeedSector(uint64_t offset, std::span<const uint8_t> sector);
  // While the volume is sought: keeps the sector back, true when it did.
  bool Hold(uint64_t offset, std::span<const uint8_t> sector);
  void StopWatching();
  void Process(uint64_t offset, std::span<const uint8_t> sector);
  bool FeedExpected(uint64_t offset, std::span<const uint8_t> sector);
  void Close(FoundFolder folder, std::span<const uint8_t> bytes);
  void ClosePending(Pending& pending);
  // The runs of a live folder starting at cluster (FAT chain, or contiguous for exFAT's
  // NoFatChain with its length).
  std::vector<std::pair<uint64_t, uint64_t>> LiveRuns(uint32_t cluster, bool contiguous, uint64_t length) const;

  uint32_t sector_size_;
  FolderFinderOptions limits_;
  enum class Watch { Table, Volume, Done } watch_ = Watch::Table;
  std::vector<uint8_t> held_;       // sectors held back while the volume is sought
  uint64_t held_offset_ = 0;        // card offset of held_[0]
  uint64_t volume_start_ = 0;
  std::vector<uint8_t> fat_bytes_;  // the FAT found by watching
  std::optional<Geometry> live_;
  std::optional<FatTable> fat_;
  std::map<uint64_t, Piece> pieces_;  // expected runs by card offset
  std::vector<Pending> pending_;
  Open found_;
  std::vector<FoundFolder> folders_;
  size_t entry_count_ = 0;
  uint64_t position_ = 0;  // the end of the last sector fed
  uint64_t expected_total_ = 0;
};

}  // namespace snapsalvager::filesystems
