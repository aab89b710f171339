// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The save pass over the found-file list that both front ends run: the names files are saved
// under, the batches that save them (BatchSave.h), each restored without replacing a file
// (RestoreFile.h).
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "session/BatchSave.h"
#include "session/FoundFiles.h"
#include "session/RestoreFile.h"

namespace snapsalvager {

// The line that tells the user how to save kept temporary files later: the restore
// command with the temporary files (a folder, named as it is: restore takes every temporary
// file in it, however many there are) and the destination folder.
std::string RestoreCommandHint(const std::filesystem::path& kept, const std::filesystem::path& destFolder);

// Hands out the names files are saved under in one folder: a file's own name while it is
// free, else File<n>.<type> with n past every number in use (the folder's and the files'
// being saved), so a taken name never blocks a save and no file is replaced.
class TNamePicker {
 public:
  // highestInUse: the highest number of the names about to be saved.
  TNamePicker(std::filesystem::path folder, uint32_t highestInUse);
  // Never the same name twice: a batch names its files before any of them is moved in.
  std::string Pick(const std::string& name);

 private:
  std::filesystem::path folder_;
  uint32_t last_;
  std::set<std::string> picked_;
};

// A file saved under another name than its own, which was taken.
struct TRenamedFile {
  std::string Name;
  std::string SavedAs;
};
// "File0001.JPG 已被占用，改存为 File0012.JPG" for each, one line each.
std::string RenamedFilesText(const std::vector<TRenamedFile>& renamed);

// Before a scan: finishes a save cut short (FinishInterruptedSave), then moves the
// temporary files kept in tempFolder by an earlier scan aside (MoveAsideTemporaryFiles) and returns the one line that says where, with the restore
// command; empty when there were none. Throws std::runtime_error when they cannot be moved:
// the scan must not start then.
std::string KeepEarlierTemporaryFiles(const std::filesystem::path& tempFolder,
                                      const std::filesystem::path& destFolder);

// One step of the save pass, told to the observer before the file is handled.
struct TSaveStep {
  size_t Index = 0;  // 0-based position in the list
  size_t Count = 0;  // number of records in the list
  std::filesystem::path FinalPath;  // destination folder + the name it is saved under
  bool Selected = false;  // ticked: saved; unticked: its temporary file deleted
};
using TSaveObserver = std::function<void(const TSaveStep& step)>;

// A ticked file that was not saved. Its temporary file, when it still exists, is left in
// place with its head scrambled, so it can be saved again later.
struct TNotSavedFile {
  std::string Name;
  std::filesystem::path TempFile;
  std::filesystem::path FinalPath;
  std::string Reason;
};

struct TSaveOutcome {
  size_t Saved = 0;     // ticked files now in the destination folder
  size_t Bypassed = 0;  // unticked files, whose temporary files were deleted
  std::vector<TNotSavedFile> NotSaved;
  std::vector<TRenamedFile> Renamed;  // saved under a free name: their own was taken
  // The first ticked file whose upper-cased name holds ".CRW", ".X3F", ".AVI" or ".MOV"
  // (tested in that order): such files may need post-processing.
  bool SpecialTypeFound = false;
  std::string SpecialTypeExt;
};

// The save pass: walks the list once in order, in batches (TBatchSave); a ticked record is restored and moved to
// destFolder / Name, or a free name when that is taken (TNamePicker; never replacing a file), an unticked record's temporary file is
// deleted (errors ignored). The observer, when set, is called before each record. Nothing
// throws; ticked files that could not be saved are listed in the outcome. The list itself
// is left as it is: the caller empties it with ClearFoundFiles afterwards.
// How the files are named when saved. By default as the scan listed them (File0001.JPG) in
// the destination itself, with the time of the save.
struct TSaveNaming {
  // A file a directory entry named goes to its folders under its own name (a free name
  // "IMG_4711 (2).JPG" when taken), dated as the entry; the others keep their listed name,
  // dated by PhotoTime when it knows the time.
  bool OriginalNames = false;
  // The time a saved file was made, in seconds since 1970 (a photo's EXIF time); nothing
  // when unknown. Must not throw.
  std::function<std::optional<int64_t>(const std::filesystem::path& saved, const std::string& type)> PhotoTime;
};

// The entry's time in seconds since 1970: with its UTC offset when recorded, else taken as
// this machine's local time (as cameras and FAT keep it); nothing when not valid.
std::optional<int64_t> EntryTime(const filesystems::Timestamp& stamp);

// Dates a saved file; a file system that refuses keeps the time of the save.
void SetModifiedTime(const std::filesystem::path& path, int64_t seconds);

// A name in folder that is not taken: name itself, else "stem (2).ext", "stem (3).ext", ...
// picked: paths already given to files of this save that are not on the disk yet (the
// batch moves them later), so two of its files never get one name.
std::string FreeNameIn(const std::filesystem::path& folder, const std::string& name,
                       const std::set<std::filesystem::path>* picked = nullptr);

TSaveOutcome SaveFoundFiles(const TFoundFileList& files, const std::filesystem::path& destFolder,
                            const TSaveObserver& observer = {}, const TSaveNaming& naming = {});

}  // namespace snapsalvager
