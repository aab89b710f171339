// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The drive-letter map on Windows: the system's own letters (each a volume read through
// \\.\X:), then attached images and registered sources under the letters no volume has.
// The Windows twin of LinuxDrives.cpp, behind the same interface.
#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>

#include "card/LinuxDrives.h"

#include "card/LetterTable.h"

#include <windows.h>
#include <winioctl.h>
#undef GetDriveType  // LinuxDrives::GetDriveType, not the system's macro

namespace snapsalvager {
namespace fs = std::filesystem;

namespace {

std::wstring Wide(const std::string& utf8) {
  const int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
  if (n <= 0) return {};
  std::wstring out(static_cast<size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, out.data(), n);
  out.resize(static_cast<size_t>(n - 1));
  return out;
}

std::string Utf8(const wchar_t* wide) {
  const int n = ::WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return {};
  std::string out(static_cast<size_t>(n), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, wide, -1, out.data(), n, nullptr, nullptr);
  out.resize(static_cast<size_t>(n - 1));
  return out;
}

std::string VolumePath(char letter) { return std::string("\\\\.\\") + letter + ":"; }

char Upper(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

// The letter of "E:", "e:\", "\\.\E:"; 0 for anything else.
char LetterOfVolumeName(const std::string& path) {
  std::string p = path;
  if (p.rfind("\\\\.\\", 0) == 0) p = p.substr(4);
  if ((p.size() == 2 || (p.size() == 3 && (p[2] == '\\' || p[2] == '/'))) && p[1] == ':' &&
      std::isalpha(static_cast<unsigned char>(p[0])))
    return Upper(p[0]);
  return 0;
}

// The UTF-8 path an image is known by: absolute and canonical as far as it exists.
std::string Canonical(const std::string& path) {
  std::error_code ec;
  const fs::path c = fs::weakly_canonical(fs::absolute(fs::u8path(path), ec), ec);
  if (ec) return path;
  const std::u8string text = c.u8string();
  return std::string(text.begin(), text.end());
}

}  // namespace

void AddSystemDrivesLocked(TLetterTable& t) {
  const DWORD letters = ::GetLogicalDrives();
  for (char letter = 'A'; letter <= kLastLetter; ++letter) {
    if ((letters & (1u << (letter - 'A'))) == 0 || t.Entries.count(letter)) continue;
    const wchar_t root[] = {static_cast<wchar_t>(letter), L':', L'\\', L'\0'};
    TLetterEntry e;
    e.Drive.Letter = letter;
    e.Drive.Path = VolumePath(letter);
    e.Drive.DriveType = static_cast<uint8_t>(::GetDriveTypeW(root));
    wchar_t label[MAX_PATH + 1] = {};
    // A drive without a medium (an empty card reader) has no label: it shows its letter.
    if (::GetVolumeInformationW(root, label, MAX_PATH + 1, nullptr, nullptr, nullptr, nullptr, 0) &&
        label[0] != L'\0') {
      e.Drive.DisplayName = Utf8(label);
    } else {
      e.Drive.DisplayName = std::string(1, letter) + ":";
    }
    t.Entries[letter] = std::move(e);
  }
}

namespace {

// The numbers of the physical disks a volume lies on; empty when Windows does not say.
std::set<DWORD> DisksOfVolume(char letter) {
  std::set<DWORD> disks;
  const std::wstring path = Wide(VolumePath(letter));
  // No access asked: the query needs none, and the volume is not read.
  const HANDLE volume = ::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
  if (volume == INVALID_HANDLE_VALUE) return disks;
  alignas(VOLUME_DISK_EXTENTS) uint8_t buffer[sizeof(VOLUME_DISK_EXTENTS) + 31 * sizeof(DISK_EXTENT)];
  DWORD returned = 0;
  if (::DeviceIoControl(volume, IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, nullptr, 0, buffer, sizeof buffer,
                        &returned, nullptr)) {
    const auto* extents = reinterpret_cast<const VOLUME_DISK_EXTENTS*>(buffer);
    for (DWORD i = 0; i < extents->NumberOfDiskExtents && i < 32; ++i)
      disks.insert(extents->Extents[i].DiskNumber);
  }
  ::CloseHandle(volume);
  return disks;
}

}  // namespace

namespace LinuxDrives {

char AttachImage(const std::string& path) {
  if (const char letter = LetterOfVolumeName(path)) return GetDriveType(letter) == DRIVE_NO_ROOT_DIR ? 0 : letter;
  const std::wstring wide = Wide(path);
  const DWORD attributes = ::GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return 0;
  const HANDLE file = ::CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  ::CloseHandle(file);

  const std::string canonical = Canonical(path);
  std::unique_lock<std::mutex> lock;
  TLetterTable& t = ReadyLetterTable(lock);
  if (const char letter = AttachedLetterLocked(t, canonical)) return letter;
  TLinuxDrive drive;
  drive.Path = canonical;
  const std::u8string name = fs::u8path(canonical).filename().u8string();
  drive.DisplayName = std::string(name.begin(), name.end());
  drive.DriveType = DRIVE_REMOVABLE;
  drive.IsImage = true;
  return AttachLetterLocked(t, std::move(drive));
}

char LetterOfPath(const std::string& path) {
  const char volume = LetterOfVolumeName(path);
  const std::string canonical = volume ? std::string() : Canonical(path);
  std::unique_lock<std::mutex> lock;
  const TLetterTable& t = ReadyLetterTable(lock);
  for (const auto& kv : t.Entries) {
    const TLetterEntry& e = kv.second;
    if (e.Drive.Path.empty()) continue;
    if (volume != 0 ? kv.first == volume && !e.Drive.IsImage : e.Drive.Path == canonical) return kv.first;
  }
  return 0;
}

char LetterHoldingPath(const std::string& path) {
  // The nearest folder that exists, so a destination not made yet is found too.
  std::error_code ec;
  fs::path p = fs::absolute(fs::u8path(path), ec);
  if (ec) return 0;
  while (!fs::exists(p, ec)) {
    if (!p.has_relative_path()) return 0;
    p = p.parent_path();
  }
  wchar_t root[MAX_PATH + 1] = {};
  if (!::GetVolumePathNameW(p.c_str(), root, MAX_PATH + 1)) return 0;
  const char letter = LetterOfVolumeName(Utf8(root));
  if (letter == 0) return 0;
  std::unique_lock<std::mutex> lock;
  const TLetterTable& t = ReadyLetterTable(lock);
  const auto it = t.Entries.find(letter);
  return it != t.Entries.end() && !it->second.Attached ? letter : 0;
}

// Windows names volumes by letter, not by device number.
std::optional<dev_t> DeviceOfLetter(char) { return std::nullopt; }

bool SharesDisk(dev_t a, dev_t b, const std::string&) { return a == b; }

bool PathSharesDiskWith(char letter, const std::string& path) {
  const char upper = Upper(letter);
  {
    std::unique_lock<std::mutex> lock;
    const TLetterTable& t = ReadyLetterTable(lock);
    const auto it = t.Entries.find(upper);
    if (it == t.Entries.end() || it->second.Attached) return false;
  }
  const char destination = LetterHoldingPath(path);
  if (destination == 0) return false;
  if (destination == upper) return true;
  const std::set<DWORD> card = DisksOfVolume(upper);
  for (const DWORD disk : DisksOfVolume(destination)) {
    if (card.count(disk)) return true;
  }
  return false;
}

uint8_t DriveTypeOfDevice(unsigned, unsigned) { return DRIVE_NO_ROOT_DIR; }

// There is no device tree to read on Windows: the system's letters are read again.
void UseSystemTree(const std::string&, const std::string&) { Refresh(); }

}  // namespace LinuxDrives
}  // namespace snapsalvager
