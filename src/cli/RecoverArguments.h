// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// snapsalvager-cli recover: the command's words read into its options, as the scan options
// page would take them; the camera a typed name means.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace snapsalvager::cli {

struct TRecoverOptions {
  std::string Source;
  std::string Dest;
  std::string Camera = "Generic Digital Camera";
  bool Photo = true;
  bool Video = false;
  bool Audio = false;
  std::string VideoType = "ALL";
  bool ScanOnly = false;
  bool Deep = false;
  bool Resume = false;
  bool OriginalNames = false;
  bool Report = false;
  std::string Image;  // empty: no card image
  std::optional<uint64_t> Sectors;
  bool Yes = false;
  bool OntoCardDrive = false;
  bool Verdicts = false;       // a verdict column on the rows
  bool SetAsideDamaged = false;  // damaged and unreadable files saved in DEST/damaged/
  bool Help = false;
  bool Version = false;
  bool ListCameras = false;
  // The word after a bare --video that is no video type: taken as SOURCE or DEST, unless
  // that leaves one word too many.
  std::string WordAfterVideo;
};

// The options of the command; false (the usage error said on stderr) when they are wrong.
bool ParseArguments(int argc, char** argv, TRecoverOptions& options);
// The camera a user typed, when it names exactly one; otherwise empty.
std::string MatchCamera(const std::string& typed);
// After the camera refusal: the names that would do, on stderr.
void ListCameraChoices(const std::string& typed);

}  // namespace snapsalvager::cli
