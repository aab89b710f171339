// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Restoring temporary files in place and moving them to their final names; the save pass.
#include "session/SaveFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#ifdef __linux__
#include <sys/vfs.h>
#endif
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <system_error>
#include <utility>
#include <vector>

#include "session/Texts.h"
#include "tempfile/TempFileFormat.h"
#include "tempfile/Utf8Path.h"

namespace snapsalvager {
namespace {

std::string SystemError(int error) { return std::generic_category().message(error); }

[[noreturn]] void Fail(const std::string& what, const std::filesystem::path& path, int error) {
  throw std::runtime_error(what + " " + path.string() + ": " + SystemError(error));
}

// Closes a descriptor when it goes out of scope.
class TFd {
 public:
  explicit TFd(int fd) : fd_(fd) {}
  ~TFd() {
    if (fd_ >= 0) ::close(fd_);
  }
  TFd(const TFd&) = delete;
  TFd& operator=(const TFd&) = delete;
  int get() const { return fd_; }
  // Closes now and reports the error a deferred write may have left.
  int Close() {
    int result = ::close(fd_);
    fd_ = -1;
    return result == 0 ? 0 : errno;
  }

 private:
  int fd_;
};

bool ReadFully(int fd, char* data, size_t length, off_t offset, size_t& got) {
  got = 0;
  while (got < length) {
    ssize_t n = ::pread(fd, data + got, length - got, offset + static_cast<off_t>(got));
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  return true;
}

bool WriteFully(int fd, const char* data, size_t length, off_t offset) {
  size_t done = 0;
  while (done < length) {
    ssize_t n = ::pwrite(fd, data + done, length - done, offset + static_cast<off_t>(done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) {
      errno = ENOSPC;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

// The copy in the making, hidden beside its final name: a crash during a copy never leaves
// a partial file under a name the user takes for a recovered photo. A leftover of an earlier
// crash is the program's own and is overwritten.
std::filesystem::path PartialCopyOf(const std::filesystem::path& to) {
  return to.parent_path() / PathFromUtf8("." + Utf8Of(to.filename()) + ".partial");
}

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

// The first bytes of a file, up to the head's length.
std::string ReadHead(const std::filesystem::path& path) {
  TFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
  if (file.get() < 0) Fail("cannot open", path, errno);
  std::string head(kTempHeadLength, '\0');
  size_t length = 0;
  if (!ReadFully(file.get(), head.data(), head.size(), 0, length)) Fail("cannot read", path, errno);
  head.resize(length);
  return head;
}

// Writes head over the start of the file and makes it durable before anything else happens.
void WriteHead(const std::filesystem::path& path, const std::string& head) {
  TFd file(::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW));
  if (file.get() < 0) Fail("cannot open", path, errno);
  if (!WriteFully(file.get(), head.data(), head.size(), 0)) Fail("cannot write", path, errno);
  if (::fsync(file.get()) != 0) Fail("cannot write", path, errno);
  if (int error = file.Close(); error != 0) Fail("cannot write", path, error);
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

// The plain head of a temporary file: from its journal when a save was under way (the
// file's own head may then be in either state), else the file's head unscrambled.
std::string PlainHeadOf(const std::filesystem::path& tempPath, bool& fromJournal) {
  const std::filesystem::path journal = HeadJournalOf(tempPath);
  std::error_code ec;
  fromJournal = std::filesystem::exists(std::filesystem::symlink_status(journal, ec));
  if (!fromJournal) {
    std::string head = ReadHead(tempPath);
    ScrambleHead(head.data(), 0, static_cast<int64_t>(head.size()));
    return head;
  }
  const std::string head = ReadHead(journal);
  const uintmax_t size = std::filesystem::file_size(tempPath, ec);
  if (ec || head.size() != std::min<uintmax_t>(size, kTempHeadLength)) {
    throw std::runtime_error("the head journal " + journal.string() + " does not fit its temporary file");
  }
  return head;
}

std::string UpperCase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return text;
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

namespace {

// Whether the file at path holds exactly head followed by the bytes of temp past the head.
bool HoldsSameBytes(const std::filesystem::path& path, const std::string& head,
                    const std::filesystem::path& temp) {
  TFd saved(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
  TFd source(::open(temp.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
  if (saved.get() < 0 || source.get() < 0) return false;
  std::vector<char> a(1 << 16), b(1 << 16);
  size_t got = 0;
  if (!ReadFully(saved.get(), a.data(), head.size(), 0, got) || got != head.size() ||
      std::memcmp(a.data(), head.data(), head.size()) != 0) {
    return false;
  }
  for (off_t offset = static_cast<off_t>(head.size());; offset += static_cast<off_t>(got)) {
    size_t other = 0;
    if (!ReadFully(saved.get(), a.data(), a.size(), offset, got) ||
        !ReadFully(source.get(), b.data(), b.size(), offset, other) || got != other) {
      return false;
    }
    if (got == 0) return true;
    if (std::memcmp(a.data(), b.data(), got) != 0) return false;
  }
}

}  // namespace

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

TNamePicker::TNamePicker(std::filesystem::path folder, uint32_t highestInUse)
    : folder_(std::move(folder)), last_(highestInUse) {
  std::error_code ec;
  uint32_t number = 0;
  std::string type;
  for (std::filesystem::directory_iterator it(folder_, ec), end; !ec && it != end; it.increment(ec)) {
    if (ParseRecoveredName(it->path().filename().string(), number, type)) last_ = std::max(last_, number);
  }
}

std::string TNamePicker::Pick(const std::string& name) {
  std::error_code ec;
  const auto taken = [&](const std::string& candidate) {
    return picked_.count(candidate) != 0 ||
           std::filesystem::exists(std::filesystem::symlink_status(folder_ / candidate, ec));
  };
  if (!taken(name)) {
    picked_.insert(name);
    return name;
  }
  const size_t dot = name.rfind('.');
  const std::string type = dot == std::string::npos ? std::string() : name.substr(dot + 1);
  std::string candidate;
  do {
    if (last_ == UINT32_MAX) return name;  // no number left: the move reports the name taken
    candidate = RecoveredFileName(++last_, type);
  } while (taken(candidate));
  picked_.insert(candidate);
  return candidate;
}

std::string RenamedFilesText(const std::vector<TRenamedFile>& renamed) {
  std::string text;
  for (const TRenamedFile& file : renamed) {
    if (!text.empty()) text += "\n";
    text += Text(TText::NameTakenSavedAs, {file.Name, file.SavedAs});
  }
  return text;
}

// ---- The group commit ----

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

std::string Scrambled(std::string head) {
  ScrambleHead(head.data(), 0, static_cast<int64_t>(head.size()));
  return head;
}

bool Exists(const std::filesystem::path& path) {
  std::error_code ec;
  return std::filesystem::exists(std::filesystem::symlink_status(path, ec));
}

}  // namespace

namespace {

// Days from 1970-01-01 to a civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

// Dates the saved file; a file system that refuses keeps the time of the save.
void SetModifiedTime(const std::filesystem::path& path, int64_t seconds) {
  using namespace std::chrono;
  std::error_code ignored;
  std::filesystem::last_write_time(path, file_clock::from_sys(sys_seconds(std::chrono::seconds(seconds))), ignored);
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

std::optional<int64_t> EntryTime(const filesystems::Timestamp& stamp) {
  if (!stamp.Valid() || stamp.Month < 1 || stamp.Month > 12 || stamp.Day < 1 || stamp.Day > 31) return std::nullopt;
  if (stamp.UtcOffsetMinutes) {
    const int64_t days = DaysFromCivil(stamp.Year, static_cast<unsigned>(stamp.Month), static_cast<unsigned>(stamp.Day));
    return days * 86400 + stamp.Hour * 3600 + stamp.Minute * 60 + stamp.Second - int64_t{*stamp.UtcOffsetMinutes} * 60;
  }
  std::tm local{};
  local.tm_year = stamp.Year - 1900;
  local.tm_mon = stamp.Month - 1;
  local.tm_mday = stamp.Day;
  local.tm_hour = stamp.Hour;
  local.tm_min = stamp.Minute;
  local.tm_sec = stamp.Second;
  local.tm_isdst = -1;
  const std::time_t t = std::mktime(&local);
  if (t == static_cast<std::time_t>(-1)) return std::nullopt;
  return static_cast<int64_t>(t);
}

std::string FreeNameIn(const std::filesystem::path& folder, const std::string& name,
                       const std::set<std::filesystem::path>* picked) {
  std::error_code ec;
  const auto taken = [&](const std::string& candidate) {
    const std::filesystem::path path = folder / PathFromUtf8(candidate);
    return (picked != nullptr && picked->count(path) != 0) ||
           std::filesystem::exists(std::filesystem::symlink_status(path, ec));
  };
  if (!taken(name)) return name;
  const size_t dot = name.rfind('.');
  const std::string stem = dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
  const std::string ext = dot == std::string::npos || dot == 0 ? std::string() : name.substr(dot);
  for (uint32_t n = 2; n < UINT32_MAX; ++n) {
    const std::string candidate = stem + " (" + std::to_string(n) + ")" + ext;
    if (!taken(candidate)) return candidate;
  }
  return name;  // no number left: the move reports the name taken
}

TSaveOutcome SaveFoundFiles(const TFoundFileList& files, const std::filesystem::path& destFolder,
                            const TSaveObserver& observer, const TSaveNaming& naming) {
  static constexpr const char* kSpecialTypes[] = {".CRW", ".X3F", ".AVI", ".MOV"};
  TSaveOutcome outcome;
  const size_t count = files.Count();
  uint32_t highest = 0, number = 0;
  std::string type;
  std::set<std::filesystem::path> folders;
  for (size_t index = 0; index < count; ++index) {
    if (ParseRecoveredName(files[index].Name, number, type)) highest = std::max(highest, number);
    if (files[index].Selected) folders.insert(files[index].TempFile.parent_path());
  }
  // A batch journal of a save cut short is finished before any of its files is read again.
  for (const std::filesystem::path& folder : folders) {
    try {
      FinishInterruptedSave(folder);
    } catch (const std::exception& error) {
      // None of the folder's files may be touched: they are reported not saved.
      for (size_t index = 0; index < count; ++index) {
        const TFoundFile& file = files[index];
        if (file.TempFile.parent_path() == folder && file.Selected) {
          outcome.NotSaved.push_back({file.Name, file.TempFile, destFolder / file.Name, error.what()});
        }
      }
    }
  }
  std::set<std::filesystem::path> blocked;
  for (const TNotSavedFile& file : outcome.NotSaved) blocked.insert(file.TempFile.parent_path());

  TNamePicker names(destFolder, highest);
  std::vector<std::string> savedAsOf(count), ownNameOf(count);
  std::set<std::filesystem::path> pickedPaths;
  std::vector<std::filesystem::path> finalOf(count);
  TBatchSave batch([&](size_t index, const std::string& error) {
    const TFoundFile& file = files[index];
    if (error.empty()) {
      ++outcome.Saved;
      if (naming.OriginalNames) {
        std::optional<int64_t> time = file.Original ? EntryTime(file.Original->Entry.Modified) : std::nullopt;
        if (!time && naming.PhotoTime) time = naming.PhotoTime(finalOf[index], file.Ext);
        if (time) SetModifiedTime(finalOf[index], *time);
      }
      if (savedAsOf[index] != ownNameOf[index]) outcome.Renamed.push_back({ownNameOf[index], savedAsOf[index]});
    } else {
      outcome.NotSaved.push_back({file.Name, file.TempFile, finalOf[index], error});
    }
  });
  for (size_t index = 0; index < count; ++index) {
    const TFoundFile& file = files[index];
    const bool blockedFolder = file.Selected && blocked.count(file.TempFile.parent_path()) != 0;
    TSaveStep step;
    step.Index = index;
    step.Count = count;
    // A save cut short after its copy was named left the file saved and its source behind.
    const bool savedBefore =
        file.Selected && !blockedFolder && !SavedBeforeInterruption(file.TempFile, destFolder).empty();
    std::string savedAs = file.Selected && !savedBefore && !blockedFolder ? names.Pick(file.Name) : file.Name;
    step.FinalPath = destFolder / savedAs;
    step.Selected = file.Selected;
    // Under the name and folders the card gave it (already made safe to join).
    std::string ownName = file.Name, folderError;
    const std::filesystem::path original = naming.OriginalNames ? OriginalPathOf(file) : std::filesystem::path();
    if (!original.empty() && file.Selected && !savedBefore) {
      const std::filesystem::path folder = destFolder / original.parent_path();
      std::error_code ec;
      std::filesystem::create_directories(folder, ec);
      if (ec) folderError = ec.message();
      const std::string name = FreeNameIn(folder, Utf8Of(original.filename()), &pickedPaths);
      step.FinalPath = folder / PathFromUtf8(name);
      pickedPaths.insert(step.FinalPath);
      savedAs = Utf8Of(original.parent_path() / PathFromUtf8(name));
      ownName = Utf8Of(original);
    }
    savedAsOf[index] = savedAs;
    ownNameOf[index] = ownName;
    finalOf[index] = step.FinalPath;

    if (file.Selected && !outcome.SpecialTypeFound) {
      const std::string upper = UpperCase(file.Name);
      for (const char* special : kSpecialTypes) {
        if (upper.find(special) != std::string::npos) {
          outcome.SpecialTypeFound = true;
          outcome.SpecialTypeExt = special;
          break;
        }
      }
    }
    if (observer) observer(step);

    if (blockedFolder) {
      continue;  // reported above
    } else if (savedBefore) {
      ++outcome.Saved;
    } else if (file.Selected) {
      if (!folderError.empty()) {
        outcome.NotSaved.push_back({file.Name, file.TempFile, step.FinalPath, folderError});
      } else {
        batch.Add(index, file.TempFile, step.FinalPath);
      }
    } else {
      std::error_code ignored;
      std::filesystem::remove(file.TempFile, ignored);
      std::filesystem::remove(HeadJournalOf(file.TempFile), ignored);
      ++outcome.Bypassed;
    }
  }
  batch.Finish();
  return outcome;
}

}  // namespace snapsalvager

namespace snapsalvager {

namespace {

// A path as a shell reads it back: as it is when it holds only plain characters, else in
// single quotes.
std::string ShellWord(const std::string& text) {
  const bool plain = !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || std::strchr("/._-+~:,@%", c) != nullptr;
  });
  if (plain) return text;
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

}  // namespace

std::string KeepEarlierTemporaryFiles(const std::filesystem::path& tempFolder,
                                      const std::filesystem::path& destFolder) {
  size_t moved = 0;
  // A save cut short left its batch's heads in its journal, which stays in this folder:
  // its files are made valid temporary files before they move away from it.
  FinishInterruptedSave(tempFolder);
  const std::filesystem::path kept = MoveAsideTemporaryFiles(tempFolder, moved);
  if (kept.empty()) return {};
  return Text(TText::EarlierTempFilesKept, {std::to_string(moved), kept.string()}) +
         RestoreCommandHint(kept, destFolder);
}

std::string RestoreCommandHint(const std::filesystem::path& kept, const std::filesystem::path& destFolder) {
  // A folder is named as it is, never as a pattern of its files: a shell expands a pattern
  // into one argument per file, past the limit of a command line at some 30,000 files.
  return Text(TText::RestoreLater,
              {"snapsalvager-cli restore " + ShellWord(kept.string()) + " " + ShellWord(destFolder.string())});
}

}  // namespace snapsalvager
