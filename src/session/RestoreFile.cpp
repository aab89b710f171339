// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Restoring one temporary file in place and moving it to its final name.
#include "session/RestoreFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <stdexcept>
#include <system_error>
#include <vector>

#include "session/FileIo.h"
#include "tempfile/TempFileFormat.h"
#include "tempfile/Utf8Path.h"

namespace snapsalvager {

using namespace fileio;

namespace {

// Gives a finished file its final name without replacing one: a hard link where the file
// system has them (it fails when the name is taken), else a rename that refuses to replace,
// else (no such rename either) a rename once the name is seen free.
void PlaceWithoutReplacing(const std::filesystem::path& partial, const std::filesystem::path& to) {
  if (::link(partial.c_str(), to.c_str()) == 0) {
    ::unlink(partial.c_str());
    return;
  }
  // Any other refusal (FAT and exFAT have no links) leaves the checked rename.
  std::error_code ec;
  if (errno == EEXIST || std::filesystem::exists(std::filesystem::symlink_status(to, ec)) || ec) {
    ::unlink(partial.c_str());
    Fail("cannot create", to, EEXIST);
  }
  if (::renameat2(AT_FDCWD, partial.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return;
  if (errno == EEXIST) {
    ::unlink(partial.c_str());
    Fail("cannot create", to, EEXIST);
  }
  if (::rename(partial.c_str(), to.c_str()) != 0) {
    const int renameError = errno;
    ::unlink(partial.c_str());
    Fail("cannot create", to, renameError);
  }
}

// Where the file system cannot rename without replacing (or the folders lie on different
// file systems): copy under a hidden name, make the copy durable, give it its name without
// replacing, make that durable, then drop the source. A crash at any point leaves the source
// whole, so the save can be run again.
void CopyThenUnlink(const std::filesystem::path& from, const std::filesystem::path& to) {
  TFd source(::open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
  if (source.get() < 0) Fail("cannot open", from, errno);
  struct stat info {};
  if (::fstat(source.get(), &info) != 0) Fail("cannot read", from, errno);
  const std::filesystem::path partial = PartialCopyOf(to);
  TFd target(::open(partial.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW,
                    info.st_mode & 0777));
  if (target.get() < 0) Fail("cannot create", partial, errno);

  auto abandon = [&](const std::string& what, const std::filesystem::path& path, int error) {
    target.Close();
    ::unlink(partial.c_str());
    Fail(what, path, error);
  };
  std::vector<char> block(1 << 20);
  off_t offset = 0;
  for (;;) {
    size_t got = 0;
    if (!ReadFully(source.get(), block.data(), block.size(), offset, got)) abandon("cannot read", from, errno);
    if (got == 0) break;
    if (!WriteFully(target.get(), block.data(), got, offset)) abandon("cannot write", to, errno);
    offset += static_cast<off_t>(got);
  }
  if (::fsync(target.get()) != 0) abandon("cannot write", to, errno);
  if (int error = target.Close(); error != 0) {
    ::unlink(partial.c_str());
    Fail("cannot write", to, error);
  }
  PlaceWithoutReplacing(partial, to);
  SyncFolder(to.parent_path());
  // The copy is complete, durable and named; only now may the source go. Closed first:
  // Windows removes no file that is still open.
  source.Close();
  if (::unlink(from.c_str()) != 0) {
    int error = errno;
    ::unlink(to.c_str());
    Fail("cannot remove", from, error);
  }
}

// The plain head of a temporary file about to be saved, written whole to its journal
// before the file itself is touched: a new file, made durable, then renamed in. A disk too
// full for the journal's few bytes still saves: the head is then restored without it.
void WriteJournal(const std::filesystem::path& tempPath, const std::string& plainHead) {
  const std::filesystem::path journal = HeadJournalOf(tempPath);
  std::filesystem::path scratch = journal;
  scratch += ".new";
  {
    TFd file(::open(scratch.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644));
    if (file.get() < 0 && (errno == ENOSPC || errno == EDQUOT)) return;
    if (file.get() < 0) Fail("cannot create", scratch, errno);
    const bool written = WriteFully(file.get(), plainHead.data(), plainHead.size(), 0) && ::fsync(file.get()) == 0;
    const int error = written ? file.Close() : errno;
    if (error != 0) {
      ::unlink(scratch.c_str());
      if (error == ENOSPC || error == EDQUOT) return;
      Fail("cannot write", scratch, error);
    }
  }
  if (::rename(scratch.c_str(), journal.c_str()) != 0) Fail("cannot create", journal, errno);
  SyncFolder(journal.parent_path());
}

}  // namespace

void UnscrambleHead(const std::filesystem::path& tempPath) {
  std::string head = ReadHead(tempPath);
  if (head.empty()) return;
  ScrambleHead(head.data(), 0, static_cast<int64_t>(head.size()));
  WriteHead(tempPath, head);
}

void MoveWithoutReplacing(const std::filesystem::path& from, const std::filesystem::path& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return;
  int error = errno;
  if (error == EXDEV || error == EINVAL || error == ENOSYS) {
    CopyThenUnlink(from, to);
    return;
  }
  throw std::runtime_error("cannot move " + from.string() + " to " + to.string() + ": " +
                           SystemError(error));
}

void RestoreAndMove(const std::filesystem::path& tempPath, const std::filesystem::path& finalPath) {
  // Each step is durable before the next: the journal holds the plain head before the file
  // is written, the file holds it before it is renamed, the rename is in its folder before
  // the journal goes. A crash at any point leaves a temporary file that a later save or
  // restore finishes, or the saved file (and at most a journal without its file).
  std::error_code ec;
  if (!std::filesystem::exists(std::filesystem::symlink_status(tempPath, ec))) {
    throw std::runtime_error("the temporary file " + tempPath.string() + " no longer exists");
  }
  // Checked first so an existing file costs no write to the temporary file; the move
  // itself still refuses to replace a file that appears in between.
  if (std::filesystem::exists(std::filesystem::symlink_status(finalPath, ec))) {
    throw std::runtime_error("cannot move " + tempPath.string() + " to " + finalPath.string() +
                             ": " + SystemError(EEXIST));
  }
  bool fromJournal = false;
  const std::string plain = PlainHeadOf(tempPath, fromJournal);
  if (plain.empty()) {  // an empty file has no head to restore
    MoveWithoutReplacing(tempPath, finalPath);
    SyncFolder(finalPath.parent_path());
    return;
  }
  if (!fromJournal) WriteJournal(tempPath, plain);
  WriteHead(tempPath, plain);
  try {
    MoveWithoutReplacing(tempPath, finalPath);
  } catch (const std::runtime_error& moveError) {
    // The temporary file is the file's only copy: make it a valid temporary file again.
    try {
      std::string scrambled = plain;
      ScrambleHead(scrambled.data(), 0, static_cast<int64_t>(scrambled.size()));
      WriteHead(tempPath, scrambled);
      std::filesystem::remove(HeadJournalOf(tempPath));
    } catch (const std::exception& restoreError) {
      throw std::runtime_error(std::string(moveError.what()) + "; and its head could not be scrambled again: " +
                               restoreError.what());
    }
    throw;
  }
  SyncFolder(finalPath.parent_path());
  std::filesystem::remove(HeadJournalOf(tempPath), ec);
}

std::filesystem::path SavedBeforeInterruption(const std::filesystem::path& tempPath,
                                              const std::filesystem::path& destFolder) {
  std::error_code ec;
  const std::filesystem::path journal = HeadJournalOf(tempPath);
  if (!std::filesystem::is_regular_file(std::filesystem::symlink_status(journal, ec))) return {};
  const uintmax_t size = std::filesystem::file_size(tempPath, ec);
  if (ec) return {};
  bool fromJournal = false;
  std::string head;
  try {
    head = PlainHeadOf(tempPath, fromJournal);
  } catch (const std::exception&) {
    return {};
  }
  const std::filesystem::path name = RecoveredNameOfTemporary(tempPath.filename().string());
  const std::string type = UpperCase(name.extension().string());
  uint32_t number = 0;
  std::string candidateType;
  for (std::filesystem::directory_iterator it(destFolder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::filesystem::path path = it->path();
    std::error_code fileError;
    if (!ParseRecoveredName(path.filename().string(), number, candidateType) ||
        type != "." + UpperCase(candidateType) ||
        !std::filesystem::is_regular_file(std::filesystem::symlink_status(path, fileError)) ||
        std::filesystem::file_size(path, fileError) != size || !HoldsSameBytes(path, head, tempPath)) {
      continue;
    }
    std::filesystem::remove(tempPath, fileError);
    std::filesystem::remove(journal, fileError);
    std::filesystem::remove(PartialCopyOf(path), fileError);
    SyncFolder(tempPath.parent_path());
    return path;
  }
  return {};
}

}  // namespace snapsalvager
