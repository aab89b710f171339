// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The scan's journal: what an interrupted scan needs to go on where it stopped. It lies in
// the temporary folder next to the files it describes, as two files:
//
//   ScanJournal.state  the point to go on from (card, options, the sector reached, the open
//                      file), in two checksummed slots written in turn, so a torn write
//                      always leaves the one before
//   ScanJournal.log    one line per recorded file (and, deep, per file start, structure
//                      extent and photo break), only ever appended; the state names how many
//                      of its bytes belong to the point, so a torn last line is never read
//
// A point is written after the bytes it counts were handed to the temporary files, so a
// killed or crashed program leaves the earlier point or the new one, each whole. The file
// system is synced every few seconds besides (see TScanJournalWriter for a power cut).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <string>
#include <vector>

#include "session/FoundFiles.h"
#include "session/ScanOptions.h"
#include "carving/Signatures.h"
#include "carving/SplitPhotos.h"

namespace snapsalvager {

inline constexpr char kJournalStateName[] = "ScanJournal.state";
inline constexpr char kJournalLogName[] = "ScanJournal.log";

// What must match for a journal to be continued: the same card (its size, and the sectors at
// a few fixed places the scan passed, read again) scanned over the same range with the same
// options.
struct TJournalKey {
  uint64_t SectorCount = 0;
  uint32_t SectorSize = 0;
  std::string Options;
  // "sector:hash" of each fixed place the scan has read, ';'-separated; the hash is "-" for
  // a sector that could not be read. Taken from the scan's own reads: no read of its own.
  std::string Samples;
};

// The options as one line: the kinds sought, deep or not, the range.
std::string ScanOptionsLine(const TRecogniserInputs& inputs, bool deep, bool wholeVolume,
                            uint64_t firstSector, uint64_t lastSector);
// The key of a scan of drive (its SectorCount and SectorSize filled) with these options,
// before it read anything.
TJournalKey ScanJournalKey(const TDriveEntry& drive, const TRecogniserInputs& inputs, bool deep,
                           bool wholeVolume, uint64_t firstSector, uint64_t lastSector);
// The card sectors whose contents identify the card, ascending, for a range of count sectors
// from first: the partition table's and the usual volume starts' sectors, and eighths.
std::vector<uint64_t> SampleSectors(uint64_t first, uint64_t count);
// One entry of TJournalKey::Samples for a sector as read (null: unreadable).
std::string SampleEntry(uint64_t sector, const uint8_t* bytes, uint32_t sectorSize);

// The scan's state at the end of a sector: everything after it is carved again.
struct TJournalPoint {
  TJournalKey Key;
  uint64_t Done = 0;  // sectors of the range carved
  uint64_t Total = 0;
  uint32_t FileCounter = 0;
  std::string CurrentType;
  bool FileStarted = false;
  int64_t BadBytes = 0;
  std::string RuleState;  // the carving rule's (TCarvingRule::SaveState)
  // The open file, when there is one: its type (as in its name), bytes carved into it, the
  // bytes its writer accepted and stored, and whether the destination cut it.
  bool FileOpen = false;
  std::string OpenType;
  uint64_t FilePos = 0;
  uint64_t FileFirst = 0;
  int64_t Written = 0;
  int64_t Stored = 0;
  bool FileCut = false;
  uint64_t LogBytes = 0;  // the log's length at this point
};

// A journal read back, with its log.
struct TScanJournal {
  TJournalPoint Point;
  std::vector<TFoundFile> Rows;
  std::vector<TPhotoBreak> Breaks;
  std::vector<TClaimedRun> Claimed;
  std::vector<uint64_t> FileStarts;

  // The files the scan had found at the point: those recorded and the one it was carving,
  // whose temporary file is there too and which a continued scan finishes.
  size_t FoundFileCount() const { return Rows.size() + (Point.FileOpen ? 1 : 0); }
};

// Lines of the log, as the scan appends them.
std::string JournalRowLine(const TFoundFile& row);
std::string JournalStartLine(uint64_t sector);
std::string JournalClaimedLine(const TClaimedRun& run);
std::string JournalBreakLine(const TPhotoBreak& broke);

// Whether the temporary folder holds a journal (whole or not).
bool JournalPresent(const std::filesystem::path& tempFolder);
// The journal of tempFolder; none when there is none or it is damaged. The temporary files
// it names are checked: each recorded file at its size, the open one at least as long as
// the journal says.
std::optional<TScanJournal> ReadScanJournal(const std::filesystem::path& tempFolder);
// What a front end finds in the temporary folder before a scan.
enum class TResumeVerdict {
  None,       // no journal
  Matches,    // a journal of this card and these options: the scan can go on
  OtherScan,  // a journal of another card or other options
  Unusable,   // a journal that is damaged, or whose files are no longer as it counts them
};
struct TResumeOffer {
  TResumeVerdict Verdict = TResumeVerdict::None;
  std::shared_ptr<const TScanJournal> Journal;  // when Matches
};
// key is ScanJournalKey's for this scan; the journal's samples are read again from drive (a
// sector unreadable then or now is passed over).
TResumeOffer FindResumableScan(const std::filesystem::path& tempFolder, const TJournalKey& key, uint8_t drive);

// Removes the journal (when a scan ends, or the files it counts are gone).
void RemoveScanJournal(const std::filesystem::path& tempFolder);

// Writes points. Each Write appends logText to the log and writes the state into the slot
// not holding the latest point: a killed or crashed process leaves the old point or the new
// one. A durable Write also has the folder's file system synced (the temporary files, the
// log, the state), on a thread of the writer's own, so the scan does not wait for the disk;
// the scan asks for one every few seconds. After a power cut the state is at least the point
// of the last finished sync; a later one whose files did not all reach the disk finds them
// shorter than it counts, and is not used. Throws std::runtime_error when a write fails.
class TScanJournalWriter {
 public:
  // Goes on with the journal continued was read from; null: a new journal, any old one
  // cleared.
  TScanJournalWriter(std::filesystem::path tempFolder, const TScanJournal* continued);
  ~TScanJournalWriter();
  TScanJournalWriter(const TScanJournalWriter&) = delete;
  TScanJournalWriter& operator=(const TScanJournalWriter&) = delete;

  void Write(TJournalPoint point, const std::string& logText, bool durable);

 private:
  std::filesystem::path folder_;
  int logFd_ = -1;
  int stateFd_ = -1;
  uint64_t logBytes_ = 0;
  uint64_t sequence_ = 0;
  void SyncLoop();
  std::thread syncer_;
  std::mutex syncMutex_;
  std::condition_variable syncWanted_;
  bool syncRequested_ = false;  // under syncMutex_
  bool stopping_ = false;       // under syncMutex_
  bool synced_ = false;         // the syncer's: the folder was synced once
};

// The number of a temporary file name, 0 for any other name.
uint32_t TemporaryFileNumber(const std::string& name);

}  // namespace snapsalvager
