// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Page T5: the save pass (each ticked file's head restored and the file moved into the
// destination folder, each unticked file's temporary file deleted) and the finish page's links.
// The window runs the pass through its recovery session; the page shows it.
#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include <filesystem>

#include "session/RecoverySession.h"
#include "session/SaveFiles.h"
#include "metadata/PhotoSummary.h"
#include "session/Texts.h"
#include "wizard/Dialogs.h"
#include "wizard/HelpLinks.h"
#include "wizard/LinkLabel.h"
#include "wizard/WizardSave.h"
#include "wizard/WizardWindow.h"

namespace snapsalvager {
namespace {

// How many names of unsaved files the message lists before it says "…".
constexpr size_t kNamesListed = 10;

QString FromPath(const std::filesystem::path& path) {
  return QString::fromStdString(path.string());
}

}  // namespace

QString EmptySelectionQuestion(size_t found) {
  return QCoreApplication::translate("Snapsalvager", "没有选中任何文件。继续将删除找到的全部 %1 个文件的临时文件，它们将无法再恢复。"
                        "\r\n\r\n确定要删除它们吗？单击 [否] 返回并选择要保存的文件。")
      .arg(found);
}

QString SaveRunningQuitQuestion() {
  return QCoreApplication::translate("Snapsalvager", "Snapsalvager 正在保存恢复的文件。窗口将保持打开，直到保存完成。"
                                     "\r\n\r\n保存完成后退出 Snapsalvager 吗？");
}

QString QuitLeavesFilesQuestion(size_t kept, const QString& tempFolder) {
  return QCoreApplication::translate("Snapsalvager", "你确定现在退出 Snapsalvager?\r\n\r\n"
                                     "这次扫描找到的 %1 个文件还没有保存。它们不会被删除，其临时文件保留在 %2 中，"
                                     "以后可以用 snapsalvager-cli restore 命令保存它们。")
      .arg(kept)
      .arg(tempFolder);
}

QString NewScanLeavesFilesQuestion(size_t kept, const QString& tempFolder) {
  return QCoreApplication::translate("Snapsalvager",
                                     "新建扫描将从列表中去掉这次扫描找到的 %1 个文件。它们不会被删除，"
                                     "其临时文件保留在 %2 中（下一次扫描开始时会移到其中一个带日期的子文件夹），"
                                     "以后可以用 snapsalvager-cli restore 命令保存它们。"
                                     "\r\n\r\n确定要新建扫描吗？单击 [否] 留在这里，仍可保存它们。")
      .arg(kept)
      .arg(tempFolder);
}

void TFinishPage::ShowSaving() {
  ui_.LNotice->setText(QCoreApplication::translate("Snapsalvager", "保存恢复的文件..."));
  ui_.LPostProcess->setVisible(false);
  ui_.LPostProcess2Link->setVisible(false);
  ui_.imgPostProcess->setVisible(false);
  ui_.ImgCardMap->setVisible(false);
}

void TFinishPage::ShowPostProcessing() {
  ui_.LPostProcess->setVisible(SpecialTypeFound);
  ui_.LPostProcess2Link->setVisible(SpecialTypeFound);
  ui_.imgPostProcess->setVisible(SpecialTypeFound);
}

QString PostProcessingQuestion(const QString& ext) {
  return QCoreApplication::translate("Snapsalvager", "重要说明： 已恢复的文件包含\"%1\"文件。那些已恢复的文件在某些情况下可能需要后处理"
                                     "或他们不能正常打开。\r\n\r\n要现在打开介绍后处理工具的帮助页面吗？")
      .arg(ext);
}

void TFinishPage::TellPostProcessing() {
  if (!SpecialTypeFound) return;
  // Offered, not forced: the page's link opens the help later too.
  if (AskYesNo(PostProcessingQuestion(SpecialTypeExt)) == QMessageBox::Yes)
    OpenLocalPage(PostProcessLink(SpecialTypeExt));
}

void TFinishPage::BeginSave(const QString& destFolder, size_t count) {
  ui_.BFolder->setToolTip(destFolder);
  SpecialTypeFound = false;
  SpecialTypeExt.clear();
  NotSavedFiles.clear();
  if (count > 0) ui_.PBar3->setMaximum(static_cast<int>(count));
  ui_.PBar3->setValue(0);
  ShowSaveProgress(true);
}

void TFinishPage::EndSave(const QString& destFolder, size_t count, TSaveOutcome outcome) {
  ui_.PBar3->setValue(static_cast<int>(count));
  // Nothing saved: nothing to post-process.
  SpecialTypeFound = outcome.SpecialTypeFound && outcome.Saved > 0;
  SpecialTypeExt = QString::fromStdString(outcome.SpecialTypeExt);
  NotSavedFiles = std::move(outcome.NotSaved);
  ShowSaveProgress(false);
  SetFittedText(*ui_.LFileName, QString::fromUtf8(Text(TText::SavedIn)) + destFolder);
  ui_.LNotice->setText(QCoreApplication::translate("Snapsalvager", "完成了整个恢复过程。"));
  // A finished pass shows a full bar (an empty list too).
  if (count == 0) ui_.PBar3->setMaximum(1);
  ui_.PBar3->setValue(ui_.PBar3->maximum());
  if (!NotSavedFiles.empty()) ReportNotSavedFiles(destFolder);
  // A taken name was not replaced: the file went under the next free one, and the user is
  // told which.
  if (!outcome.Renamed.empty()) ShowInfo(QString::fromStdString(RenamedFilesText(outcome.Renamed)));
}

void TMainForm::SaveSelectedFiles(const QString& destFolder) {
  const size_t n = FoundFiles.Count();
  FinishPage.BeginSave(destFolder, n);
  // Messages run once per ticked file; a new scan started meanwhile from the menu would
  // empty the list under the pass.
  const bool newScanWasEnabled = ui.NNewScan->isEnabled();
  ui.NNewScan->setEnabled(false);
  TRecoverySession& recovery = *ScanPage.Recovery;
  recovery.Settings.DestFolder = std::filesystem::path(destFolder.toStdString());
  recovery.Settings.TempFolder = std::filesystem::path(ScanOptionsPage.TempFolder.toStdString());
  recovery.Settings.OriginalNames = previewUi.NOriginalNames->isChecked();
  recovery.Settings.PhotoTime = PhotoTakenTime;
  recovery.Settings.WriteReport = recovery.Settings.OriginalNames;
  recovery.Settings.CardName = std::string(1, recovery.Settings.Drive.Letter) + ":";
  SaveInProgress = true;
  TSaveOutcome outcome = recovery.Save();
  SaveInProgress = false;
  ui.NNewScan->setEnabled(newScanWasEnabled);
  const bool anySaved = outcome.Saved > 0;
  FinishPage.EndSave(destFolder, n, std::move(outcome));
  // Every found file on the map, ticked or not: it is the card's picture.
  const uint64_t cardBytes = uint64_t{ScanOptionsPage.SelectedDrive.SectorCount} * 512;
  FinishPage.ShowCardMap(PreviewPage.CardMapOfFoundFiles(cardBytes, ScanPage.CardImageMap, ScanPage.UnreadableAreas),
                         anySaved ? destFolder : QString());

  ClearFoundFiles(FoundFiles);
  PreviewPage.ForgetSlotFiles();
}

void TFinishPage::ShowCardMap(const TCardMap& map, const QString& destFolder) {
  const QString saved = destFolder.isEmpty() ? QString() : SaveCardMapPicture(CardMapPicture(map), destFolder);
  QLabel* picture = ui_.ImgCardMap;
  const QRect inside = picture->contentsRect();
  picture->setPixmap(QPixmap::fromImage(DrawCardMap(map, inside.size(), 4)));
  QString tip = QCoreApplication::translate("Snapsalvager", "存储卡分布图：找到的文件按类型着色（照片蓝色，RAW 和 HEIF 照片青色，视频紫色，音频橙色，其他文件棕色），"
                   "已损坏的文件带斜线，无法读取的扇区红色，空闲或未知的部分灰色。");
  if (!saved.isEmpty()) tip += QLatin1Char('\n') + QCoreApplication::translate("Snapsalvager", "已保存为 %1").arg(saved);
  picture->setToolTip(tip);
  picture->setVisible(true);
}

void TFinishPage::ShowSaveStep(const TSaveStep& step) {
  ui_.PBar3->setValue(static_cast<int>(step.Index));  // the files before this one
  const QString path = FromPath(step.FinalPath);
  if (step.Selected) {
    SetFittedText(*ui_.LFileName, QString::fromUtf8(Text(TText::SavingFile)) + path);
    QCoreApplication::processEvents();
  } else {
    SetFittedText(*ui_.LFileName, QString::fromUtf8(Text(TText::BypassingFile)) + path);
  }
}

void TFinishPage::ShowSaveProgress(bool visible) {
  ui_.LFilePercent->setVisible(visible);
  ui_.LPercent->setVisible(visible);
  ui_.LCurrentFileImage->setVisible(visible);
}

void TFinishPage::ReportNotSavedFiles(const QString& destFolder) {
  // A ticked file that was not saved must not pass for a finished recovery: its temporary
  // file is its only copy, and the user has to know where it is.
  QString kept;
  QStringList names;
  int keptCount = 0;
  for (const TNotSavedFile& f : NotSavedFiles) {
    std::error_code ec;
    if (std::filesystem::exists(f.TempFile, ec)) {
      ++keptCount;
      if (kept.isEmpty()) kept = QFileInfo(FromPath(f.TempFile)).absolutePath() + QLatin1Char('/');
    }
    if (static_cast<size_t>(names.size()) < kNamesListed) names << QString::fromStdString(f.Name);
  }
  if (NotSavedFiles.size() > kNamesListed) names << QStringLiteral("…");
  const int count = static_cast<int>(NotSavedFiles.size());
  ui_.LNotice->setText(QCoreApplication::translate("Snapsalvager", "恢复过程已结束，但有 %1 个文件未能保存。").arg(count));
  QString where = QString::fromUtf8(Text(TText::SavedIn)) + destFolder;
  if (keptCount > 0) where += QCoreApplication::translate("Snapsalvager", "\n未能保存的文件的临时副本保留在 ") + kept;
  SetFittedText(*ui_.LFileName, where);

  QString text = QCoreApplication::translate("Snapsalvager", "注意： 有 %1 个选中的文件未能保存到 %2（该文件夹中可能已有同名的文件）：")
                     .arg(count)
                     .arg(destFolder) +
                 QStringLiteral("\r\n") + names.join(QStringLiteral(", "));
  if (keptCount > 0) {
    text += QStringLiteral("\r\n\r\n") +
            QCoreApplication::translate("Snapsalvager", "它们的临时副本（%1 个）没有被删除，保留在 %2 中。").arg(keptCount).arg(kept) +
            QStringLiteral("\r\n") +
            QString::fromStdString(RestoreCommandHint(kept.toStdString(), destFolder.toStdString()));
  }
  ShowInfo(text);
}

void TFinishPage::BFolderClick() { OpenDocument(ui_.BFolder->toolTip()); }

void TFinishPage::LPostProcess2LinkClick() { OpenDocument(PostProcessLink(SpecialTypeExt)); }

void TFinishPage::Connect(QObject* context) {
  QObject::connect(ui_.LPostProcess2Link, &TLinkLabel::clicked, context, [this] { LPostProcess2LinkClick(); });
  QObject::connect(ui_.BFolder, &QPushButton::clicked, context, [this] { BFolderClick(); });
}

}  // namespace snapsalvager
