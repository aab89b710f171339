// The checks before a scan, shared by the wizard and the command line: the destination
// folder's rules, earlier recoveries, the card's measured size and the two warnings.
// The front ends only show the texts and take the answers.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "engine/ScanOptions.h"

namespace snapsalvager {

// FreeSpaceOf's answer for a destination on no local disk (empty, or "//host/..."): the
// free-space warning is then skipped.
constexpr int64_t kNoLocalDisk = -99;

// The destination text trimmed of blanks, "~" and relative folders made absolute (home
// folder, current folder), with a trailing '/'; empty when only blanks.
std::string NormaliseDestFolder(const std::string& text);

// What PrepareDestFolder found.
enum class TDestFolderResult {
  Ready,            // destination and its TmpFiles/ exist
  CannotCreate,     // the destination neither exists nor can be made
  CannotWriteTemp,  // TmpFiles/ neither exists nor can be made
};
// Creates destFolder (with missing parents) and its TmpFiles/ folder, whose explanation
// note is written when the folder is new (errors ignored). tempFolder is set to
// destFolder + "TmpFiles/" as soon as the destination exists.
TDestFolderResult PrepareDestFolder(const std::string& destFolder, std::string& tempFolder);

// True when nothing in folder (file or folder) matches "File0*.*" as Windows matches it:
// without regard to case, "*.*" also matching a name without a dot.
bool NoEarlierRecovery(const std::filesystem::path& folder);

// Free bytes of the file system holding path (its nearest existing folder); -1 when it
// cannot be asked, kNoLocalDisk for an empty path or a network path ("//" or "\\").
int64_t FreeSpaceOf(const std::filesystem::path& path);

// Fills SectorSize and SectorCount of drive from its geometry and length. Returns false
// when the capacity could not be measured (or looked implausible): it must then be asked
// for, and drive holds the fallback of 65536 sectors of 512 bytes.
bool MeasureCard(TDriveEntry& drive);

// Whole decimal megabytes (1,000,000 bytes = 1953.125 sectors, truncated): the capacity
// offered for correction when it could not be measured.
uint32_t DecimalMegabytes(uint32_t sectorCount);

// Sizes of the warnings, in units of 1,048,576 bytes, rounded halves to even.
struct TCardSizes {
  int64_t CardMB = 0;
  int64_t FreeMB = 0;
  int64_t NeededMB = 0;  // CardMB and a tenth, truncated
  bool LocalDisk = true;  // false when the free bytes were kNoLocalDisk
};
TCardSizes CardSizes(uint32_t sectorCount, int64_t freeBytes);

// The hard-disk question, when the drive is C: or bigger than a card (168,960 MB).
std::optional<std::string> HardDiskQuestion(char letter, const TCardSizes& sizes);
// The free-space question, when a local destination has less room than the card needs.
std::optional<std::string> FreeSpaceQuestion(const TCardSizes& sizes);

// ".JPG/.TIF": the enabled types in table order.
std::string SoughtTypes(const TRecogniserInputs& inputs);
// Appended to the sought types while a deep scan applies.
inline constexpr const char* kDeepScanSuffix = "（深度扫描）";

}  // namespace snapsalvager
