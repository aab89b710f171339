// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// TMainForm: the wizard window: navigation between the pages, start and close. Each page
// from T2 on is an object of its own that owns its state, so each can change without
// touching the others:
//   wizard/WizardWindow.cpp       start, close, navigation (Next/Back), step indicator, fonts
//   wizard/WizardHelp.cpp         Help menu and the link labels (help file, vendor pages, about)
//   wizard/ScanOptionsPage.cpp    page T2 (TScanOptionsPage): drive and camera lists, video
//                                 type, validation
//   wizard/WizardChecks.cpp       the checks before a scan as message boxes (TScanOptionsPage,
//                                 run by pages T2 and T3)
//   wizard/ScanPage.cpp           page T3 (TScanPage): the recovery's reports and questions,
//                                 starting, pausing and stopping a scan, the card image
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
#include "wizard/ScanOptionsPage.h"
#include "wizard/ScanPage.h"
#include "wizard/WizardSave.h"
#include "ui_MainForm.h"
#include "ui_PreviewPage.h"
#include "ui_ScanPage.h"

class QCloseEvent;

namespace snapsalvager {

class TJpegThumb;

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
  bool QuitRequested = false;  // the start-up administrator question was answered Yes
  // The save pass is running: closing waits for its end, with the window and its progress.
  bool SaveInProgress = false;
  bool QuitAfterSave = false;  // the user asked to quit during the save

  TFoundFileList FoundFiles;
  // File-type icons: ImgListExt[i] is the 16x16 icon of ExtIconNames[i] (".JPG", ...).
  QStringList ExtIconNames;
  QList<QIcon> ImgListExt;

  // Page T2's logic and what it settled: the card, the folders, the types sought.
  TScanOptionsPage ScanOptionsPage{ui, *this, ExtIconNames, ImgListExt};

  // Page T4's logic, its thumbnails and slots.
  TPreviewPage PreviewPage{previewUi, ui, FoundFiles, ExtIconNames, ImgListExt};
  // Page T3's logic: the recovery session, the scan thread and the card image. Destroyed
  // first: a scan still running is given up before the pages and lists it reports into.
  TScanPage ScanPage{scanUi, ui, *this, ScanOptionsPage, FinishPage, FoundFiles, ExtIconNames, ImgListExt};

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
  // A tab click: refused with a message.
  void PCChanging();
  void ShowStep(int step);
  // The page on show (T1..T5 as 1..5).
  int CurrentPage() const;
  void ShowPage(QWidget* page);
  void StyleLabels();
  // Documents folder + "Snapsalvager/" + yyyy-mm-dd + "/".
  static QString MakeDefaultDestFolder(const QString& documentsFolder, const QDate& today);
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

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ConnectHandlers();
  void ApplyButtonRulesAfterNext();
  void ApplyButtonRulesAfterBack();
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
