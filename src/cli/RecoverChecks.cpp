// The wizard's pre-scan rules for the command line.
#include "cli/RecoverChecks.h"

#include <sys/statvfs.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <system_error>

#include "engine/jdiskio.h"

namespace snapsalvager::cli {
namespace fs = std::filesystem;

namespace {

// Halves to even, as the wizard rounds its megabytes.
int64_t RoundHalfEven(double value) {
  const double floor = std::floor(value);
  const double diff = value - floor;
  if (diff > 0.5) return static_cast<int64_t>(floor) + 1;
  if (diff < 0.5) return static_cast<int64_t>(floor);
  const auto whole = static_cast<int64_t>(floor);
  return whole % 2 == 0 ? whole : whole + 1;
}

std::string Format(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

std::string MegabytesText(int64_t mb) {
  char text[96];
  std::snprintf(text, sizeof text, "%lld MB (%5.1f GB)", static_cast<long long>(mb), mb / 1024.0);
  return text;
}

}  // namespace

std::string NormaliseDestFolder(const std::string& text) {
  const auto blank = [](unsigned char c) { return std::isspace(c) != 0; };
  const auto first = std::find_if_not(text.begin(), text.end(), blank);
  const auto last = std::find_if_not(text.rbegin(), text.rend(), blank).base();
  if (first >= last) return {};
  std::string folder(first, last);
  if (folder.back() != '/') folder += '/';
  return folder;
}

bool NoEarlierRecovery(const fs::path& folder) {
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    // "File0*.*": File0 at the start and a dot somewhere after it.
    const std::string name = it->path().filename().string();
    if (name.size() < 5) continue;
    std::string head = name.substr(0, 5);
    std::transform(head.begin(), head.end(), head.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (head == "file0" && name.find('.', 5) != std::string::npos) return false;
  }
  return true;
}

int64_t FreeSpaceOf(const fs::path& path) {
  std::error_code ec;
  fs::path probe = fs::absolute(path, ec);
  if (ec) return -1;
  while (!fs::exists(probe, ec) && probe.has_parent_path() && probe != probe.parent_path()) {
    probe = probe.parent_path();
  }
  struct statvfs info {};
  if (::statvfs(probe.c_str(), &info) != 0) return -1;
  return static_cast<int64_t>(info.f_bavail) * static_cast<int64_t>(info.f_frsize);
}

bool MeasureCard(TDriveEntry& drive) {
  bool askCapacity = true;
  TDiskGeometry geometry;
  if (GetDriveGeometry(drive.DriveNumber, geometry)) {
    drive.SectorSize = geometry.BytesPerSector;
    drive.SectorCount = geometry.TotalSectors;
  } else {
    drive.SectorSize = 512;
    drive.SectorCount = 0;
  }
  // The scan works in 512-byte sectors; only smaller device sectors are kept.
  if (drive.SectorSize == 0 || drive.SectorSize >= 512) drive.SectorSize = 512;
  if (IsWin2000OrLater()) {
    int64_t length = -1;
    if (GetDiskSize(drive.DriveNumber, length) && length > 0) {
      const uint64_t sectors = static_cast<uint64_t>(length) / drive.SectorSize;
      if (sectors > drive.SectorCount) {
        // Saturated rather than cut to the low 32 bits, so a huge disk fails the
        // plausibility test below instead of passing with a wrong size.
        drive.SectorCount = static_cast<uint32_t>(std::min<uint64_t>(sectors, UINT32_MAX));
        askCapacity = false;
      }
    }
  }
  if (drive.SectorCount < 2047 || drive.SectorCount > 2048000000u) {
    drive.SectorSize = 512;
    drive.SectorCount = 65536;
    askCapacity = true;
  }
  return !askCapacity;
}

TCardSizes CardSizes(uint32_t sectorCount, int64_t freeBytes) {
  TCardSizes sizes;
  sizes.CardMB = RoundHalfEven(sectorCount / 2048.0);
  sizes.FreeMB = RoundHalfEven(static_cast<double>(freeBytes) / 1024 / 1024);
  sizes.NeededMB = static_cast<int64_t>(sizes.CardMB * 1.1);
  return sizes;
}

std::optional<std::string> HardDiskQuestion(char letter, const TCardSizes& sizes) {
  if (sizes.CardMB <= 168960 && letter != 'C') return std::nullopt;
  return std::string("对不起，它看起来像驱动器") + letter + ": 您选择好要扫描的硬盘驱动器 " +
         Format("(大小: %5.1f GB)", sizes.CardMB / 1024.0) +
         " 而不是一台数码相机的存储卡（存储卡大小通常大于 128 GB）。" + "\r\n\r\n" +
         "点击“是”以取消并重新选择一个驱动器盘符，或者单击“否”继续处理。";
}

std::optional<std::string> FreeSpaceQuestion(const TCardSizes& sizes) {
  if (sizes.FreeMB >= sizes.NeededMB) return std::nullopt;
  return "记忆卡存储大小: " + MegabytesText(sizes.CardMB) + "\r\n" +
         "目标文件夹驱动器可用空间: " + MegabytesText(sizes.FreeMB) + "\r\n" +
         "建议的可用磁盘空间: " + MegabytesText(sizes.NeededMB) + "\r\n\r\n" +
         "对不起，看来你的目标文件夹的驱动器没有足够的可用磁盘空间来保存临时文件和从存储卡中恢复的文件。" +
         "建议选择不同的目标文件夹，或者清理当前目标文件夹的驱动器，以获得足够的可用磁盘空间。" +
         "\r\n\r\n" + "点击“是”以取消并重新选择，或者单击“否”继续处理。";
}

std::string SoughtTypes(const TRecogniserInputs& inputs) {
  std::string text;
  for (int i = 1; i <= FileTypeCount; ++i) {
    if (inputs.Enabled(i)) text += "." + std::string(FileTypeTable[i - 1]) + "/";
  }
  if (!text.empty()) text.pop_back();
  return text;
}

}  // namespace snapsalvager::cli
