// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The checks before a scan, shared by the wizard and the command line: the destination
// folder's rules, earlier recoveries, the card's measured size and the two warnings.
// The front ends only show the texts and take the answers.
#pragma once

#include <cstdint>
#include <array>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "session/ScanOptions.h"

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
// destFolder + "TmpFiles/" as soon as the destination exists. error, when given, receives
// the system's reason (errno) of a failure.
// created, when given, receives what this call made, parents first: the folders and the
// note, so that a scan that does not start after all can take them away again.
TDestFolderResult PrepareDestFolder(const std::string& destFolder, std::string& tempFolder,
                                    int* error = nullptr,
                                    std::vector<std::filesystem::path>* created = nullptr);
// What PrepareDestFolder would answer, found without writing anything: the destination
// must not be written to before the user has answered every question (it may lie on the
// card). The nearest existing folder must be writable where something is to be made.
TDestFolderResult InspectDestFolder(const std::string& destFolder, std::string& tempFolder,
                                    int* error = nullptr);
// Removes what PrepareDestFolder reported as made, newest first; folders only when empty.
void RemoveCreated(const std::vector<std::filesystem::path>& created);

// True when nothing in folder (file or folder) matches "File0*.*" in the DOS sense:
// without regard to case, "*.*" also matching a name without a dot.
bool NoEarlierRecovery(const std::filesystem::path& folder);

// Free bytes of the file system holding path (its nearest existing folder); -1 when it
// cannot be asked, kNoLocalDisk for an empty path or a network path ("//" or "\\").
int64_t FreeSpaceOf(const std::filesystem::path& path);

// Fills SectorSize and SectorCount of drive from its geometry and length. Returns false
// when the capacity could not be measured (or looked implausible): it must then be asked
// for, and drive holds the fallback of 65536 sectors of 512 bytes.
bool MeasureCard(TDriveEntry& drive);

// The most sectors a card can have: 128 TiB, the largest the SD standard allows (SDUC).
inline constexpr uint64_t kMostCardSectors = uint64_t{1} << 38;

// Whole decimal megabytes (1,000,000 bytes = 1953.125 sectors, truncated): the capacity
// offered for correction when it could not be measured.
uint64_t DecimalMegabytes(uint64_t sectorCount);

// Sizes of the warnings, in units of 1,048,576 bytes, rounded halves to even.
struct TCardSizes {
  int64_t CardMB = 0;
  int64_t FreeMB = 0;
  int64_t NeededMB = 0;  // CardMB and a tenth, truncated
  bool LocalDisk = true;  // false when the free bytes were kNoLocalDisk
};
TCardSizes CardSizes(uint64_t sectorCount, int64_t freeBytes);

// The hard-disk question, when the drive is C: or bigger than a card (168,960 MB).
std::optional<std::string> HardDiskQuestion(char letter, const TCardSizes& sizes);
// The free-space question, when a local destination has less room than the card needs.
std::optional<std::string> FreeSpaceQuestion(const TCardSizes& sizes);

// The user text for a card that cannot be opened: the device (or image) path, the
// system's reason, and for EACCES/EPERM who may open it (root, or a member of the group
// owning the device, named from the device node: node when given, else device). asRoot:
// the opener was root, so what refused it is above file rights (a sandbox, a policy). On
// Windows the advice is to run elevated, and asRoot means the program already is.
std::string CannotOpenCardText(const std::string& device, int error, const std::string& node = {},
                               bool asRoot = false);

// Opens the card of a drive number once, before anything is measured or scanned. Empty
// when it opens; otherwise CannotOpenCardText for it.
std::optional<std::string> CardOpenProblem(uint8_t driveNumber);

// The same-drive question, asked when the destination lies on the card's own drive.
std::string SameDriveQuestion();
// True when the destination folder's file system is on the card's drive: the letter of
// the disk holding it is the card's, or the two share a disk below any partitioning or
// stacking (LinuxDrives::SharesDisk).
bool DestinationOnCardDrive(char letter, const std::string& destFolder);

// ".JPG/.TIF": the enabled types in table order.
std::string SoughtTypes(const TRecogniserInputs& inputs);
// The same for a deep scan: also the types only its structure tests name, in table order.
std::string SoughtTypes(const TRecogniserInputs& inputs, bool deep);

}  // namespace snapsalvager

namespace snapsalvager {

// The whole sequence before a scan, in its one order, as steps both front ends render: the
// checks of the scan options, then the measurement and warnings before the scan. A front
// end shows a refusal and stops, asks a question and reports the answer, or asks for the
// capacity; it holds no text and no order of its own.
enum class TCheckId {
  // The scan options.
  NoDrive, NetworkDrive, OpticalDrive, NoCamera, NoKinds, NoDestFolder, SameDrive,
  CannotOpenCard, CannotCreateDest, CannotWriteTemp, EarlierRecovery,
  // Before the scan.
  UnknownCapacity, HardDisk, FreeSpace,
};
enum class TCheckPhase { ScanOptions, BeforeScan };
enum class TCheckKind {
  Refusal,   // the text is shown and the checks stop
  Question,  // the text is asked; the answer No goes on, unless NoAnswerGoesOn
  Capacity,  // the card could not be measured: the user gives the sector count or stops
};
struct TCheckStep {
  TCheckId Id;
  TCheckKind Kind = TCheckKind::Refusal;
  std::string Text;
  bool NoAnswerGoesOn = false;  // a question that only informs (the CD/DVD one)
  std::string HelpTopic;        // opened when a question is answered Yes; may be empty
};

// What the user chose, as either front end collects it.
struct TScanChoices {
  std::optional<TDriveEntry> Drive;  // nullopt: no drive chosen
  std::string Camera;                // a name of CameraTable; anything else counts as none
  bool Photo = true;
  bool Video = false;
  bool Audio = false;
  std::string VideoType = "ALL";
  std::string DestText;  // the destination as typed
};

// The probes a front end or a test replaces: is the folder on the card's drive, and its
// free bytes. OpenCard, when set, opens the card before the destination is created and
// answers the text of a failure (nothing when it opens).
struct TCheckProbes {
  std::function<bool(char letter, const std::string& destFolder)> OnCardDrive;
  std::function<int64_t(const std::string& destFolder)> FreeSpace;
  std::function<std::optional<std::string>(const TDriveEntry& drive)> OpenCard;
};

class TScanCheckList {
 public:
  explicit TScanCheckList(TScanChoices choices, TCheckProbes probes = {});

  // Runs the checks of phase from where they stand to the next step the user must see;
  // nullopt when every check of the phase passed (or the checks were stopped: see Stopped).
  std::optional<TCheckStep> Next(TCheckPhase phase);
  // The answer to the question Next returned. True when the checks go on.
  bool Answer(bool yes);
  // The capacity for the UnknownCapacity step: the sectors the user gave (512 bytes each),
  // or nullopt to stop. True when the checks go on.
  bool GiveCapacity(std::optional<uint64_t> sectors);
  // Goes on from the first check of phase (the window measures a card chosen earlier).
  void SkipTo(TCheckPhase phase);
  bool Stopped() const { return stopped_; }
  bool Measured() const { return measured_; }  // the card's capacity was measured

  // Filled as the checks pass: the drive (measured), the recogniser inputs, the normalised
  // destination and its temporary folder.
  TDriveEntry Drive;
  TRecogniserInputs Inputs;
  std::string DestFolder;
  std::string TempFolder;

 private:
  using TStepFunction = std::optional<TCheckStep> (TScanCheckList::*)();
  struct TStepRow {
    TCheckPhase Phase;
    TStepFunction Run;
  };
  static const std::array<TStepRow, 11> kSteps;

  std::optional<TCheckStep> CheckDrive();
  std::optional<TCheckStep> CheckDriveType();
  std::optional<TCheckStep> CheckCamera();
  std::optional<TCheckStep> CheckKinds();
  std::optional<TCheckStep> CheckDestFolder();
  std::optional<TCheckStep> CheckSameDrive();
  std::optional<TCheckStep> CheckFolders();
  std::optional<TCheckStep> CheckEarlierRecovery();
  std::optional<TCheckStep> MeasureDrive();
  std::optional<TCheckStep> CheckHardDisk();
  std::optional<TCheckStep> CheckFreeSpace();

  TScanChoices choices_;
  TCheckProbes probes_;
  size_t next_ = 0;
  std::optional<TCheckStep> open_;  // the step waiting for the user
  bool stopped_ = false;
  bool measured_ = false;
  TCardSizes sizes_;
};

}  // namespace snapsalvager
