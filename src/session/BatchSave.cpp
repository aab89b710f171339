// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The group commit of the save: the batch journal, the batch's steps, and the finish of a
// batch cut short.
#include "session/BatchSave.h"

#include <fcntl.h>
#include <sys/stat.h>
#ifdef __linux__
#include <sys/vfs.h>
#endif
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>
#include <stdexcept>
#include <system_error>
#include <utility>

#include "session/FileIo.h"
#include "session/RestoreFile.h"
#include "tempfile/TempFileFormat.h"
#include "tempfile/Utf8Path.h"

namespace snapsalvager {

using namespace fileio;

namespace {

constexpr char kSaveJournalName[] = "SaveJournal.heads";
constexpr char kSaveJournalMagic[] = "Snapsalvager save batch 1\n";
constexpr char kSaveJournalEnd[] = "end\n";

// The journal's numbers, little-endian whatever the machine.
void PutNumber(std::string& out, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}
void PutText(std::string& out, const std::string& text) {
  PutNumber(out, text.size(), 4);
  out += text;
}

// Reads the journal's fields in order; any field past the end fails the whole read.
class TJournalReader {
 public:
  explicit TJournalReader(const std::string& data) : data_(data) {}
  bool Number(uint64_t& value, int bytes) {
    if (data_.size() - at_ < static_cast<size_t>(bytes)) return false;
    value = 0;
    for (int i = 0; i < bytes; ++i) value |= uint64_t{static_cast<unsigned char>(data_[at_ + i])} << (8 * i);
    at_ += static_cast<size_t>(bytes);
    return true;
  }
  bool Text(std::string& text, size_t most) {
    uint64_t length = 0;
    if (!Number(length, 4) || length > most || data_.size() - at_ < length) return false;
    text = data_.substr(at_, static_cast<size_t>(length));
    at_ += static_cast<size_t>(length);
    return true;
  }
  bool Literal(const char* text) {
    const size_t length = std::strlen(text);
    if (data_.compare(at_, length, text) != 0) return false;
    at_ += length;
    return true;
  }
  bool AtEnd() const { return at_ == data_.size(); }

 private:
  const std::string& data_;
  size_t at_ = 0;
};

struct TJournalEntry {
  std::string TempName;  // in the journal's folder
  std::filesystem::path FinalPath;
  uint64_t Size = 0;
  std::string PlainHead;
};

std::string ReadWholeFile(const std::filesystem::path& path) {
  TFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
  if (file.get() < 0) Fail("cannot open", path, errno);
  struct stat info {};
  if (::fstat(file.get(), &info) != 0) Fail("cannot read", path, errno);
  std::string data(static_cast<size_t>(info.st_size), '\0');
  size_t got = 0;
  if (!ReadFully(file.get(), data.data(), data.size(), 0, got)) Fail("cannot read", path, errno);
  data.resize(got);
  return data;
}

std::vector<TJournalEntry> ReadSaveJournal(const std::filesystem::path& journal) {
  const std::string data = ReadWholeFile(journal);
  TJournalReader in(data);
  uint64_t count = 0;
  std::vector<TJournalEntry> entries;
  bool good = in.Literal(kSaveJournalMagic) && in.Number(count, 4);
  for (uint64_t i = 0; good && i < count; ++i) {
    TJournalEntry entry;
    std::string final;
    good = in.Text(entry.TempName, 4096) && in.Text(final, 65536) && in.Number(entry.Size, 8) &&
           in.Text(entry.PlainHead, kTempHeadLength) &&
           entry.PlainHead.size() == std::min<uint64_t>(entry.Size, kTempHeadLength) &&
           entry.TempName.find('/') == std::string::npos && !RecoveredNameOfTemporary(entry.TempName).empty();
    entry.FinalPath = PathFromUtf8(final);
    entries.push_back(std::move(entry));
  }
  if (!good || !in.Literal(kSaveJournalEnd) || !in.AtEnd()) {
    throw std::runtime_error("the save journal " + journal.string() + " cannot be read");
  }
  return entries;
}

// Written whole under a scratch name, made durable, then renamed in and its folder made
// durable: a journal under its own name is always complete. False when the disk has no
// room for it (the batch is then saved file by file, each with its own journal).
[[maybe_unused]] bool WriteSaveJournal(const std::filesystem::path& journal, const std::string& data) {
  std::filesystem::path scratch = journal;
  scratch += ".new";
  {
    TFd file(::open(scratch.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644));
    if (file.get() < 0 && (errno == ENOSPC || errno == EDQUOT)) return false;
    if (file.get() < 0) Fail("cannot create", scratch, errno);
    const bool written = WriteFully(file.get(), data.data(), data.size(), 0) && ::fsync(file.get()) == 0;
    const int error = written ? file.Close() : errno;
    if (error != 0) {
      ::unlink(scratch.c_str());
      if (error == ENOSPC || error == EDQUOT) return false;
      Fail("cannot write", scratch, error);
    }
  }
  if (::rename(scratch.c_str(), journal.c_str()) != 0) Fail("cannot create", journal, errno);
  if (!SyncFolder(journal.parent_path())) Fail("cannot write", journal.parent_path(), errno);
  return true;
}

// Writes head over the start of the file without waiting for the disk, and starts the
// file's writeback, so the batch's fsyncs that follow mostly find their data written.
void WriteHeadUnsynced(const std::filesystem::path& path, const std::string& head) {
  TFd file(::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW));
  if (file.get() < 0) Fail("cannot open", path, errno);
  if (!head.empty() && !WriteFully(file.get(), head.data(), head.size(), 0)) Fail("cannot write", path, errno);
#ifdef __linux__
  ::sync_file_range(file.get(), 0, 0, SYNC_FILE_RANGE_WRITE);
#endif
  if (int error = file.Close(); error != 0) Fail("cannot write", path, error);
}

void SyncFile(const std::filesystem::path& path) {
  TFd file(::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW));
  if (file.get() < 0) Fail("cannot open", path, errno);
  if (::fsync(file.get()) != 0) Fail("cannot write", path, errno);
  if (int error = file.Close(); error != 0) Fail("cannot write", path, error);
}

// Whether one syncfs makes every write to the file system holding folder durable: the
// kernel's own local file systems do (ext4, XFS, Btrfs, F2FS, FAT, exFAT, NTFS, tmpfs). A
// batch there costs a few flushes of the disk's cache instead of one per file. A FUSE or
// network file system may keep data syncfs does not reach: an fsync per file there.
bool OneSyncForAll(const std::filesystem::path& folder) {
#ifdef __linux__
  struct statfs info {};
  const std::filesystem::path where = folder.empty() ? std::filesystem::path(".") : folder;
  if (::statfs(where.c_str(), &info) != 0) return false;
  switch (static_cast<uint64_t>(info.f_type)) {
    case 0xEF53:      // ext2/3/4
    case 0x58465342:  // XFS
    case 0x9123683E:  // Btrfs
    case 0xF2F52010:  // F2FS
    case 0x4d44:      // FAT
    case 0x2011BAB0:  // exFAT
    case 0x7366746e:  // NTFS (ntfs3)
    case 0x01021994:  // tmpfs
      return true;
    default:
      return false;
  }
#else
  (void)folder;
  return false;
#endif
}

// syncfs of the file system holding folder.
void SyncFileSystem(const std::filesystem::path& folder) {
  const std::filesystem::path where = folder.empty() ? std::filesystem::path(".") : folder;
  TFd fd(::open(where.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.get() < 0) Fail("cannot open", where, errno);
  if (::syncfs(fd.get()) != 0) Fail("cannot write", where, errno);
}

}  // namespace

std::filesystem::path SaveJournalOf(const std::filesystem::path& tempFolder) { return tempFolder / kSaveJournalName; }

void FinishInterruptedSave(const std::filesystem::path& tempFolder) {
  const std::filesystem::path journal = SaveJournalOf(tempFolder);
  std::filesystem::path scratch = journal;
  scratch += ".new";
  std::error_code ec;
  // A scratch journal was never renamed in: no file of its batch was touched.
  std::filesystem::remove(scratch, ec);
  if (!Exists(journal)) return;
  for (const TJournalEntry& entry : ReadSaveJournal(journal)) {
    const std::filesystem::path temp = tempFolder / PathFromUtf8(entry.TempName);
    std::filesystem::remove(PartialCopyOf(entry.FinalPath), ec);
    if (!Exists(temp)) continue;  // moved to its name: saved
    const uintmax_t size = std::filesystem::file_size(temp, ec);
    if (ec || size != entry.Size) continue;  // not the file the journal knew: left alone
    // Copied across file systems and named, killed before the source went: saved.
    if (std::filesystem::is_regular_file(std::filesystem::symlink_status(entry.FinalPath, ec)) &&
        std::filesystem::file_size(entry.FinalPath, ec) == size && !ec &&
        HoldsSameBytes(entry.FinalPath, entry.PlainHead, temp)) {
      std::filesystem::remove(temp, ec);
      std::filesystem::remove(HeadJournalOf(temp), ec);
      continue;
    }
    // Its own head journal (a save of an earlier version) stays: it tells the same plain head.
    if (!entry.PlainHead.empty()) WriteHead(temp, Scrambled(entry.PlainHead));
  }
  if (!SyncFolder(tempFolder)) Fail("cannot write", tempFolder, errno);
  if (::unlink(journal.c_str()) != 0) Fail("cannot remove", journal, errno);
  SyncFolder(tempFolder);
}

struct TBatchSave::TEntry {
  size_t Tag = 0;
  std::filesystem::path Temp;
  std::filesystem::path Final;
  std::string Plain;
  uint64_t Size = 0;
  bool OwnJournal = false;  // a head journal of its own, from an earlier version's save
  bool HeadWritten = false;
  bool Moved = false;
  std::string Error;
};

TBatchSave::TBatchSave(TReport report) : report_(std::move(report)) {}

TBatchSave::~TBatchSave() = default;

void TBatchSave::Add(size_t tag, const std::filesystem::path& tempPath, const std::filesystem::path& finalPath) {
  if (!entries_.empty() && entries_.front().Temp.parent_path() != tempPath.parent_path()) Commit();
  TEntry entry;
  entry.Tag = tag;
  entry.Temp = tempPath;
  entry.Final = finalPath;
  std::error_code ec;
  try {
    if (!Exists(tempPath)) {
      throw std::runtime_error("the temporary file " + tempPath.string() + " no longer exists");
    }
    // Checked first so an existing file costs no write to the temporary file; the move
    // itself still refuses to replace a file that appears in between.
    if (Exists(finalPath)) {
      throw std::runtime_error("cannot move " + tempPath.string() + " to " + finalPath.string() + ": " +
                               SystemError(EEXIST));
    }
    entry.Plain = PlainHeadOf(tempPath, entry.OwnJournal);
    entry.Size = std::filesystem::file_size(tempPath, ec);
    if (ec) Fail("cannot read", tempPath, ec.value());
  } catch (const std::exception& error) {
    entry.Error = error.what();
  }
  if (entry.Error.empty()) bytes_ += entry.Size;
  entries_.push_back(std::move(entry));
  if (entries_.size() >= kSaveBatchFiles || bytes_ >= kSaveBatchBytes) Commit();
}

void TBatchSave::Finish() { Commit(); }

void TBatchSave::Commit() {
  if (entries_.empty()) return;
  std::vector<TEntry> batch = std::move(entries_);
  entries_.clear();
  bytes_ = 0;
  const std::filesystem::path folder = batch.front().Temp.parent_path();
  const std::filesystem::path journal = SaveJournalOf(folder);
  const auto failed = [](TEntry& entry, const std::exception& error) {
    if (entry.Error.empty()) entry.Error = error.what();
  };
  // A journal kept by an earlier batch (a head it could not scramble again) is finished
  // first: the new one must not take its place while it still tells a plain head.
  if (Exists(journal)) {
    try {
      FinishInterruptedSave(folder);
    } catch (const std::exception& error) {
      for (TEntry& entry : batch) failed(entry, error);
      for (const TEntry& entry : batch) report_(entry.Tag, entry.Error);
      return;
    }
  }

  // 1. The batch's plain heads and final names, durable before any file is touched.
  std::string data = kSaveJournalMagic;
  uint32_t count = 0;
  for (const TEntry& entry : batch) count += entry.Error.empty() ? 1 : 0;
  PutNumber(data, count, 4);
  for (const TEntry& entry : batch) {
    if (!entry.Error.empty()) continue;
    PutText(data, Utf8Of(entry.Temp.filename()));
    PutText(data, Utf8Of(entry.Final));
    PutNumber(data, entry.Size, 8);
    PutText(data, entry.Plain);
  }
  data += kSaveJournalEnd;
  bool journaled = false;
#ifdef _WIN32
  // Windows has no syncfs and no folder sync: each file keeps its own journal, as always.
  (void)journal;
#else
  try {
    journaled = count == 0 || WriteSaveJournal(journal, data);
  } catch (const std::exception& error) {
    for (TEntry& entry : batch) failed(entry, error);
  }
#endif
  if (!journaled) {
    // No room for the batch's journal: file by file, as a save always did.
    for (TEntry& entry : batch) {
      if (!entry.Error.empty()) continue;
      try {
        RestoreAndMove(entry.Temp, entry.Final);
      } catch (const std::exception& error) {
        failed(entry, error);
      }
    }
  } else if (count > 0) {
    // 2. Every head plain, then every file's data durable: a name the disk keeps always
    // names whole bytes.
    for (TEntry& entry : batch) {
      if (!entry.Error.empty()) continue;
      try {
        entry.HeadWritten = true;
        WriteHeadUnsynced(entry.Temp, entry.Plain);
      } catch (const std::exception& error) {
        failed(entry, error);
      }
    }
    const bool oneSync = OneSyncForAll(folder);
    if (oneSync) {
      try {
        SyncFileSystem(folder);
      } catch (const std::exception& error) {
        for (TEntry& entry : batch) failed(entry, error);
      }
    }
    for (TEntry& entry : batch) {
      if (!entry.Error.empty() || oneSync) continue;
      try {
        SyncFile(entry.Temp);
      } catch (const std::exception& error) {
        failed(entry, error);
      }
    }
    // 3. The names, never replacing a file; then each folder once.
    std::set<std::filesystem::path> folders{folder};
    for (TEntry& entry : batch) {
      if (!entry.Error.empty()) continue;
      try {
        MoveWithoutReplacing(entry.Temp, entry.Final);
        entry.Moved = true;
        folders.insert(entry.Final.parent_path());
      } catch (const std::exception& error) {
        failed(entry, error);
      }
    }
    // A rename stays on its file system (a copy to another one is made durable by itself):
    // one syncfs holds every folder's new names.
    bool durable = true;
    if (oneSync) {
      try {
        SyncFileSystem(folder);
      } catch (const std::exception&) {
        durable = false;
      }
    } else {
      for (const std::filesystem::path& changed : folders) durable = SyncFolder(changed) && durable;
    }
    // 4. A file that was not moved is the file's only copy: a valid temporary file again.
    bool keepJournal = !durable;
    for (TEntry& entry : batch) {
      if (!entry.HeadWritten || entry.Moved || entry.Plain.empty()) continue;
      try {
        WriteHead(entry.Temp, Scrambled(entry.Plain));
      } catch (const std::exception& restoreError) {
        keepJournal = true;  // it still tells the plain head
        entry.Error += std::string("; and its head could not be scrambled again: ") + restoreError.what();
      }
    }
    // 5. Done: the journals go (their removal is made durable by the next batch's folder
    // sync; a journal that comes back finds its files saved).
    std::error_code ec;
    for (const TEntry& entry : batch) {
      if (entry.Moved && entry.OwnJournal) std::filesystem::remove(HeadJournalOf(entry.Temp), ec);
    }
    if (!keepJournal) std::filesystem::remove(journal, ec);
  }
  for (const TEntry& entry : batch) report_(entry.Tag, entry.Error);
}

}  // namespace snapsalvager
