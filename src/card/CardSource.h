// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// An opened card: the source of one block device, disk-image file or Windows volume, read
// by byte offset, and the sectors a scan reads of it. The card is only ever read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace snapsalvager {

struct TDiskGeometry {
  uint16_t MediaKind = 0;  // 0 unclassified, 1 floppy, 2 removable medium, 3 fixed disk
  uint16_t Removable = 0;  // 1 for floppy and removable media
  uint32_t Cylinders = 0;
  uint32_t TracksPerCylinder = 0;
  uint32_t SectorsPerTrack = 0;
  uint32_t BytesPerSector = 0;
  uint32_t TotalSectors = 0;  // cylinders x heads x sectors per track, low 32 bits
};

// One opened card. ReadAt succeeds only when every requested byte was read.
class TCardSource {
 public:
  virtual ~TCardSource() = default;
  virtual bool ReadAt(uint64_t offset, void* dest, size_t length) = 0;
  virtual bool Geometry(TDiskGeometry& geometry) = 0;
  virtual bool Length(int64_t& bytes) = 0;
};

// Opens the source of a path read-only (O_RDONLY | O_CLOEXEC, never for writing):
// a block device or a disk-image file, through the descriptor adopted for it when there is
// one. Null when it cannot be opened; errno then tells why.
std::unique_ptr<TCardSource> OpenCardSourcePath(const char* path);

// A card opened by someone else: a descriptor handed over by udisks2 when this process may
// not open the device itself. The engine keeps its own duplicate for the rest of the run and
// serves every later OpenCardSourcePath of that path (or of another name for the same block
// device) from a fresh dup() of it, so the scan's reopening after a failed batch and its
// single-sector re-reads never need a second prompt. The descriptor is only ever read, even
// when it was opened writable. False, keeping nothing, when fd is not readable or is not a
// block device or a regular file; the caller keeps fd either way.
bool AdoptCardDescriptor(const std::string& path, int fd);
// Whether a descriptor is kept for path.
bool HasCardDescriptor(const std::string& path);
// Closes the descriptor kept for path; every kept one when path is empty.
void ForgetCardDescriptor(const std::string& path);

// The card as a scan reads it: sectors in the scan's unit (512 bytes unless the device
// reports 1 to 511), from the first of the volume. Which drive or letter it came from is the
// front end's business; the scan only reads.
class TCardSectors {
 public:
  virtual ~TCardSectors() = default;
  // count sectors from start into buffer. True only when every byte was read; otherwise
  // errno tells why (ENODEV or ENXIO: the device is gone).
  virtual bool ReadSectors(uint64_t start, uint16_t count, void* buffer) = 0;
  // Closes the handle: the next read (or Open) opens the device afresh.
  virtual void Close() = 0;
  // Opens the handle now; false when the device no longer opens.
  virtual bool Open() = 0;
};

}  // namespace snapsalvager
