// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The process-wide letter table behind LinuxDrives.h, shared by both platforms: the letters
// of attached images and registered sources, and what LinuxDrives.cpp (/sys/block) or
// WindowsDrives.cpp (the system's letters) fills in as the system's own drives.
// Engine-internal: only the two drive files and LetterTable.cpp include it.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>

#include "card/LinuxDrives.h"

namespace snapsalvager {

constexpr char kFirstOtherLetter = 'D';  // C: is the system's disk; A and B stay unused
constexpr char kLastLetter = 'Z';

struct TLetterEntry {
  TLinuxDrive Drive;
  std::string DeviceNumber;  // Linux: "major:minor" of a block device, empty otherwise
  bool Attached = false;     // an image or a registered source: survives Refresh
};

struct TLetterTable {
  std::mutex Mutex;
  std::map<char, TLetterEntry> Entries;
  bool Refreshed = false;
  std::string SysBlock = "/sys/block";  // Linux: the device tree read (tests give their own)
  std::string RootDevice;               // Linux: the device holding /, empty to look it up
};

TLetterTable& LetterTable();
// The table, locked into lock, with the system's drives read once.
TLetterTable& ReadyLetterTable(std::unique_lock<std::mutex>& lock);
// The entry of drive number (1 = A:), or null.
const TLetterEntry* FindLetterLocked(const TLetterTable& t, uint8_t driveNumber);
// The first letter from D: that nothing holds, or 0.
char NextFreeLetter(const TLetterTable& t);
// The letter of an attached image of this (canonical) path, or 0.
char AttachedLetterLocked(const TLetterTable& t, const std::string& path);
// Puts an attached drive under the next free letter; 0 when none is free.
char AttachLetterLocked(TLetterTable& t, TLinuxDrive drive);
// The platform's part: the system's drives read again into t, whose attached entries stay
// (the others are already gone when it is called).
void AddSystemDrivesLocked(TLetterTable& t);

}  // namespace snapsalvager
