// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// One recovery from an opened card to saved files, in the order both front ends follow:
// the card image opened, an interrupted scan resumed or the earlier temporary files kept
// aside, the scan started, the image closed after it, the ticked files saved. The session
// knows no widget and no terminal: it reports to one observer and asks it the questions a
// recovery meets; the front end renders the reports and answers from its dialogs or options.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "card/CardImageWriter.h"
#include "session/FoundFiles.h"
#include "session/RestoreSession.h"
#include "session/SaveFiles.h"
#include "session/ScanJournal.h"
#include "session/ScanThread.h"

namespace snapsalvager {

// What a recovery runs on, set before StartScan.
struct TRecoverySettings {
  TDriveEntry Drive;                 // measured by the checks before a scan
  std::filesystem::path TempFolder;  // ends with '/'
  std::filesystem::path DestFolder;  // ends with '/'
  TRecogniserInputs Inputs;
  bool DeepScan = false;
  std::filesystem::path CardImage;  // empty: no card image is made
  TDescribeFile DescribeFile;
  // Saving: under the names and folders the card's entries give, dated as they are (photos
  // without one by PhotoTime); off, as listed (File0001.JPG).
  bool OriginalNames = false;
  std::function<std::optional<int64_t>(const std::filesystem::path& saved, const std::string& type)> PhotoTime;
  // Saving: report.xml (DFXML) of what was found, next to the saved files. CardName: the
  // card as the user chose it, named in the report.
  bool WriteReport = false;
  std::string CardName;
  // Tests: called on the scan thread after each batch is carved.
  std::function<void(uint64_t done)> AfterBatch;
};

// The scan's own reports (TScanEvents, made inside Synchronize), the restore step's
// (TRestoreEvents, for TRestoreSession) and the session's, made on the thread that calls the
// session. Questions return the answer; the others only tell.
class TRecoveryObserver : public TScanEvents, public TRestoreEvents {
 public:
  // The card image could not be created (error). True: scan without one; false: nothing
  // is scanned.
  virtual bool GoOnWithoutCardImage(const std::string& error) = 0;
  // The image is there; the scan's first steps follow (a front end announces the scan).
  virtual void ScanStarting() {}
  // The temporary folder holds no journal of an interrupted scan.
  virtual void NoInterruptedScan() {}
  // The temporary folder holds a journal; offer says whether it is of this scan. True:
  // go on from where it stopped (only for TResumeVerdict::Matches). imaging: a card image
  // was asked for, which needs every sector read, so the scan starts afresh whatever the
  // answer.
  virtual bool ResumeInterruptedScan(const TResumeOffer& offer, bool imaging) = 0;
  // A message for the user (where the earlier temporary files went).
  virtual void Info(const std::string& text) = 0;
  // The scan thread is made and about to start; nothing is read from the card before.
  virtual void ScanThreadStarting() {}
  // The save pass, before each file.
  virtual void SavingFile(const TSaveStep& /*step*/) {}
};

// The outcome of StartScan. Thread is the started scan, which the front end owns and
// controls (pause, stop, abandon) until it has ended; without one, Error says why when an
// error stopped the start, and CardImageRefused when the observer would not go on without
// the card image.
struct TScanStart {
  std::unique_ptr<TDigitalReadThread> Thread;
  std::string Error;
  bool CardImageRefused = false;
};

// The card image after a scan. Made: there was one; Written: it is complete on disk.
struct TCardImageEnd {
  bool Made = false;
  bool Written = false;
  std::string Error;
  std::filesystem::path ImagePath;
  std::filesystem::path MapPath;
};

class TRecoverySession {
 public:
  // The observer receives every report and question; synchronize runs the scan's reports
  // where the front end wants them; foundFiles receives the found files (the front end's).
  TRecoverySession(TRecoveryObserver& observer, TSynchronize synchronize, TFoundFileList& foundFiles);
  ~TRecoverySession();
  TRecoverySession(const TRecoverySession&) = delete;
  TRecoverySession& operator=(const TRecoverySession&) = delete;

  TRecoverySettings Settings;

  // The card image (when asked for), an interrupted scan resumed or the earlier temporary
  // files kept aside, the scan thread made and started. The one place a scan is made.
  TScanStart StartScan();
  // After the scan thread has ended or been given up: no more reads reach the card image,
  // which is closed. Also safe without a scan or an image.
  TCardImageEnd EndScan();
  // The scan to go on with, when StartScan resumed one.
  const std::shared_ptr<const TScanJournal>& ResumedFrom() const { return resumedFrom_; }

  // The ticked found files saved into Settings.DestFolder (the unticked ones' temporary files
  // deleted), each step told to the observer; the journal is removed, since its files are
  // saved. The list stays as it is: the front end empties it once it has shown the outcome.
  TSaveOutcome Save();
  // Keeps the card's names of the found files beside their temporary files, so a restore
  // later names them as this save would (Settings.OriginalNames; a scan without a save).
  // False when they could not be written.
  bool KeepNames();
  // The report of the found files as saved (Settings.WriteReport), or an empty path when
  // none was asked for; ReportError says why it could not be written.
  const std::filesystem::path& ReportPath() const { return reportPath_; }
  const std::string& ReportError() const { return reportError_; }

  // The line that tells how to save the temporary files kept in Settings.TempFolder later.
  std::string RestoreHint() const;

 private:
  std::shared_ptr<const TScanJournal> AskToResume(bool imaging);

  TRecoveryObserver& observer_;
  TSynchronize synchronize_;
  TFoundFileList& foundFiles_;
  std::unique_ptr<TCardImageWriter> image_;
  std::shared_ptr<const TScanJournal> resumedFrom_;
  std::filesystem::path reportPath_;
  std::string reportError_;
};

}  // namespace snapsalvager
