// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The checks before a scan: rules of the destination folder, the card's measured size
// and the warnings built from it.
#include "session/ScanChecks.h"

#include <grp.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <system_error>

#include "card/LinuxDrives.h"
#include "session/Texts.h"
#include "tempfile/TempFileFormat.h"
#include "tempfile/Utf8Path.h"
#include "card/DriveReads.h"

namespace snapsalvager {
namespace fs = std::filesystem;

namespace {

// Below this the card is implausibly small, above it implausibly large (about 1 TB).
constexpr uint32_t kFewestSectors = 2047;
constexpr uint64_t kMostSectors = kMostCardSectors;
constexpr uint32_t kFallbackSectors = 65536;
// A card bigger than 165 GiB is more likely a hard disk.
constexpr int64_t kLargestCardMB = 168960;
constexpr double kSectorsPerDecimalMB = 1953.125;

std::string Trim(const std::string& text) {
  const auto blank = [](unsigned char c) { return std::isspace(c) != 0; };
  const auto first = std::find_if_not(text.begin(), text.end(), blank);
  const auto last = std::find_if_not(text.rbegin(), text.rend(), blank).base();
  return first < last ? std::string(first, last) : std::string();
}

// Halves to even (2.5 MB shows as 2, 3.5 as 4), independent of the floating-point
// rounding mode.
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
  std::string folder = Trim(text);
  if (folder.empty()) return {};
  // Linux users type "~/..." and relative folders; the scan needs one unambiguous folder.
  // (On Windows "~" is an ordinary name.)
#ifndef _WIN32
  if (folder == "~" || folder.rfind("~/", 0) == 0) {
    const char* home = std::getenv("HOME");
    folder = std::string(home && *home ? home : "/") + folder.substr(1);
  }
#endif
  if (PathFromUtf8(folder).is_relative()) {
    std::error_code ec;
    const fs::path current = fs::current_path(ec);
    if (!ec) folder = Utf8Of(current / PathFromUtf8(folder));
#ifdef _WIN32
    // One kind of separator, as the folder dialog gives it: not "C:\Users\me\relative/out".
    std::replace(folder.begin(), folder.end(), '\\', '/');
#endif
  }
#ifdef _WIN32
  if (folder.back() == '\\') return folder;  // "D:\Rescued\" ends in a separator already
#endif
  if (folder.back() != '/') folder += '/';
  return folder;
}

TDestFolderResult PrepareDestFolder(const std::string& destFolder, std::string& tempFolder, int* error,
                                    std::vector<fs::path>* created) {
  // The system's reason; a name taken by a file is "not a directory".
  const auto fail = [error](TDestFolderResult result, const std::error_code& ec) {
    if (error) *error = ec ? ec.value() : ENOTDIR;
    return result;
  };
  std::error_code ec;
  const fs::path dest = PathFromUtf8(destFolder);
  std::vector<fs::path> missing;  // the folders to make, deepest first
  for (fs::path p = fs::absolute(dest, ec).lexically_normal(); !ec && p.has_relative_path();
       p = p.parent_path()) {
    std::error_code exists;
    if (fs::exists(p, exists) || exists) break;
    if (p.filename().empty()) continue;  // the trailing separator's empty name
    missing.push_back(p);
  }
  ec.clear();
  fs::create_directories(dest, ec);
  std::error_code isDir;
  if (!fs::is_directory(dest, isDir)) return fail(TDestFolderResult::CannotCreate, ec);
  if (created) {
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
      if (fs::is_directory(*it, isDir)) created->push_back(*it);
    }
  }
  tempFolder = destFolder + kTempFolderName + "/";
  const fs::path temp = PathFromUtf8(tempFolder);
  if (!fs::is_directory(temp, isDir)) {
    // Made by someone else in the meantime is as good as made here.
    if (fs::create_directory(temp, ec)) {
      if (created) created->push_back(temp);
    } else if (!fs::is_directory(temp, isDir)) {
      return fail(TDestFolderResult::CannotWriteTemp, ec);
    }
    WriteFolderNote(temp, Language() == TLanguage::English ? TFolderNoteLanguage::English
                                                           : TFolderNoteLanguage::Chinese);
    if (created && fs::exists(temp / kFolderNoteName, isDir)) created->push_back(temp / kFolderNoteName);
  }
  return TDestFolderResult::Ready;
}

TDestFolderResult InspectDestFolder(const std::string& destFolder, std::string& tempFolder, int* error) {
  const auto fail = [error](TDestFolderResult result, int reason) {
    if (error) *error = reason;
    return result;
  };
  // Writable as the system sees it for this user: access() also answers EROFS.
  const auto writable = [](const fs::path& folder) {
#ifdef _WIN32
    // Rights on Windows are not what access() sees: the start finds out and says so.
    (void)folder;
    return 0;
#else
    return ::access(folder.c_str(), W_OK | X_OK) == 0 ? 0 : errno;
#endif
  };
  std::error_code ec;
  const fs::path dest = PathFromUtf8(destFolder);
  fs::path nearest = fs::absolute(dest, ec).lexically_normal();
  if (ec) return fail(TDestFolderResult::CannotCreate, ec.value());
  bool destExists = true;
  for (;;) {
    std::error_code exists;
    if (fs::exists(nearest, exists)) break;
    destExists = false;
    if (!nearest.has_relative_path()) return fail(TDestFolderResult::CannotCreate, ENOENT);
    nearest = nearest.parent_path();
  }
  if (!fs::is_directory(nearest, ec)) return fail(TDestFolderResult::CannotCreate, ENOTDIR);
  if (!destExists) {
    // Everything below nearest is made at the start, TmpFiles with it.
    if (const int reason = writable(nearest)) return fail(TDestFolderResult::CannotCreate, reason);
    tempFolder = destFolder + kTempFolderName + "/";
    return TDestFolderResult::Ready;
  }
  tempFolder = destFolder + kTempFolderName + "/";
  // Without the trailing separator: a file of that name must be found as a file.
  const fs::path temp = PathFromUtf8(destFolder) / kTempFolderName;
  std::error_code isDir;
  if (fs::is_directory(temp, isDir)) return TDestFolderResult::Ready;
  if (fs::exists(temp, isDir)) return fail(TDestFolderResult::CannotWriteTemp, EEXIST);
  if (const int reason = writable(dest)) return fail(TDestFolderResult::CannotWriteTemp, reason);
  return TDestFolderResult::Ready;
}

void RemoveCreated(const std::vector<fs::path>& created) {
  for (auto it = created.rbegin(); it != created.rend(); ++it) {
    std::error_code ec;
    if (fs::is_directory(*it, ec)) {
      if (fs::is_empty(*it, ec) && !ec) fs::remove(*it, ec);
    } else {
      fs::remove(*it, ec);
    }
  }
}

bool NoEarlierRecovery(const fs::path& folder) {
  // "File0*.*" in the DOS sense: any case, folders too, and "*.*" also matches a name
  // without a dot, so the pattern comes down to the prefix "file0".
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.size() < 5) continue;
    std::string head = name.substr(0, 5);
    std::transform(head.begin(), head.end(), head.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (head == "file0") return false;
  }
  return true;
}

int64_t FreeSpaceOf(const fs::path& path) {
  const std::string trimmed = Trim(Utf8Of(path));
  if (trimmed.empty() || trimmed.rfind("//", 0) == 0 || trimmed.rfind("\\\\", 0) == 0)
    return kNoLocalDisk;
  // A destination not made yet is asked about through the folder that will hold it.
  std::error_code ec;
  fs::path folder = fs::absolute(PathFromUtf8(trimmed), ec);
  if (ec) return -1;
  while (!fs::is_directory(folder, ec)) {
    if (!folder.has_relative_path()) return -1;
    folder = folder.parent_path();
  }
  struct statvfs info {};
  if (::statvfs(folder.c_str(), &info) != 0) return -1;
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
  int64_t length = -1;
  if (GetDiskSize(drive.DriveNumber, length) && length > 0) {
    const uint64_t sectors = static_cast<uint64_t>(length) / drive.SectorSize;
    if (sectors > drive.SectorCount) {
      drive.SectorCount = sectors;
      askCapacity = false;
    }
  }
  if (drive.SectorCount < kFewestSectors || drive.SectorCount > kMostSectors) {
    drive.SectorSize = 512;
    drive.SectorCount = kFallbackSectors;
    askCapacity = true;
  }
  return !askCapacity;
}

uint64_t DecimalMegabytes(uint64_t sectorCount) {
  return static_cast<uint64_t>(static_cast<double>(sectorCount) / kSectorsPerDecimalMB);
}

TCardSizes CardSizes(uint64_t sectorCount, int64_t freeBytes) {
  TCardSizes sizes;
  sizes.CardMB = RoundHalfEven(static_cast<double>(sectorCount) / 2048.0);
  sizes.FreeMB = RoundHalfEven(static_cast<double>(freeBytes) / 1024 / 1024);
  sizes.NeededMB = static_cast<int64_t>(static_cast<double>(sizes.CardMB) * 1.1);
  sizes.LocalDisk = freeBytes != kNoLocalDisk;
  return sizes;
}

std::optional<std::string> HardDiskQuestion(char letter, const TCardSizes& sizes) {
  if (sizes.CardMB <= kLargestCardMB && std::toupper(static_cast<unsigned char>(letter)) != 'C')
    return std::nullopt;
  return Text(TText::HardDisk,
              {std::string(1, letter), Format("%5.1f", static_cast<double>(sizes.CardMB) / 1024.0)});
}

std::optional<std::string> FreeSpaceQuestion(const TCardSizes& sizes) {
  if (!sizes.LocalDisk || sizes.FreeMB >= sizes.NeededMB) return std::nullopt;
  return Text(TText::FreeSpace, {MegabytesText(sizes.CardMB), MegabytesText(sizes.FreeMB),
                                 MegabytesText(sizes.NeededMB)});
}

std::string SoughtTypes(const TRecogniserInputs& inputs) { return SoughtTypes(inputs, false); }

std::string SoughtTypes(const TRecogniserInputs& inputs, bool deep) {
  std::string text;
  for (int i = 1; i <= kFileTypeCount; ++i) {
    if (deep ? inputs.EnabledDeep(i) : inputs.Enabled(i)) text += "." + std::string(FileTypeTable[i - 1]) + "/";
  }
  if (!text.empty()) text.pop_back();
  return text;
}

std::string CannotOpenCardText(const std::string& device, int error, const std::string& node, bool asRoot) {
  std::string text = Text(TText::CannotOpenCard, {device, std::strerror(error)});
#ifdef _WIN32
  // Windows lets an elevated program read a volume; no group grants it.
  (void)node;
  if (error == EACCES || error == EPERM)
    text += Text(asRoot ? TText::CannotOpenVolumeAsAdministrator : TText::CannotOpenVolumeWho);
#else
  if (error == EACCES || error == EPERM) {
    std::string group;
    struct stat st {};
    if (::stat((node.empty() ? device : node).c_str(), &st) == 0) {
      if (const struct group* g = ::getgrgid(st.st_gid)) group = g->gr_name;
    }
    const bool named = !group.empty() && group != "root";
    // Root already has every right a user could be told to get: something above it refuses.
    if (asRoot) {
      text += Text(TText::CannotOpenCardAsRoot);
    } else {
      text += Text(TText::CannotOpenCardWho, {named ? Text(TText::CannotOpenCardGroup, {group}) : ""});
    }
  }
#endif
  return text;
}

std::optional<std::string> CardOpenProblem(uint8_t driveNumber) {
  std::string name = "drive " + std::to_string(driveNumber);
  if (const TLinuxDrive* drive = LinuxDrives::ByNumber(driveNumber))
    name = drive->Path.empty() ? drive->DisplayName : drive->Path;
  errno = 0;
  if (LinuxDrives::OpenSource(driveNumber)) return std::nullopt;
  // A source that failed without a system error (no such drive, a test's source) still
  // gets a reason.
  return CannotOpenCardText(name, errno != 0 ? errno : ENXIO, {}, ::geteuid() == 0);
}

std::string SameDriveQuestion() {
  return Text(TText::SameDrive);
}

bool DestinationOnCardDrive(char letter, const std::string& destFolder) {
  const auto upper = [](char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); };
  if (upper(LinuxDrives::LetterHoldingPath(destFolder)) == upper(letter)) return true;
  return LinuxDrives::PathSharesDiskWith(letter, destFolder);
}

}  // namespace snapsalvager

namespace snapsalvager {
namespace {

TCheckStep Refusal(TCheckId id, std::string text) {
  return TCheckStep{id, TCheckKind::Refusal, std::move(text), false, {}};
}

TCheckStep Question(TCheckId id, std::string text) {
  return TCheckStep{id, TCheckKind::Question, std::move(text), false, {}};
}

}  // namespace

// The one order of the checks. The camera comes before the kinds: without a camera the
// kinds are not looked at.
const std::array<TScanCheckList::TStepRow, 11> TScanCheckList::kSteps = {{
    {TCheckPhase::ScanOptions, &TScanCheckList::CheckDrive},
    {TCheckPhase::ScanOptions, &TScanCheckList::CheckDriveType},
    {TCheckPhase::ScanOptions, &TScanCheckList::CheckCamera},
    {TCheckPhase::ScanOptions, &TScanCheckList::CheckKinds},
    {TCheckPhase::ScanOptions, &TScanCheckList::CheckDestFolder},
    {TCheckPhase::ScanOptions, &TScanCheckList::CheckSameDrive},
    {TCheckPhase::ScanOptions, &TScanCheckList::CheckFolders},
    {TCheckPhase::ScanOptions, &TScanCheckList::CheckEarlierRecovery},
    {TCheckPhase::BeforeScan, &TScanCheckList::MeasureDrive},
    {TCheckPhase::BeforeScan, &TScanCheckList::CheckHardDisk},
    {TCheckPhase::BeforeScan, &TScanCheckList::CheckFreeSpace},
}};

TScanCheckList::TScanCheckList(TScanChoices choices, TCheckProbes probes)
    : choices_(std::move(choices)), probes_(std::move(probes)) {
  if (!probes_.OnCardDrive) probes_.OnCardDrive = DestinationOnCardDrive;
  if (!probes_.FreeSpace) {
    probes_.FreeSpace = [](const std::string& folder) { return FreeSpaceOf(PathFromUtf8(folder)); };
  }
}

std::optional<TCheckStep> TScanCheckList::Next(TCheckPhase phase) {
  if (stopped_ || open_) return std::nullopt;
  for (; next_ < kSteps.size() && kSteps[next_].Phase == phase; ++next_) {
    if (auto step = (this->*kSteps[next_].Run)()) {
      ++next_;
      if (step->Kind == TCheckKind::Refusal) {
        stopped_ = true;
      } else {
        open_ = step;
      }
      return step;
    }
  }
  return std::nullopt;
}

void TScanCheckList::SkipTo(TCheckPhase phase) {
  next_ = 0;
  while (next_ < kSteps.size() && kSteps[next_].Phase != phase) ++next_;
}

bool TScanCheckList::Answer(bool yes) {
  if (!open_ || open_->Kind != TCheckKind::Question) return false;
  const bool goOn = !yes && !open_->NoAnswerGoesOn;
  open_.reset();
  stopped_ = !goOn;
  return goOn;
}

bool TScanCheckList::GiveCapacity(std::optional<uint64_t> sectors) {
  if (!open_ || open_->Kind != TCheckKind::Capacity) return false;
  open_.reset();
  if (!sectors) {
    stopped_ = true;
    return false;
  }
  Drive.SectorCount = *sectors;
  Drive.SectorSize = 512;
  return true;
}

std::optional<TCheckStep> TScanCheckList::CheckDrive() {
  if (choices_.Drive) {
    Drive = *choices_.Drive;
    return std::nullopt;
  }
  return Refusal(TCheckId::NoDrive, Text(TText::NoDrive));
}

std::optional<TCheckStep> TScanCheckList::CheckDriveType() {
  if (Drive.DriveType == DRIVE_REMOTE) {
    return Refusal(TCheckId::NetworkDrive, Text(TText::NetworkDrive));
  }
  if (Drive.DriveType != DRIVE_CDROM) return std::nullopt;
  TCheckStep step = Question(TCheckId::OpticalDrive, Text(TText::OpticalDrive));
  step.NoAnswerGoesOn = true;
  step.HelpTopic = "cddvd";
  return step;
}

std::optional<TCheckStep> TScanCheckList::CheckCamera() {
  if (FindCamera(choices_.Camera) == nullptr) {
    return Refusal(TCheckId::NoCamera, Text(TText::NoCamera));
  }
  Inputs = MakeRecogniserInputs(choices_.Camera, choices_.Photo, choices_.Video, choices_.Audio,
                                choices_.VideoType);
  return std::nullopt;
}

std::optional<TCheckStep> TScanCheckList::CheckKinds() {
  if (choices_.Photo || choices_.Video || choices_.Audio) return std::nullopt;
  return Refusal(TCheckId::NoKinds, Text(TText::NoKinds));
}

std::optional<TCheckStep> TScanCheckList::CheckDestFolder() {
  DestFolder = NormaliseDestFolder(choices_.DestText);
  if (!DestFolder.empty()) return std::nullopt;
  return Refusal(TCheckId::NoDestFolder, Text(TText::NoDestFolder));
}

std::optional<TCheckStep> TScanCheckList::CheckSameDrive() {
  // Writing there would overwrite the deleted files being recovered.
  if (!probes_.OnCardDrive(Drive.Letter, DestFolder)) return std::nullopt;
  return Question(TCheckId::SameDrive, SameDriveQuestion());
}

std::optional<TCheckStep> TScanCheckList::CheckFolders() {
  // Nothing is created for a card that cannot be read.
  if (probes_.OpenCard) {
    if (auto failure = probes_.OpenCard(Drive)) return Refusal(TCheckId::CannotOpenCard, *failure);
  }
  int error = 0;
  // Nothing is made yet: the questions after this one may still call the scan off.
  switch (InspectDestFolder(DestFolder, TempFolder, &error)) {
    case TDestFolderResult::Ready: return std::nullopt;
    case TDestFolderResult::CannotCreate:
      return Refusal(TCheckId::CannotCreateDest, Text(TText::CannotCreateDest, {DestFolder}) +
                                                     Text(TText::SystemReason, {std::strerror(error)}));
    case TDestFolderResult::CannotWriteTemp:
      return Refusal(TCheckId::CannotWriteTemp, Text(TText::CannotWriteTemp, {DestFolder}) +
                                                    Text(TText::SystemReason, {std::strerror(error)}));
  }
  return std::nullopt;
}

std::optional<TCheckStep> TScanCheckList::CheckEarlierRecovery() {
  if (NoEarlierRecovery(PathFromUtf8(DestFolder))) return std::nullopt;
  return Question(TCheckId::EarlierRecovery, Text(TText::EarlierRecovery));
}

std::optional<TCheckStep> TScanCheckList::MeasureDrive() {
  measured_ = MeasureCard(Drive);
  if (measured_) return std::nullopt;
  return TCheckStep{TCheckId::UnknownCapacity, TCheckKind::Capacity, Text(TText::UnknownCapacity),
                    false, {}};
}

std::optional<TCheckStep> TScanCheckList::CheckHardDisk() {
  sizes_ = CardSizes(Drive.SectorCount, probes_.FreeSpace(DestFolder));
  if (auto text = HardDiskQuestion(Drive.Letter, sizes_)) return Question(TCheckId::HardDisk, *text);
  return std::nullopt;
}

std::optional<TCheckStep> TScanCheckList::CheckFreeSpace() {
  if (auto text = FreeSpaceQuestion(sizes_)) return Question(TCheckId::FreeSpace, *text);
  return std::nullopt;
}

}  // namespace snapsalvager
