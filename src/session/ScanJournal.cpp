// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The scan's journal: its two files, their lines, and the state written in turn into two slots.
#include "session/ScanJournal.h"

#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>

#include "card/DriveReads.h"
#include "tempfile/TempFileFormat.h"

namespace snapsalvager {
namespace {

namespace fs = std::filesystem;

constexpr char kStateMagic[] = "snapsalvager scan journal 1";
// The state holds two slots; points go to them in turn, so a write that a crash tore
// leaves the slot before whole.
constexpr size_t kSlotBytes = 16384;

uint64_t Fnv1a(uint64_t hash, const void* data, size_t length) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  for (size_t i = 0; i < length; ++i) {
    hash ^= bytes[i];
    hash *= 0x100000001b3ULL;
  }
  return hash;
}
constexpr uint64_t kFnvStart = 0xcbf29ce484222325ULL;

std::string Hex64(uint64_t value) {
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
  return text;
}

// Log fields are tab-separated; a field's tab, newline, carriage return and percent sign
// travel as %09, %0A, %0D, %25.
std::string Escape(const std::string& text) {
  std::string out;
  for (const char c : text) {
    if (c == '\t' || c == '\n' || c == '\r' || c == '%') {
      char code[4];
      std::snprintf(code, sizeof code, "%%%02X", static_cast<unsigned char>(c));
      out += code;
    } else {
      out += c;
    }
  }
  return out;
}

std::string Unescape(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::vector<std::string> Split(const std::string& line, char separator) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (;;) {
    const size_t end = line.find(separator, start);
    fields.push_back(line.substr(start, end - start));
    if (end == std::string::npos) return fields;
    start = end + 1;
  }
}

uint64_t Number(const std::string& text) {
  size_t used = 0;
  const unsigned long long value = std::stoull(text, &used, 10);
  if (used != text.size() || text.empty() || text[0] == '-') throw std::invalid_argument(text);
  return value;
}

std::string HexBytes(const std::string& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  for (const char c : bytes) {
    text += kDigits[static_cast<uint8_t>(c) >> 4];
    text += kDigits[static_cast<uint8_t>(c) & 15];
  }
  return text;
}

bool FromHex(const std::string& text, std::string& bytes) {
  const auto digit = [](char c) { return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1; };
  if (text.size() % 2 != 0) return false;
  bytes.clear();
  for (size_t i = 0; i < text.size(); i += 2) {
    const int high = digit(text[i]), low = digit(text[i + 1]);
    if (high < 0 || low < 0) return false;
    bytes += static_cast<char>(high << 4 | low);
  }
  return true;
}

std::string StateText(const TJournalPoint& p, uint64_t sequence) {
  std::ostringstream out;
  out << kStateMagic << "\n"
      << "seq=" << sequence << "\n"
      << "sectors=" << p.Key.SectorCount << "\n"
      << "sectorsize=" << p.Key.SectorSize << "\n"
      << "samples=" << p.Key.Samples << "\n"
      << "options=" << p.Key.Options << "\n"
      << "done=" << p.Done << "\n"
      << "total=" << p.Total << "\n"
      << "counter=" << p.FileCounter << "\n"
      << "type=" << p.CurrentType << "\n"
      << "started=" << p.FileStarted << "\n"
      << "bad=" << p.BadBytes << "\n"
      << "rule=" << HexBytes(p.RuleState) << "\n"
      << "open=" << p.FileOpen << "\n"
      << "opentype=" << p.OpenType << "\n"
      << "filepos=" << p.FilePos << "\n"
      << "filefirst=" << p.FileFirst << "\n"
      << "written=" << p.Written << "\n"
      << "stored=" << p.Stored << "\n"
      << "cut=" << p.FileCut << "\n"
      << "log=" << p.LogBytes << "\n";
  const std::string body = out.str();
  return body + "sum=" + Hex64(Fnv1a(kFnvStart, body.data(), body.size())) + "\n";
}

std::optional<TJournalPoint> ParseState(const std::string& slot, uint64_t& sequence) {
  const size_t sumAt = slot.find("\nsum=");
  if (sumAt == std::string::npos || slot.compare(0, sizeof kStateMagic - 1, kStateMagic) != 0) return std::nullopt;
  const std::string body = slot.substr(0, sumAt + 1);
  const std::string sum = "sum=" + Hex64(Fnv1a(kFnvStart, body.data(), body.size())) + "\n";
  if (slot.compare(sumAt + 1, sum.size(), sum) != 0) return std::nullopt;
  std::map<std::string, std::string> values;
  for (const std::string& line : Split(body, '\n')) {
    const size_t eq = line.find('=');
    if (eq != std::string::npos) values[line.substr(0, eq)] = line.substr(eq + 1);
  }
  try {
    TJournalPoint p;
    sequence = Number(values.at("seq"));
    p.Key.SectorCount = Number(values.at("sectors"));
    p.Key.SectorSize = static_cast<uint32_t>(Number(values.at("sectorsize")));
    p.Key.Samples = values.at("samples");
    p.Key.Options = values.at("options");
    p.Done = Number(values.at("done"));
    p.Total = Number(values.at("total"));
    p.FileCounter = static_cast<uint32_t>(Number(values.at("counter")));
    p.CurrentType = values.at("type");
    p.FileStarted = Number(values.at("started")) != 0;
    p.BadBytes = static_cast<int64_t>(Number(values.at("bad")));
    if (!FromHex(values.at("rule"), p.RuleState)) return std::nullopt;
    p.FileOpen = Number(values.at("open")) != 0;
    p.OpenType = values.at("opentype");
    p.FilePos = Number(values.at("filepos"));
    p.FileFirst = Number(values.at("filefirst"));
    p.Written = static_cast<int64_t>(Number(values.at("written")));
    p.Stored = static_cast<int64_t>(Number(values.at("stored")));
    p.FileCut = Number(values.at("cut")) != 0;
    p.LogBytes = Number(values.at("log"));
    // The types become parts of file names: a type's letters and digits only.
    const auto typeName = [](const std::string& type) {
      return type.size() <= 8 && std::all_of(type.begin(), type.end(), [](char c) {
               return std::isalnum(static_cast<unsigned char>(c)) != 0;
             });
    };
    if (p.Done > p.Total || p.Stored > p.Written || p.Stored < 0 || !typeName(p.CurrentType) ||
        !typeName(p.OpenType) || (p.FileOpen && p.OpenType.empty()))
      return std::nullopt;
    return p;
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

bool ReadWhole(const fs::path& path, std::string& text, uint64_t limit = UINT64_MAX) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  text.clear();
  char chunk[65536];
  while (text.size() < limit && in.read(chunk, sizeof chunk).gcount() > 0) {
    text.append(chunk, static_cast<size_t>(in.gcount()));
  }
  if (text.size() > limit) text.resize(limit);
  return true;
}

// The log's lines up to the point; false when one does not read.
bool ParseLog(const std::string& log, const fs::path& folder, TScanJournal& journal) {
  if (!log.empty() && log.back() != '\n') return false;
  try {
    for (const std::string& line : Split(log, '\n')) {
      if (line.empty()) continue;
      const std::vector<std::string> f = Split(line, '\t');
      if (f[0] == "R" && f.size() == 6) {
        TFoundFile row;
        row.Name = Unescape(f[1]);
        row.Ext = Unescape(f[2]);
        row.Size = static_cast<int64_t>(Number(f[3]));
        const std::string tempName = Unescape(f[4]);
        if (TemporaryFileNumber(tempName) == 0) return false;
        row.TempFile = folder / tempName;
        row.Info = Unescape(f[5]);
        journal.Rows.push_back(std::move(row));
      } else if (f[0] == "S" && f.size() == 2) {
        journal.FileStarts.push_back(Number(f[1]));
      } else if (f[0] == "C" && f.size() == 3) {
        journal.Claimed.push_back({Number(f[1]), Number(f[2])});
      } else if (f[0] == "B" && f.size() == 3) {
        journal.Breaks.push_back({Number(f[1]), Number(f[2])});
      } else {
        return false;
      }
    }
  } catch (const std::exception&) {
    return false;
  }
  return true;
}

void WriteAll(int fd, const std::string& text, const fs::path& path) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw std::runtime_error("Cannot write " + path.string() + ": " + std::strerror(n < 0 ? errno : EIO));
    done += static_cast<size_t>(n);
  }
}

}  // namespace

std::vector<uint64_t> SampleSectors(uint64_t first, uint64_t count) {
  std::vector<uint64_t> sectors;
  for (const uint64_t at : {uint64_t{0}, uint64_t{63}, uint64_t{2048}, uint64_t{8192}, uint64_t{32768}})
    if (at < count) sectors.push_back(first + at);
  for (uint64_t k = 1; k <= 8; ++k)
    if (count > 0) sectors.push_back(first + std::min(count - 1, count / 8 * k));
  std::sort(sectors.begin(), sectors.end());
  sectors.erase(std::unique(sectors.begin(), sectors.end()), sectors.end());
  return sectors;
}

std::string SampleEntry(uint64_t sector, const uint8_t* bytes, uint32_t sectorSize) {
  return std::to_string(sector) + ":" + (bytes ? Hex64(Fnv1a(kFnvStart, bytes, sectorSize)) : std::string("-")) + ";";
}

std::string ScanOptionsLine(const TRecogniserInputs& inputs, bool deep, bool wholeVolume,
                            uint64_t firstSector, uint64_t lastSector) {
  std::string types, deepTypes;
  for (const bool on : inputs.FileTypeEnabled) types += on ? '1' : '0';
  for (const bool on : inputs.DeepTypeEnabled) deepTypes += on ? '1' : '0';
  std::string line = "types:" + types + " deeptypes:" + deepTypes + " canon:" +
                     std::to_string(inputs.IsCanonCamera) + " video:" +
                     (inputs.UseChosenVideoExt ? inputs.ChosenVideoExt : std::string("-")) +
                     " deep:" + std::to_string(deep);
  if (!wholeVolume) line += " range:" + std::to_string(firstSector) + "-" + std::to_string(lastSector);
  return line;
}

std::string JournalRowLine(const TFoundFile& row) {
  return "R\t" + Escape(row.Name) + "\t" + Escape(row.Ext) + "\t" + std::to_string(row.Size) + "\t" +
         Escape(row.TempFile.filename().string()) + "\t" + Escape(row.Info) + "\n";
}
std::string JournalStartLine(uint64_t sector) { return "S\t" + std::to_string(sector) + "\n"; }
std::string JournalClaimedLine(const TClaimedRun& run) {
  return "C\t" + std::to_string(run.First) + "\t" + std::to_string(run.End) + "\n";
}
std::string JournalBreakLine(const TPhotoBreak& broke) {
  return "B\t" + std::to_string(broke.FirstSector) + "\t" + std::to_string(broke.BreakOffset) + "\n";
}

bool JournalPresent(const fs::path& tempFolder) {
  std::error_code ec;
  return fs::exists(tempFolder / kJournalStateName, ec);
}

std::optional<TScanJournal> ReadScanJournal(const fs::path& tempFolder) {
  std::string text;
  if (!ReadWhole(tempFolder / kJournalStateName, text, 2 * kSlotBytes)) return std::nullopt;
  // The later of the two slots that read whole.
  std::optional<TJournalPoint> point;
  uint64_t latest = 0;
  for (size_t at = 0; at < text.size(); at += kSlotBytes) {
    uint64_t sequence = 0;
    std::optional<TJournalPoint> slot = ParseState(text.substr(at, kSlotBytes), sequence);
    if (slot && (!point || sequence > latest)) {
      point = std::move(slot);
      latest = sequence;
    }
  }
  if (!point) return std::nullopt;
  TScanJournal journal;
  journal.Point = *point;
  std::string log;
  if (!ReadWhole(tempFolder / kJournalLogName, log, point->LogBytes) || log.size() != point->LogBytes ||
      !ParseLog(log, tempFolder, journal))
    return std::nullopt;
  // The files it counts must still be there as they were (not saved, moved or cut since).
  for (const TFoundFile& row : journal.Rows) {
    std::error_code ec;
    const uintmax_t size = fs::file_size(row.TempFile, ec);
    if (ec || size != static_cast<uintmax_t>(row.Size)) return std::nullopt;
  }
  if (journal.Point.FileOpen) {
    std::error_code ec;
    const fs::path open = tempFolder / TemporaryFileName(journal.Point.FileCounter, journal.Point.OpenType);
    const uintmax_t size = fs::file_size(open, ec);
    if (ec || size < static_cast<uintmax_t>(journal.Point.Stored)) return std::nullopt;
  }
  return journal;
}

TJournalKey ScanJournalKey(const TDriveEntry& drive, const TRecogniserInputs& inputs, bool deep,
                           bool wholeVolume, uint64_t firstSector, uint64_t lastSector) {
  TJournalKey key;
  key.SectorCount = drive.SectorCount;
  key.SectorSize = drive.SectorSize != 0 ? drive.SectorSize : 512;
  key.Options = ScanOptionsLine(inputs, deep, wholeVolume, firstSector, lastSector);
  return key;
}

// Whether the sectors of samples read the same on drive now (where both reads succeed).
bool SamplesMatch(const std::string& samples, uint8_t drive, uint32_t sectorSize) {
  std::vector<uint8_t> bytes(sectorSize);
  for (const std::string& entry : Split(samples, ';')) {
    if (entry.empty()) continue;
    const size_t colon = entry.find(':');
    if (colon == std::string::npos) return false;
    uint64_t sector = 0;
    try {
      sector = Number(entry.substr(0, colon));
    } catch (const std::exception&) {
      return false;
    }
    if (entry.compare(colon + 1, std::string::npos, "-") == 0) continue;
    if (!ReadSectors(drive, sector, 1, bytes.data())) continue;
    if (SampleEntry(sector, bytes.data(), sectorSize) != entry + ";") return false;
  }
  return true;
}

TResumeOffer FindResumableScan(const fs::path& tempFolder, const TJournalKey& key, uint8_t drive) {
  TResumeOffer offer;
  if (!JournalPresent(tempFolder)) return offer;
  std::optional<TScanJournal> journal = ReadScanJournal(tempFolder);
  const TJournalKey& made = journal ? journal->Point.Key : key;
  if (!journal) {
    offer.Verdict = TResumeVerdict::Unusable;
  } else if (made.SectorCount != key.SectorCount || made.SectorSize != key.SectorSize || made.Options != key.Options ||
             !SamplesMatch(made.Samples, drive, key.SectorSize)) {
    offer.Verdict = TResumeVerdict::OtherScan;
  } else {
    offer.Verdict = TResumeVerdict::Matches;
    offer.Journal = std::make_shared<const TScanJournal>(std::move(*journal));
  }
  return offer;
}

void RemoveScanJournal(const fs::path& tempFolder) {
  std::error_code ec;
  fs::remove(tempFolder / kJournalStateName, ec);
  fs::remove(tempFolder / kJournalLogName, ec);
  SyncFolder(tempFolder);
}

uint32_t TemporaryFileNumber(const std::string& name) {
  uint32_t number = 0;
  std::string type;
  const std::string recovered = RecoveredNameOfTemporary(name);
  return !recovered.empty() && ParseRecoveredName(recovered, number, type) ? number : 0;
}

TScanJournalWriter::TScanJournalWriter(fs::path tempFolder, const TScanJournal* continued)
    : folder_(std::move(tempFolder)), logBytes_(continued ? continued->Point.LogBytes : 0) {
  const uint64_t logBytes = logBytes_;
  const fs::path log = folder_ / kJournalLogName;
  const fs::path state = folder_ / kJournalStateName;
  const auto fail = [this](const fs::path& path) {
    const int error = errno;
    if (logFd_ >= 0) ::close(logFd_);
    if (stateFd_ >= 0) ::close(stateFd_);
    throw std::runtime_error("Cannot open " + path.string() + ": " + std::strerror(error));
  };
  logFd_ = ::open(log.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (logFd_ < 0) fail(log);
  // What lies past the point belongs to a run that did not reach its next point.
  if (::ftruncate(logFd_, static_cast<off_t>(logBytes)) != 0 ||
      ::lseek(logFd_, static_cast<off_t>(logBytes), SEEK_SET) < 0)
    fail(log);
  // A new journal starts with both slots empty; a continued one with the slot it was read
  // from kept until the next point is written into the other.
  stateFd_ = ::open(state.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | (continued ? 0 : O_TRUNC), 0644);
  if (stateFd_ < 0) fail(state);
  if (continued) {
    std::string text;
    ReadWhole(state, text, 2 * kSlotBytes);
    for (size_t at = 0; at < text.size(); at += kSlotBytes) {
      uint64_t seq = 0;
      if (ParseState(text.substr(at, kSlotBytes), seq) && seq >= sequence_) sequence_ = seq;
    }
  }
}

TScanJournalWriter::~TScanJournalWriter() {
  if (syncer_.joinable()) {
    {
      std::lock_guard<std::mutex> lock(syncMutex_);
      stopping_ = true;
    }
    syncWanted_.notify_all();
    syncer_.join();
  }
  if (logFd_ >= 0) ::close(logFd_);
  if (stateFd_ >= 0) ::close(stateFd_);
}

// Syncs the file system on request, one sync at a time, beside the scan: a sync waits for
// the disk, and the scan goes on reading meanwhile.
void TScanJournalWriter::SyncLoop() {
  std::unique_lock<std::mutex> lock(syncMutex_);
  for (;;) {
    syncWanted_.wait(lock, [this] { return syncRequested_ || stopping_; });
    if (!syncRequested_) return;
    syncRequested_ = false;
    lock.unlock();
    // Best effort: a failed sync leaves the points a kill already could not harm.
    if (::syncfs(stateFd_) != 0) ::fsync(stateFd_);
    if (!synced_) synced_ = SyncFolder(folder_);  // the journal's names, once
    lock.lock();
  }
}

void TScanJournalWriter::Write(TJournalPoint point, const std::string& logText, bool durable) {
  const fs::path log = folder_ / kJournalLogName;
  WriteAll(logFd_, logText, log);
  logBytes_ += logText.size();
  point.LogBytes = logBytes_;
  ++sequence_;
  std::string slot = StateText(point, sequence_);
  if (slot.size() > kSlotBytes) throw std::runtime_error("The scan journal's state does not fit its slot");
  const fs::path state = folder_ / kJournalStateName;
  const off_t at = static_cast<off_t>((sequence_ % 2) * kSlotBytes);
  size_t done = 0;
  while (done < slot.size()) {
    const ssize_t n = ::pwrite(stateFd_, slot.data() + done, slot.size() - done, at + static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw std::runtime_error("Cannot write " + state.string() + ": " + std::strerror(n < 0 ? errno : EIO));
    done += static_cast<size_t>(n);
  }
  if (durable) {
    std::lock_guard<std::mutex> lock(syncMutex_);
    syncRequested_ = true;
    if (!syncer_.joinable()) syncer_ = std::thread([this] { SyncLoop(); });
    syncWanted_.notify_all();
  }
}

}  // namespace snapsalvager
