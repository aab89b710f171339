#include "session/RecoverySession.h"

#include "card/DriveReads.h"
#include "session/ScanChecks.h"
#include "session/Texts.h"
#include "tempfile/Utf8Path.h"

#include <cstring>

#include <exception>
#include <utility>

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
    if (destFolder.back() != '/') destFolder += '/';
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

TSaveOutcome TRecoverySession::Save() {
  TSaveOutcome outcome =
      SaveFoundFiles(foundFiles_, Settings.DestFolder, [this](const TSaveStep& step) { observer_.SavingFile(step); });
  // The files a journal counts are saved: there is nothing left to go on with.
  RemoveScanJournal(Settings.TempFolder);
  return outcome;
}

std::string TRecoverySession::RestoreHint() const {
  return RestoreCommandHint(Settings.TempFolder, Settings.DestFolder);
}

}  // namespace snapsalvager
