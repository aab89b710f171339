// The scan thread and its carving loop.
#include "session/ScanThread.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <optional>
#include <stdexcept>
#include <vector>

#include "carving/CarvingRules.h"
#include "carving/SplitPhotos.h"
#include "tempfile/TempFileWriter.h"
#include "card/CardDevice.h"
#include "session/Texts.h"

namespace snapsalvager {
namespace {

constexpr uint32_t kBatchSectors = 200;
constexpr uint32_t kReportIntervalMs = 250;  // each report waits for the main thread
constexpr uint32_t kReportsPerEstimate = 4;  // about once a second
constexpr uint32_t kFailedBatchWaitMs = 100;
// A journal point is written after every batch that recorded a file, and at least this often
// a point synced to the disk (ScanJournal.h).
constexpr uint32_t kDurablePointMs = 2000;

uint32_t SteadyTick() {
  using namespace std::chrono;
  return static_cast<uint32_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

// Abandoned threads that may still write temporary files (process-wide: they outlive the
// objects that started them).
std::atomic<int> g_abandonedRunning{0};

std::string TwoDigits(uint32_t value) {
  std::string text = std::to_string(value);
  return text.size() < 2 ? "0" + text : text;
}

// A device that is gone answers ENODEV or ENXIO; one that no longer opens is gone too.
bool DeviceGone(int error) { return error == ENODEV || error == ENXIO; }

}  // namespace

int AbandonedScansRunning() { return g_abandonedRunning; }

std::string AbandonedScanRunningText() {
  return Text(TText::AbandonedScanRunning);
}

std::string CutFileNote(const std::string& info, int64_t storedBytes) {
  const std::string note = Text(TText::CutFileNote, {std::to_string(storedBytes)});
  return info.empty() || info == "N/A" ? note : info + " " + note;
}

std::string FormatRemainingTime(uint32_t seconds) {
  const uint32_t hours = seconds / 3600;
  const uint32_t minutes = (seconds - hours * 3600) / 60;
  const uint32_t rest = seconds - hours * 3600 - minutes * 60;
  return std::to_string(hours) + ":" + TwoDigits(minutes) + ":" + TwoDigits(rest);
}

uint32_t EstimateRemainingSeconds(uint32_t elapsedSeconds, uint64_t sectorsDone,
                                  uint64_t sectorsTotal) {
  if (sectorsDone == 0 || sectorsDone >= sectorsTotal) return 0;
  const double remaining = static_cast<double>(elapsedSeconds) / sectorsDone *
                           static_cast<double>(sectorsTotal - sectorsDone);
  return remaining >= 4294967295.0 ? UINT32_MAX : static_cast<uint32_t>(remaining);
}

struct TDigitalReadThread::Impl {
  // Front end, reached only through Sync.
  TScanEvents* events;
  TSynchronize synchronize;
  TFoundFileList* foundFiles;

  // Copies taken at Start.
  TDriveEntry drive;
  std::filesystem::path tempFolder;
  TRecogniserInputs inputs;
  bool wholeVolume = true;
  uint64_t firstSector = 0;
  uint64_t lastSector = 0;
  bool deepScan = false;
  TTickSource tick;
  TDescribeFile describe;
  std::shared_ptr<const TScanJournal> resumeFrom;
  std::function<void(uint64_t)> afterBatch;

  // Control, shared with the front end.
  std::atomic<bool> terminated{false};
  std::atomic<bool> abandoned{false};
  std::atomic<bool> finished{false};
  std::atomic<bool> parked{false};
  mutable std::mutex controlMutex;
  std::condition_variable controlChanged;
  bool pauseRequested = false;  // under controlMutex
  bool countedAbandoned = false;  // under controlMutex: counted in g_abandonedRunning
  bool writesDone = false;        // under controlMutex: no temporary file is written any more
  // Held while a call runs against the front end, and by Abandon, so no call starts
  // after Abandon returned. Recursive: a handler may abandon from inside its own call.
  std::recursive_mutex frontMutex;

  // Scan state of the running loop.
  std::vector<uint8_t> buffer;
  std::unique_ptr<TWriteFileStream> openFile;
  // The destination refused to let the open file grow (EFBIG): it ends where it stopped and
  // nothing more is written until the next header.
  bool fileCut = false;
  uint32_t fileCounter = 0;
  std::string recoveredName;
  std::filesystem::path tempPath;
  std::string currentType;
  std::string closingType;
  int64_t badBytes = 0;
  // Where files start and end: the header rule, or the structure rule of deep scans.
  std::unique_ptr<TCarvingRule> rule;
  uint64_t filePos = 0;     // bytes carved into the open file, also those a cut file drops
  uint64_t fileFirst = 0;   // the open file's first sector in the range
  bool replaying = false;   // carving sectors again after a late start
  uint64_t total = 0;       // sectors to scan
  uint64_t base = 0;        // the first of them on the card
  uint64_t done = 0;        // sectors of the range carved so far
  uint32_t sectorSize = 512;
  bool keepGoing = true;
  bool fileStarted = false;  // a header was seen: from now on some file is always open
  uint32_t startTick = 0;
  uint32_t lastTick = 0;
  uint32_t reportCount = 0;
  bool sectorsShown = false;  // a report of the sectors read has been sent
  // Split photos (deep scan): where photos broke off, the sectors files' structures account
  // for, where files start, and the note of the joined photo being recorded.
  std::vector<TPhotoBreak> breaks;
  std::vector<TClaimedRun> claimed;
  std::vector<uint64_t> fileStarts;
  std::string fileNote;
  // The journal: its writer (null once a write failed: the last point stays valid), the log
  // lines not yet written, and the latest point not yet written with how much of them it
  // counts. The header rule's points are taken at batch ends, with the open file; the
  // structure rule's after any sector that leaves no file open, where its checks are empty.
  std::unique_ptr<TScanJournalWriter> journal;
  TJournalKey journalKey;
  std::string logPending;
  std::optional<TJournalPoint> point;
  size_t pointLog = 0;
  uint32_t lastDurableTick = 0;
  bool recordedSinceJournal = false;
  std::vector<uint8_t> badSlots;  // the last batch's sectors that could not be read
  uint64_t startDone = 0;         // where this run began (a continued scan: past 0)
  std::string openType;           // the type in the open file's name
  std::vector<uint64_t> samples;  // the card sectors the journal's key records as read
  size_t nextSample = 0;

  Impl(TScanEvents& e, TSynchronize s, TFoundFileList& f)
      : events(&e), synchronize(std::move(s)), foundFiles(&f) {}

  static void Execute(const std::shared_ptr<Impl>& self);

  // Runs call against the front end through Synchronize, unless the thread was abandoned.
  void Sync(const std::function<void()>& call) {
    if (abandoned) return;
    auto guarded = [this, &call] {
      std::lock_guard<std::recursive_mutex> lock(frontMutex);
      if (!abandoned) call();
    };
    if (synchronize) {
      synchronize(guarded);
    } else {
      guarded();
    }
  }

  // The pause checkpoint: between batches, holding nothing the main thread waits for.
  // True when a stop request ended the pause.
  bool PauseCheckpoint() {
    std::unique_lock<std::mutex> lock(controlMutex);
    if (!pauseRequested || terminated) return false;
    const uint32_t parkedAt = Now();
    parked = true;
    controlChanged.notify_all();
    controlChanged.wait(lock, [this] { return !pauseRequested || terminated.load(); });
    parked = false;
    // The estimate counts scanning time only: the pause moves the scan's start forward.
    const uint32_t pausedMs = Now() - parkedAt;
    startTick += pausedMs;
    lastTick += pausedMs;
    return terminated;
  }

  uint32_t Now() const { return tick ? tick() : SteadyTick(); }

  // The carving loop: per batch, read it, carve each sector in order, report when due.
  void CarvingLoop();
  void BeginScan();
  bool ReadBatch(uint32_t n);
  bool CardStillThere(uint64_t sector);
  uint32_t deadBatches = 0;  // batches in a row of which no sector could be read
  uint64_t lastReadSector = UINT64_MAX;  // the last card sector read, UINT64_MAX: none yet
  int64_t deadBytes = 0;     // what those batches put into the open file (zeros)
  void CarveSector(uint8_t* sector, uint64_t p, bool batchEnd);
  void StartFile(const uint8_t* sector, uint64_t p);
  void StartLate(const TLateStart& late, uint64_t p);
  bool CarveIntoOpenFile(uint8_t* sector);
  void CloseOpenFile();
  void ReportIfDue();
  void StartNewFile();
  void CloseFile();
  void WriteSector(uint8_t* sector, uint32_t size);
  void Report(uint64_t sectorsDone, uint64_t total, uint32_t sectorSize);
  void JoinSplitPhotos();
  void CarveJoined(TJoinedPhoto photo);
  void StartJournal();
  void ContinueFromJournal(const TScanJournal& from);
  void TakePoint(uint64_t at, int64_t bad);
  void WritePoint(bool durable);
  void JournalIfDue(bool force);
  void RecordSamples(uint32_t n);
};

void TDigitalReadThread::Impl::StartNewFile() {
  openFile.reset();
  ++fileCounter;
  recoveredName = RecoveredFileName(fileCounter, currentType);
  tempPath = tempFolder / TemporaryFileName(fileCounter, currentType);
  openType = currentType;
  fileCut = false;
  openFile = std::make_unique<TWriteFileStream>(tempPath, TempFileWriteSettings(currentType));
}

void TDigitalReadThread::Impl::WriteSector(uint8_t* sector, uint32_t size) {
  if (fileCut) return;
  openFile->Write(sector, static_cast<int32_t>(size));
  // A file the destination cannot hold whole (4 GiB on FAT32, a file-size limit) is kept as
  // far as it got; the files after it still fit.
  if (!openFile->AllStored() && openFile->LastErrno() == EFBIG) {
    fileCut = true;
    return;
  }
  // A write the destination did not take (disk full, I/O error) would leave a record whose
  // size the disk does not hold: end the scan instead.
  if (!openFile->AllStored()) {
    throw std::runtime_error("Cannot write the temporary file " + tempPath.string() + ": " +
                             openFile->LastError());
  }
}

void TDigitalReadThread::Impl::CloseFile() {
  if (!openFile) return;
  int64_t size = openFile->GetSize();
  const bool stored = openFile->Close();
  const std::string writeError = openFile->LastError();
  const bool cut = fileCut || (!stored && openFile->LastErrno() == EFBIG);
  if (cut) size = openFile->Stored();
  fileCut = false;
  openFile.reset();
  if (!stored && !cut) {
    throw std::runtime_error("Cannot write the temporary file " + tempPath.string() + ": " +
                             (writeError.empty() ? "the disk did not take every byte" : writeError));
  }
  if (size <= 0) return;

  TFoundFile record;
  const size_t dot = recoveredName.rfind('.');
  record.Name = recoveredName.substr(0, dot) + "." + closingType;
  record.Ext = closingType;
  record.Size = size;
  record.TempFile = tempPath;
  record.Info = "N/A";
  if (describe) {
    try {
      record.Info = describe(tempPath, record.Ext);
    } catch (const std::exception&) {
      // The description is optional: the file is listed without it.
    }
  }
  if (!fileNote.empty()) record.Info = record.Info == "N/A" ? fileNote : record.Info + " " + fileNote;
  fileNote.clear();
  if (cut) record.Info = CutFileNote(record.Info, size);
  record.Selected = true;
  logPending += JournalRowLine(record);
  recordedSinceJournal = true;
  Sync([&] {
    TFoundFile& added = foundFiles->Append(std::move(record));
    events->AddFoundFile(added.Name, added.Info, added.Size);
  });
}

void TDigitalReadThread::Impl::Report(uint64_t sectorsDone, uint64_t total, uint32_t sectorSize) {
  const std::string read = std::to_string(sectorsDone) + "/" + std::to_string(total);
  const std::string bad = std::to_string(badBytes / sectorSize);
  Sync([&] {
    events->SetLabelText(TScanLabel::LRead, read);
    events->SetLabelText(TScanLabel::LBad, bad);
    events->SetProgressPosition(sectorsDone);
  });
}

void TDigitalReadThread::Impl::BeginScan() {
  Sync([&] {
    events->SetProgressPosition(0);
    foundFiles->Clear();
  });
  startTick = Now();
  badBytes = 0;
  fileCounter = 0;
  openFile.reset();
  currentType.clear();
  closingType.clear();
  keepGoing = true;
  fileStarted = false;
  done = 0;
  startDone = 0;

  total = 0;
  base = 0;
  if (wholeVolume) {
    total = drive.SectorCount;
  } else if (lastSector >= firstSector) {
    total = lastSector - firstSector + 1;
    base = firstSector;
  }
  // The window always hands a size; 512 keeps a zero from dividing below.
  sectorSize = drive.SectorSize != 0 ? drive.SectorSize : 512;

  buffer.assign(static_cast<size_t>(kBatchSectors) * sectorSize, 0);
  Sync([&] {
    events->SetProgressPosition(0);
    events->SetProgressMaximum(total);
  });
  rule = MakeCarvingRule(deepScan, inputs, sectorSize);
  StartJournal();
  lastTick = Now();
  reportCount = 0;
}

// A new scan replaces any journal in the folder with its own first point; a continued one
// takes up where its journal stands.
void TDigitalReadThread::Impl::StartJournal() {
  journalKey = resumeFrom ? resumeFrom->Point.Key
                          : ScanJournalKey(drive, inputs, deepScan, wholeVolume, firstSector, lastSector);
  samples = SampleSectors(base, total);
  nextSample = 0;
  try {
    journal = std::make_unique<TScanJournalWriter>(tempFolder, resumeFrom.get());
  } catch (const std::exception&) {
    journal.reset();  // the scan runs without: it cannot be continued
  }
  lastDurableTick = startTick;
  if (resumeFrom) {
    ContinueFromJournal(*resumeFrom);
  } else {
    TakePoint(0, 0);
    WritePoint(true);
  }
}

void TDigitalReadThread::Impl::ContinueFromJournal(const TScanJournal& from) {
  const TJournalPoint& at = from.Point;
  if (at.Total != total || !rule->RestoreState(at.RuleState))
    throw std::runtime_error(Text(TText::JournalDoesNotFit));
  done = startDone = at.Done;
  fileCounter = at.FileCounter;
  currentType = at.CurrentType;
  fileStarted = at.FileStarted;
  badBytes = at.BadBytes;
  breaks = from.Breaks;
  claimed = from.Claimed;
  fileStarts = from.FileStarts;
  // The files an earlier run carved past the point are carved again.
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(tempFolder, ec)) {
    if (TemporaryFileNumber(entry.path().filename().string()) > at.FileCounter) std::filesystem::remove(entry.path(), ec);
  }
  if (at.FileOpen) {
    // Its temporary file is cut back to what the point counts and written on.
    recoveredName = RecoveredFileName(fileCounter, at.OpenType);
    tempPath = tempFolder / TemporaryFileName(fileCounter, at.OpenType);
    openType = at.OpenType;
    openFile = std::make_unique<TWriteFileStream>(tempPath, TempFileWriteSettings(at.OpenType), at.Written, at.Stored);
    filePos = at.FilePos;
    fileFirst = at.FileFirst;
    fileCut = at.FileCut;
  }
  Sync([&] {
    for (const TFoundFile& row : from.Rows) {
      TFoundFile& added = foundFiles->Append(row);
      events->AddFoundFile(added.Name, added.Info, added.Size);
    }
    events->SetProgressPosition(done);
  });
}

// The state at the end of sector at - 1 (bad: the bytes unreadable up to there).
void TDigitalReadThread::Impl::TakePoint(uint64_t at, int64_t bad) {
  TJournalPoint& p = point.emplace();
  p.Done = at;
  p.FileCounter = fileCounter;
  p.CurrentType = currentType;
  p.FileStarted = fileStarted;
  p.BadBytes = bad;
  p.RuleState = rule->SaveState();
  if (openFile) {
    // The point counts what the file holds, so the collected bytes go to it first.
    openFile->Flush();
    p.FileOpen = true;
    p.OpenType = openType;
    p.FilePos = filePos;
    p.FileFirst = fileFirst;
    p.Written = openFile->Written();
    p.Stored = openFile->Stored();
    p.FileCut = fileCut || (!openFile->AllStored() && openFile->LastErrno() == EFBIG);
  }
  pointLog = logPending.size();
}

void TDigitalReadThread::Impl::WritePoint(bool durable) {
  if (!point) return;
  if (journal) {
    point->Key = journalKey;
    point->Total = total;
    try {
      journal->Write(std::move(*point), logPending.substr(0, pointLog), durable);
      logPending.erase(0, pointLog);
    } catch (const std::exception&) {
      journal.reset();  // the last point written stays valid; the scan goes on without more
    }
  }
  point.reset();
  recordedSinceJournal = !logPending.empty();
  if (durable) lastDurableTick = lastTick;
}

// After a batch: a point when a file was recorded or the interval passed. The header rule's
// point is this batch end, the open file with it; the structure rule's is the last sector
// that left no file open, if any came since the last point.
// The batch's samples, as read (before carving scrambles a file's head in place). A
// continued scan has those before its point already.
void TDigitalReadThread::Impl::RecordSamples(uint32_t n) {
  for (; nextSample < samples.size() && samples[nextSample] < base + done + n; ++nextSample) {
    const uint64_t sector = samples[nextSample];
    if (sector < base + done || (";" + journalKey.Samples).find(";" + std::to_string(sector) + ":") != std::string::npos)
      continue;
    const uint64_t slot = sector - base - done;
    journalKey.Samples += SampleEntry(sector, badSlots[slot] ? nullptr : buffer.data() + slot * sectorSize, sectorSize);
  }
}

void TDigitalReadThread::Impl::JournalIfDue(bool force) {
  if (!journal || terminated) return;
  // The clock of the last report: the journal reads none of its own.
  const bool durable = force || lastTick - lastDurableTick >= kDurablePointMs;
  if (!durable && !recordedSinceJournal) return;
  if (!deepScan) TakePoint(done, badBytes);
  WritePoint(durable);
}


// After two batches of which no sector could be read: the device is opened afresh and a
// sector that was read before is read once more; a card pulled out fails that too, a card
// with a long unreadable stretch does not. Before any sector was read, the failing one is.
bool TDigitalReadThread::Impl::CardStillThere(uint64_t sector) {
  CloseDrive();
  std::vector<uint8_t> probe(sectorSize);
  const uint64_t known = lastReadSector != UINT64_MAX ? lastReadSector : sector;
  return OpenDrive(drive.DriveNumber) && ReadSectors(drive.DriveNumber, known, 1, probe.data());
}

// False when the card is gone (pulled out mid-scan): the batch is then not carved.
bool TDigitalReadThread::Impl::ReadBatch(uint32_t n) {
  std::memset(buffer.data(), 0, buffer.size());
  badSlots.assign(n, 0);
  if (ReadSectors(drive.DriveNumber, base + done, static_cast<uint16_t>(n), buffer.data())) {
    lastReadSector = base + done + n - 1;
    deadBatches = 0;
    deadBytes = 0;
    return true;
  }
  if (DeviceGone(errno)) return false;
  // A failed batch is read again sector by sector; what still fails is counted as bad and
  // carved as zeros, so one bad sector costs one sector, not the batch.
  std::this_thread::sleep_for(std::chrono::milliseconds(kFailedBatchWaitMs));
  CloseDrive();  // the next read opens the device afresh
  if (!OpenDrive(drive.DriveNumber)) return false;
  bool anyRead = false;
  for (uint32_t j = 0; j < n && !terminated; ++j) {
    badSlots[j] = 0;
    uint8_t* slot = buffer.data() + static_cast<size_t>(j) * sectorSize;
    if (ReadSectors(drive.DriveNumber, base + done + j, 1, slot)) {
      anyRead = true;
      lastReadSector = base + done + j;
    } else {
      if (DeviceGone(errno)) return false;
      std::memset(slot, 0, sectorSize);
      badBytes += sectorSize;
      badSlots[j] = 1;
    }
    Sync([&] { events->StepProgress(); });
  }
  deadBatches = anyRead ? 0 : deadBatches + 1;
  if (deadBatches >= 2 && !CardStillThere(base + done)) return false;
  deadBytes = anyRead ? 0 : deadBytes + static_cast<int64_t>(n) * sectorSize;
  return true;
}

// The carving loop's step: the rule says whether a file starts here and whether the open
// file ends here; the loop opens, writes and records the files.
void TDigitalReadThread::Impl::CarveSector(uint8_t* sector, uint64_t p, bool batchEnd) {
  // One reading of the stop request: a request arriving between two readings would start
  // a file and end the loop, leaving that file open and never recorded.
  const bool stopRequested = terminated;
  TLateStart late;
  if (openFile && !replaying && rule->StartedBefore(sector, filePos, late)) StartLate(late, p);
  std::string type;
  const bool isHeader = rule->StartsFile(sector, openFile != nullptr, filePos, type);
  if (isHeader) {
    if (openFile && !replaying && rule->StartedBeforeEnd(late)) StartLate(late, p);
    if (openFile) CloseOpenFile();
    const bool first = !fileStarted;
    if (first || !type.empty()) currentType = type;
    fileStarted = true;
    if (stopRequested && !first) {
      keepGoing = false;
    } else if (p < total - 1) {
      // A header in the last sector of the range starts no file (as when it closes one):
      // started here, the file would never be closed, recorded or removed.
      StartFile(sector, p);
    }
  }
  // A sector that is not a header and ends the range (or the batch, after a stop request)
  // still belongs to the open file: it is stored before the file is recorded.
  const bool ended = openFile && CarveIntoOpenFile(sector);
  const bool lastSector = p == total - 1 || (batchEnd && stopRequested);
  if (!isHeader && lastSector && !ended && openFile) CloseOpenFile();
  if (!isHeader && fileStarted && batchEnd && stopRequested) keepGoing = false;
}

void TDigitalReadThread::Impl::StartFile(const uint8_t* sector, uint64_t p) {
  StartNewFile();
  filePos = 0;
  fileFirst = p;
  if (deepScan) {
    fileStarts.push_back(uint64_t{base} + p);
    logPending += JournalStartLine(fileStarts.back());
  }
  rule->FileStarts(currentType, sector, static_cast<uint64_t>(total - p) * sectorSize);
}

// A header inside the open file is a file of its own after all: the open file ends where
// it starts, and the sectors from there up to p are read again and carved anew, that
// header's sector starting a file (as the header rule would have had them).
void TDigitalReadThread::Impl::StartLate(const TLateStart& late, uint64_t p) {
  if (late.Cut < filePos) openFile->Truncate(static_cast<int64_t>(late.Cut));
  closingType = currentType;
  CloseFile();
  const uint64_t from = fileFirst + late.Cut / sectorSize;
  std::vector<uint8_t> sector(sectorSize);
  replaying = true;
  for (uint64_t q = from; q < p; ++q) {
    if (!ReadSectors(drive.DriveNumber, base + q, 1, sector.data())) std::fill(sector.begin(), sector.end(), 0);
    CarveSector(sector.data(), q, false);
  }
  replaying = false;
}

// Writes the sector into the open file, or the part of it before the file's known end and
// then records the file. The rule reads the sector before the write scrambles its head.
bool TDigitalReadThread::Impl::CarveIntoOpenFile(uint8_t* sector) {
  uint64_t end = 0;
  if (!rule->EndsIn(sector, filePos, end)) {
    WriteSector(sector, sectorSize);
    filePos += sectorSize;
    return false;
  }
  if (end > filePos) {
    WriteSector(sector, static_cast<uint32_t>(std::min<uint64_t>(end - filePos, sectorSize)));
  } else {
    openFile->Truncate(static_cast<int64_t>(end));
  }
  filePos = end;
  claimed.push_back({uint64_t{base} + fileFirst, uint64_t{base} + fileFirst + (end + sectorSize - 1) / sectorSize});
  logPending += JournalClaimedLine(claimed.back());
  CloseOpenFile();
  return true;
}

// Records the open file at the length the rule gives it where its data stops.
void TDigitalReadThread::Impl::CloseOpenFile() {
  if (openFile) {
    const uint64_t length = rule->DataEnds(filePos);
    if (length < filePos) openFile->Truncate(static_cast<int64_t>(length));
    uint64_t brokeAt = 0;
    if (rule->TakeBreak(brokeAt) && currentType == "JPG") {
      breaks.push_back({uint64_t{base} + fileFirst, brokeAt});
      logPending += JournalBreakLine(breaks.back());
    }
  }
  closingType = currentType;
  CloseFile();
}

void TDigitalReadThread::Impl::ReportIfDue() {
  const uint32_t now = Now();
  // The first listed file brings the first report with it: rows never sit under a count of
  // 0 sectors read.
  const bool rowsBeforeCount = !sectorsShown && foundFiles->Count() > 0;
  if (now - lastTick < kReportIntervalMs && !rowsBeforeCount) return;
  sectorsShown = true;
  lastTick = now;
  if (++reportCount >= kReportsPerEstimate) {
    // Counted in milliseconds and rounded to the nearest second: whole elapsed seconds and
    // a truncated result each lose up to a second of the few a fast card takes.
    const uint32_t elapsedMs = lastTick - startTick;
    const uint32_t leftMs = EstimateRemainingSeconds(elapsedMs, done - startDone, total - startDone);
    const std::string text = FormatRemainingTime(leftMs / 1000 + (leftMs % 1000 >= 500 ? 1 : 0));
    Sync([&] { events->SetLabelText(TScanLabel::LTime, text); });
    reportCount = 0;
  }
  Report(done, total, sectorSize);
}

void TDigitalReadThread::Impl::CarvingLoop() {
  BeginScan();
  while (done < total && keepGoing) {
    if (PauseCheckpoint()) {
      // Stopped while paused: there is no batch to finish; the open file ends where the
      // last batch ended.
      CloseOpenFile();
      break;
    }
    const auto n = static_cast<uint32_t>(std::min<uint64_t>(kBatchSectors, total - done));
    if (!ReadBatch(n)) {
      // What was carved so far is kept: the open file ends where the last batch ended,
      // before the zeros of the batches that already failed whole.
      if (openFile && deadBytes > 0 && openFile->Written() > deadBytes)
        openFile->Truncate(openFile->Written() - deadBytes);
      CloseOpenFile();
      throw std::runtime_error(Text(TText::CardGone));
    }
    RecordSamples(n);
    // Sectors that could not be read, counted up to each sector for the structure rule's
    // points; none is taken once a stop request was seen (it ends the open file early).
    int64_t bad = badBytes - static_cast<int64_t>(std::count(badSlots.begin(), badSlots.end(), 1)) * sectorSize;
    bool stopSeen = terminated;
    for (uint32_t i = 0; i < n; ++i) {
      uint8_t* sector = buffer.data() + static_cast<size_t>(i) * sectorSize;
      CarveSector(sector, done + i, i == n - 1);
      if (badSlots[i]) bad += sectorSize;
      stopSeen = stopSeen || terminated;
      if (deepScan && journal && !openFile && !stopSeen) TakePoint(done + i + 1, bad);
    }
    if (terminated && !openFile) keepGoing = false;
    done += n;
    if (afterBatch) afterBatch(done);
    ReportIfDue();
    JournalIfDue(deepScan && done == total && !breaks.empty());
  }
  Report(done, total, sectorSize);
  if (deepScan) JoinSplitPhotos();
  // The end of the range reached: nothing is left to go on with.
  if (done == total && !terminated) {
    journal.reset();
    RemoveScanJournal(tempFolder);
  }
}

// --- Split photos: after the carving loop, each photo whose data broke off is searched
// for its second piece; a photo that joins is carved as a file of its own.
void TDigitalReadThread::Impl::JoinSplitPhotos() {
  if (breaks.empty() || terminated || sectorSize != 512) return;
  const uint8_t number = drive.DriveNumber;
  TJoinSearch search;
  search.Read = [number](uint64_t sector, uint32_t count, uint8_t* out) {
    constexpr uint32_t kMaxRead = 2048;
    for (uint32_t at = 0; at < count; at += kMaxRead) {
      const uint32_t n = std::min(kMaxRead, count - at);
      if (!ReadSectors(number, sector + at, static_cast<uint16_t>(n), out + uint64_t{at} * 512)) return false;
    }
    return true;
  };
  search.EndSector = uint64_t{base} + total;
  search.Clusters = CardClusterGeometry(search.Read, base, fileStarts);
  // The first pieces are photos' own sectors too.
  for (const TPhotoBreak& b : breaks) claimed.push_back({b.FirstSector, b.FirstSector + b.BreakOffset / 512});
  search.Claimed = MergedRuns(std::move(claimed));
  search.Stopped = [this] { return terminated.load(); };
  const uint32_t count = static_cast<uint32_t>(breaks.size());
  uint32_t k = 0;
  for (; k < count && !terminated; ++k) {
    if (PauseCheckpoint()) break;
    Sync([&] { events->SetJoinProgress(k, count); });
    std::optional<TJoinedPhoto> photo = FindSecondPiece(search, breaks[k]);
    if (!photo) continue;
    // Its second piece is the joined photo's own now.
    search.Claimed.push_back({photo->SecondSector, photo->SecondSector + (photo->SecondBytes + 511) / 512});
    search.Claimed = MergedRuns(std::move(search.Claimed));
    CarveJoined(std::move(*photo));
  }
  Sync([&] { events->SetJoinProgress(k, count); });  // where the search ended
}

void TDigitalReadThread::Impl::CarveJoined(TJoinedPhoto photo) {
  currentType = "JPG";
  closingType = "JPG";
  StartNewFile();
  for (size_t at = 0; at < photo.Bytes.size(); at += sectorSize) {
    WriteSector(photo.Bytes.data() + at, static_cast<uint32_t>(std::min<size_t>(sectorSize, photo.Bytes.size() - at)));
  }
  const uint64_t firstEnd = photo.FirstSector + (photo.FirstBytes + 511) / 512 - 1;
  const uint64_t secondEnd = photo.SecondSector + (photo.SecondBytes + 511) / 512 - 1;
  fileNote = Text(TText::JoinedNote, {std::to_string(photo.FirstSector), std::to_string(firstEnd),
                                      std::to_string(photo.SecondSector), std::to_string(secondEnd)});
  CloseFile();
}
// --- end of split photos

void TDigitalReadThread::Impl::Execute(const std::shared_ptr<Impl>& self) {
  std::string error;
  try {
    self->CarvingLoop();
  } catch (const std::exception& e) {
    error = e.what();
  } catch (...) {
    error = Text(TText::UnknownScanError);
  }
  // Always: the buffer, a file still open (not recorded) and the device.
  self->buffer.clear();
  self->buffer.shrink_to_fit();
  self->openFile.reset();
  {
    std::lock_guard<std::mutex> lock(self->controlMutex);
    self->writesDone = true;
    if (self->countedAbandoned) --g_abandonedRunning;
  }
  CloseDrive();
  // The front end is told also when an error ended the loop, so nothing waits for ever.
  try {
    self->Sync([&] { self->events->Finish(error); });
  } catch (...) {
  }
  {
    std::lock_guard<std::mutex> lock(self->controlMutex);
    self->finished = true;
  }
  self->controlChanged.notify_all();
}

TDigitalReadThread::TDigitalReadThread(TScanEvents& events, TSynchronize synchronize,
                                       TFoundFileList& foundFiles)
    : impl_(std::make_shared<Impl>(events, std::move(synchronize), foundFiles)) {}

TDigitalReadThread::~TDigitalReadThread() {
  if (!thread_.joinable()) return;
  if (impl_->abandoned) {
    thread_.detach();
    return;
  }
  Terminate();
  thread_.join();
}

void TDigitalReadThread::Start() {
  if (thread_.joinable()) throw std::logic_error("the scan thread was already started");
  impl_->drive = Drive;
  impl_->tempFolder = TempFolder;
  impl_->inputs = Inputs;
  impl_->wholeVolume = WholeVolume;
  impl_->firstSector = FirstSector;
  impl_->lastSector = LastSector;
  impl_->deepScan = DeepScan;
  impl_->tick = TickCount;
  impl_->describe = DescribeFile;
  impl_->resumeFrom = ResumeFrom;
  impl_->afterBatch = AfterBatch;
  std::shared_ptr<Impl> state = impl_;
  thread_ = std::thread([state] { Impl::Execute(state); });
}

void TDigitalReadThread::Suspend() {
  std::lock_guard<std::mutex> lock(impl_->controlMutex);
  impl_->pauseRequested = true;
}

void TDigitalReadThread::Resume() {
  {
    std::lock_guard<std::mutex> lock(impl_->controlMutex);
    impl_->pauseRequested = false;
  }
  impl_->controlChanged.notify_all();
}

bool TDigitalReadThread::Suspended() const {
  std::lock_guard<std::mutex> lock(impl_->controlMutex);
  return impl_->pauseRequested;
}

bool TDigitalReadThread::Parked() const { return impl_->parked; }

void TDigitalReadThread::Terminate() {
  {
    std::lock_guard<std::mutex> lock(impl_->controlMutex);
    impl_->terminated = true;
  }
  impl_->controlChanged.notify_all();
}

bool TDigitalReadThread::Terminated() const { return impl_->terminated; }

bool TDigitalReadThread::Finished() const { return impl_->finished; }

bool TDigitalReadThread::WaitFor(uint32_t timeoutMs) {
  if (!thread_.joinable() && !impl_->finished) return false;  // never started
  std::unique_lock<std::mutex> lock(impl_->controlMutex);
  return impl_->controlChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                        [this] { return impl_->finished.load(); });
}

void TDigitalReadThread::Abandon() {
  {
    std::lock_guard<std::recursive_mutex> lock(impl_->frontMutex);
    impl_->abandoned = true;
  }
  {
    std::lock_guard<std::mutex> lock(impl_->controlMutex);
    if (thread_.joinable() && !impl_->writesDone && !impl_->countedAbandoned) {
      impl_->countedAbandoned = true;
      ++g_abandonedRunning;
    }
  }
  Terminate();
}

}  // namespace snapsalvager
