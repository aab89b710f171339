// Folders found in the one pass over the card: the caller feeds the sectors as they pass and
// the finder keeps only the small entries of folder clusters: those it is told to expect
// (the live root, live folders' clusters from the FAT) and those it recognises by content,
// as after a quick format (FAT: "." and ".." first; exFAT: entry sets with valid checksums).
#pragma once

#include <cstdint>
#include <map>
#include <span>
#include <vector>

#include "filesystems/DirectoryEntries.h"

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

struct FolderFinderLimits {
  uint32_t MaxFolderBytes = 1u << 20;   // one folder found by content is read at most this far
  size_t MaxFolders = 1u << 16;
  size_t MaxEntries = 1u << 20;         // all folders together
};

// What the cheap test saw at the start of a sector.
enum class FolderStart { None, Fat, Exfat, ExfatRoot };

// The cheap test: two compares for almost every sector; exFAT candidates are confirmed by
// their first entry set's checksum.
FolderStart LooksLikeFolderStart(std::span<const uint8_t> sector);

class FolderFinder {
 public:
  explicit FolderFinder(uint32_t sectorSize = 512, FolderFinderLimits limits = {});

  // Reads [offset, offset + length) as a folder whatever its first entries are. cluster: its
  // first cluster (0 for FAT12/16's fixed root). Call before the region passes.
  void ExpectFolder(uint64_t offset, uint64_t length, bool exfat, bool root, uint32_t cluster);
  // Card bytes at offset (a multiple of the sector size). Consecutive calls over consecutive
  // bytes let a folder run on past the end of one call.
  void Feed(uint64_t offset, std::span<const uint8_t> bytes);
  // Closes the folders still open (call once the pass is over).
  void Finish();

  const std::vector<FoundFolder>& Folders() const { return folders_; }
  size_t EntryCount() const { return entry_count_; }

 private:
  struct Open {
    FoundFolder Folder;
    std::vector<uint8_t> Bytes;
    uint64_t Wanted = 0;      // expected folders: bytes still to come; 0 for found ones
    bool Active = false;
  };
  void FeedSector(uint64_t offset, std::span<const uint8_t> sector);
  void Close(Open& open);
  bool CoveredByExpected(uint64_t offset) const;

  uint32_t sector_size_;
  FolderFinderLimits limits_;
  std::map<uint64_t, Open> expected_;  // by start offset
  Open found_;
  std::vector<FoundFolder> folders_;
  size_t entry_count_ = 0;
};

}  // namespace snapsalvager::filesystems
