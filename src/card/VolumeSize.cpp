// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
#include "card/VolumeSize.h"

namespace snapsalvager {
namespace {

// Past any card or disk there is (2^41 sectors: 1 PiB): doubling stops here.
constexpr uint64_t kMostSectors = uint64_t{1} << 41;
constexpr uint32_t kImageHeads = 255;
constexpr uint32_t kImageSectorsPerTrack = 63;

}  // namespace

int64_t MeasureByReading(TVolumeQueries& volume) {
  if (!volume.CanRead(0)) return -1;
  uint64_t readable = 0;  // a sector known to read
  uint64_t beyond = 1;    // a sector known not to, once the doubling has found one
  while (volume.CanRead(beyond)) {
    readable = beyond;
    if (beyond >= kMostSectors) return static_cast<int64_t>((readable + 1) * kMeasuredSectorSize);
    beyond *= 2;
  }
  while (beyond - readable > 1) {
    const uint64_t middle = readable + (beyond - readable) / 2;
    if (volume.CanRead(middle)) {
      readable = middle;
    } else {
      beyond = middle;
    }
  }
  return static_cast<int64_t>((readable + 1) * kMeasuredSectorSize);
}

bool VolumeLength(TVolumeQueries& volume, int64_t& bytes) {
  int64_t length = 0;
  if (volume.DiskLength(length) && length > 0) {
    bytes = length;
    return true;
  }
  length = MeasureByReading(volume);
  if (length <= 0) return false;
  bytes = length;
  return true;
}

bool VolumeGeometry(TVolumeQueries& volume, bool removable, TDiskGeometry& geometry) {
  TDiskGeometry g;
  if (volume.DiskGeometry(g) && g.BytesPerSector != 0) {
    geometry = g;
    return true;
  }
  int64_t length = 0;
  if (!VolumeLength(volume, length)) return false;
  const uint64_t cylinderBytes = uint64_t{kImageHeads} * kImageSectorsPerTrack * kMeasuredSectorSize;
  g = TDiskGeometry{};
  g.MediaKind = removable ? 2 : 3;
  g.Removable = removable ? 1 : 0;
  g.Cylinders = static_cast<uint32_t>(static_cast<uint64_t>(length) / cylinderBytes);
  g.TracksPerCylinder = kImageHeads;
  g.SectorsPerTrack = kImageSectorsPerTrack;
  g.BytesPerSector = kMeasuredSectorSize;
  g.TotalSectors = g.Cylinders * g.TracksPerCylinder * g.SectorsPerTrack;
  geometry = g;
  return true;
}

}  // namespace snapsalvager
