// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Drive letters for Linux block devices and disk-image files, so the rest of the system
// can name a card by letter and number (E:, drive 5) as the window and the command show it.
// Process-wide table.
//   A, B unused; C the disk holding /; then D, E, ... for the other disks in /sys/block
//   name order (each partition of a partitioned disk gets a letter, an unpartitioned disk
//   gets one itself). An image file attached by the user takes the next free letter.
// On Windows, WindowsDrives.cpp gives this interface the system's own letters instead.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "card/DriveReads.h"

namespace snapsalvager {

// Platform drive types, as GetDriveTypeA numbers them.
enum : uint8_t {
  DRIVE_UNKNOWN = 0,
  DRIVE_NO_ROOT_DIR = 1,
  DRIVE_REMOVABLE = 2,
  DRIVE_FIXED = 3,
  DRIVE_REMOTE = 4,
  DRIVE_CDROM = 5,
  DRIVE_RAMDISK = 6,
};

struct TLinuxDrive {
  char Letter = 0;
  std::string Path;         // /dev/sdb1, or the image file's path
  std::string DisplayName;  // what a user recognises: "sdb1", "card.img"
  uint8_t DriveType = DRIVE_NO_ROOT_DIR;
  bool IsImage = false;
  std::string Model;       // a device's model as the system reports it, empty otherwise
  int64_t SizeBytes = -1;  // the device's or image's size, -1 when unknown
  // Opens the drive's bytes; set for sources registered by tests, else Path is opened.
  std::function<std::unique_ptr<TCardSource>()> Open;
};

// What tells a drive apart from its neighbours beyond its letter: "card.img (3.7 GB)",
// "sdb1 SD Card Reader (64 MB)". Sizes in units of 1,048,576 bytes, as the capacity is shown.
std::string DriveDescription(const TLinuxDrive& drive);

namespace LinuxDrives {

// Re-reads /sys/block. Attached images and registered sources keep their letters.
void Refresh();
// Every letter in use, in letter order.
std::vector<TLinuxDrive> List();
// The drive for a number (1 = A:), or null. The pointer stays valid until the next Refresh,
// DetachAll or UseSystemTree; the scan thread uses OpenSource instead.
const TLinuxDrive* ByNumber(uint8_t driveNumber);
// GetDriveTypeA's answer for a letter: DRIVE_NO_ROOT_DIR for letters without a device.
uint8_t GetDriveType(char letter);
// Attaches a disk-image file as a removable drive under the next free letter.
// Returns the letter, or 0 when the file is not readable or no letter is free.
char AttachImage(const std::string& path);
// Registers any source under the next free letter (tests: fault injection, memory cards).
char AttachSource(const std::string& displayName, uint8_t driveType,
                  std::function<std::unique_ptr<TCardSource>()> open);
// Forgets attached images and registered sources.
void DetachAll();
// The letter of a device path or image path that is attached or listed, or 0.
char LetterOfPath(const std::string& path);
// The letter of the disk holding a mounted path (same-drive checks), or 0. A path on a
// file system mounted from a loop device backed by an attached image gives the image's
// letter. A path that does not exist yet is looked up by its nearest existing folder.
char LetterHoldingPath(const std::string& path);

// The device number of a letter whose path is a block device (however it was named).
std::optional<dev_t> DeviceOfLetter(char letter);
// True when two block devices share a whole disk: each is resolved, through sysRoot's
// dev/block/MAJ:MIN, to its disk when it is a partition, and through "slaves" to the disks
// of whatever it is stacked on (device-mapper, md, LVM), recursively. Equal numbers share.
bool SharesDisk(dev_t a, dev_t b, const std::string& sysRoot = "/sys");
// SharesDisk for the device of a letter and the file system holding a path.
bool PathSharesDiskWith(char letter, const std::string& path);

// Opens the bytes of a drive number read-only (the drive's Open, else its Path); null when
// the number has no drive or the device cannot be opened. Safe against a concurrent Refresh.
std::unique_ptr<TCardSource> OpenSource(uint8_t driveNumber);
// GetDriveTypeA's answer for a block device by its device number (a partition answers as
// its disk); DRIVE_NO_ROOT_DIR when sysfs does not know it.
uint8_t DriveTypeOfDevice(unsigned major, unsigned minor);
// Tests: read the device tree from sysBlock (laid out like /sys/block) and take rootDevice
// ("major:minor") as the device holding /, then Refresh. Empty strings restore the system's.
void UseSystemTree(const std::string& sysBlock, const std::string& rootDevice);

}  // namespace LinuxDrives
}  // namespace snapsalvager
