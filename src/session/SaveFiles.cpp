// Restoring temporary files in place and moving them to their final names; the save pass.
#include "session/SaveFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
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
    return std::filesystem::exists(std::filesystem::symlink_status(folder_ / candidate, ec));
  };
  if (!taken(name)) return name;
  const size_t dot = name.rfind('.');
  const std::string type = dot == std::string::npos ? std::string() : name.substr(dot + 1);
  std::string candidate;
  do {
    if (last_ == UINT32_MAX) return name;  // no number left: the move reports the name taken
    candidate = RecoveredFileName(++last_, type);
  } while (taken(candidate));
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

std::string FreeNameIn(const std::filesystem::path& folder, const std::string& name) {
  std::error_code ec;
  const auto taken = [&](const std::string& candidate) {
    return std::filesystem::exists(std::filesystem::symlink_status(folder / candidate, ec));
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
  for (size_t index = 0; index < count; ++index) {
    if (ParseRecoveredName(files[index].Name, number, type)) highest = std::max(highest, number);
  }
  TNamePicker names(destFolder, highest);
  for (size_t index = 0; index < count; ++index) {
    const TFoundFile& file = files[index];
    TSaveStep step;
    step.Index = index;
    step.Count = count;
    // A save cut short after its copy was named left the file saved and its source behind.
    const bool savedBefore = file.Selected && !SavedBeforeInterruption(file.TempFile, destFolder).empty();
    std::string savedAs = file.Selected && !savedBefore ? names.Pick(file.Name) : file.Name;
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
      const std::string name = FreeNameIn(folder, Utf8Of(original.filename()));
      step.FinalPath = folder / PathFromUtf8(name);
      savedAs = Utf8Of(original.parent_path() / PathFromUtf8(name));
      ownName = Utf8Of(original);
    }

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

    if (savedBefore) {
      ++outcome.Saved;
    } else if (file.Selected) {
      try {
        if (!folderError.empty()) throw std::runtime_error(folderError);
        RestoreAndMove(file.TempFile, step.FinalPath);
        ++outcome.Saved;
        if (naming.OriginalNames) {
          std::optional<int64_t> time = file.Original ? EntryTime(file.Original->Entry.Modified) : std::nullopt;
          if (!time && naming.PhotoTime) time = naming.PhotoTime(step.FinalPath, file.Ext);
          if (time) SetModifiedTime(step.FinalPath, *time);
        }
        if (savedAs != ownName) outcome.Renamed.push_back({ownName, savedAs});
      } catch (const std::exception& error) {
        outcome.NotSaved.push_back({file.Name, file.TempFile, step.FinalPath, error.what()});
      }
    } else {
      std::error_code ignored;
      std::filesystem::remove(file.TempFile, ignored);
      std::filesystem::remove(HeadJournalOf(file.TempFile), ignored);
      ++outcome.Bypassed;
    }
  }
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
  const std::filesystem::path kept = MoveAsideTemporaryFiles(tempFolder, moved);
  if (kept.empty()) return {};
  return Text(TText::EarlierTempFilesKept, {std::to_string(moved), kept.string()}) +
         RestoreCommandHint(kept, destFolder);
}

std::string RestoreCommandHint(const std::filesystem::path& kept, const std::filesystem::path& destFolder) {
  std::string files = kept.string();
  std::error_code ec;
  if (std::filesystem::is_directory(kept, ec)) {
    if (files.empty() || files.back() != '/') files += '/';
    // The pattern stays outside the quotes so the shell expands it.
    files = ShellWord(files) + TemporaryFilePattern();
  } else {
    files = ShellWord(files);
  }
  return Text(TText::RestoreLater, {"snapsalvager-cli restore " + files + " " + ShellWord(destFolder.string())});
}

}  // namespace snapsalvager
