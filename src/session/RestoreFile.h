// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Turning one temporary file back into a recovered file: restore the scrambled head in
// place, then move to the final name without ever replacing an existing file.
#pragma once

#include <filesystem>

namespace snapsalvager {

// Unscrambles the head of the file in place (the XOR is its own inverse). Throws
// std::runtime_error when the file cannot be opened, read or written.
void UnscrambleHead(const std::filesystem::path& tempPath);

// Moves from to to; never replaces an existing file (renameat2 RENAME_NOREPLACE, else an
// exclusive create + copy + fsync + unlink). Throws std::runtime_error when it cannot.
void MoveWithoutReplacing(const std::filesystem::path& from, const std::filesystem::path& to);

// UnscrambleHead, then MoveWithoutReplacing. When the move fails the head is scrambled
// again, so the temporary file stays a valid temporary file, and the error is rethrown.
// Throws without touching anything when tempPath does not exist or finalPath already does.
void RestoreAndMove(const std::filesystem::path& tempPath, const std::filesystem::path& finalPath);

// When a save of tempPath was under way (its head journal exists) and destFolder already holds
// a recovered file of its type with exactly its bytes (a save interrupted after its copy was
// named): removes the temporary file and its journal, as the finished save would, and returns
// the saved file. Else an empty path, and nothing is touched.
std::filesystem::path SavedBeforeInterruption(const std::filesystem::path& tempPath,
                                              const std::filesystem::path& destFolder);

}  // namespace snapsalvager
