// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// TMainForm: the wizard window. One class holds the page logic; its handlers are split over
// a few .cpp files by page, so each page can change without touching the others:
//   wizard/WizardWindow.cpp       start, close, navigation (Next/Back), step indicator, fonts
//   wizard/WizardHelp.cpp         Help menu and the link labels (help file, vendor pages, about)
//   wizard/WizardScanOptions.cpp  page T2: drive and camera lists, video type, validation
//   wizard/WizardChecks.cpp       the checks before a scan as message boxes (pages T2 and T3)
//   wizard/WizardScanControl.cpp  page T3: the recovery's reports and questions, starting,
//                                 pausing and stopping a scan
//   wizard/PreviewPages.cpp       page T4 (TPreviewPage): preview pages, thumbnails, ticks
//   wizard/WizardSave.cpp         page T5 (TFinishPage): the save pass and its links
// The recovery itself (card image, resume, scan, save) is the engine's TRecoverySession;
// the window renders its reports and answers its questions.
// Page contents are separate Designer forms (resources/MainForm.ui holds the frame and pages
// T1/T2; ScanPage.ui, PreviewPage.ui, FinishPage.ui are set up into the tab sheets T3, T4, T5,
// which keep their object names). Every control's object name is its control name.
#pragma once

#include <QCheckBox>
#include <QDate>
#include <QHash>
#include <QIcon>
#include <QImage>
#include <QList>
#include <QMainWindow>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "session/FoundFiles.h"
#include "session/RecoverySession.h"
#include "carving/Signatures.h"
#include "session/SaveFiles.h"
#include "session/ScanChecks.h"
#include "session/ScanOptions.h"
#include "metadata/JpegDecode.h"
#include "ui_FinishPage.h"
#include "wizard/PreviewPages.h"
#include "wizard/WizardSave.h"
#include "ui_MainForm.h"
#include "ui_PreviewPage.h"
#include "ui_ScanPage.h"

class QCloseEvent;

namespace snapsalvager {

class TJpegThumb;
class TDigitalReadThread;
class TStatusForm;
class TQuickStatusForm;
class TRecoveryDoneForm;

class TMainForm : public QMainWindow {
  Q_OBJECT

 public:
  // Runs FormCreate. May ask a non-administrator whether to quit (see QuitRequested).
  explicit TMainForm(QWidget* parent = nullptr);
  // Runs FormDestroy.
  ~TMainForm() override;

  // The forms: frame and pages T1/T2, then the contents of T3, T4 and T5.
  Ui::MainForm ui;
  Ui::ScanPage scanUi;
  Ui::PreviewPage previewUi;
  Ui::FinishPage finishUi;
  // Page T5's logic and what the last save left.
  TFinishPage FinishPage{finishUi};

  // ---- Shared state (main thread only; the scan thread gets copies before it starts) ----
  QString WindowTitle;
  QString DefaultDestFolder;  // ends with '/'; not created at start
  bool ScanInProgress = false;
  bool QuitRequested = false;  // the start-up administrator question was answered Yes

  TFoundFileList FoundFiles;
  // File-type icons: ImgListExt[i] is the 16x16 icon of ExtIconNames[i] (".JPG", ...).
  QStringList ExtIconNames;
  QList<QIcon> ImgListExt;

  // Scan options (page T2).
  std::array<TDriveEntry, 26> DriveTable{};  // A..Z
  TDriveEntry SelectedDrive;
  QString DestFolder;  // trimmed, ends with '/'
  QString TempFolder;  // DestFolder + "TmpFiles/"
  QString ChosenVideoType = QStringLiteral("ALL");
  TRecogniserInputs RecogniserInputs;
  QList<QIcon> ImageListCBDrive;  // 0 fixed/other, 1 removable, 2 CD/DVD, 3 unknown
  QList<QIcon> ImageListCamera;   // 0 every camera
  // The drive letter of the disk holding a folder, 0 when none is known (the same-drive
  // check). LinuxDrives::LetterHoldingPath unless a test replaces it.
  std::function<char(const QString& folder)> DriveLetterOfFolder;

  // Item data of CBDrive: the DriveTable row (-1 for prompts and groups), the indent, the
  // image and selected image of ImageListCBDrive, and the disk-image chooser item.
  static constexpr int kDriveRowRole = Qt::UserRole;
  static constexpr int kIndentRole = Qt::UserRole + 1;
  static constexpr int kImageRole = Qt::UserRole + 2;
  static constexpr int kSelectedImageRole = Qt::UserRole + 3;
  static constexpr int kImageChooserRole = Qt::UserRole + 4;

  // Scan control (page T3).
  bool UserStopped = false;
  bool ScanEnded = false;
  // Where the scan's reports land; declared before the threads so it outlives them.
  std::unique_ptr<TRecoveryObserver> ScanEvents;
  // The recovery the scan and the save run through, reporting to ScanEvents (both made by
  // ConnectScanPage); it holds the card image while a scan writes one.
  std::unique_ptr<TRecoverySession> Recovery;
  std::unique_ptr<TDigitalReadThread> ScanThread;
  // A thread whose finish call has run, kept until it has returned: a thread is never
  // joined from inside one of its own calls.
  std::unique_ptr<TDigitalReadThread> EndedScanThread;
  // The card image the next scan writes (文件 menu).
  QString CardImagePath;
  // The text of the error that ended the last scan; empty when none did.
  QString ScanError;
  // The window is closing during a scan: the scan's end shows nothing.
  bool ClosingDuringScan = false;
  bool QuitQuestionOpen = false;  // the quit question is on show during a scan
  bool EndMessagesHeld = false;   // the scan's end messages wait for that question
  // The save pass is running: closing waits for its end, with the window and its progress.
  bool SaveInProgress = false;
  bool QuitAfterSave = false;  // the user asked to quit during the save
  // How long Stop and closing wait for the thread to end its batch before giving up on it.
  int StopWaitMs = 10000;
  // LVShow is inside an update bracket that a timer closes (rows are painted in groups).
  bool ScanRowsPending = false;
  // The scan dialogs, children of the window (CreateScanDialogs).
  TStatusForm* StatusForm = nullptr;
  TQuickStatusForm* QuickStatusForm = nullptr;
  TRecoveryDoneForm* RecoveryDoneForm = nullptr;
  // Free bytes of a folder's disk for the free-space warning: FreeSpaceOf unless a test
  // replaces it.
  std::function<int64_t(const QString& path)> FreeSpaceProbe;
  // Runs before the threads above are destroyed: a scan still running when the window goes
  // is abandoned (its later calls dropped), never joined while it may wait for this thread.
  struct TScanThreadRelease {
    TMainForm* Form;
    ~TScanThreadRelease();
  } ScanThreadRelease{this};

  // Page T4's logic, its thumbnails and slots.
  TPreviewPage PreviewPage{previewUi, ui, FoundFiles, ExtIconNames, ImgListExt};

  // ---- wizard/WizardWindow.cpp: start, close, navigation ----
  void FormCreate();
  void FormDestroy();
  // True when the window may close; asks first (both close questions).
  bool FormCloseQuery();
  void BNextClick();
  void BBackClick();
  void BCancelClick();
  void Exit1Click();
  void NNewScanClick();
  // ---- wizard/WizardScanControl.cpp: the card image written while scanning ----
  void NCardImageToggled(bool checked);
  // Closes the card image of the scan that ended; one image per choice, so the menu item
  // is cleared.
  void EndCardImage();
  // A tab click: refused with a message.
  void PCChanging();
  void ShowStep(int step);
  // The page on show (T1..T5 as 1..5).
  int CurrentPage() const;
  void ShowPage(QWidget* page);
  void StyleLabels();
  // Documents folder + "Snapsalvager/" + yyyy-mm-dd + "/".
  static QString MakeDefaultDestFolder(const QString& documentsFolder, const QDate& today);
  // The time left before the scan can estimate it: the label's designed caption.
  // A drive item's caption: the letter, and the name, model and size behind it.
  static QString DriveCaption(char letter);
  static QString NoEstimateText() { return QStringLiteral("00:00:00"); }
  void AskAdministrator();
  // The save sequence of Next on T4.
  void StartSaving();

  // ---- wizard/WizardHelp.cpp: Help menu and link labels ----
  void SnapsalvagerHelp1Click();
  // F1: the help topic of the page on show.
  void PageHelpKey();
  static QString PageHelpTopic(int page);
  void VisitWebsite1Click();
  void ContactSupport1Click();
  void CheckSnapsalvagerUpdate1Click();
  void About1Click();
  void LDriveNoteLinkClick();
  void LPreviewQuestionLinkClick();

  // ---- wizard/WizardScanOptions.cpp: page T2 ----
  // Letters A..Z afresh from the system's drives, none listed yet.
  void ResetDriveTable();
  // Lists the drives of type (nullopt: every drive not listed yet); how many were added.
  int AddDrivesOfType(std::optional<uint8_t> type, int image, int selectedImage);
  void FillDriveList();
  int DriveItemOfLetter(char letter) const;  // -1: not in the list
  void FillCameraList();
  void CVideoClick();
  void LVideoFileTypeClick();
  // Runs the video type dialog; choice is changed only by OK.
  void ChooseVideoType(QString& choice);
  void Button1Click();
  void BRefreshClick();
  // A CBDrive item picked by the user: the disk-image item attaches an image file.
  void CBDriveSelect(int index);
  bool ValidateScanOptions();
  // The options as chosen on the page, and the probes the checks use (replaceable in tests
  // through DriveLetterOfFolder and FreeSpaceProbe).
  TScanChoices ScanChoices() const;
  TCheckProbes CheckProbes();
  // Renders the steps of phase: refusals and questions as message boxes, the capacity with
  // its dialog. True when every check passed.
  bool RunCheckSteps(TScanCheckList& checks, TCheckPhase phase);
  // The destination lies on the card's drive (its disk, a partition of it, a device on it).
  bool FolderOnCardDrive(char letter, const QString& folder) const;
  // The capacity dialog for a card that could not be measured; nullopt when cancelled.
  std::optional<uint64_t> AskCapacity(const TDriveEntry& drive);
  static bool NoEarlierRecovery(const QString& folder);

  // ---- wizard/WizardScanControl.cpp: page T3 ----
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
  void ConnectScanPage();
  // Creates TStatusForm, TQuickStatusForm and TRecoveryDoneForm once (program start).
  void CreateScanDialogs();
  void ShowQuickStatus(const QString& text);
  void HideQuickStatus();
  // Free bytes of the disk holding path (its nearest existing folder); -1 when it cannot be
  // asked, -99 for a path that names no local disk (empty, or a network path "//host/...").
  static int64_t FreeSpaceOf(const QString& path);
  // The scan thread's calls, on the main thread: a new LVShow row, and the end of the scan
  // (error empty unless an error ended it).
  void AddScanRow(const QString& name, const QString& description, int64_t size);
  // Closes the update bracket of LVShow and shows the newest row.
  void EndScanRowUpdate();
  void ScanThreadFinished(const QString& error);
  // Processes the window's events (not user input) until the scan has ended or timeoutMs
  // have passed; true when it has ended.
  bool WaitForScanEnd(int timeoutMs);
  // Destroys EndedScanThread once its thread has returned.
  void ReapEndedScanThread();

  // ---- wizard/PreviewPages.cpp: page T4's handlers, forwarded to PreviewPage ----
  void EnterPreviewStep();
  void CFileListChange();
  void BPageUpClick(QObject* sender);
  void BPreviewClick();
  void C1Click(QCheckBox* sender);
  void LS1Click(QObject* sender);
  int CountSelected() const;
  void ConnectPreviewPage();

  // ---- wizard/WizardSave.cpp: page T5 ----
  // The save pass of the found files into destFolder, shown on FinishPage; the list is
  // emptied after it.
  void SaveSelectedFiles(const QString& destFolder);

  // ---- wizard/WizardScanOptions.cpp: the window's file-type icons (preview/FileTypeIcons) ----
  void BuildExtIconList();
  int ExtIconIndex(const QString& fileName) const;

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ConnectHandlers();
  void ApplyButtonRulesAfterNext();
  void ApplyButtonRulesAfterBack();
  void LoadImageLists();
  void AddDriveItem(const QString& caption, int image, int selectedImage, int indent, int row);
};

// The question before a save with nothing ticked, which deletes every found file.
QString EmptySelectionQuestion(size_t found);
// The question before a new scan drops the found files of this one from the list; their
// temporary files stay in tempFolder.
QString NewScanLeavesFilesQuestion(size_t kept, const QString& tempFolder);
// Quitting while found files are not saved yet: where they stay, and how to save them later.
QString QuitLeavesFilesQuestion(size_t kept, const QString& tempFolder);
// Closing during the save pass: the window stays until the pass ends.
QString SaveRunningQuitQuestion();
// After a save that included a type that may need post-processing: its help page, offered.
QString PostProcessingQuestion(const QString& ext);

}  // namespace snapsalvager
