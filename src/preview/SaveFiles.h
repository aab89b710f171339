// Turning temporary files back into recovered files: restore the scrambled head in place,
// then move to the final name without ever replacing an existing file.
#pragma once

#include <filesystem>
#include <string>

namespace snapsalvager {

// XORs the first 512 bytes of the file in place with the head key. Throws
// std::runtime_error when the file cannot be opened, read or written.
void UnscrambleHead(const std::filesystem::path& tempPath);

// Moves from to to; never replaces an existing file (renameat2 RENAME_NOREPLACE, else an
// exclusive create + copy + fsync + unlink). Throws std::runtime_error when it cannot.
void MoveWithoutReplacing(const std::filesystem::path& from, const std::filesystem::path& to);

// UnscrambleHead, then MoveWithoutReplacing. When the move fails the head is scrambled
// again, so the temporary file stays a valid temporary file, and the error is rethrown.
void RestoreAndMove(const std::filesystem::path& tempPath, const std::filesystem::path& finalPath);

}  // namespace snapsalvager
