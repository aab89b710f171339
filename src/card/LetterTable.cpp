// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The letter table both platforms share (LetterTable.h), and the parts of LinuxDrives.h that
// do not depend on how the system's drives are found.
#include "card/LetterTable.h"

#include <cctype>
#include <cstdio>

namespace snapsalvager {
namespace {

void RefreshLocked(TLetterTable& t) {
  t.Refreshed = true;
  std::erase_if(t.Entries, [](const auto& kv) { return !kv.second.Attached; });
  AddSystemDrivesLocked(t);
}

}  // namespace

TLetterTable& LetterTable() {
  static TLetterTable table;
  return table;
}

TLetterTable& ReadyLetterTable(std::unique_lock<std::mutex>& lock) {
  TLetterTable& t = LetterTable();
  lock = std::unique_lock(t.Mutex);
  if (!t.Refreshed) RefreshLocked(t);
  return t;
}

const TLetterEntry* FindLetterLocked(const TLetterTable& t, uint8_t driveNumber) {
  if (driveNumber < 1 || driveNumber > 26) return nullptr;
  const auto it = t.Entries.find(static_cast<char>('A' + driveNumber - 1));
  return it == t.Entries.end() ? nullptr : &it->second;
}

char NextFreeLetter(const TLetterTable& t) {
  for (char c = kFirstOtherLetter; c <= kLastLetter; ++c) {
    if (!t.Entries.count(c)) return c;
  }
  return 0;
}

char AttachedLetterLocked(const TLetterTable& t, const std::string& path) {
  for (const auto& kv : t.Entries) {
    if (kv.second.Attached && kv.second.Drive.Path == path) return kv.first;
  }
  return 0;
}

char AttachLetterLocked(TLetterTable& t, TLinuxDrive drive) {
  const char letter = NextFreeLetter(t);
  if (letter == 0) return 0;
  drive.Letter = letter;
  TLetterEntry e;
  e.Drive = std::move(drive);
  e.Attached = true;
  t.Entries[letter] = std::move(e);
  return letter;
}

std::string DriveDescription(const TLinuxDrive& drive) {
  std::string text = drive.DisplayName;
  if (!drive.Model.empty()) text += (text.empty() ? "" : " ") + drive.Model;
  if (drive.SizeBytes >= 0) {
    char size[32];
    const double mb = static_cast<double>(drive.SizeBytes) / 1048576.0;
    if (mb >= 1024.0) {
      std::snprintf(size, sizeof size, "%.1f GB", mb / 1024.0);
    } else {
      std::snprintf(size, sizeof size, "%.0f MB", mb);
    }
    text += (text.empty() ? "(" : " (") + std::string(size) + ")";
  }
  return text;
}

namespace LinuxDrives {

void Refresh() {
  TLetterTable& t = LetterTable();
  std::lock_guard lock(t.Mutex);
  RefreshLocked(t);
}

std::vector<TLinuxDrive> List() {
  std::unique_lock<std::mutex> lock;
  const TLetterTable& t = ReadyLetterTable(lock);
  std::vector<TLinuxDrive> out;
  for (const auto& kv : t.Entries) out.push_back(kv.second.Drive);
  return out;
}

const TLinuxDrive* ByNumber(uint8_t driveNumber) {
  std::unique_lock<std::mutex> lock;
  const TLetterEntry* e = FindLetterLocked(ReadyLetterTable(lock), driveNumber);
  return e ? &e->Drive : nullptr;
}

uint8_t GetDriveType(char letter) {
  const char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
  if (upper < 'A' || upper > 'Z') return DRIVE_NO_ROOT_DIR;
  std::unique_lock<std::mutex> lock;
  const TLetterEntry* e = FindLetterLocked(ReadyLetterTable(lock), static_cast<uint8_t>(upper - 'A' + 1));
  return e ? e->Drive.DriveType : uint8_t{DRIVE_NO_ROOT_DIR};
}

char AttachSource(const std::string& displayName, uint8_t driveType,
                  std::function<std::unique_ptr<TCardSource>()> open) {
  std::unique_lock<std::mutex> lock;
  TLetterTable& t = ReadyLetterTable(lock);
  TLinuxDrive drive;
  drive.DisplayName = displayName;
  drive.DriveType = driveType;
  drive.Open = std::move(open);
  return AttachLetterLocked(t, std::move(drive));
}

void DetachAll() {
  {
    std::unique_lock<std::mutex> lock;
    TLetterTable& t = ReadyLetterTable(lock);
    std::erase_if(t.Entries, [](const auto& kv) { return kv.second.Attached; });
  }
  // A detached drive must not stay readable through the cached handle.
  CloseDrive();
}

std::unique_ptr<TCardSource> OpenSource(uint8_t driveNumber) {
  std::function<std::unique_ptr<TCardSource>()> open;
  std::string path;
  {
    std::unique_lock<std::mutex> lock;
    const TLetterEntry* e = FindLetterLocked(ReadyLetterTable(lock), driveNumber);
    if (e == nullptr) return nullptr;
    open = e->Drive.Open;
    path = e->Drive.Path;
  }
  if (open) return open();
  return OpenCardSourcePath(path.c_str());
}

}  // namespace LinuxDrives
}  // namespace snapsalvager
