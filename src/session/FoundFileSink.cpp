// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The scan's temporary files and the records of the closed ones.
#include "session/FoundFileSink.h"

#include <cerrno>
#include <exception>
#include <stdexcept>
#include <utility>

#include "session/Texts.h"
#include "tempfile/TempFileFormat.h"

namespace snapsalvager {

std::string CutFileNote(const std::string& info, int64_t storedBytes) {
  const std::string note = Text(TText::CutFileNote, {std::to_string(storedBytes)});
  return info.empty() || info == "N/A" ? note : info + " " + note;
}

TFoundFileSink::TFoundFileSink(std::filesystem::path tempFolder, TDescribeFile describe,
                               std::function<void(TFoundFile&&)> recorded)
    : tempFolder_(std::move(tempFolder)), describe_(std::move(describe)), recorded_(std::move(recorded)) {}

void TFoundFileSink::OpenFile(const std::string& type) {
  openFile_.reset();
  ++fileCounter_;
  recoveredName_ = RecoveredFileName(fileCounter_, type);
  tempPath_ = tempFolder_ / TemporaryFileName(fileCounter_, type);
  openType_ = type;
  fileCut_ = false;
  openFile_ = std::make_unique<TWriteFileStream>(tempPath_, TempFileWriteSettings(type));
}

void TFoundFileSink::Write(const uint8_t* bytes, uint32_t size) {
  if (fileCut_) return;
  openFile_->Write(bytes, static_cast<int32_t>(size));
  // A file the destination cannot hold whole (4 GiB on FAT32, a file-size limit) is kept as
  // far as it got; the files after it still fit.
  if (!openFile_->AllStored() && openFile_->LastErrno() == EFBIG) {
    fileCut_ = true;
    return;
  }
  // A write the destination did not take (disk full, I/O error) would leave a record whose
  // size the disk does not hold: end the scan instead.
  if (!openFile_->AllStored()) {
    throw std::runtime_error("Cannot write the temporary file " + tempPath_.string() + ": " +
                             openFile_->LastError());
  }
}

void TFoundFileSink::Truncate(uint64_t length) { openFile_->Truncate(static_cast<int64_t>(length)); }

void TFoundFileSink::DropTail(int64_t length) {
  if (openFile_ && length > 0 && openFile_->Written() > length) openFile_->Truncate(openFile_->Written() - length);
}

void TFoundFileSink::CloseFile(const std::string& type) {
  if (!openFile_) return;
  int64_t size = openFile_->GetSize();
  const bool stored = openFile_->Close();
  const std::string writeError = openFile_->LastError();
  const bool cut = fileCut_ || (!stored && openFile_->LastErrno() == EFBIG);
  if (cut) size = openFile_->Stored();
  fileCut_ = false;
  openFile_.reset();
  if (!stored && !cut) {
    throw std::runtime_error("Cannot write the temporary file " + tempPath_.string() + ": " +
                             (writeError.empty() ? "the disk did not take every byte" : writeError));
  }
  if (size <= 0) return;

  TFoundFile record;
  const size_t dot = recoveredName_.rfind('.');
  record.Name = recoveredName_.substr(0, dot) + "." + type;
  record.Ext = type;
  record.Size = size;
  record.TempFile = tempPath_;
  record.Info = "N/A";
  if (describe_) {
    try {
      record.Info = describe_(tempPath_, record.Ext);
    } catch (const std::exception&) {
      // The description is optional: the file is listed without it.
    }
  }
  if (!fileNote_.empty()) record.Info = record.Info == "N/A" ? fileNote_ : record.Info + " " + fileNote_;
  fileNote_.clear();
  if (cut) record.Info = CutFileNote(record.Info, size);
  record.Selected = true;
  recorded_(std::move(record));
}

TOpenTempFile TFoundFileSink::FlushOpenFile() {
  TOpenTempFile open;
  if (!openFile_) return open;
  openFile_->Flush();
  open.Type = openType_;
  open.Written = openFile_->Written();
  open.Stored = openFile_->Stored();
  open.Cut = fileCut_ || (!openFile_->AllStored() && openFile_->LastErrno() == EFBIG);
  return open;
}

void TFoundFileSink::Continue(uint32_t fileCounter, const TOpenTempFile* open) {
  fileCounter_ = fileCounter;
  if (!open) return;
  recoveredName_ = RecoveredFileName(fileCounter_, open->Type);
  tempPath_ = tempFolder_ / TemporaryFileName(fileCounter_, open->Type);
  openType_ = open->Type;
  openFile_ = std::make_unique<TWriteFileStream>(tempPath_, TempFileWriteSettings(open->Type), open->Written,
                                                 open->Stored);
  fileCut_ = open->Cut;
}

}  // namespace snapsalvager
