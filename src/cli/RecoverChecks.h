// The wizard's checks before a scan, in the form the command line runs them: destination
// folder rules, earlier recoveries, the card's measured size and the two warnings.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "engine/ScanOptions.h"

namespace snapsalvager::cli {

// The destination text trimmed of blanks, with a trailing '/'; empty when only blanks.
std::string NormaliseDestFolder(const std::string& text);

// True when nothing in folder matches "File0*.*" (without regard to case).
bool NoEarlierRecovery(const std::filesystem::path& folder);

// Free bytes of the file system holding path (its nearest existing folder); -1 on failure.
int64_t FreeSpaceOf(const std::filesystem::path& path);

// Fills SectorSize and SectorCount of drive from its geometry and length. Returns false
// when the capacity could not be measured (or looked implausible): the wizard would then
// ask for it, and drive holds the fallback of 65536 sectors of 512 bytes.
bool MeasureCard(TDriveEntry& drive);

// Sizes of the warnings, in units of 1,048,576 bytes, rounded halves to even.
struct TCardSizes {
  int64_t CardMB = 0;
  int64_t FreeMB = 0;
  int64_t NeededMB = 0;
};
TCardSizes CardSizes(uint32_t sectorCount, int64_t freeBytes);

// The hard-disk question, when the drive looks like a hard disk rather than a card.
std::optional<std::string> HardDiskQuestion(char letter, const TCardSizes& sizes);
// The free-space question, when the destination has less room than the card needs.
std::optional<std::string> FreeSpaceQuestion(const TCardSizes& sizes);

// ".JPG/.TIF": the enabled types in table order.
std::string SoughtTypes(const TRecogniserInputs& inputs);

}  // namespace snapsalvager::cli
