// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Help menu and link labels: the help document and the topic pages that come with the
// program (OpenDocument finds the local page of each address), the about box.
#include <QCoreApplication>
#include <QFileInfo>

#include "wizard/Dialogs.h"
#include "wizard/HelpLinks.h"
#include "wizard/WizardWindow.h"
#include "wizard/AboutBox.h"

namespace snapsalvager {

void TMainForm::SnapsalvagerHelp1Click() {
  const QString helpFile = HelpFilePath();
  if (QFileInfo(helpFile).isFile())
    OpenDocument(helpFile);
  else
    ShowInfo(QStringLiteral(
        "Sorry, cannot find help file. Please check Help documents from Snapsalvager website."));
}

QString TMainForm::PageHelpTopic(int page) {
  switch (page) {
    case 2: return QStringLiteral("cardreader");       // choosing the card's drive
    case 4: return QStringLiteral("previewquestion");  // the preview
    case 5: return QStringLiteral("postprocess");      // what saved files may still need
    default: return QStringLiteral("home");            // the steps, where the files go
  }
}

void TMainForm::PageHelpKey() { OpenDocument(HelpLink(PageHelpTopic(CurrentPage()))); }

void TMainForm::VisitWebsite1Click() { OpenDocument(HelpLink(QStringLiteral("home"))); }

void TMainForm::ContactSupport1Click() { OpenDocument(HelpLink(QStringLiteral("support"))); }

void TMainForm::CheckSnapsalvagerUpdate1Click() { OpenDocument(UpdateCheckAddress()); }

void TMainForm::LDriveNoteLinkClick() { OpenDocument(HelpLink(QStringLiteral("cardreader"))); }

void TMainForm::LPreviewQuestionLinkClick() {
  OpenDocument(HelpLink(QStringLiteral("previewquestion")));
}

void TMainForm::About1Click() {
  TAboutBox box(this);
  box.ui.LVersion->setText(QCoreApplication::translate("Snapsalvager", "版本 6.10 build 1210"));
  RunDialog(box);
}

}  // namespace snapsalvager
