// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Writer of temporary files: the carved bytes with the head XOR-scrambled, an optional
// size cap (bytes past it are dropped but counted), writes collected in 1 MiB blocks.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tempfile/TempFileFormat.h"

namespace snapsalvager {

struct TWriteSettings {
  int64_t MaxSize = 0;     // 0 means no cap
  bool Scrambled = false;  // the head is stored XORed (see TempFileFormat.h)
  bool Buffered = false;   // writes are collected in 1 MiB blocks
};

// How the scan writes a temporary file of a type: capped, scrambled, buffered.
TWriteSettings TempFileWriteSettings(const std::string& type);

class TWriteFileStream {
 public:
  // Creates the file for reading and writing; a name already taken (a file, a symbolic link)
  // is never opened. Throws std::runtime_error with a message naming the path on failure.
  explicit TWriteFileStream(const std::filesystem::path& path, const TWriteSettings& settings = {});
  // Goes on with a file an interrupted scan left: it is cut back to stored bytes, and the
  // stream stands where it stood then, written bytes accepted (those past a cap included).
  // Throws std::runtime_error when the file cannot be opened or is shorter than stored.
  TWriteFileStream(const std::filesystem::path& path, const TWriteSettings& settings, int64_t written,
                   int64_t stored);
  // Flushes the buffer (unchanged: it was scrambled when written) and closes the file.
  ~TWriteFileStream();
  TWriteFileStream(const TWriteFileStream&) = delete;
  TWriteFileStream& operator=(const TWriteFileStream&) = delete;

  // Stores, drops or buffers count bytes, their head part XORed when Scrambled (into the
  // stream's own copy: buffer is left as it was). Returns count (or what the file took for
  // an unbuffered write).
  int32_t Write(const void* buffer, int32_t count);
  // Written(), or the cap when there is one and Written() exceeds it.
  int64_t GetSize() const;

  // Ends the file at size bytes (when fewer than Written()): the bytes past it are dropped
  // from the buffer or cut from the file, and Written() becomes size. A file of an exactly
  // known length ends at its last byte, not at the end of a sector.
  void Truncate(int64_t size);
  // Hands the collected bytes to the file now (so the file holds Stored() == what a
  // continued stream would start from). False when a write failed.
  bool Flush();
  // Flushes and closes now. True only when every byte meant for the file reached it
  // (no short or failed write since creation); the destructor then does nothing more.
  bool Close();
  // False once any write to the file came up short or failed (disk full, I/O error).
  bool AllStored() const { return all_stored_; }
  // The last system error text of a failed write, empty when none.
  const std::string& LastError() const { return last_error_; }
  // The errno of that failure, 0 when none: EFBIG (the file system's or the process's
  // file-size limit) tells a file that cannot grow from a full or failing disk.
  int LastErrno() const { return last_errno_; }
  // Bytes that reached the file so far (buffered bytes not yet written are not counted).
  int64_t Stored() const { return stored_; }
  // Bytes accepted, dropped ones included.
  int64_t Written() const { return written_; }

 private:
  int32_t StoreDirect(const void* data, int32_t count);

  // The scrambled copy of a write that reaches into the head.
  std::vector<uint8_t> scrambled_;

  const TWriteSettings settings_;
  int64_t written_ = 0;
  int fd_ = -1;
  std::string buffer_;
  bool all_stored_ = true;
  std::string last_error_;
  int last_errno_ = 0;
  int64_t stored_ = 0;
  std::filesystem::path path_;
};

}  // namespace snapsalvager
