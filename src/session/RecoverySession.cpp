// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
#include "session/RecoverySession.h"

#include "card/DriveReads.h"
#include "session/ScanChecks.h"
#include "session/Texts.h"
#include "tempfile/Utf8Path.h"

#include <cstring>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <exception>
#include <stdexcept>
#include <utility>
#include <vector>

#include "filesystems/DfxmlReport.h"
#include "session/KeptNames.h"
#include "tempfile/Utf8Path.h"

namespace snapsalvager {

TRecoverySession::TRecoverySession(TRecoveryObserver& observer, TSynchronize synchronize,
                                   TFoundFileList& foundFiles)
    : observer_(observer), synchronize_(std::move(synchronize)), foundFiles_(foundFiles) {}

TRecoverySession::~TRecoverySession() { EndScan(); }

// An interrupted scan of this card into this folder with these options, when the observer
// chooses to go on with it.
std::shared_ptr<const TScanJournal> TRecoverySession::AskToResume(bool imaging) {
  if (!JournalPresent(Settings.TempFolder)) {
    observer_.NoInterruptedScan();
    return nullptr;
  }
  const TResumeOffer offer =
      FindResumableScan(Settings.TempFolder, ScanJournalKey(Settings.Drive, Settings.Inputs, Settings.DeepScan, true, 0, 0),
                        Settings.Drive.DriveNumber);
  const bool resume = observer_.ResumeInterruptedScan(offer, imaging);
  // An image needs every sector read: a scan that makes one starts afresh.
  if (!resume || imaging || offer.Verdict != TResumeVerdict::Matches) return nullptr;
  return offer.Journal;
}

TScanStart TRecoverySession::StartScan() {
  TScanStart start;
  EndScan();  // the image of an earlier scan, should its end have been missed
  resumedFrom_.reset();
  // The destination is written only now that every question is answered (it may lie on the
  // card); whatever a start that does not get to scanning made here goes again.
  std::vector<std::filesystem::path> created;
  if (!Settings.DestFolder.empty()) {
    std::string destFolder = Utf8Of(Settings.DestFolder), tempFolder;
    // Ends in a separator; a path made on Windows may already end in its own.
    if (destFolder.back() != '/' && destFolder.back() != static_cast<char>(std::filesystem::path::preferred_separator))
      destFolder += '/';
    int error = 0;
    const TDestFolderResult made = PrepareDestFolder(destFolder, tempFolder, &error, &created);
    if (made != TDestFolderResult::Ready) {
      RemoveCreated(created);
      start.Error = Text(made == TDestFolderResult::CannotCreate ? TText::CannotCreateDest : TText::CannotWriteTemp,
                         {destFolder}) + Text(TText::SystemReason, {std::strerror(error)});
      return start;
    }
  }
  const bool imaging = !Settings.CardImage.empty();
  if (imaging) {
    const uint64_t sectorSize = Settings.Drive.SectorSize != 0 ? Settings.Drive.SectorSize : 512;
    try {
      image_ = std::make_unique<TCardImageWriter>(Settings.CardImage, uint64_t{Settings.Drive.SectorCount} * sectorSize);
    } catch (const std::exception& e) {
      if (!observer_.GoOnWithoutCardImage(e.what())) {
        start.CardImageRefused = true;
        RemoveCreated(created);
        return start;
      }
    }
  }
  observer_.ScanStarting();
  resumedFrom_ = AskToResume(imaging);
  try {
    // Temporary files an earlier scan kept here are moved aside, never overwritten; a
    // resumed scan goes on with them. When they cannot be moved nothing is scanned: the
    // scan could meet their names.
    if (!resumedFrom_) {
      const std::string kept = KeepEarlierTemporaryFiles(Settings.TempFolder, Settings.DestFolder);
      if (!kept.empty()) observer_.Info(kept);
    }
    auto scan = std::make_unique<TDigitalReadThread>(observer_, synchronize_, foundFiles_);
    scan->Drive = Settings.Drive;
    scan->Card = DriveSectors(Settings.Drive.DriveNumber);
    scan->TempFolder = Settings.TempFolder;
    scan->Inputs = Settings.Inputs;
    scan->WholeVolume = true;
    scan->DeepScan = Settings.DeepScan;
    scan->DescribeFile = Settings.DescribeFile;
    scan->ResumeFrom = resumedFrom_;
    scan->AfterBatch = Settings.AfterBatch;
    observer_.ScanThreadStarting();
    // Only the scan's own reads go into the image (not the resume check's samples).
    if (image_) RecordCardReads(Settings.Drive.DriveNumber, image_.get());
    scan->Start();
    start.Thread = std::move(scan);
  } catch (const std::exception& e) {
    start.Error = e.what();
    RemoveCreated(created);
    return start;
  }
  return start;
}

TCardImageEnd TRecoverySession::EndScan() {
  TCardImageEnd end;
  if (!image_) return end;
  // No read reaches the writer after this, also from a thread that was given up.
  RecordCardReads(Settings.Drive.DriveNumber, nullptr);
  end.Made = true;
  end.Written = image_->Finish();
  end.Error = image_->LastError();
  end.ImagePath = Settings.CardImage;
  end.MapPath = image_->MapPath();
  image_.reset();
  return end;
}

namespace {

// report.xml under a name not taken in folder ("report (2).xml" ...), created exclusively so
// no file is ever replaced. Throws std::runtime_error when it cannot be written.
std::filesystem::path WriteReportFile(const std::filesystem::path& folder, const std::string& text) {
  for (int attempt = 0; attempt < 16; ++attempt) {
    const std::filesystem::path path = folder / FreeNameIn(folder, "report.xml");
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0 && errno == EEXIST) continue;  // taken meanwhile: the next free name
    if (fd < 0) throw std::runtime_error(path.string() + ": " + std::strerror(errno));
    size_t at = 0;
    while (at < text.size()) {
      const ssize_t n = ::write(fd, text.data() + at, text.size() - at);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        const int error = errno;
        ::close(fd);
        throw std::runtime_error(path.string() + ": " + std::strerror(error));
      }
      at += static_cast<size_t>(n);
    }
    const bool synced = ::fsync(fd) == 0;
    if (::close(fd) != 0 || !synced) throw std::runtime_error(path.string() + ": " + std::strerror(errno));
    return path;
  }
  throw std::runtime_error((folder / "report.xml").string() + ": " + std::strerror(EEXIST));
}

}  // namespace

TSaveOutcome TRecoverySession::Save() {
  reportPath_.clear();
  reportError_.clear();
  TSaveNaming naming;
  naming.OriginalNames = Settings.OriginalNames;
  naming.PhotoTime = Settings.PhotoTime;
  // A save cut short leaves its files to a restore, which names them alike.
  if (Settings.OriginalNames) KeepNames();
  // Where each ticked file went, for the report.
  std::vector<std::string> savedAs(foundFiles_.Count());
  TSaveOutcome outcome = SaveFoundFiles(
      foundFiles_, Settings.DestFolder,
      [this, &savedAs](const TSaveStep& step) {
        if (step.Selected && step.Index < savedAs.size())
          savedAs[step.Index] = Utf8Of(step.FinalPath.lexically_relative(Settings.DestFolder));
        observer_.SavingFile(step);
      },
      naming);
  if (Settings.WriteReport) {
    filesystems::ReportSource source;
    source.ImageFilename = Settings.CardName;
    source.ProgramVersion = SNAPSALVAGER_VERSION;
    source.SectorSize = Settings.Drive.SectorSize != 0 ? Settings.Drive.SectorSize : 512;
    source.ImageSize = uint64_t{Settings.Drive.SectorCount} * source.SectorSize;
    std::vector<filesystems::ReportedFile> reported;
    for (size_t k = 0; k < foundFiles_.Count(); ++k) {
      const TFoundFile& file = foundFiles_[k];
      if (!file.Selected) continue;
      filesystems::ReportedFile entry;
      entry.Filename = savedAs[k].empty() ? file.Name : savedAs[k];
      entry.Size = static_cast<uint64_t>(file.Size);
      entry.Type = file.Ext;
      for (const auto& run : file.CardRuns) entry.Runs.push_back({run.FileOffset, run.CardOffset, run.Length});
      entry.Original = file.Original.get();
      reported.push_back(std::move(entry));
    }
    try {
      reportPath_ = WriteReportFile(Settings.DestFolder, filesystems::DfxmlReport(source, reported));
    } catch (const std::exception& e) {
      reportError_ = e.what();
    }
  }
  // The files a journal counts are saved: there is nothing left to go on with.
  RemoveScanJournal(Settings.TempFolder);
  if (outcome.NotSaved.empty()) {
    std::error_code ec;
    std::filesystem::remove(Settings.TempFolder / kKeptNamesFile, ec);
  }
  return outcome;
}

bool TRecoverySession::KeepNames() { return KeepOriginalNames(foundFiles_, Settings.TempFolder); }

std::string TRecoverySession::RestoreHint() const {
  return RestoreCommandHint(Settings.TempFolder, Settings.DestFolder);
}

}  // namespace snapsalvager
