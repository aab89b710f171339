// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The drive-letter map over /sys/block, attached images and registered sources.
// docs/drive-letters.md describes the map for users.
#include "card/LinuxDrives.h"

#include "card/LetterTable.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <set>

namespace snapsalvager {
namespace fs = std::filesystem;

namespace {

constexpr char kRootLetter = 'C';  // A and B stay unused, as for floppy drives

std::string ReadLine(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.pop_back();
  return line;
}

bool StartsWith(const std::string& s, std::string_view prefix) {
  return s.compare(0, prefix.size(), prefix) == 0;
}

// "sdb" < "sdb2" < "sdb10": digit runs compare by value, so loop2 comes before loop10.
bool NaturalLess(const std::string& a, const std::string& b) {
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (std::isdigit(static_cast<unsigned char>(a[i])) &&
        std::isdigit(static_cast<unsigned char>(b[j]))) {
      size_t ie = i, je = j;
      while (ie < a.size() && std::isdigit(static_cast<unsigned char>(a[ie]))) ++ie;
      while (je < b.size() && std::isdigit(static_cast<unsigned char>(b[je]))) ++je;
      const std::string da = a.substr(i, ie - i), db = b.substr(j, je - j);
      const std::string na = da.substr(std::min(da.find_first_not_of('0'), da.size()));
      const std::string nb = db.substr(std::min(db.find_first_not_of('0'), db.size()));
      if (na.size() != nb.size()) return na.size() < nb.size();
      if (na != nb) return na < nb;
      i = ie;
      j = je;
    } else {
      if (a[i] != b[j]) return a[i] < b[j];
      ++i;
      ++j;
    }
  }
  return a.size() - i < b.size() - j;
}

std::string DeviceNumberText(dev_t dev) {
  return std::to_string(major(dev)) + ":" + std::to_string(minor(dev));
}

// The platform drive type of a disk, from its /sys/block directory.
uint8_t ClassifyDisk(const fs::path& diskDir, const std::string& name) {
  if (StartsWith(name, "sr")) return DRIVE_CDROM;
  if (StartsWith(name, "ram") || StartsWith(name, "zram")) return DRIVE_RAMDISK;
  if (StartsWith(name, "loop") || StartsWith(name, "mmcblk")) return DRIVE_REMOVABLE;
  if (ReadLine(diskDir / "removable") == "1") return DRIVE_REMOVABLE;
  // Card readers are USB or MMC hosts even when they claim a fixed medium.
  std::error_code ec;
  const std::string real = fs::canonical(diskDir, ec).string();
  if (!ec &&
      (real.find("/usb") != std::string::npos || real.find("/mmc_host/") != std::string::npos)) {
    return DRIVE_REMOVABLE;
  }
  return DRIVE_FIXED;
}

// The block device holding a path: its file system's device number, found by stat or,
// for file systems with anonymous device numbers (btrfs), by the mount table's source.
std::optional<dev_t> DeviceHolding(const std::string& path) {
  std::error_code ec;
  fs::path p = fs::absolute(path, ec);
  if (ec) return std::nullopt;
  while (!fs::exists(p, ec)) {
    if (!p.has_relative_path()) return std::nullopt;
    p = p.parent_path();
  }
  struct stat st {};
  if (::stat(p.c_str(), &st) != 0) return std::nullopt;
  if (major(st.st_dev) != 0) return st.st_dev;

  // Longest mount point that is a prefix of the path, from /proc/self/mountinfo.
  const std::string canonical = fs::canonical(p, ec).string();
  if (ec) return std::nullopt;
  std::ifstream in("/proc/self/mountinfo");
  std::string line, bestSource;
  size_t bestLength = 0;
  while (std::getline(in, line)) {
    // id parent major:minor root mountpoint options ... - fstype source superoptions
    size_t pos = 0;
    std::string fields[5];
    for (auto& f : fields) {
      const size_t end = line.find(' ', pos);
      if (end == std::string::npos) break;
      f = line.substr(pos, end - pos);
      pos = end + 1;
    }
    std::string mountPoint;  // octal escapes: \040 for a space
    for (size_t i = 0; i < fields[4].size(); ++i) {
      if (fields[4][i] == '\\' && i + 3 < fields[4].size()) {
        mountPoint += static_cast<char>(std::stoi(fields[4].substr(i + 1, 3), nullptr, 8));
        i += 3;
      } else {
        mountPoint += fields[4][i];
      }
    }
    const bool prefix =
        canonical == mountPoint || mountPoint == "/" || StartsWith(canonical, mountPoint + "/");
    if (!prefix || mountPoint.size() < bestLength) continue;
    const size_t dash = line.find(" - ");
    if (dash == std::string::npos) continue;
    const size_t srcStart = line.find(' ', dash + 3);
    if (srcStart == std::string::npos) continue;
    const size_t srcEnd = line.find(' ', srcStart + 1);
    bestSource = line.substr(
        srcStart + 1, srcEnd == std::string::npos ? std::string::npos : srcEnd - srcStart - 1);
    bestLength = mountPoint.size();
  }
  struct stat dev {};
  if (StartsWith(bestSource, "/dev/") && ::stat(bestSource.c_str(), &dev) == 0 &&
      S_ISBLK(dev.st_mode)) {
    return dev.st_rdev;
  }
  return std::nullopt;
}

// Stacking deeper than this is a loop in a broken tree, not a real device.
constexpr int kMostStackLevels = 16;

// Adds to disks the whole disks below the sysfs device directory dir.
void CollectDisks(const fs::path& dir, int level, std::set<std::string>& disks) {
  if (level > kMostStackLevels) return;
  std::error_code ec;
  fs::path device = fs::canonical(dir, ec);
  if (ec) return;
  bool stacked = false;
  for (const auto& slave : fs::directory_iterator(device / "slaves", ec)) {
    stacked = true;
    CollectDisks(slave.path(), level + 1, disks);
  }
  if (stacked) return;
  if (fs::exists(device / "partition", ec)) device = device.parent_path();
  disks.insert(device.string());
}

std::set<std::string> DisksBelow(dev_t device, const std::string& sysRoot) {
  std::set<std::string> disks;
  CollectDisks(fs::path(sysRoot) / "dev" / "block" / DeviceNumberText(device), 0, disks);
  return disks;
}

std::string Canonical(const std::string& path) {
  std::error_code ec;
  const fs::path c = fs::weakly_canonical(fs::absolute(path, ec), ec);
  return ec ? path : c.string();
}

struct TVolume {
  std::string Name, DeviceNumber;
  uint8_t Type;
  int64_t SizeBytes = -1;
  std::string Model;
};

// sysfs counts a block device's size in 512-byte units, whatever its sector size.
int64_t SysfsBytes(const fs::path& dir) {
  const std::string units = ReadLine(dir / "size");
  if (units.empty() || units.size() > 15 ||
      units.find_first_not_of("0123456789") != std::string::npos)
    return -1;
  return static_cast<int64_t>(std::stoll(units)) * 512;
}

// The disk's model (SCSI, USB readers, NVMe) or, for an SD card, its name; blanks trimmed,
// only printable ASCII kept: the text comes from the device.
std::string ModelOf(const fs::path& diskDir) {
  std::string model = ReadLine(diskDir / "device" / "model");
  if (model.empty()) model = ReadLine(diskDir / "device" / "name");
  std::string clean;
  for (const char c : model) {
    if (c >= 0x20 && c < 0x7f) clean += c;
  }
  const size_t first = clean.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return clean.substr(first, clean.find_last_not_of(' ') - first + 1);
}

// The volumes of /sys/block in name order: each partition of a disk, or the disk itself
// when it has none.
std::vector<TVolume> ListVolumes(const std::string& sysBlock) {
  std::vector<TVolume> volumes;
  std::vector<std::string> disks;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(sysBlock, ec)) disks.push_back(e.path().filename().string());
  std::sort(disks.begin(), disks.end(), NaturalLess);
  for (const std::string& disk : disks) {
    const fs::path dir = fs::path(sysBlock) / disk;
    if (ReadLine(dir / "hidden") == "1") continue;
    const uint8_t type = ClassifyDisk(dir, disk);
    // Unused loop devices and empty RAM disks have no bytes; an empty CD drive is a drive.
    if (type != DRIVE_CDROM && (ReadLine(dir / "size") == "0" || ReadLine(dir / "size").empty()))
      continue;
    std::vector<std::string> parts;
    for (const auto& e : fs::directory_iterator(dir, ec)) {
      if (fs::exists(e.path() / "partition")) parts.push_back(e.path().filename().string());
    }
    std::sort(parts.begin(), parts.end(), NaturalLess);
    const std::string model = ModelOf(dir);
    if (parts.empty()) {
      volumes.push_back({disk, ReadLine(dir / "dev"), type, SysfsBytes(dir), model});
    } else {
      for (const std::string& part : parts)
        volumes.push_back({part, ReadLine(dir / part / "dev"), type, SysfsBytes(dir / part), model});
    }
  }
  return volumes;
}

}  // namespace

void AddSystemDrivesLocked(TLetterTable& t) {
  std::vector<TVolume> volumes = ListVolumes(t.SysBlock);

  std::string root = t.RootDevice;
  if (root.empty()) {
    if (const auto dev = DeviceHolding("/")) root = DeviceNumberText(*dev);
  }
  auto add = [&t](char letter, const TVolume& v) {
    TLetterEntry e;
    e.Drive.Letter = letter;
    e.Drive.Path = "/dev/" + v.Name;
    e.Drive.DisplayName = v.Name;
    e.Drive.DriveType = v.Type;
    e.Drive.SizeBytes = v.SizeBytes;
    e.Drive.Model = v.Model;
    e.DeviceNumber = v.DeviceNumber;
    t.Entries[letter] = std::move(e);
  };
  for (auto it = volumes.begin(); it != volumes.end(); ++it) {
    if (!root.empty() && it->DeviceNumber == root && !t.Entries.count(kRootLetter)) {
      add(kRootLetter, *it);
      volumes.erase(it);
      break;
    }
  }
  for (const TVolume& v : volumes) {
    const char letter = NextFreeLetter(t);
    if (letter == 0) break;
    add(letter, v);
  }
}

namespace LinuxDrives {

char AttachImage(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return 0;
  if (S_ISBLK(st.st_mode)) {
    if (const char letter = LetterOfPath(path)) return letter;
  } else if (!S_ISREG(st.st_mode)) {
    return 0;
  }
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  ::close(fd);

  const std::string canonical = Canonical(path);
  std::error_code ec;
  std::unique_lock<std::mutex> lock;
  TLetterTable& t = ReadyLetterTable(lock);
  if (const char letter = AttachedLetterLocked(t, canonical)) return letter;
  TLinuxDrive drive;
  drive.Path = canonical;
  drive.DisplayName = fs::path(canonical).filename().string();
  drive.DriveType = S_ISBLK(st.st_mode) ? DriveTypeOfDevice(major(st.st_rdev), minor(st.st_rdev))
                                        : uint8_t{DRIVE_REMOVABLE};
  drive.IsImage = S_ISREG(st.st_mode);
  if (drive.IsImage) {
    drive.SizeBytes = st.st_size;
  } else {
    fs::path dir = fs::canonical("/sys/dev/block/" + DeviceNumberText(st.st_rdev), ec);
    if (!ec) {
      drive.SizeBytes = SysfsBytes(dir);
      if (fs::exists(dir / "partition", ec)) dir = dir.parent_path();
      drive.Model = ModelOf(dir);
    }
  }
  const char letter = AttachLetterLocked(t, std::move(drive));
  if (letter != 0 && S_ISBLK(st.st_mode)) t.Entries[letter].DeviceNumber = DeviceNumberText(st.st_rdev);
  return letter;
}

char LetterOfPath(const std::string& path) {
  const std::string canonical = Canonical(path);
  struct stat st {};
  const bool block = ::stat(path.c_str(), &st) == 0 && S_ISBLK(st.st_mode);
  const std::string number = block ? DeviceNumberText(st.st_rdev) : std::string();
  std::unique_lock<std::mutex> lock;
  const TLetterTable& t = ReadyLetterTable(lock);
  for (const auto& kv : t.Entries) {
    const TLetterEntry& e = kv.second;
    if (e.Drive.Path.empty()) continue;
    if (e.Drive.Path == path || e.Drive.Path == canonical) return kv.first;
    if (block && e.DeviceNumber == number) return kv.first;
  }
  return 0;
}

char LetterHoldingPath(const std::string& path) {
  const std::optional<dev_t> dev = DeviceHolding(path);
  if (!dev) return 0;
  const std::string number = DeviceNumberText(*dev);

  // A loop device (or a partition of one) backed by an image the user attached.
  std::string backing;
  std::error_code ec;
  fs::path sysDev = fs::canonical("/sys/dev/block/" + number, ec);
  if (!ec) {
    if (fs::exists(sysDev / "partition")) sysDev = sysDev.parent_path();
    if (fs::exists(sysDev / "loop" / "backing_file"))
      backing = ReadLine(sysDev / "loop" / "backing_file");
  }
  std::unique_lock<std::mutex> lock;
  const TLetterTable& t = ReadyLetterTable(lock);
  if (!backing.empty()) {
    const std::string canonicalBacking = Canonical(backing);
    for (const auto& kv : t.Entries) {
      if (kv.second.Drive.IsImage && kv.second.Drive.Path == canonicalBacking) return kv.first;
    }
  }
  for (const auto& kv : t.Entries) {
    if (kv.second.DeviceNumber == number) return kv.first;
  }
  return 0;
}

std::optional<dev_t> DeviceOfLetter(char letter) {
  const char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
  if (upper < 'A' || upper > 'Z') return std::nullopt;
  std::string path;
  {
    std::unique_lock<std::mutex> lock;
    const TLetterEntry* e = FindLetterLocked(ReadyLetterTable(lock), static_cast<uint8_t>(upper - 'A' + 1));
    if (e == nullptr || e->Drive.Open) return std::nullopt;
    path = e->Drive.Path;
  }
  struct stat st {};
  if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISBLK(st.st_mode)) return std::nullopt;
  return st.st_rdev;
}

bool SharesDisk(dev_t a, dev_t b, const std::string& sysRoot) {
  if (a == b) return true;
  const std::set<std::string> below = DisksBelow(a, sysRoot);
  for (const std::string& disk : DisksBelow(b, sysRoot)) {
    if (below.count(disk)) return true;
  }
  return false;
}

bool PathSharesDiskWith(char letter, const std::string& path) {
  const std::optional<dev_t> card = DeviceOfLetter(letter);
  if (!card) return false;
  const std::optional<dev_t> dest = DeviceHolding(path);
  return dest && SharesDisk(*card, *dest);
}


uint8_t DriveTypeOfDevice(unsigned maj, unsigned min) {
  std::error_code ec;
  fs::path dir =
      fs::canonical("/sys/dev/block/" + std::to_string(maj) + ":" + std::to_string(min), ec);
  if (ec) return DRIVE_NO_ROOT_DIR;
  if (fs::exists(dir / "partition")) dir = dir.parent_path();
  return ClassifyDisk(dir, dir.filename().string());
}

void UseSystemTree(const std::string& sysBlock, const std::string& rootDevice) {
  {
    TLetterTable& t = LetterTable();
    std::lock_guard lock(t.Mutex);
    t.SysBlock = sysBlock.empty() ? "/sys/block" : sysBlock;
    t.RootDevice = rootDevice;
  }
  Refresh();
}

}  // namespace LinuxDrives
}  // namespace snapsalvager
