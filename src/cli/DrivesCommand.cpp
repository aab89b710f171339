// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// snapsalvager-cli drives: the drive letters as the wizard lists them, with what is behind
// each (device or image, size, type, where it is mounted or its label), so a letter can be
// given to recover.
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "card/LinuxDrives.h"

namespace snapsalvager::cli {
namespace {

namespace fs = std::filesystem;

const char* TypeName(uint8_t type) {
  switch (type) {
    case DRIVE_REMOVABLE: return Text(TText::DriveRemovable);
    case DRIVE_FIXED: return Text(TText::DriveHardDisk);
    case DRIVE_REMOTE: return Text(TText::DriveNetwork);
    case DRIVE_CDROM: return Text(TText::DriveOptical);
    case DRIVE_RAMDISK: return Text(TText::DriveRamDisk);
    default: return Text(TText::DriveUnknown);
  }
}

// Mount-table and udev names escape blanks as \040 / \x20.
std::string Unescape(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x') {
      out += static_cast<char>(std::stoi(text.substr(i + 2, 2), nullptr, 16));
      i += 3;
    } else if (text[i] == '\\' && i + 3 < text.size() && std::isdigit(static_cast<unsigned char>(text[i + 1]))) {
      out += static_cast<char>(std::stoi(text.substr(i + 1, 3), nullptr, 8));
      i += 3;
    } else {
      out += text[i];
    }
  }
  return out;
}

// Bytes of a block device (sysfs counts 512-byte units) or an image file; -1 when unknown.
int64_t SizeOf(const std::string& path, const struct stat& st) {
  if (S_ISREG(st.st_mode)) return st.st_size;
  std::ifstream in("/sys/dev/block/" + std::to_string(major(st.st_rdev)) + ":" +
                   std::to_string(minor(st.st_rdev)) + "/size");
  int64_t units = -1;
  if (in >> units) return units * 512;
  (void)path;
  return -1;
}

// text padded with spaces to columns on a terminal: a Chinese character takes two.
std::string PaddedTo(std::string text, size_t columns) {
  size_t width = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if ((byte & 0xC0) == 0x80) continue;  // inside a character
    width += byte >= 0xE3 && byte <= 0xE9 ? 2 : 1;  // U+3000-U+9FFF
  }
  if (width < columns) text.append(columns - width, ' ');
  return text;
}

std::string SizeText(int64_t bytes) {
  if (bytes < 0) return "?";
  char text[32];
  const double mb = static_cast<double>(bytes) / 1048576.0;
  if (mb >= 1024.0) {
    std::snprintf(text, sizeof text, "%.1f GB", mb / 1024.0);
  } else {
    std::snprintf(text, sizeof text, "%.0f MB", mb);
  }
  return text;
}

std::vector<std::string> MountPointsOf(dev_t device) {
  std::vector<std::string> points;
  std::ifstream in("/proc/self/mountinfo");
  const std::string number = std::to_string(major(device)) + ":" + std::to_string(minor(device));
  for (std::string line; std::getline(in, line);) {
    // id parent major:minor root mountpoint ...
    std::vector<std::string> fields;
    size_t pos = 0;
    while (fields.size() < 5) {
      const size_t end = line.find(' ', pos);
      if (end == std::string::npos) break;
      fields.push_back(line.substr(pos, end - pos));
      pos = end + 1;
    }
    if (fields.size() == 5 && fields[2] == number) points.push_back(Unescape(fields[4]));
  }
  return points;
}

std::string LabelOf(const std::string& path) {
  std::error_code ec;
  const fs::path device = fs::canonical(path, ec);
  if (ec) return {};
  for (const auto& entry : fs::directory_iterator("/dev/disk/by-label", ec)) {
    std::error_code linkError;
    if (fs::canonical(entry.path(), linkError) == device && !linkError)
      return Unescape(entry.path().filename().string());
  }
  return {};
}

}  // namespace

int RunDrivesCommand(int argc, char** argv) {
  for (int i = 0; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      Say(stdout, TText::DrivesUsage);
      return 0;
    }
    Say(stderr, TText::DrivesUnknownArgument, {arg});
    return 2;
  }
  LinuxDrives::Refresh();
  const std::vector<TLinuxDrive> drives = LinuxDrives::List();
  if (drives.empty()) {
    Say(stderr, TText::NoDriveFound);
    return 1;
  }
  Say(stdout, TText::DrivesHeader);
  for (const TLinuxDrive& drive : drives) {
    struct stat st {};
    const bool known = ::stat(drive.Path.c_str(), &st) == 0;
    std::string where;
    if (known && S_ISBLK(st.st_mode)) {
      for (const std::string& point : MountPointsOf(st.st_rdev)) where += (where.empty() ? "" : ", ") + point;
      const std::string label = LabelOf(drive.Path);
      if (!label.empty()) where += (where.empty() ? "" : "  ") + Text(TText::DriveLabel, {label});
    }
    std::printf("%c:     %-24s%10s  %s  %s\n", drive.Letter,
                (drive.Path.empty() ? drive.DisplayName : drive.Path).c_str(),
                known ? SizeText(SizeOf(drive.Path, st)).c_str() : "?",
                PaddedTo(TypeName(drive.DriveType), 10).c_str(),
                where.c_str());
  }
  return 0;
}

}  // namespace snapsalvager::cli
