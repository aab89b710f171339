// Read-only access to a whole card volume by drive number, below the file system.
// Plain functions over one process-wide cached handle; every failure is a false result.
// The device behind a drive number comes from LinuxDrives (a block device, an image file,
// or a source a test registered). The card is always opened read-only.
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

// The sector shift of the cached handle (log2 of its bytes per sector, 0 when none).
uint8_t CurrentSectorShift();

}  // namespace snapsalvager
