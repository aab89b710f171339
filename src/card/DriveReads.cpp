// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Raw device access by drive number over the sources LinuxDrives names. One cached handle
// serves the scan; the geometry and size queries open and close their own.
#include "card/DriveReads.h"

#include <algorithm>
#include <cmath>
#include <mutex>

#include "card/LinuxDrives.h"

namespace snapsalvager {
namespace {

// One read never exceeds this many bytes, nor 128 sectors.
constexpr uint64_t kMaxChunkBytes = 65536;
constexpr uint64_t kMaxChunkSectors = 128;

// The cached handle and what it was opened for. A lock makes misuse from two threads safe;
// in the intended use (main thread before a scan, scan thread during it) it is never
// contended.
struct TDiskState {
  std::mutex Mutex;
  std::unique_ptr<TCardSource> Source;  // null: not open
  uint8_t Drive = 0;
  TDiskGeometry Geometry;
  uint8_t SectorShift = 0;
  // The recorder has a lock of its own: stopping the recording must not wait for a read
  // that hangs on a dying card (the scan thread may be abandoned inside one).
  std::mutex RecorderMutex;
  TCardReadRecorder* Recorder = nullptr;
  uint8_t RecordedDrive = 0;
};

TDiskState& State() {
  // Destroyed at exit, which closes a handle still open.
  static TDiskState state;
  return state;
}

// The sector unit of ReadSectors. The scan sizes its buffer by 512-byte sectors unless the
// device reports a size from 1 to 511, so reads use exactly that rule: a 4096-byte-sector
// device read in its own units would overrun the scan's buffer, and a device whose size is
// unknown is still read as 512-byte sectors rather than not at all.
uint64_t ReadUnitOf(uint32_t bytesPerSector) {
  return (bytesPerSector >= 1 && bytesPerSector < 512) ? bytesPerSector : 512;
}

uint8_t ShiftOf(uint32_t bytesPerSector) {
  if (bytesPerSector == 0) return 0;
  return static_cast<uint8_t>(std::lround(std::log2(static_cast<double>(bytesPerSector))));
}

bool QueryGeometry(TCardSource& source, TDiskGeometry& geometry) {
  TDiskGeometry g;
  if (!source.Geometry(g)) return false;
  g.TotalSectors = g.Cylinders * g.TracksPerCylinder * g.SectorsPerTrack;  // low 32 bits
  geometry = g;
  return true;
}

bool OpenDriveLocked(TDiskState& s, uint8_t drive) {
  if (s.Source && s.Drive == drive) return true;
  s.Source.reset();
  s.Drive = drive;
  s.Source = LinuxDrives::OpenSource(drive);
  // The record is refreshed even when the query fails, as a failed open must not leave the
  // previous drive's sector size behind.
  s.Geometry = TDiskGeometry{};
  if (s.Source) QueryGeometry(*s.Source, s.Geometry);
  s.SectorShift = ShiftOf(s.Geometry.BytesPerSector);
  return s.Source != nullptr;
}

}  // namespace

bool IsCDRomDrive(uint8_t drive) {
  if (drive < 1 || drive > 26) return false;
  return LinuxDrives::GetDriveType(static_cast<char>('A' + drive - 1)) == DRIVE_CDROM;
}

bool GetDriveGeometry(uint8_t drive, TDiskGeometry& geometry) {
  if (IsCDRomDrive(drive)) return false;
  const std::unique_ptr<TCardSource> source = LinuxDrives::OpenSource(drive);
  return source && QueryGeometry(*source, geometry);
}

bool GetDiskSize(uint8_t drive, int64_t& length) {
  length = -1;
  if (IsCDRomDrive(drive)) return false;
  const std::unique_ptr<TCardSource> source = LinuxDrives::OpenSource(drive);
  int64_t bytes = 0;
  if (!source || !source->Length(bytes)) return false;
  length = bytes;
  return true;
}

bool OpenDrive(uint8_t drive) {
  TDiskState& s = State();
  std::lock_guard lock(s.Mutex);
  return OpenDriveLocked(s, drive);
}

bool ReadSectors(uint8_t drive, uint64_t startSector, uint16_t count, void* buffer) {
  if (IsCDRomDrive(drive)) return false;
  TDiskState& s = State();
  std::lock_guard lock(s.Mutex);
  if (!OpenDriveLocked(s, drive)) return false;
  const uint64_t bytesPerSector = ReadUnitOf(s.Geometry.BytesPerSector);
  // A start so far out that its byte offset would not fit is past any card's end.
  if (startSector > UINT64_MAX / bytesPerSector / 2) return false;
  uint64_t offset = startSector * bytesPerSector;
  uint64_t remaining = uint64_t{count} * bytesPerSector;
  const uint64_t chunkMax = std::min(bytesPerSector * kMaxChunkSectors, kMaxChunkBytes);
  auto* dest = static_cast<uint8_t*>(buffer);
  const uint64_t first = offset;
  bool read = true;
  while (remaining > 0 && read) {
    const uint64_t chunk = std::min(remaining, chunkMax);
    read = s.Source->ReadAt(offset, dest, static_cast<size_t>(chunk));
    offset += chunk;
    dest += chunk;
    remaining -= chunk;
  }
  std::lock_guard recorderLock(s.RecorderMutex);
  if (s.Recorder && s.RecordedDrive == drive) {
    if (read) {
      s.Recorder->Read(first, buffer, static_cast<size_t>(offset - first));
    } else if (count == 1) {
      s.Recorder->Unreadable(first, static_cast<size_t>(bytesPerSector));
    }
  }
  return read;
}

void RecordCardReads(uint8_t drive, TCardReadRecorder* recorder) {
  TDiskState& s = State();
  std::lock_guard lock(s.RecorderMutex);
  s.Recorder = recorder;
  s.RecordedDrive = drive;
}

void CloseDrive() {
  TDiskState& s = State();
  std::lock_guard lock(s.Mutex);
  s.Source.reset();
}

namespace {

class TDriveSectors final : public TCardSectors {
 public:
  explicit TDriveSectors(uint8_t drive) : drive_(drive) {}
  bool ReadSectors(uint64_t start, uint16_t count, void* buffer) override {
    return snapsalvager::ReadSectors(drive_, start, count, buffer);
  }
  void Close() override { CloseDrive(); }
  bool Open() override { return OpenDrive(drive_); }

 private:
  const uint8_t drive_;
};

}  // namespace

std::shared_ptr<TCardSectors> DriveSectors(uint8_t drive) { return std::make_shared<TDriveSectors>(drive); }

uint8_t CurrentSectorShift() {
  TDiskState& s = State();
  std::lock_guard lock(s.Mutex);
  return s.Source ? s.SectorShift : 0;
}

}  // namespace snapsalvager
