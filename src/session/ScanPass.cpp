// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The scan's pass over the card: batches read, each sector carved, reports and journal
// points when due; then the split photos joined and the found files named.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <span>
#include <stdexcept>
#include <thread>
#include <vector>

#include "carving/CarvingRules.h"
#include "carving/JoinPass.h"
#include "session/ScanThreadState.h"
#include "session/Texts.h"

namespace snapsalvager {
namespace {

constexpr uint32_t kBatchSectors = 200;
constexpr uint32_t kReportIntervalMs = 250;  // each report waits for the main thread
constexpr uint32_t kReportsPerEstimate = 4;  // about once a second
constexpr uint32_t kFailedBatchWaitMs = 100;

// A device that is gone answers ENODEV or ENXIO; one that no longer opens is gone too.
bool DeviceGone(int error) { return error == ENODEV || error == ENXIO; }

// The carver's output: the files to the sink, the findings to the journal, in order.
class TScanOutput final : public TCarverOutput {
 public:
  TScanOutput(TFoundFileSink& sink, TJournalKeeper& journal, bool& endPlaced)
      : sink_(sink), journal_(journal), endPlaced_(endPlaced) {}
  void OpenFile(const std::string& type) override {
    endPlaced_ = false;
    sink_.OpenFile(type);
  }
  void Write(const uint8_t* bytes, uint32_t size) override { sink_.Write(bytes, size); }
  void Truncate(uint64_t length) override { sink_.Truncate(length); }
  void CloseFile(const std::string& type) override { sink_.CloseFile(type); }
  void FileStarted(uint64_t sector) override { journal_.NoteStart(sector); }
  void Claimed(const TClaimedRun& run) override { journal_.NoteClaimed(run); }
  void Broke(const TPhotoBreak& brk) override { journal_.NoteBreak(brk); }
  void EndPlaced() override { endPlaced_ = true; }

 private:
  TFoundFileSink& sink_;
  TJournalKeeper& journal_;
  bool& endPlaced_;
};

}  // namespace

// A closed file: into the journal's log, then the front end's list.
void TDigitalReadThread::Impl::Listed(TFoundFile&& record) {
  journal->NoteRow(record);
  record.StartSector = joinedStart.value_or(carver->FileFirstSector());
  record.EndOpen = !joinedStart && !std::exchange(endPlaced, false);
  record.CardRuns = joinedRuns;
  if (record.CardRuns.empty())
    record.CardRuns.push_back({0, record.StartSector * sectorSize, static_cast<uint64_t>(record.Size)});
  const filesystems::FoundStart start{record.StartSector, static_cast<uint64_t>(record.Size), record.Ext};
  Sync([&] {
    TFoundFile& added = foundFiles->Append(std::move(record));
    starts.push_back(start);
    listedAt.push_back(foundFiles->Count() - 1);
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
  sink = std::make_unique<TFoundFileSink>(tempFolder, describe, [this](TFoundFile&& record) { Listed(std::move(record)); });
  // A new scan replaces any journal in the folder with its own first point; a continued one
  // takes up where its journal stands.
  journal = std::make_unique<TJournalKeeper>(
      tempFolder,
      resumeFrom ? resumeFrom->Point.Key
                 : ScanJournalKey(drive, inputs, deepScan, wholeVolume, firstSector, lastSector),
      resumeFrom.get(), base, total, startTick);
  output = std::make_unique<TScanOutput>(*sink, *journal, endPlaced);
  // A resumed scan does not pass the card's head again: it knows no live volume, and finds
  // the folders by their content in what is left to read.
  filesystems::FolderFinderOptions finding;
  finding.FindVolume = !resumeFrom && base == 0;
  finder = std::make_unique<filesystems::FolderFinder>(sectorSize, finding);
  starts.clear();
  listedAt.clear();
  carver = std::make_unique<TCarver>(
      MakeCarvingRule(deepScan, inputs, sectorSize), sectorSize, base, total, *output,
      [this](uint64_t q, uint8_t* out) { return card->ReadSectors(base + q, 1, out); },
      [this] { return terminated.load(); });
  if (resumeFrom) {
    ContinueFromJournal(*resumeFrom);
  } else {
    journal->TakePoint(0, 0, *carver, *sink);
    journal->WritePoint(true, lastTick);
  }
  lastTick = Now();
  reportCount = 0;
}

void TDigitalReadThread::Impl::ContinueFromJournal(const TScanJournal& from) {
  const TJournalPoint& at = from.Point;
  TCarverState state;
  state.CurrentType = at.CurrentType;
  state.FileStarted = at.FileStarted;
  state.RuleState = at.RuleState;
  state.FilePos = at.FilePos;
  state.FileFirst = at.FileFirst;
  if (at.Total != total || !carver->Restore(state, at.FileOpen, {from.Breaks, from.Claimed, from.FileStarts}))
    throw std::runtime_error(Text(TText::JournalDoesNotFit));
  done = startDone = at.Done;
  badBytes = at.BadBytes;
  // The files an earlier run carved past the point are carved again.
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(tempFolder, ec)) {
    if (TemporaryFileNumber(entry.path().filename().string()) > at.FileCounter) std::filesystem::remove(entry.path(), ec);
  }
  // The open file's temporary file is cut back to what the point counts and written on.
  const TOpenTempFile open{at.OpenType, at.Written, at.Stored, at.FileCut};
  sink->Continue(at.FileCounter, at.FileOpen ? &open : nullptr);
  Sync([&] {
    for (const TFoundFile& row : from.Rows) {
      TFoundFile& added = foundFiles->Append(row);
      events->AddFoundFile(added.Name, added.Info, added.Size);
    }
    events->SetProgressPosition(done);
  });
}

// After a batch: a point when a file was recorded or the interval passed. The header rule's
// point is this batch end, the open file with it; the structure rule's is the last sector
// that left no file open, if any came since the last point.
void TDigitalReadThread::Impl::JournalIfDue(bool force) {
  if (!journal->Writing() || terminated) return;
  // The clock of the last report: the journal reads none of its own.
  const bool durable = journal->DurableDue(force, lastTick);
  if (!durable && !journal->RecordedSince()) return;
  if (!carver->StateBetweenFilesOnly()) journal->TakePoint(done, badBytes, *carver, *sink);
  journal->WritePoint(durable, lastTick);
}

// After two batches of which no sector could be read: the device is opened afresh and a
// sector that was read before is read once more; a card pulled out fails that too, a card
// with a long unreadable stretch does not. Before any sector was read, the failing one is.
bool TDigitalReadThread::Impl::CardStillThere(uint64_t sector) {
  card->Close();
  std::vector<uint8_t> probe(sectorSize);
  const uint64_t known = lastReadSector != UINT64_MAX ? lastReadSector : sector;
  return card->Open() && card->ReadSectors(known, 1, probe.data());
}

// False when the card is gone (pulled out mid-scan): the batch is then not carved.
bool TDigitalReadThread::Impl::ReadBatch(uint32_t n) {
  // A read that succeeds fills all n sectors and a failed one is read again slot by slot,
  // so only what lies past the batch (the last batch is shorter) needs clearing.
  const size_t used = size_t{n} * sectorSize;
  if (used < buffer.size()) std::memset(buffer.data() + used, 0, buffer.size() - used);
  badSlots.assign(n, 0);
  if (card->ReadSectors(base + done, static_cast<uint16_t>(n), buffer.data())) {
    lastReadSector = base + done + n - 1;
    deadBatches = 0;
    deadBytes = 0;
    return true;
  }
  if (DeviceGone(errno)) return false;
  // A failed batch is read again sector by sector; what still fails is counted as bad and
  // carved as zeros, so one bad sector costs one sector, not the batch.
  std::this_thread::sleep_for(std::chrono::milliseconds(kFailedBatchWaitMs));
  card->Close();  // the next read opens the device afresh
  if (!card->Open()) return false;
  bool anyRead = false;
  for (uint32_t j = 0; j < n && !terminated; ++j) {
    badSlots[j] = 0;
    uint8_t* slot = buffer.data() + static_cast<size_t>(j) * sectorSize;
    if (card->ReadSectors(base + done + j, 1, slot)) {
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
  // The sectors that stayed unreadable, a run at a time, for the front end's map of the card.
  for (uint32_t j = 0; j < n;) {
    uint32_t end = j;
    while (end < n && badSlots[end]) ++end;
    if (end > j) Sync([&] { events->SectorsUnreadable(base + done + j, end - j); });
    j = end + 1;
  }
  deadBatches = anyRead ? 0 : deadBatches + 1;
  if (deadBatches >= 2 && !CardStillThere(base + done)) return false;
  deadBytes = anyRead ? 0 : deadBytes + static_cast<int64_t>(n) * sectorSize;
  return true;
}

void TDigitalReadThread::Impl::ReportIfDue() {
  const uint32_t now = Now();
  // The first listed file brings the first report with it: rows never sit under a count of
  // 0 sectors read.
  const bool rowsBeforeCount = !sectorsShown && foundFiles->Count() > 0;
  if (now - lastTick < kReportIntervalMs && !rowsBeforeCount) return;
  sectorsShown = true;
  lastTick = now;
  // No sector read in this run, or no time gone yet: there is nothing to estimate from, and
  // "0:00:00" would say the scan is about to end.
  if (++reportCount >= kReportsPerEstimate && done > startDone && now != startTick) {
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

// Per batch: read it, carve each sector in order, report when due, keep the journal.
void TDigitalReadThread::Impl::CarvingLoop() {
  BeginScan();
  while (done < total && carver->KeepGoing()) {
    if (PauseCheckpoint()) {
      // Stopped while paused: there is no batch to finish; the open file ends where the
      // last batch ended.
      carver->CloseOpenFile();
      break;
    }
    const auto n = static_cast<uint32_t>(std::min<uint64_t>(kBatchSectors, total - done));
    if (!ReadBatch(n)) {
      // What was carved so far is kept: the open file ends where the last batch ended,
      // before the zeros of the batches that already failed whole.
      sink->DropTail(deadBytes);
      carver->CloseOpenFile();
      throw std::runtime_error(Text(TText::CardGone));
    }
    journal->RecordSamples(buffer, badSlots, done, n, sectorSize);
    finder->Feed((base + done) * sectorSize, std::span<const uint8_t>(buffer.data(), size_t{n} * sectorSize));
    // Sectors that could not be read, counted up to each sector for the structure rule's
    // points; none is taken once a stop request was seen (it ends the open file early).
    int64_t bad = badBytes - static_cast<int64_t>(std::count(badSlots.begin(), badSlots.end(), 1)) * sectorSize;
    bool stopSeen = terminated;
    const bool pointsBetweenFiles = carver->StateBetweenFilesOnly();
    for (uint32_t i = 0; i < n; ++i) {
      const uint8_t* sector = buffer.data() + static_cast<size_t>(i) * sectorSize;
      carver->Carve(sector, done + i, i == n - 1);
      if (badSlots[i]) bad += sectorSize;
      stopSeen = stopSeen || terminated;
      if (pointsBetweenFiles && journal->Writing() && !carver->FileOpen() && !stopSeen)
        journal->TakePoint(done + i + 1, bad, *carver, *sink);
    }
    if (terminated && !carver->FileOpen()) carver->StopCarving();
    done += n;
    if (afterBatch) afterBatch(done);
    ReportIfDue();
    JournalIfDue(done == total && !carver->Findings().Breaks.empty());
  }
  Report(done, total, sectorSize);
  JoinSplitPhotos();
  NameFoundFiles();
  // The end of the range reached: nothing is left to go on with.
  if (done == total && !terminated) journal->Remove(tempFolder);
}

// After the carving loop: each photo whose data broke off is searched for its second
// piece; a photo that joins is carved as a file of its own.
void TDigitalReadThread::Impl::JoinSplitPhotos() {
  TJoinPass pass;
  pass.Read = [this](uint64_t sector, uint32_t count, uint8_t* out) {
    constexpr uint32_t kMaxRead = 2048;
    for (uint32_t at = 0; at < count; at += kMaxRead) {
      const uint32_t n = std::min(kMaxRead, count - at);
      if (!card->ReadSectors(sector + at, static_cast<uint16_t>(n), out + uint64_t{at} * 512)) return false;
    }
    return true;
  };
  pass.Base = base;
  pass.Total = total;
  pass.Stopped = [this] { return terminated.load(); };
  pass.PauseCheckpoint = [this] { return PauseCheckpoint(); };
  pass.Progress = [this](uint32_t k, uint32_t count) { Sync([&] { events->SetJoinProgress(k, count); }); };
  pass.Joined = [this](TJoinedPhoto photo) {
    sink->OpenFile("JPG");
    for (size_t at = 0; at < photo.Bytes.size(); at += sectorSize) {
      sink->Write(photo.Bytes.data() + at, static_cast<uint32_t>(std::min<size_t>(sectorSize, photo.Bytes.size() - at)));
    }
    const uint64_t firstEnd = photo.FirstSector + (photo.FirstBytes + 511) / 512 - 1;
    const uint64_t secondEnd = photo.SecondSector + (photo.SecondBytes + 511) / 512 - 1;
    sink->NoteNextFile(Text(TText::JoinedNote, {std::to_string(photo.FirstSector), std::to_string(firstEnd),
                                                std::to_string(photo.SecondSector), std::to_string(secondEnd)}));
    joinedStart = photo.FirstSector;
    joinedRuns = {{0, photo.FirstSector * sectorSize, photo.FirstBytes},
                  {photo.FirstBytes, photo.SecondSector * sectorSize, photo.SecondBytes}};
    sink->CloseFile("JPG");
    joinedStart.reset();
    joinedRuns.clear();
  };
  pass.Run(carver->TakeFindings(), sectorSize);
}

// After the pass: the folders found on the way name the files whose first cluster an entry
// points at, with the cluster layout that best explains the files found (the live volume's,
// or after a format that changed it, the one the old folders imply).
void TDigitalReadThread::Impl::NameFoundFiles() {
  finder->Finish();
  const auto& folders = finder->Folders();
  if (folders.empty() || starts.empty() || terminated) return;
  std::vector<filesystems::Geometry> volumes;
  if (finder->Volume()) volumes.push_back(*finder->Volume());
  const auto candidates = filesystems::CandidateLayouts(folders, volumes, sectorSize);
  if (candidates.empty()) return;
  std::vector<uint64_t> sorted;
  sorted.reserve(starts.size());
  for (const auto& start : starts) sorted.push_back(start.StartSector);
  std::sort(sorted.begin(), sorted.end());
  const filesystems::LayoutScore best = filesystems::BestLayout(folders, candidates, sorted, sectorSize);
  const auto entries = filesystems::BuildTree(folders, best.Layout);
  const auto matches = filesystems::MatchOriginalNames(starts, entries, best.Layout, sectorSize);
  Sync([&] {
    for (size_t k = 0; k < matches.size() && k < listedAt.size(); ++k) {
      if (!matches[k] || listedAt[k] >= foundFiles->Count()) continue;
      (*foundFiles)[listedAt[k]].Original = std::make_shared<const filesystems::NamedEntry>(entries[*matches[k]]);
    }
  });
  if (deepScan) EndAsEntriesRecord(entries, matches, best.Layout);
}

namespace {

// The bytes of runs on the card into a new temporary file at path, written as the scan
// writes its files; false when a read or a write failed (what was written is removed).
bool WriteRunsInto(TCardSectors& card, const std::vector<filesystems::EntryRun>& runs, uint32_t sectorSize,
                   const std::filesystem::path& path, const std::string& type) {
  constexpr uint32_t kMaxRead = 2048;
  std::vector<uint8_t> bytes(size_t{kMaxRead} * sectorSize);
  try {
    TWriteFileStream stream(path, TempFileWriteSettings(type));
    bool whole = true;
    for (const filesystems::EntryRun& run : runs) {
      for (uint64_t at = 0; whole && at < run.Length;) {
        const uint64_t want = std::min<uint64_t>(run.Length - at, bytes.size());
        const auto count = static_cast<uint32_t>((want + sectorSize - 1) / sectorSize);
        whole = (run.Offset + at) % sectorSize == 0 &&
                card.ReadSectors((run.Offset + at) / sectorSize, static_cast<uint16_t>(count), bytes.data()) &&
                stream.Write(bytes.data(), static_cast<int32_t>(want)) == static_cast<int32_t>(want);
        at += want;
      }
    }
    if (whole && stream.Close()) return true;
  } catch (const std::exception&) {
    // The stream could not be made: the carved file stays.
  }
  std::error_code ec;
  std::filesystem::remove(path, ec);
  return false;
}

}  // namespace

// Deep scan, after the names: a file whose entry tells where all its bytes lie ends as the
// entry records it. Its clusters following each other, it ends at the recorded size where
// its own structure did not place its end; a live file in pieces is read along its chain,
// whole. The carved file stays whenever the entry cannot be followed to its end.
void TDigitalReadThread::Impl::EndAsEntriesRecord(const std::vector<filesystems::NamedEntry>& entries,
                                                  const std::vector<std::optional<size_t>>& matches,
                                                  const filesystems::ClusterLayout& layout) {
  const filesystems::FatTable* fat =
      finder->Volume() && filesystems::LayoutOf(*finder->Volume()) == layout ? finder->LiveFat() : nullptr;
  for (size_t k = 0; k < matches.size() && k < listedAt.size() && !terminated; ++k) {
    if (!matches[k]) continue;
    const filesystems::DirEntry& entry = entries[*matches[k]].Entry;
    const std::vector<filesystems::EntryRun> runs = filesystems::EntryRuns(entry, layout, fat);
    if (runs.empty()) continue;
    TFoundFile file;
    bool listed = false;
    Sync([&] {
      if (listedAt[k] >= foundFiles->Count()) return;
      const TFoundFile& found = (*foundFiles)[listedAt[k]];
      file.TempFile = found.TempFile;
      file.Ext = found.Ext;
      file.Size = found.Size;
      file.EndOpen = found.EndOpen;
      file.StartSector = found.StartSector;
      listed = found.CardRuns.size() == 1;
    });
    std::error_code ec;
    // A file the destination cut, or one moved since, is left as it is.
    if (!listed || runs.front().Offset != file.StartSector * sectorSize ||
        std::filesystem::file_size(file.TempFile, ec) != static_cast<uintmax_t>(file.Size) || ec)
      continue;
    const auto recorded = static_cast<int64_t>(entry.Size);
    if (runs.size() == 1) {
      if (!file.EndOpen || recorded >= file.Size) continue;
      try {
        TWriteFileStream stream(file.TempFile, TempFileWriteSettings(file.Ext), file.Size, file.Size);
        stream.Truncate(recorded);
        if (!stream.Close()) continue;
      } catch (const std::exception&) {
        continue;
      }
    } else {
      // Written beside and put in place whole, so a failed read leaves the carved file.
      std::filesystem::path chained = file.TempFile;
      chained += ".chain";
      if (!WriteRunsInto(*card, runs, sectorSize, chained, file.Ext)) continue;
      std::filesystem::rename(chained, file.TempFile, ec);
      if (ec) {
        std::filesystem::remove(chained, ec);
        continue;
      }
    }
    // What the file holds now (a type's cap may keep it below the recorded size).
    const auto size = static_cast<int64_t>(std::filesystem::file_size(file.TempFile, ec));
    if (ec || size <= 0) continue;
    std::vector<TFoundFile::TCardRun> cardRuns;
    uint64_t fileOffset = 0;
    for (const filesystems::EntryRun& run : runs) {
      cardRuns.push_back({fileOffset, run.Offset, run.Length});
      fileOffset += run.Length;
    }
    std::string info = "N/A";
    if (describe) {
      try {
        info = describe(file.TempFile, file.Ext);
      } catch (const std::exception&) {
      }
    }
    Sync([&] {
      if (listedAt[k] >= foundFiles->Count()) return;
      TFoundFile& found = (*foundFiles)[listedAt[k]];
      found.Size = size;
      found.CardRuns = std::move(cardRuns);
      found.Info = info;
      events->FoundFileChanged(listedAt[k], found.Name, found.Info, found.Size);
    });
  }
}

}  // namespace snapsalvager
