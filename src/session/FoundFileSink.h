// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Where the scan's carved files go: each into its temporary file (a TWriteFileStream in the
// temporary folder), and when it closes, a found-file record with its description, handed
// to the scan's owner. The sink holds the open temporary file and the file counter.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "carving/Carver.h"
#include "session/FoundFiles.h"
#include "tempfile/TempFileWriter.h"

namespace snapsalvager {

// The properties text of a closed file (see ScanThread.h).
using TDescribeFile =
    std::function<std::string(const std::filesystem::path& tempFile, const std::string& type)>;

// The open temporary file as a journal point records it.
struct TOpenTempFile {
  std::string Type;
  int64_t Written = 0;
  int64_t Stored = 0;
  bool Cut = false;
};

class TFoundFileSink final : public TCarverOutput {
 public:
  // recorded gets every closed file that holds bytes, in order.
  TFoundFileSink(std::filesystem::path tempFolder, TDescribeFile describe,
                 std::function<void(TFoundFile&& record)> recorded);

  void OpenFile(const std::string& type) override;
  // Throws std::runtime_error when the destination did not take the bytes (a file it
  // cannot hold whole is cut instead: it keeps what fitted).
  void Write(const uint8_t* bytes, uint32_t size) override;
  void Truncate(uint64_t length) override;
  // Closes the open file and records it as type; throws as Write does.
  void CloseFile(const std::string& type) override;

  // The next closed file's properties get note too (a joined photo's pieces).
  void NoteNextFile(std::string note) { fileNote_ = std::move(note); }
  // A batch whose sectors could not be read put length zeros into the open file: they go.
  void DropTail(int64_t length);

  uint32_t FileCounter() const { return fileCounter_; }
  bool FileOpen() const { return openFile_ != nullptr; }
  // The open file, its collected bytes flushed first (so the file holds what it counts).
  TOpenTempFile FlushOpenFile();
  // Goes on from a journal's point: files numbered up to fileCounter exist; open, when not
  // null, is the open file's, which is cut back and written on.
  void Continue(uint32_t fileCounter, const TOpenTempFile* open);
  // Releases the open file unrecorded (the scan ended on an error).
  void Abandon() { openFile_.reset(); }

 private:
  const std::filesystem::path tempFolder_;
  TDescribeFile describe_;
  std::function<void(TFoundFile&&)> recorded_;
  std::unique_ptr<TWriteFileStream> openFile_;
  // The destination refused to let the open file grow (EFBIG): it ends where it stopped and
  // nothing more is written until the next header.
  bool fileCut_ = false;
  uint32_t fileCounter_ = 0;
  std::string recoveredName_;
  std::filesystem::path tempPath_;
  std::string openType_;  // the type in the open file's name
  std::string fileNote_;
};

// The properties text of a file the destination could not hold whole: info (or nothing,
// for "N/A") and a note of the bytes kept.
std::string CutFileNote(const std::string& info, int64_t storedBytes);

}  // namespace snapsalvager
