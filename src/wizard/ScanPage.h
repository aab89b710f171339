// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Page T3, the scan: the checks before a scan (measuring the card, the warnings), starting,
// pausing and stopping the scan thread, the recovery's reports in the page, and the end of a
// scan. The page owns the recovery session the scan and the save run through, and the card
// image written while scanning. It takes the settled options from the scan options page and
// hands the save's steps to the finish page; neither calls it.
#pragma once

#include <QIcon>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <filesystem>
#include <memory>

#include "session/FoundFiles.h"
#include "session/RecoverySession.h"
#include "ui_MainForm.h"
#include "ui_ScanPage.h"

class QWidget;

namespace snapsalvager {

class TDigitalReadThread;
class TFinishPage;
class TRecoveryDoneForm;
class TScanOptionsPage;

class TScanPage {
 public:
  // frame: the window's buttons and menu; window: the parent of the page's dialogs and the
  // context of its timers. The found files and the file-type icons are the window's.
  TScanPage(Ui::ScanPage& ui, Ui::MainForm& frame, QWidget& window, TScanOptionsPage& options,
            TFinishPage& finish, TFoundFileList& foundFiles, const QStringList& extIconNames,
            const QList<QIcon>& extIcons);
  // A scan still running when the window goes is abandoned (its later calls dropped), never
  // joined while it may wait for the main thread; then the card image is closed.
  ~TScanPage();
  TScanPage(const TScanPage&) = delete;
  TScanPage& operator=(const TScanPage&) = delete;

  bool ScanInProgress = false;
  bool UserStopped = false;
  bool ScanEnded = false;
  // Where the scan's reports land; declared before the threads so it outlives them.
  std::unique_ptr<TRecoveryObserver> ScanEvents;
  // The recovery the scan and the save run through, reporting to ScanEvents (both made by
  // Connect); it holds the card image while a scan writes one.
  std::unique_ptr<TRecoverySession> Recovery;
  std::unique_ptr<TDigitalReadThread> ScanThread;
  // A thread whose finish call has run, kept until it has returned: a thread is never
  // joined from inside one of its own calls.
  std::unique_ptr<TDigitalReadThread> EndedScanThread;
  // The card image the next scan writes (文件 menu).
  QString CardImagePath;
  // The map of the card image the last scan wrote: its unreadable sectors go on the card map.
  std::filesystem::path CardImageMap;
  // The card bytes (begin, end) the last scan could not read, for the card map without an
  // image; at most kMaxUnreadableAreas, the rest joined to the last.
  std::vector<std::pair<uint64_t, uint64_t>> UnreadableAreas;
  static constexpr size_t kMaxUnreadableAreas = 1 << 16;
  void NoteUnreadable(uint64_t firstSector, uint64_t count);
  // The text of the error that ended the last scan; empty when none did.
  QString ScanError;
  // The window is closing during a scan: the scan's end shows nothing.
  bool ClosingDuringScan = false;
  bool QuitQuestionOpen = false;  // the quit question is on show during a scan
  bool EndMessagesHeld = false;   // the scan's end messages wait for that question
  // How long Stop and closing wait for the thread to end its batch before giving up on it.
  int StopWaitMs = 10000;
  // LVShow is inside an update bracket that a timer closes (rows are painted in groups).
  bool ScanRowsPending = false;
  // The dialog of the scan's end, a child of the window (CreateScanDialogs).
  TRecoveryDoneForm* RecoveryDoneForm = nullptr;

  // The recovery and its report made, the page's buttons handled, the list laid out.
  void Connect();
  // Creates TRecoveryDoneForm and the checks' dialogs once (program start).
  void CreateScanDialogs();
  // The time left before the scan can estimate it: the label's designed caption.
  static QString NoEstimateText() { return QStringLiteral("00:00:00"); }

  // ---- the card image written while scanning ----
  void NCardImageToggled(bool checked);
  // Closes the card image of the scan that ended; one image per choice, so the menu item
  // is cleared.
  void EndCardImage();

  bool PrepareScan();
  bool StartScan();
  void BPauseClick();
  void BStopClick();
  void FinishScan();
  void ShowScanEndMessages();  // stopped, error, found files or nothing found
  // Closing during a scan: request the stop and wait (at most 10 s, processing the
  // thread's calls) until the thread has ended its batch and written its last file.
  void StopScanForClose();
  // Asks the thread to stop and waits for it, within StopWaitMs; a thread that does not end
  // is abandoned and the scan finished without it.
  void StopScanThread();
  // The scan thread's calls, on the main thread: a new LVShow row, and the end of the scan
  // (error empty unless an error ended it).
  void AddScanRow(const QString& name, const QString& description, int64_t size);
  // A listed file's size and description changed after the pass (its directory entry).
  void ChangeScanRow(int row, const QString& description, int64_t size);
  // Closes the update bracket of LVShow and shows the newest row.
  void EndScanRowUpdate();
  void ScanThreadFinished(const QString& error);
  // Processes the window's events (not user input) until the scan has ended or timeoutMs
  // have passed; true when it has ended.
  bool WaitForScanEnd(int timeoutMs);
  // Destroys EndedScanThread once its thread has returned.
  void ReapEndedScanThread();

 private:
  Ui::ScanPage& ui_;
  Ui::MainForm& frame_;
  QWidget& window_;
  TScanOptionsPage& options_;
  TFinishPage& finish_;
  TFoundFileList& found_;
  const QStringList& extIconNames_;
  const QList<QIcon>& extIcons_;
};

}  // namespace snapsalvager
