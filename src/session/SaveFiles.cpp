// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The save pass: names, dates, the batches it hands its files to; the restore line.
#include "session/SaveFiles.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>
#include <ctime>
#include <system_error>
#include <utility>
#include <vector>

#include "session/FileIo.h"
#include "session/Texts.h"
#include "tempfile/TempFileFormat.h"
#include "tempfile/Utf8Path.h"

namespace snapsalvager {

using fileio::UpperCase;

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

}  // namespace

void SetModifiedTime(const std::filesystem::path& path, int64_t seconds) {
  using namespace std::chrono;
  std::error_code ignored;
  std::filesystem::last_write_time(path, file_clock::from_sys(sys_seconds(std::chrono::seconds(seconds))), ignored);
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
  // Files a save under the card's names left are restored under those names too.
  std::error_code ec;
  const bool named = std::filesystem::is_regular_file(kept / kKeptNamesFile, ec);
  return Text(TText::RestoreLater, {"snapsalvager-cli restore " + ShellWord(kept.string()) + " " +
                                    ShellWord(destFolder.string()) + (named ? " --original-names" : "")});
}

}  // namespace snapsalvager
