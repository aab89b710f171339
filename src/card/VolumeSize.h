// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The size and geometry of a volume, from the disk's own answers when it gives them, else
// measured by reading: some drivers (and wine) refuse the disk queries on a volume they
// read perfectly well. Plain logic over TVolumeQueries, so both ways are tested anywhere.
#pragma once

#include <cstdint>

#include "card/DriveReads.h"

namespace snapsalvager {

// What a volume answers. The disk queries stand for IOCTL_DISK_GET_LENGTH_INFO and
// IOCTL_DISK_GET_DRIVE_GEOMETRY; false when the driver refuses them.
class TVolumeQueries {
 public:
  virtual ~TVolumeQueries() = default;
  virtual bool DiskLength(int64_t& bytes) = 0;
  virtual bool DiskGeometry(TDiskGeometry& geometry) = 0;
  // Whether the 512-byte sector with this number reads whole.
  virtual bool CanRead(uint64_t sector) = 0;
};

// The unit a volume is measured in when it is measured by reading.
inline constexpr uint32_t kMeasuredSectorSize = 512;

// Bytes up to the first sector that no longer reads: found by doubling, then halving, so a
// 64 GB card costs about 50 reads. -1 when not even the first sector reads. A bad sector at
// one of the probed numbers ends the volume early there; the scan's own reads still stop at
// the real end, and a size that looks wrong makes the window ask for the capacity.
int64_t MeasureByReading(TVolumeQueries& volume);
// The disk's length, else the measured one. False when neither gives one.
bool VolumeLength(TVolumeQueries& volume, int64_t& bytes);
// The disk's geometry, else the one a disk image has (255 heads, 63 sectors per track,
// 512-byte sectors) over the length, as a removable or a fixed disk.
bool VolumeGeometry(TVolumeQueries& volume, bool removable, TDiskGeometry& geometry);

}  // namespace snapsalvager
