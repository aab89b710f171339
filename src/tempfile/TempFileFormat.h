// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The temporary-file format, in one place (docs/temporary-files.md tells it to users).
//
// While a card is scanned, every carved file goes into the temporary folder ("TmpFiles/"
// under the destination) as
//
//     Temporary_v5_File<number>_<type>.~QX        e.g. Temporary_v5_File0001_JPG.~QX
//
// where <number> has at least four digits and <type> is the type its first sector was
// recognised as. Saved, it becomes File<number>.<type> (File0001.JPG).
//
// The content is the carved bytes in card order with no header, trailer or checksum. The
// first kTempHeadLength bytes (all of them, for a shorter file) are stored XORed with
// kTempHeadKey; every later byte is stored unchanged, so a half-finished carve is never
// opened as a finished photo. A type's file is capped at its descriptor's SizeCap (JPG at
// kJpgMaxSize bytes, formats/FileTypes.h); other types are not capped. Next to the files
// lies a note for the user (kFolderNoteName).
//
// While a file is being saved, its plain head is first written whole to a journal next to
// it (HeadJournalOf): as long as the journal exists, the head of the temporary file may be
// in either state and the journal tells the plain one. A temporary file without a journal
// (every file of an earlier version) has its head scrambled. Temporary files that were
// kept from an earlier scan are moved into a dated subfolder before a new scan starts.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "formats/FileTypes.h"

namespace snapsalvager {

inline constexpr int32_t kTempHeadLength = 512;
inline constexpr uint8_t kTempHeadKey = 0xD3;

inline constexpr char kTempFolderName[] = "TmpFiles";
inline constexpr char kFolderNoteName[] = "AboutThisFolder.txt";

// The size cap of a type's temporary file: its descriptor's (kJpgMaxSize for "JPG"), else
// 0 (no cap).
int64_t TempFileSizeCap(const std::string& type);

// Scrambles or unscrambles (the same XOR) the part of data that lies in the head: data
// holds count bytes found at offset in the file. Bytes past the head stay as they are.
void ScrambleHead(void* data, int64_t offset, int64_t count);

// 1 -> "0001", 123 -> "0123", 12345 -> "12345".
std::string FileNumberText(uint32_t number);
// "File" + number + "." + type.
std::string RecoveredFileName(uint32_t number, const std::string& type);
// "Temporary_v5_File" + number + "_" + type + ".~QX".
std::string TemporaryFileName(uint32_t number, const std::string& type);
// The shell pattern that matches every temporary file name.
std::string TemporaryFilePattern();
// How a user spells the temporary name in a message: "Temporary_v5_File<number>_<type>.~QX".
std::string TemporaryNameForm();

// "File0001.JPG" for a temporary file named "Temporary_v5_File0001_JPG.~QX" (the type
// upper-cased, the suffix matched without regard to case); empty for any other name.
std::string RecoveredNameOfTemporary(const std::string& tempName);

// The journal of a temporary file's plain head while it is saved: the file's path + ".head".
std::filesystem::path HeadJournalOf(const std::filesystem::path& tempFile);
// The temporary file a journal belongs to; empty when path names no journal.
std::filesystem::path TempFileOfJournal(const std::filesystem::path& path);

// The names a save under the card's names gave its files, kept in the temporary folder for
// a restore of the files left there; only a save or scan that asked for those names writes it.
constexpr char kKeptNamesFile[] = "OriginalNames.txt";

// Moves every temporary file (and journal, and the kept names) lying in tempFolder into a new
// subfolder named after the time, "Kept_2026-12-07_18-04-00", so a new scan never meets them
// (kept names with no file left to name are removed). Returns the
// subfolder and the number of temporary files moved; an empty path when there were none.
// Throws std::runtime_error when they cannot all be moved.
std::filesystem::path MoveAsideTemporaryFiles(const std::filesystem::path& tempFolder, size_t& moved);

// fsync of a folder, so a rename or unlink in it survives a power loss; false on failure.
bool SyncFolder(const std::filesystem::path& folder);

// Reads "File0001.JPG" (any number of digits) as 1 and "JPG"; false for any other name.
bool ParseRecoveredName(const std::string& name, uint32_t& number, std::string& type);

// The languages of the folder note; the front end's language picks one.
enum class TFolderNoteLanguage { Chinese, English };
// Writes the note (19 lines, CR LF) into tempFolder; errors are ignored.
void WriteFolderNote(const std::filesystem::path& tempFolder,
                     TFolderNoteLanguage language = TFolderNoteLanguage::Chinese);

}  // namespace snapsalvager
