// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Where the FAT and exFAT volumes on a card start and how each is laid out: partition tables
// (MBR, GPT) and boot sectors (with the backup copy when the first is damaged). Pure
// functions over bytes the caller read; every offset is checked against the span.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace snapsalvager::filesystems {

enum class FsKind { Fat12, Fat16, Fat32, Exfat };

struct Geometry {
  FsKind Kind = FsKind::Fat32;
  uint64_t VolumeOffset = 0;   // card byte offset of the boot sector
  uint32_t BytesPerSector = 512;
  uint32_t SectorsPerCluster = 1;
  uint64_t FatOffset = 0;      // card byte offset of the first FAT
  uint64_t FatBytes = 0;       // bytes of one FAT
  uint32_t FatCount = 1;
  uint64_t RootOffset = 0;     // FAT12/16: card byte offset of the fixed root folder
  uint32_t RootBytes = 0;      // FAT12/16: its length
  uint32_t RootCluster = 0;    // FAT32, exFAT: first cluster of the root folder
  uint64_t DataOffset = 0;     // card byte offset of cluster 2
  uint32_t ClusterCount = 0;   // clusters 2 .. ClusterCount + 1 exist
  uint64_t VolumeBytes = 0;
  bool FromBackup = false;     // read from the backup boot sector

  uint32_t ClusterBytes() const { return BytesPerSector * SectorsPerCluster; }
  // Card byte offset of a cluster, or nothing outside the volume's clusters.
  std::optional<uint64_t> ClusterOffset(uint32_t cluster) const;
  // The cluster starting at a card byte offset, or nothing when none starts there.
  std::optional<uint32_t> ClusterAt(uint64_t offset) const;
};

// A boot sector's geometry, or nothing when the bytes are not a FAT12/16/32 or exFAT boot
// sector with sane fields. volumeOffset: where on the card the sector was read.
std::optional<Geometry> ReadBootSector(std::span<const uint8_t> sector, uint64_t volumeOffset);

// The volume starting at volumeOffset: its boot sector, else the backup (FAT32 sector 6,
// exFAT sector 12) for each sector size. head: the volume's first bytes (at least 13 sectors
// to reach the exFAT backup at 512-byte sectors; less finds what it can).
std::optional<Geometry> ReadVolume(std::span<const uint8_t> head, uint64_t volumeOffset);

// Card byte offsets where partitions of the card start, from the MBR and GPT in the card's
// first bytes (34 sectors of 512 hold a usual GPT and its entries). A card without a
// partition table (a volume from sector 0) gives {0}; an empty table gives nothing.
std::vector<uint64_t> PartitionOffsets(std::span<const uint8_t> cardHead, uint32_t sectorSize = 512);

}  // namespace snapsalvager::filesystems
