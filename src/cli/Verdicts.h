// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// snapsalvager-cli recover --verdicts / --set-aside-damaged: every found file decoded by the
// pool of sandboxed decode helpers after the scan, its verdict in words, and the damaged
// files moved apart once saved.
#pragma once

#include <atomic>
#include <filesystem>
#include <string>
#include <vector>

#include "decode/Verdict.h"
#include "session/FoundFiles.h"

namespace snapsalvager::cli {

// The verdict of every file of found, in list order; the files are read, never changed.
// Says on stderr how many are checked and how many at a time. When stop turns true the
// helpers are ended and the files not yet checked stay NotChecked.
std::vector<decode::TVerdict> CheckFoundFiles(const TFoundFileList& found, const std::atomic<bool>& stop);

// "Whole", "Damaged – decodes to 62 %", ... in the chosen language.
std::string VerdictText(const decode::TVerdict& verdict);

// True for the verdicts --set-aside-damaged moves apart.
bool SetAside(const decode::TVerdict& verdict);

// Moves each saved file into destFolder/damaged/ under a free name there (never replacing a
// file); a file that cannot be moved stays where it was saved, and a line says why. Returns
// how many were moved.
size_t MoveToDamagedFolder(const std::vector<std::filesystem::path>& saved, const std::filesystem::path& destFolder);

}  // namespace snapsalvager::cli
