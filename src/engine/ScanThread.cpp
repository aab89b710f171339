// The scan thread and its carving loop.
#include "engine/ScanThread.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <optional>
#include <stdexcept>
#include <vector>

#include "engine/StructureChecks/StructureCheck.h"
#include "engine/StructureChecks/TodaysTypes.h"
#include "tempfile/TempFileWriter.h"
#include "engine/CardDevice.h"

namespace snapsalvager {
namespace {

constexpr uint32_t kBatchSectors = 200;
constexpr uint32_t kReportIntervalMs = 250;  // each report waits for the main thread
constexpr uint32_t kReportsPerEstimate = 4;  // about once a second
constexpr uint32_t kFailedBatchWaitMs = 100;

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

}  // namespace

int AbandonedScansRunning() { return g_abandonedRunning; }

std::string AbandonedScanRunningText() {
  return "上一次扫描的线程在停止时没有响应，现在仍在运行，它可能还会写入临时文件。"
         "请等它结束后再开始新的扫描，或者关闭 Snapsalvager 后重新启动。";
}

std::string CutFileNote(const std::string& info, int64_t storedBytes) {
  const std::string note = "[只保存了前 " + std::to_string(storedBytes) +
                           " 字节：目标文件夹的文件系统不接受更大的文件]";
  return info.empty() || info == "N/A" ? note : info + " " + note;
}

std::string FormatRemainingTime(uint32_t seconds) {
  const uint32_t hours = seconds / 3600;
  const uint32_t minutes = (seconds - hours * 3600) / 60;
  const uint32_t rest = seconds - hours * 3600 - minutes * 60;
  return std::to_string(hours) + ":" + TwoDigits(minutes) + ":" + TwoDigits(rest);
}

uint32_t EstimateRemainingSeconds(uint32_t elapsedSeconds, uint32_t sectorsDone,
                                  uint32_t sectorsTotal) {
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
  uint32_t firstSector = 0;
  uint32_t lastSector = 0;
  bool deepScan = false;
  TTickSource tick;
  TDescribeFile describe;

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
  std::optional<TSignatureRecogniser> recogniser;
  uint32_t total = 0;       // sectors to scan
  uint32_t base = 0;        // the first of them on the card
  uint32_t done = 0;        // sectors of the range carved so far
  uint32_t sectorSize = 512;
  bool keepGoing = true;
  bool fileStarted = false;  // a header was seen: from now on some file is always open
  bool closeNow = false;
  std::string type;          // the type of the header just recognised
  uint32_t startTick = 0;
  uint32_t lastTick = 0;
  uint32_t reportCount = 0;
  bool sectorsShown = false;  // a report of the sectors read has been sent
  // Deep scan: the open file's structure check, and the sector before the current one as
  // it was read (a packet stream that runs on is no new file).
  std::unique_ptr<TStructureCheck> check;
  std::vector<uint8_t> previous;
  bool havePrevious = false;

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
  void ReadBatch(uint32_t n);
  void CarveSector(uint8_t* sector, uint32_t i, uint32_t n);
  void CarveSectorDeep(uint8_t* sector, uint32_t i, uint32_t n);
  bool DetectDeep(const uint8_t* sector);
  void StartDeepFile(const uint8_t* sector, uint32_t p);
  bool WriteDeepSector(uint8_t* sector);
  void CloseDeepFile();
  void ReportIfDue();
  void StartNewFile();
  void CloseFile();
  void WriteSector(uint8_t* sector, uint32_t size);
  void Report(uint32_t sectorsDone, uint32_t total, uint32_t sectorSize);
};

void TDigitalReadThread::Impl::StartNewFile() {
  openFile.reset();
  ++fileCounter;
  recoveredName = RecoveredFileName(fileCounter, currentType);
  tempPath = tempFolder / TemporaryFileName(fileCounter, currentType);
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
  if (cut) record.Info = CutFileNote(record.Info, size);
  record.Selected = true;
  Sync([&] {
    TFoundFile& added = foundFiles->Append(std::move(record));
    events->AddFoundFile(added.Name, added.Info, added.Size);
  });
}

void TDigitalReadThread::Impl::Report(uint32_t sectorsDone, uint32_t total, uint32_t sectorSize) {
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
  closeNow = false;
  done = 0;

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
  check.reset();
  previous.assign(deepScan ? sectorSize : 0, 0);
  havePrevious = false;
  recogniser.emplace(inputs);
  recogniser->ResetSignatureState();
  lastTick = Now();
  reportCount = 0;
}

void TDigitalReadThread::Impl::ReadBatch(uint32_t n) {
  std::memset(buffer.data(), 0, buffer.size());
  if (ReadSectors(drive.DriveNumber, base + done, static_cast<uint16_t>(n), buffer.data())) return;
  // A failed batch is read again sector by sector; what still fails is counted as bad and
  // carved as zeros, so one bad sector costs one sector, not the batch.
  std::this_thread::sleep_for(std::chrono::milliseconds(kFailedBatchWaitMs));
  CloseDrive();  // the next read opens the device afresh
  for (uint32_t j = 0; j < n && !terminated; ++j) {
    uint8_t* slot = buffer.data() + static_cast<size_t>(j) * sectorSize;
    if (!ReadSectors(drive.DriveNumber, base + done + j, 1, slot)) {
      std::memset(slot, 0, sectorSize);
      badBytes += sectorSize;
    }
    Sync([&] { events->StepProgress(); });
  }
}

void TDigitalReadThread::Impl::CarveSector(uint8_t* sector, uint32_t i, uint32_t n) {
  const uint32_t p = done + i;
  const bool isHeader = recogniser->DetectFileHeader(sector, type);
  if (isHeader) {
    closingType = currentType;
    if (!type.empty()) currentType = type;
    if (fileStarted) {
      closeNow = true;
    } else {
      currentType = type;
      // A header in the last sector of the range starts no file (as when it closes one):
      // started here, the file would never be closed, recorded or removed.
      if (p < total - 1) StartNewFile();
      fileStarted = true;
    }
  }
  // A sector that is not a header and ends the open file (the last of the range, or the
  // last of the batch after a stop request) still belongs to that file: store it first.
  bool endsOpenFile = false;
  if (fileStarted && !isHeader && p == total - 1) endsOpenFile = true;
  if (fileStarted && !isHeader && i == n - 1 && terminated) endsOpenFile = true;
  if (endsOpenFile) {
    closingType = currentType;
    closeNow = true;
    if (openFile) WriteSector(sector, sectorSize);
  }
  if (closeNow) {
    CloseFile();
    closeNow = false;
    // One reading of the stop request: a request arriving between two readings would
    // start a file and end the loop, leaving that file open and never recorded.
    const bool stopRequested = terminated;
    if (p < total - 1 && !stopRequested) StartNewFile();
    if (stopRequested) keepGoing = false;
  }
  if (openFile && !endsOpenFile) WriteSector(sector, sectorSize);
}

// Deep scan. The table's header, a file-type box's own brand, then the deep recognitions;
// a header inside the open file's known extent, of a kind it carries, is part of it.
bool TDigitalReadThread::Impl::DetectDeep(const uint8_t* sector) {
  bool header = recogniser->DetectFileHeader(sector, type);
  const std::string_view brand = BrandType(sector, sectorSize);
  if (!brand.empty() && inputs.Enabled(IndexOfFileType(brand))) {
    type.assign(brand);
    header = true;
  }
  // Today's formats the table does not know: their brand, maker or magic names the file.
  if (const std::string_view today = NameTodaysType(sector, sectorSize, inputs); !today.empty()) {
    type.assign(today);
    header = true;
  }
  if (!header) {
    const std::string_view deep =
        DetectDeepHeader(sector, havePrevious ? previous.data() : nullptr, sectorSize);
    if (!deep.empty() && inputs.Enabled(IndexOfFileType(deep))) {
      type.assign(deep);
      header = true;
    }
  }
  std::memcpy(previous.data(), sector, sectorSize);
  havePrevious = true;
  if (header && openFile && check &&
      check->Contains(static_cast<uint64_t>(openFile->Written()), IndexOfFileType(type), sector)) {
    return false;
  }
  return header;
}

void TDigitalReadThread::Impl::StartDeepFile(const uint8_t* sector, uint32_t p) {
  StartNewFile();
  const uint64_t bytesLeft = static_cast<uint64_t>(total - p) * sectorSize;
  check = MakeStructureCheck(currentType, sector, sectorSize, bytesLeft);
}

// Feeds the check before the write (which scrambles the head in place). True when the
// file ended here at its exact length and was closed.
bool TDigitalReadThread::Impl::WriteDeepSector(uint8_t* sector) {
  if (check && check->Verdict() == TCheckVerdict::GoesOn) {
    const uint64_t before = static_cast<uint64_t>(openFile->Written());
    if (check->Feed(sector, sectorSize) == TCheckVerdict::EndsAt) {
      const uint64_t end = check->End();
      if (end > before) {
        WriteSector(sector, static_cast<uint32_t>(std::min<uint64_t>(end - before, sectorSize)));
      } else {
        openFile->Truncate(static_cast<int64_t>(end));
      }
      CloseDeepFile();
      return true;
    }
  }
  WriteSector(sector, sectorSize);
  return false;
}

// Closes the open file; where its check can still place the end in what was carved (the
// data stops here), the file ends there.
void TDigitalReadThread::Impl::CloseDeepFile() {
  if (openFile && check && check->Verdict() == TCheckVerdict::GoesOn &&
      check->DataEnds() == TCheckVerdict::EndsAt) {
    openFile->Truncate(static_cast<int64_t>(check->End()));
  }
  check.reset();
  closingType = currentType;
  CloseFile();
}

// As CarveSector, except that a file whose end is known ends there, the sectors after it
// up to the next header are not stored, and a header inside the open file may be content.
void TDigitalReadThread::Impl::CarveSectorDeep(uint8_t* sector, uint32_t i, uint32_t n) {
  const uint32_t p = done + i;
  const bool isHeader = DetectDeep(sector);
  const bool stopRequested = terminated;  // read once for this sector
  if (isHeader) {
    if (openFile) CloseDeepFile();
    if (!fileStarted || !type.empty()) currentType = type;
    fileStarted = true;
    if (stopRequested) {
      keepGoing = false;
    } else if (p < total - 1) {
      StartDeepFile(sector, p);
    }
  }
  if (!openFile) return;  // before the first header, or after a file's exact end
  const bool endedHere = WriteDeepSector(sector);
  if (!endedHere && (p == total - 1 || (i == n - 1 && stopRequested))) CloseDeepFile();
  if (i == n - 1 && stopRequested) keepGoing = false;
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
    const uint32_t elapsed = (lastTick - startTick) / 1000;
    const std::string text = FormatRemainingTime(EstimateRemainingSeconds(elapsed, done, total));
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
      closingType = currentType;
      deepScan ? CloseDeepFile() : CloseFile();
      break;
    }
    const uint32_t n = std::min(kBatchSectors, total - done);
    ReadBatch(n);
    for (uint32_t i = 0; i < n; ++i) {
      uint8_t* sector = buffer.data() + static_cast<size_t>(i) * sectorSize;
      if (deepScan) {
        CarveSectorDeep(sector, i, n);
      } else {
        CarveSector(sector, i, n);
      }
    }
    if (terminated && (!fileStarted || (deepScan && !openFile))) keepGoing = false;
    done += n;
    ReportIfDue();
  }
  Report(done, total, sectorSize);
}

void TDigitalReadThread::Impl::Execute(const std::shared_ptr<Impl>& self) {
  std::string error;
  try {
    self->CarvingLoop();
  } catch (const std::exception& e) {
    error = e.what();
  } catch (...) {
    error = "The scan ended on an unknown error.";
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
