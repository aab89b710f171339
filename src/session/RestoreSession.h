// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The restore step: temporary files kept by an earlier run (a save that failed, a scan
// without a save, an interrupted save, files moved aside before a new scan) turned into
// their recovered files the way a save does: head restored, moved into the destination,
// never replacing a file. It starts from files on disk, not from an opened card, so it is
// a session of its own beside TRecoverySession, reporting through the restore part of the
// same observer.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "session/KeptNames.h"
#include "session/SaveFiles.h"

namespace snapsalvager {

// The restore step's reports; TRecoveryObserver is one.
class TRestoreEvents {
 public:
  virtual ~TRestoreEvents() = default;
  // The file's own name was taken in the destination; it is restored under another.
  virtual void FileRenamed(const TRenamedFile& /*renamed*/) {}
  // temp (as given) is restored as target.
  virtual void FileRestored(const std::string& /*temp*/, const std::filesystem::path& /*target*/) {}
  // temp (as given) stays where it is; problem says why.
  virtual void FileNotRestored(const std::string& /*temp*/, const std::string& /*problem*/) {}
};

// The kept temporary files a folder holds, in name order. A journal left by an interrupted
// save whose file was already moved is removed: that file is saved.
std::vector<std::string> KeptTemporaryFiles(const std::filesystem::path& folder);

struct TRestoreOutcome {
  size_t Restored = 0;
  size_t Failed = 0;
  bool Interrupted = false;  // stopped before every file was tried
};

class TRestoreSession {
 public:
  explicit TRestoreSession(TRestoreEvents& events) : events_(events) {}

  std::vector<std::string> Files;       // temporary files, UTF-8, in the order to restore
  std::filesystem::path DestFolder;     // an existing folder
  // A file whose folder keeps its card name (KeptNames.h) goes to that name and folder,
  // dated as the entry; the others keep their listed name, dated by PhotoTime when it knows.
  bool OriginalNames = false;
  std::function<std::optional<int64_t>(const std::filesystem::path& saved, const std::string& type)> PhotoTime;

  // The files restored in batches, as the save does; stopRequested is asked before each
  // file joins a batch, and the files already in it are finished. A folder whose kept files are all restored loses the journal of the scan
  // that left them: there is nothing left to continue.
  TRestoreOutcome Restore(const std::function<bool()>& stopRequested);

 private:
  struct TTarget {
    std::filesystem::path Path;
    std::string OwnName;          // the name it would have had, were it free
    std::optional<int64_t> Time;  // the entry's date
  };
  std::string PrepareOne(const std::string& tempText, TNamePicker& names, TTarget& target, bool& saved);
  // The card's names kept beside the files, by folder, read once each.
  std::map<std::filesystem::path, std::map<std::string, TKeptName>> keptNames_;
  std::set<std::filesystem::path> picked_;

  TRestoreEvents& events_;
};

}  // namespace snapsalvager
