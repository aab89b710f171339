// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The card's names of the files a save (or a scan without one) leaves as temporary files,
// kept beside them, so that a restore later gives them the names, folders and dates the
// save would have. One line per named file: its temporary file, that file's size (a file of
// another scan numbered alike is not named by it), the time, and the relative path.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include "session/FoundFiles.h"

namespace snapsalvager {

struct TKeptName {
  int64_t Size = 0;                // the temporary file's bytes when the name was kept
  std::optional<int64_t> Time;     // seconds since 1970, when the entry's date is valid
  std::filesystem::path Path;      // relative, safe to join ("DCIM/100CANON/IMG_4711.JPG")
};

// Writes tempFolder's kept names (replacing those of an earlier save) for the files of the list an
// entry names; removes them when none is named. False when they could not be written.
bool KeepOriginalNames(const TFoundFileList& files, const std::filesystem::path& tempFolder);

// The names kept in folder, by temporary file name; empty when there are none. The file is
// read as untrusted: lines that do not parse are left out and every path is made safe again.
std::map<std::string, TKeptName> ReadKeptNames(const std::filesystem::path& folder);

// The kept name of a temporary file, when its folder keeps one for it and its size still
// matches.
std::optional<TKeptName> KeptNameOf(const std::map<std::string, TKeptName>& names,
                                    const std::filesystem::path& tempFile);

}  // namespace snapsalvager
