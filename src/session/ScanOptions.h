// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// What the user asks for (camera, kinds of file, video type) and the drive record, mapped
// onto the recogniser's inputs. Shared by the wizard and the command line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "carving/Signatures.h"

namespace snapsalvager {

// One drive letter; SelectedDrive is a copy handed to the scan thread.
struct TDriveEntry {
  char Letter = 0;
  uint8_t DriveNumber = 0;  // 1 = A:
  bool Listed = false;
  uint8_t DriveType = 0;
  uint64_t SectorCount = 0;  // filled before the scan
  uint32_t SectorSize = 0;
};

struct TFileTypeGroup {
  std::string Name;
  std::vector<std::string> Exts;  // Count is Exts.size(); at most 20
};

// The 15 cameras in list order, and the two kind groups.
const std::vector<TFileTypeGroup>& CameraTable();
const TFileTypeGroup& VideoGroup();
const TFileTypeGroup& AudioGroup();
// The camera row whose name matches without regard to case, or null.
const TFileTypeGroup* FindCamera(const std::string& name);

// The recogniser inputs for a camera and the kinds of file wanted. chosenVideoType is
// "ALL" or one type of the video group.
TRecogniserInputs MakeRecogniserInputs(const std::string& cameraName, bool photo, bool video,
                                       bool audio, const std::string& chosenVideoType);

}  // namespace snapsalvager
