// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// TCardSource over a Windows volume (\\.\E:) or a disk-image file, opened read-only: the
// Windows twin of CardSource.cpp.
#include <cwchar>
#include <memory>
#include <string>

#include "card/CardSource.h"
#include "card/DriveReads.h"
#include "card/LinuxDrives.h"
#include "card/VolumeSize.h"

#include <windows.h>
#include <winioctl.h>
#undef GetDriveType  // LinuxDrives::GetDriveType, not the system's macro

namespace snapsalvager {
namespace {

std::wstring Wide(const char* utf8) {
  const int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
  if (n <= 0) return {};
  std::wstring out(static_cast<size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8, -1, out.data(), n);
  out.resize(static_cast<size_t>(n - 1));
  return out;
}

int ErrnoOf(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return ENOENT;
    case ERROR_ACCESS_DENIED: return EACCES;
    case ERROR_SHARING_VIOLATION: return EBUSY;
    case ERROR_NOT_READY: return ENXIO;
    default: return ENXIO;
  }
}

// A volume's bytes: \\.\X: for a drive letter. Everything else is an image file.
bool IsVolumePath(const std::wstring& path) {
  return path.size() == 6 && path.compare(0, 4, L"\\\\.\\") == 0 && path[5] == L':';
}

class TWindowsCardSource final : public TCardSource, private TVolumeQueries {
 public:
  TWindowsCardSource(HANDLE handle, bool volume, bool removable)
      : handle_(handle), volume_(volume), removable_(removable) {}
  ~TWindowsCardSource() override { ::CloseHandle(handle_); }
  TWindowsCardSource(const TWindowsCardSource&) = delete;
  TWindowsCardSource& operator=(const TWindowsCardSource&) = delete;

  bool ReadAt(uint64_t offset, void* dest, size_t length) override {
    auto* out = static_cast<uint8_t*>(dest);
    while (length > 0) {
      OVERLAPPED at{};
      at.Offset = static_cast<DWORD>(offset);
      at.OffsetHigh = static_cast<DWORD>(offset >> 32);
      const DWORD asked = length > (1u << 30) ? (1u << 30) : static_cast<DWORD>(length);
      DWORD got = 0;
      // A bad sector, or the end of the volume before every byte: a false result.
      if (!::ReadFile(handle_, out, asked, &got, &at) || got == 0) return false;
      offset += got;
      out += got;
      length -= got;
    }
    return true;
  }

  bool Length(int64_t& bytes) override {
    if (!volume_) {
      LARGE_INTEGER size{};
      if (!::GetFileSizeEx(handle_, &size)) return false;
      bytes = size.QuadPart;
      return true;
    }
    return VolumeLength(*this, bytes);
  }

  bool Geometry(TDiskGeometry& geometry) override {
    return VolumeGeometry(*this, removable_, geometry);
  }

 private:
  bool DiskLength(int64_t& bytes) override {
    if (!volume_) return Length(bytes);
    GET_LENGTH_INFORMATION info{};
    DWORD returned = 0;
    if (!::DeviceIoControl(handle_, IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &info, sizeof info,
                           &returned, nullptr))
      return false;
    bytes = info.Length.QuadPart;
    return true;
  }

  bool DiskGeometry(TDiskGeometry& geometry) override {
    if (!volume_) return false;  // an image has the usual geometry over its length
    DISK_GEOMETRY disk{};
    DWORD returned = 0;
    if (!::DeviceIoControl(handle_, IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, &disk, sizeof disk,
                           &returned, nullptr))
      return false;
    geometry = TDiskGeometry{};
    if (disk.MediaType == RemovableMedia) {
      geometry.MediaKind = 2;
    } else if (disk.MediaType == FixedMedia) {
      geometry.MediaKind = 3;
    } else if (disk.MediaType != Unknown) {
      geometry.MediaKind = 1;  // every other type Windows names is a floppy format
    }
    geometry.Removable = geometry.MediaKind == 1 || geometry.MediaKind == 2 ? 1 : 0;
    geometry.Cylinders = static_cast<uint32_t>(disk.Cylinders.QuadPart);
    geometry.TracksPerCylinder = disk.TracksPerCylinder;
    geometry.SectorsPerTrack = disk.SectorsPerTrack;
    geometry.BytesPerSector = disk.BytesPerSector;
    return true;
  }

  bool CanRead(uint64_t sector) override {
    uint8_t bytes[kMeasuredSectorSize];
    return ReadAt(sector * kMeasuredSectorSize, bytes, sizeof bytes);
  }

  HANDLE handle_;
  bool volume_;
  bool removable_;
};

}  // namespace

// Windows hands no opened volumes between processes: nothing is ever adopted.
bool AdoptCardDescriptor(const std::string&, int) { return false; }
bool HasCardDescriptor(const std::string&) { return false; }
void ForgetCardDescriptor(const std::string&) {}

std::unique_ptr<TCardSource> OpenCardSourcePath(const char* path) {
  if (path == nullptr || *path == '\0') return nullptr;
  const std::wstring wide = Wide(path);
  // Read-only, always: the card is evidence and is never opened for writing. Sharing
  // writes too, as a mounted volume is open for writing by its file system.
  const HANDLE handle = ::CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    errno = ErrnoOf(::GetLastError());
    return nullptr;
  }
  const bool volume = IsVolumePath(wide);
  bool removable = true;  // an image stands for a removable card
  if (volume) {
    const wchar_t root[] = {wide[4], L':', L'\\', L'\0'};
    removable = ::GetDriveTypeW(root) != DRIVE_FIXED;
  } else if (::GetFileType(handle) != FILE_TYPE_DISK ||
             (::GetFileAttributesW(wide.c_str()) & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    ::CloseHandle(handle);
    errno = ENODEV;
    return nullptr;
  }
  return std::make_unique<TWindowsCardSource>(handle, volume, removable);
}

}  // namespace snapsalvager
