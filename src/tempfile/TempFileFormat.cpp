// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The temporary-file format: size cap, head scrambling, names and the folder note.
#include "tempfile/TempFileFormat.h"
#include "tempfile/Utf8Path.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <stdexcept>
#include <vector>

namespace snapsalvager {
namespace {

constexpr char kTempPrefix[] = "Temporary_v5_File";
constexpr char kTempSuffix[] = ".~QX";
constexpr char kRecoveredPrefix[] = "File";

std::string UpperCase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

int64_t TempFileSizeCap(const std::string& type) {
  const TFileTypeDescriptor* descriptor = FileTypeOf(type);
  return descriptor != nullptr ? descriptor->SizeCap : 0;
}

void ScrambleHead(void* data, int64_t offset, int64_t count) {
  if (offset < 0 || offset >= kTempHeadLength || count <= 0) return;
  auto* bytes = static_cast<uint8_t*>(data);
  const int64_t n = std::min<int64_t>(count, kTempHeadLength - offset);
  for (int64_t i = 0; i < n; ++i) bytes[i] ^= kTempHeadKey;
}

std::string FileNumberText(uint32_t number) {
  std::string digits = std::to_string(number);
  // Four digits at least, so the first 999 names all begin with "File0", which is what
  // the check for an earlier recovery in the destination folder looks for.
  if (digits.size() < 4) digits.insert(0, 4 - digits.size(), '0');
  return digits;
}

std::string RecoveredFileName(uint32_t number, const std::string& type) {
  return kRecoveredPrefix + FileNumberText(number) + "." + type;
}

std::string TemporaryFileName(uint32_t number, const std::string& type) {
  return kTempPrefix + FileNumberText(number) + "_" + type + kTempSuffix;
}

std::string TemporaryFilePattern() { return std::string(kTempPrefix) + "*" + kTempSuffix; }

std::string TemporaryNameForm() { return std::string(kTempPrefix) + "<number>_<type>" + kTempSuffix; }

std::string RecoveredNameOfTemporary(const std::string& tempName) {
  const std::string prefix = kTempPrefix;
  const std::string suffix = kTempSuffix;
  if (tempName.size() <= prefix.size() + suffix.size() || tempName.compare(0, prefix.size(), prefix) != 0)
    return {};
  if (UpperCase(tempName.substr(tempName.size() - suffix.size())) != suffix) return {};
  const std::string middle = tempName.substr(prefix.size(), tempName.size() - prefix.size() - suffix.size());
  const size_t underscore = middle.find('_');
  if (underscore == std::string::npos || underscore < 4 || underscore + 1 >= middle.size()) return {};
  const std::string number = middle.substr(0, underscore);
  const std::string type = middle.substr(underscore + 1);
  const auto digit = [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; };
  const auto alnum = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; };
  if (!std::all_of(number.begin(), number.end(), digit) || !std::all_of(type.begin(), type.end(), alnum))
    return {};
  return kRecoveredPrefix + number + "." + UpperCase(type);
}

void WriteFolderNote(const std::filesystem::path& tempFolder, TFolderNoteLanguage language) {
  char stamp[64] = "";
  const std::time_t now = std::time(nullptr);
  std::tm local {};
  if (localtime_r(&now, &local) != nullptr) {
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
  }
  // The note as the Chinese program has always written it; the English one differs only in
  // its fourth line.
  const char* const fourth = language == TFolderNoteLanguage::English
                                 ? "This folder is used by Snapsalvager to store temporary files"
                                 : "此文件夹是用于 Snapsalvager 存储临时文件";
  const char* const kLines[] = {
      "",
      "About This TmpFiles Folder",
      "",
      fourth,
      "on scanning your memory card. ",
      "Files in this TMPFiles folder all have a \".~QX\" extension name",
      "which are encoded/compressed and cannot be used or open directly. ",
      "Once the whole recovery completes, the final recovered files ",
      "would be saved to the upper level folder instead of this folder.",
      "",
      "You may remove the TMPFiles folder and \".~QX\" files safely to release the space they "
      "take",
      "in case you uninstall Snapsalvager or do not need the temporary files.",
      "",
      "Snapsalvager performs read-only operation on your source memory card, so unless you have "
      "re-used",
      "your memory card (took new pictures on the same memory card), or the memory card is in "
      "unstable state,",
      "you may still use Snapsalvager to recover the pictures from the memory card once again.",
      "",
      nullptr,  // "Generated at " line
      "",
  };
  std::string text;
  for (const char* line : kLines) {
    text += line != nullptr ? std::string(line) : std::string("Generated at ") + stamp;
    text += "\r\n";
  }
  const std::filesystem::path file = tempFolder / kFolderNoteName;
  const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) return;  // the note is a courtesy; a failure here must not stop the scan
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  ::close(fd);
}

}  // namespace snapsalvager

namespace snapsalvager {
namespace {

constexpr char kJournalSuffix[] = ".head";

bool IsTemporaryOrJournal(const std::filesystem::path& path) {
  const std::filesystem::path temp = TempFileOfJournal(path);
  return !RecoveredNameOfTemporary((temp.empty() ? path : temp).filename().string()).empty();
}

std::string KeptFolderName() {
  char stamp[64] = "Kept";
  const std::time_t now = std::time(nullptr);
  std::tm local {};
  if (localtime_r(&now, &local) != nullptr) std::strftime(stamp, sizeof stamp, "Kept_%Y-%m-%d_%H-%M-%S", &local);
  return stamp;
}

}  // namespace

bool ParseRecoveredName(const std::string& name, uint32_t& number, std::string& type) {
  const std::string prefix = kRecoveredPrefix;
  const size_t dot = name.find('.');
  if (name.compare(0, prefix.size(), prefix) != 0 || dot == std::string::npos || dot == prefix.size() ||
      dot - prefix.size() > 10)
    return false;
  uint64_t value = 0;
  for (size_t i = prefix.size(); i < dot; ++i) {
    if (!std::isdigit(static_cast<unsigned char>(name[i]))) return false;
    value = value * 10 + static_cast<uint64_t>(name[i] - '0');
  }
  if (value > UINT32_MAX) return false;
  number = static_cast<uint32_t>(value);
  type = name.substr(dot + 1);
  return true;
}

std::filesystem::path HeadJournalOf(const std::filesystem::path& tempFile) {
  std::filesystem::path journal = tempFile;
  journal += kJournalSuffix;
  return journal;
}

std::filesystem::path TempFileOfJournal(const std::filesystem::path& path) {
  const std::string text = Utf8Of(path);
  const std::string suffix = kJournalSuffix;
  if (text.size() <= suffix.size() || text.compare(text.size() - suffix.size(), suffix.size(), suffix) != 0)
    return {};
  return PathFromUtf8(text.substr(0, text.size() - suffix.size()));
}

bool SyncFolder(const std::filesystem::path& folder) {
  const std::filesystem::path where = folder.empty() ? std::filesystem::path(".") : folder;
  const int fd = ::open(where.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool synced = ::fsync(fd) == 0;
  ::close(fd);
  return synced;
}

std::filesystem::path MoveAsideTemporaryFiles(const std::filesystem::path& tempFolder, size_t& moved) {
  namespace fs = std::filesystem;
  moved = 0;
  std::vector<fs::path> files;
  std::error_code ec;
  for (fs::directory_iterator it(tempFolder, ec), end; !ec && it != end; it.increment(ec)) {
    if (!it->is_directory(ec) && IsTemporaryOrJournal(it->path())) files.push_back(it->path());
  }
  const fs::path names = tempFolder / kKeptNamesFile;
  if (files.empty()) {
    fs::remove(names, ec);
    return {};
  }
  if (fs::is_regular_file(fs::symlink_status(names, ec))) files.push_back(names);
  // A second scan in the same second gets its own folder.
  const std::string name = KeptFolderName();
  fs::path kept = tempFolder / name;
  for (int n = 2; ::mkdir(kept.c_str(), 0755) != 0; ++n) {
    if (errno != EEXIST || n > 1000) {
      throw std::runtime_error("cannot create the folder " + kept.string() + ": " + std::strerror(errno));
    }
    kept = tempFolder / (name + "_" + std::to_string(n));
  }
  for (const fs::path& file : files) {
    const fs::path target = kept / file.filename();
    if (::renameat2(AT_FDCWD, file.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) != 0) {
      throw std::runtime_error("cannot move " + file.string() + " to " + kept.string() + ": " +
                               std::strerror(errno));
    }
    if (TempFileOfJournal(file).empty()) ++moved;
  }
  SyncFolder(kept);
  SyncFolder(tempFolder);
  return kept;
}

}  // namespace snapsalvager
