// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Read-only access to a whole card volume by drive number, below the file system.
// Plain functions over one process-wide cached handle; every failure is a false result.
// The device behind a drive number comes from LinuxDrives (a block device, an image file,
// or a source a test registered). The card is always opened read-only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "card/CardSource.h"

namespace snapsalvager {

bool IsCDRomDrive(uint8_t drive);
bool GetDriveGeometry(uint8_t drive, TDiskGeometry& geometry);
bool GetDiskSize(uint8_t drive, int64_t& length);  // length -1 on failure
// Opens the cached handle for a drive, read-only like every opening of the card.
bool OpenDrive(uint8_t drive);
// Reads count sectors at startSector into buffer, in chunks of at most 128 sectors
// (65,536 bytes). True only when every byte was read; a short read is a failure.
// A sector here is the device's size when it reports 1 to 511 bytes, else 512 bytes: the
// same unit the scan sizes its buffer by, whatever the device's own size is.
bool ReadSectors(uint8_t drive, uint64_t startSector, uint16_t count, void* buffer);
void CloseDrive();

// Sees every read of one drive's ReadSectors as it happens (the card imaged while it is
// scanned). Called on the reading thread, inside ReadSectors.
class TCardReadRecorder {
 public:
  virtual ~TCardReadRecorder() = default;
  // length bytes at offset were read.
  virtual void Read(uint64_t offset, const void* data, size_t length) = 0;
  // A single sector could not be read. A failed read of several sectors is not reported:
  // the scan reads them again one by one.
  virtual void Unreadable(uint64_t offset, size_t length) = 0;
};
// From now on the reads of drive go to recorder too; null stops that. The caller keeps the
// recorder alive until it is replaced.
void RecordCardReads(uint8_t drive, TCardReadRecorder* recorder);

// The sectors of drive through the cached handle above, for a scan: every read goes through
// ReadSectors (so a recorder sees it), Close is CloseDrive and Open is OpenDrive. The handle
// opens at the first read, as a scan always did.
std::shared_ptr<TCardSectors> DriveSectors(uint8_t drive);

// The sector shift of the cached handle (log2 of its bytes per sector, 0 when none).
uint8_t CurrentSectorShift();

}  // namespace snapsalvager
