// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The program's texts for both front ends, one table per language: the engine and the
// command line say what happened with a TText and its values; the table renders it. The
// window's own labels and buttons are Qt texts in src/wizard and its .ui files.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

namespace snapsalvager {

// The languages a table exists for. A new language is a new table (TextsChinese.cpp and
// TextsEnglish.cpp show how) with a row for every TText, chosen once at start.
enum class TLanguage { Chinese, English };

// Chooses the table; call once at start, before any thread reads a text.
void SetLanguage(TLanguage language);
// The chosen table's language.
TLanguage Language();

// The language a --lang value or SNAPSALVAGER_LANG names: "en" or "zh"; none for anything else.
std::optional<TLanguage> LanguageNamed(std::string_view name);
// The language of this run unless --lang says otherwise: SNAPSALVAGER_LANG when it names one,
// else English when the locale's messages are English (the first set of LC_ALL, LC_MESSAGES,
// LANG begins with "en"), else Chinese, the language the program has always spoken.
TLanguage LanguageFromEnvironment();
// Takes --lang VALUE and --lang=VALUE out of a program's arguments, wherever they stand, and
// chooses the language: the option, else LanguageFromEnvironment(). False when a --lang names
// no language (the environment's language is chosen then).
bool ChooseLanguage(int& argc, char** argv);

enum class TText : uint16_t {
  // The end of a scan and of the save.
  UserStopped,
  NothingFound,
  SavedIn,          // followed by the destination folder
  SavingFile,       // followed by the file's path
  BypassingFile,    // followed by the file's path
  RestoreLater,     // %1 the restore command
  AbandonedScanRunning,
  CutFileNote,      // %1 the bytes kept
  UnknownScanError,
  CardGone,
  JournalDoesNotFit,
  DeepScanSuffix,   // after the sought types
  JoinedNote,       // %1-%2 the first piece's sectors, %3-%4 the second's
  JoiningPieces,    // %1 breaks searched, %2 of them
  SizeFromEntry,    // %1 a found file, %2 its bytes now
  // The checks before a scan.
  NoDrive,
  NetworkDrive,
  OpticalDrive,
  NoCamera,
  NoKinds,
  NoDestFolder,
  CannotCreateDest,  // %1 the folder
  CannotWriteTemp,   // %1 the folder
  EarlierRecovery,
  UnknownCapacity,
  HardDisk,          // %1 the letter, %2 the size in GB ("%5.1f")
  FreeSpace,         // %1 card, %2 free, %3 needed (MegabytesText each)
  SameDrive,
  CannotOpenCard,    // %1 the device, %2 the system's reason
  CannotOpenCardWho, // %1 CannotOpenCardGroup or nothing
  CannotOpenCardGroup,  // %1 the device's group
  CannotOpenCardAsRoot,  // root refused by its sandbox or security policy
  CannotOpenVolumeWho,  // Windows: only an elevated program reads a volume
  CannotOpenVolumeAsAdministrator,  // Windows: elevated, and still refused
  SystemReason,      // %1 the system's reason, after a refusal
  // The command line.
  CliUsage,
  CliUnknownCommand,  // %1
  LangNeedsName,      // %1 the program
  RecoverUsage,
  RecoverUsageLine,   // %1 what is wrong
  RecoverSeeHelp,
  GoingOn,            // %1 the option
  StoppedAtQuestion,  // %1 the option
  CameraChoices,      // %1 typed, %2 CameraNamesNone or CameraAmbiguous
  CameraNamesNone,
  CameraAmbiguous,
  UnknownVideoType,   // %1 the value
  VideoTypeAfterVideo,  // %1 the refused value after --video
  TakesNoValue,       // %1 the option
  CameraNeedsName,
  SectorsNeedsNumber,
  UnknownOption,      // %1
  NeedsSourceAndDest,
  CannotFindSource,   // %1 the source, %2 the system's reason
  NotImageNorDevice,  // %1
  NoFreeLetter,       // %1
  ProgressCounters,   // %1 read, %2 unreadable, %3 files
  ProgressTimeLeft,   // %1 the time left
  GiveSectors,        // %1 sectors, %2 MB
  NoDriveWithLetter,  // %1
  SectorsNotNeeded,   // %1 sectors
  ScanHeader,         // %1 letter, %2 source, %3 MB, %4 sought types
  ScanInProgress,
  StoppingScan,
  ScanEndedOnError,   // %1
  FinishingSave,      // %1 files left
  NotSaved,           // %1 name, %2 reason, %3 temporary file
  FilesSaved,         // %1
  ReportWritten,      // %1 the report's path
  ReportNotWritten,   // %1 the reason
  SpecialTypesNote,
  PostProcessing,     // %1 the type
  FoundCount,         // %1
  ScanOnlyKept,       // %1 the temporary folder
  NamesNotKept,       // %1 the temporary folder
  ImageNeedsFile,
  CardImageWritten,   // %1 the image, %2 its map
  CardImageIncomplete,  // %1 the reason
  ResumingScan,       // %1 sectors done, %2 of them, %3 files found before
  JournalNotResumed,  // %1 sectors done, %2 of them
  JournalOtherScan,   // %1 the temporary folder
  JournalUnusable,    // %1 the temporary folder
  NoScanToResume,     // %1 the temporary folder
  ImageWithResume,
  RestoreUsage,
  RestoreUnknownOption,  // %1
  RestoreNeedsFiles,
  RestoreDestNotFolder,  // %1
  NotATemporaryFile,
  NoSuchFile,
  NameTaken,          // %1 name, %2 folder
  NotRestored,        // %1 file, %2 reason
  FilesRestored,      // %1 count, %2 folder
  RestoreInterrupted,
  NameTakenSavedAs,   // %1 the taken name, %2 the name used
  EarlierTempFilesKept,  // %1 count, %2 the folder they were moved to
  DrivesUsage,
  DrivesUnknownArgument,  // %1
  NoDriveFound,
  DrivesHeader,
  DriveRemovable,
  DriveHardDisk,
  DriveNetwork,
  DriveOptical,
  DriveRamDisk,
  DriveUnknown,
  DriveLabel,         // %1 the label
  ExifUsage,
  ExifUnknownOption,  // %1
  ExifSummary,        // %1
  // What decoding a found file says of it.
  VerdictWhole,
  VerdictDamagedAt,   // %1 the share that decodes, in percent
  VerdictDamaged,
  VerdictUnreadable,
  VerdictCouldNotCheck,
  VerdictNotChecked,
  CheckingFiles,      // %1 files, %2 decoded at a time
  CheckingProgress,   // %1 files checked, %2 of them
  CheckingStopped,
  DamagedSetAside,    // %1 files, %2 the folder
  DamagedNotSetAside, // %1 file, %2 the folder it stays in, %3 the reason
  Count
};

// The text of id in the chosen language.
const char* Text(TText id);
// The text with %1 ... %9 replaced by values in order; a value is never read for
// placeholders itself.
std::string Text(TText id, std::initializer_list<std::string_view> values);

}  // namespace snapsalvager
