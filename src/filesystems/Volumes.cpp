// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
#include "filesystems/Volumes.h"

#include <cstring>

#include "filesystems/Bytes.h"

namespace snapsalvager::filesystems {
namespace {

bool PowerOfTwo(uint64_t v) { return v != 0 && (v & (v - 1)) == 0; }

std::optional<Geometry> ReadExfat(std::span<const uint8_t> s, uint64_t volumeOffset) {
  if (std::memcmp(s.data() + 3, "EXFAT   ", 8) != 0) return std::nullopt;
  for (size_t i = 11; i < 64; ++i) {
    if (s[i] != 0) return std::nullopt;  // the FAT BPB area must be zero on exFAT
  }
  const uint8_t sectorShift = U8(s, 108), clusterShift = U8(s, 109);
  if (sectorShift < 9 || sectorShift > 12 || clusterShift > 25 - sectorShift) return std::nullopt;
  Geometry g;
  g.Kind = FsKind::Exfat;
  g.VolumeOffset = volumeOffset;
  g.BytesPerSector = 1u << sectorShift;
  g.SectorsPerCluster = 1u << clusterShift;
  const uint64_t volumeSectors = U64(s, 72);
  const uint32_t fatOffset = U32(s, 80), fatLength = U32(s, 84);
  const uint32_t heapOffset = U32(s, 88), clusterCount = U32(s, 92);
  g.FatCount = U8(s, 110);
  if (g.FatCount < 1 || g.FatCount > 2 || fatOffset < 24 || fatLength == 0 ||
      heapOffset < fatOffset + uint64_t{fatLength} * g.FatCount || clusterCount == 0 ||
      clusterCount > 0xFFFFFFF5u || volumeSectors == 0 || volumeSectors > (uint64_t{1} << 52)) {
    return std::nullopt;
  }
  // The FAT must hold an entry for every cluster.
  if (uint64_t{fatLength} * g.BytesPerSector < (uint64_t{clusterCount} + 2) * 4) return std::nullopt;
  g.FatOffset = volumeOffset + uint64_t{fatOffset} * g.BytesPerSector;
  g.FatBytes = uint64_t{fatLength} * g.BytesPerSector;
  g.DataOffset = volumeOffset + uint64_t{heapOffset} * g.BytesPerSector;
  g.ClusterCount = clusterCount;
  g.RootCluster = U32(s, 96);
  g.VolumeBytes = volumeSectors * g.BytesPerSector;
  if (g.RootCluster < 2 || g.RootCluster > clusterCount + 1) return std::nullopt;
  return g;
}

std::optional<Geometry> ReadFat(std::span<const uint8_t> s, uint64_t volumeOffset) {
  if (s[0] != 0xEB && s[0] != 0xE9) return std::nullopt;
  const uint32_t bytesPerSector = U16(s, 11);
  const uint32_t sectorsPerCluster = U8(s, 13);
  const uint32_t reserved = U16(s, 14);
  const uint32_t fats = U8(s, 16);
  const uint32_t rootEntries = U16(s, 17);
  const uint32_t totalSectors = U16(s, 19) != 0 ? U16(s, 19) : U32(s, 32);
  const uint32_t fatSectors = U16(s, 22) != 0 ? U16(s, 22) : U32(s, 36);
  const uint8_t media = U8(s, 21);
  if (!PowerOfTwo(bytesPerSector) || bytesPerSector < 512 || bytesPerSector > 4096 ||
      !PowerOfTwo(sectorsPerCluster) || sectorsPerCluster > 128 || reserved == 0 || fats == 0 ||
      fats > 4 || fatSectors == 0 || totalSectors == 0 || (media != 0xF0 && media < 0xF8)) {
    return std::nullopt;
  }
  const uint64_t rootSectors = (uint64_t{rootEntries} * 32 + bytesPerSector - 1) / bytesPerSector;
  const uint64_t metaSectors = reserved + uint64_t{fats} * fatSectors + rootSectors;
  if (metaSectors >= totalSectors) return std::nullopt;
  const uint64_t clusters = (totalSectors - metaSectors) / sectorsPerCluster;
  Geometry g;
  g.Kind = clusters < 4085 ? FsKind::Fat12 : clusters < 65525 ? FsKind::Fat16 : FsKind::Fat32;
  if (clusters == 0 || clusters > 0x0FFFFFF5) return std::nullopt;
  g.VolumeOffset = volumeOffset;
  g.BytesPerSector = bytesPerSector;
  g.SectorsPerCluster = sectorsPerCluster;
  g.FatCount = fats;
  g.FatOffset = volumeOffset + uint64_t{reserved} * bytesPerSector;
  g.FatBytes = uint64_t{fatSectors} * bytesPerSector;
  g.ClusterCount = static_cast<uint32_t>(clusters);
  g.VolumeBytes = uint64_t{totalSectors} * bytesPerSector;
  g.DataOffset = volumeOffset + metaSectors * bytesPerSector;
  const uint64_t entryBits = g.Kind == FsKind::Fat12 ? 12 : g.Kind == FsKind::Fat16 ? 16 : 32;
  if (g.FatBytes * 8 < (clusters + 2) * entryBits) return std::nullopt;
  if (g.Kind == FsKind::Fat32) {
    if (rootEntries != 0) return std::nullopt;
    g.RootCluster = U32(s, 44) & 0x0FFFFFFF;
    if (g.RootCluster < 2 || g.RootCluster > clusters + 1) return std::nullopt;
  } else {
    if (rootEntries == 0) return std::nullopt;
    g.RootOffset = g.FatOffset + uint64_t{fats} * g.FatBytes;
    g.RootBytes = rootEntries * 32;
  }
  return g;
}

}  // namespace

std::optional<uint64_t> Geometry::ClusterOffset(uint32_t cluster) const {
  if (cluster < 2 || cluster - 2 >= ClusterCount) return std::nullopt;
  return DataOffset + uint64_t{cluster - 2} * ClusterBytes();
}

std::optional<uint32_t> Geometry::ClusterAt(uint64_t offset) const {
  if (offset < DataOffset || ClusterBytes() == 0) return std::nullopt;
  const uint64_t delta = offset - DataOffset;
  if (delta % ClusterBytes() != 0 || delta / ClusterBytes() >= ClusterCount) return std::nullopt;
  return static_cast<uint32_t>(delta / ClusterBytes() + 2);
}

std::optional<Geometry> ReadBootSector(std::span<const uint8_t> sector, uint64_t volumeOffset) {
  if (sector.size() < 512 || U16(sector, 510) != 0xAA55) return std::nullopt;
  if (auto g = ReadExfat(sector, volumeOffset)) return g;
  return ReadFat(sector, volumeOffset);
}

std::optional<Geometry> ReadVolume(std::span<const uint8_t> head, uint64_t volumeOffset) {
  if (auto g = ReadBootSector(Slice(head, 0, 512), volumeOffset)) return g;
  for (uint32_t sectorSize = 512; sectorSize <= 4096; sectorSize *= 2) {
    for (uint32_t backup : {6u, 12u}) {
      auto g = ReadBootSector(Slice(head, uint64_t{backup} * sectorSize, 512), volumeOffset);
      if (!g || g->BytesPerSector != sectorSize) continue;
      if ((g->Kind == FsKind::Exfat) != (backup == 12) || (backup == 6 && g->Kind != FsKind::Fat32)) continue;
      g->FromBackup = true;
      return g;
    }
  }
  return std::nullopt;
}

std::vector<uint64_t> PartitionOffsets(std::span<const uint8_t> cardHead, uint32_t sectorSize) {
  std::vector<uint64_t> starts;
  if (sectorSize < 512 || sectorSize > 4096 || cardHead.size() < 512) return starts;
  if (U16(cardHead, 510) != 0xAA55) return {0};
  // A volume from sector 0 (no table): its boot sector is the first sector.
  if (ReadBootSector(cardHead.first(512), 0)) return {0};
  bool protective = false;
  for (int i = 0; i < 4; ++i) {
    const size_t e = 446 + 16 * i;
    const uint8_t status = U8(cardHead, e), type = U8(cardHead, e + 4);
    if (status != 0 && status != 0x80) return {};  // not a partition table
    if (type == 0xEE) protective = true;
    if (type == 0 || type == 0x05 || type == 0x0F || type == 0x85 || type == 0xEE) continue;
    const uint32_t first = U32(cardHead, e + 8), count = U32(cardHead, e + 12);
    if (first != 0 && count != 0) starts.push_back(uint64_t{first} * sectorSize);
  }
  if (protective) {
    const auto header = Slice(cardHead, sectorSize, 92);
    if (header.size() == 92 && std::memcmp(header.data(), "EFI PART", 8) == 0) {
      const uint64_t entriesLba = U64(header, 72);
      const uint32_t entryCount = U32(header, 80), entrySize = U32(header, 84);
      if (entrySize >= 128 && entrySize <= 4096 && entriesLba < (uint64_t{1} << 40)) {
        for (uint32_t i = 0; i < entryCount && i < 256; ++i) {
          const auto entry = Slice(cardHead, entriesLba * sectorSize + uint64_t{i} * entrySize, 128);
          if (entry.empty()) break;
          bool used = false;
          for (int b = 0; b < 16; ++b) used |= entry[b] != 0;
          const uint64_t first = U64(entry, 32);
          if (used && first != 0 && first < (uint64_t{1} << 48)) starts.push_back(first * sectorSize);
        }
      }
    }
  }
  return starts;
}

}  // namespace snapsalvager::filesystems
