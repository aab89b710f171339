// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Directory entries read from one folder cluster's (or one sector run's) bytes, live and
// deleted: FAT 8.3 names with their VFAT long names, exFAT entry sets (checksums and name
// hash verified), attributes, dates, sizes, first clusters. Names are untrusted UTF-8: pass
// them through SafeNames before they touch a disk.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace snapsalvager::filesystems {

// A time stamp as a file system stores it: FAT in local time with no zone; exFAT with its
// UTC offset when the camera recorded one.
struct Timestamp {
  int Year = 0, Month = 0, Day = 0, Hour = 0, Minute = 0, Second = 0;
  int Millisecond = 0;
  std::optional<int> UtcOffsetMinutes;
  bool Valid() const { return Year != 0; }
  // "2021-06-10T09:41:20", with ".120" when there are milliseconds and "+02:00" when the
  // offset is known; empty when not Valid.
  std::string Iso8601() const;
  auto operator<=>(const Timestamp&) const = default;
};

// 16-bit FAT date and time (2 s steps) plus hundredths (0..199, 10 ms units); invalid fields
// give an invalid Timestamp.
Timestamp FatTimestamp(uint16_t date, uint16_t time, uint8_t tenMs = 0);
// exFAT's 32-bit stamp, 10 ms increment and UTC offset byte.
Timestamp ExfatTimestamp(uint32_t stamp, uint8_t tenMs, uint8_t utcOffset);

namespace attributes {
constexpr uint8_t kReadOnly = 0x01, kHidden = 0x02, kSystem = 0x04, kVolumeLabel = 0x08,
                  kDirectory = 0x10, kArchive = 0x20, kLongName = 0x0F;
}

struct DirEntry {
  std::string Name;          // UTF-8, untrusted; "." and ".." for FAT's own entries
  std::string ShortName;     // FAT: the 8.3 name ("IMG_0001.JPG"); exFAT: empty
  // false when a deleted 8.3 name lost its first character: '_', or the one the folder's
  // like-named files start with (IMG_0003.JPG beside IMG_0001.JPG)
  bool NameComplete = true;
  bool LongName = false;     // from VFAT long-name entries or exFAT name entries
  bool Deleted = false;
  bool Exfat = false;
  uint16_t Attributes = 0;
  uint64_t Size = 0;         // bytes of the file (exFAT: valid data length)
  uint64_t DataLength = 0;   // exFAT: allocated length; FAT: the size
  uint32_t FirstCluster = 0;
  bool Contiguous = false;   // exFAT NoFatChain: the file's clusters follow each other
  bool NameHashOk = true;    // exFAT: the stored name hash matched the name
  Timestamp Modified, Created, Accessed;
  uint32_t Position = 0;     // byte offset of the entry (the 8.3 or file entry) in the bytes

  bool IsDirectory() const { return (Attributes & attributes::kDirectory) != 0; }
  bool IsVolumeLabel() const { return !Exfat && (Attributes & attributes::kVolumeLabel) != 0; }
  bool IsDot() const { return Name == "." || Name == ".."; }
};

// The character a lost first byte of a deleted 8.3 name is shown as.
constexpr char kUnknownFirstChar = '_';

// The VFAT checksum of an 11-byte 8.3 name.
uint8_t ShortNameChecksum(const uint8_t* name11);
// exFAT's checksum of an entry set of count * 32 bytes (in-use bits as given).
uint16_t ExfatSetChecksum(std::span<const uint8_t> set);
// exFAT's name hash of UTF-16 units (up-cased with the table the usual volumes carry for the
// scripts cameras name files in: Latin, Greek, Cyrillic, full-width).
uint16_t ExfatNameHash(std::u16string_view name);

// FAT entries in bytes (32 per entry; a trailing part entry is ignored). Free slots and
// entries that cannot be a name are skipped; the end mark (first byte 0) does not stop the
// read, since deleted entries may lie beyond it after a folder was reused.
std::vector<DirEntry> ReadFatEntries(std::span<const uint8_t> bytes);
// exFAT file entry sets in bytes, live and deleted, whose set checksum holds; sets cut by the
// end of bytes are left out.
std::vector<DirEntry> ReadExfatEntries(std::span<const uint8_t> bytes);

// Cheap tests of one 32-byte slot: could it be part of a folder of that kind? A sector whose
// every slot passes is taken as folder data by the folder finder.
bool PlausibleFatSlot(std::span<const uint8_t> slot);
bool PlausibleExfatSlot(std::span<const uint8_t> slot);

}  // namespace snapsalvager::filesystems
