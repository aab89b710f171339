// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Page T5, the finish page: the save pass as it goes (progress line and bar), what the last
// pass left (files that need post-processing, ticked files not saved) and the page's links.
// The window runs the pass through its recovery session and hands the page its steps.
#pragma once

#include <QObject>
#include <QString>

#include <cstddef>
#include <vector>

#include "session/SaveFiles.h"
#include "wizard/CardMap.h"
#include "ui_FinishPage.h"

namespace snapsalvager {

class TFinishPage {
 public:
  explicit TFinishPage(Ui::FinishPage& ui) : ui_(ui) {}

  // What the last save pass left: the first special type saved (it may need
  // post-processing), and the ticked files that could not be saved (their temporary copies
  // kept).
  bool SpecialTypeFound = false;
  QString SpecialTypeExt;
  std::vector<TNotSavedFile> NotSavedFiles;

  // The links of the page, handled while context lives.
  void Connect(QObject* context);
  // The page as the pass begins: the notice, no post-processing note, no card map.
  void ShowSaving();
  // After the pass: the post-processing note when a special type was saved, and the
  // message that takes the user to its tools.
  void ShowPostProcessing();
  void TellPostProcessing();
  // A pass of count files into destFolder: before it, each step, and its outcome.
  void BeginSave(const QString& destFolder, size_t count);
  void ShowSaveStep(const TSaveStep& step);
  void EndSave(const QString& destFolder, size_t count, TSaveOutcome outcome);
  // The card map under the pass's outcome, and saved as a picture into destFolder (not when
  // it is empty: nothing was saved); its tooltip names the colours and where the picture went.
  void ShowCardMap(const TCardMap& map, const QString& destFolder);
  void BFolderClick();
  void LPostProcess2LinkClick();

 private:
  // The progress line and picture of the save pass.
  void ShowSaveProgress(bool visible);
  // The notice, the folder line and the message when ticked files could not be saved.
  void ReportNotSavedFiles(const QString& destFolder);

  Ui::FinishPage& ui_;
};

}  // namespace snapsalvager
