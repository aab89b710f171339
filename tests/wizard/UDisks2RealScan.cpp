// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Run by scripts/test-udisks2.sh, not by ctest: the window's way to a card against the real
// udisksd and polkitd on the system bus the environment names.
//
//   udisks2_real_scan image PATH      writes the small card image the script attaches
//   udisks2_real_scan scan DEVICE     scans DEVICE as the wizard does; prints what it found
//   udisks2_real_scan no-agent DEVICE expects the no-agent message and no scan
//
// Exit status 0 when the run went as expected, 1 with the reason on standard error.
#include <unistd.h>

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>

#include "WizardTestSupport.h"
#include "card/LinuxDrives.h"
#include "fixtures/CardImage.h"
#include "wizard/CardOpening.h"
#include "wizard/ScanDoneDialog.h"

using namespace snapsalvager;
using namespace snapsalvager::test;

namespace {

int Fail(const QString& why) {
  std::fprintf(stderr, "udisks2_real_scan: %s\n", qPrintable(why));
  return 1;
}

// Chooses the card on the options page and presses Next; true when the scan page came.
bool StartScan(TMainForm& form, char letter, const QString& dest) {
  form.BNextClick();  // welcome page to options page
  form.ScanOptionsPage.FillDriveList();
  int item = -1;
  for (int i = 0; i < form.ui.CBDrive->count(); ++i)
    if (form.ui.CBDrive->itemData(i, TScanOptionsPage::kDriveRowRole).toInt() == letter - 'A') item = i;
  if (item <= 0) return false;
  form.ui.CBDrive->setCurrentIndex(item);
  form.ui.CBCamera->setCurrentIndex(form.ui.CBCamera->findText(QStringLiteral("Generic Digital Camera")));
  form.ui.CPhoto->setChecked(true);
  form.ui.CVideo->setChecked(false);
  form.ui.CAudio->setChecked(false);
  form.ui.EDestFolder->setText(dest);
  form.BNextClick();
  return form.CurrentPage() == 3;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const QStringList args = app.arguments();
  if (args.size() != 3) return Fail(QStringLiteral("usage: image PATH | scan DEVICE | no-agent DEVICE"));
  const QString mode = args[1], target = args[2];
  if (mode == QLatin1String("image")) {
    fixtures::CardImage card(4000);
    card.noise(5).jpegAt(10).jpegAt(1200).jpegAt(3100);
    card.writeTo(target.toStdString());
    return 0;
  }

  // An unprivileged user has no direct way in: the card is root's alone.
  if (::geteuid() != 0 && QFile(target).open(QIODevice::ReadOnly))
    return Fail(QStringLiteral("%1 opens directly; the test needs a root-only device").arg(target));
  LinuxDrives::Refresh();
  const char letter = LinuxDrives::LetterOfPath(target.toStdString());
  if (letter == 0) return Fail(QStringLiteral("%1 is not in the drive list").arg(target));

  QTemporaryDir dest;
  TScriptedPrompter prompter;
  TDialogScript dialogs([](QDialog& dialog) {
    if (auto* done = qobject_cast<TRecoveryDoneForm*>(&dialog)) done->ui.Button1->click();
    return dialog.result();
  });
  const std::unique_ptr<TMainForm> form = MakeMainForm();
  form->ScanOptionsPage.DriveLetterOfFolder = [](const QString&) { return char(0); };
  form->ScanOptionsPage.FreeSpaceProbe = [](const QString&) { return int64_t{1} << 50; };
  form->ScanPage.CreateScanDialogs();
  form->show();
  const bool started = StartScan(*form, letter, dest.filePath(QStringLiteral("out/")));
  const QString messages = prompter.Texts().join(QLatin1Char('\n'));
  // A scan that started ends before the window goes, whatever is expected of it.
  if (started && !QTest::qWaitFor([&] { return !form->ScanPage.ScanInProgress; }, 30000))
    return Fail(QStringLiteral("the scan did not end"));

  if (mode == QLatin1String("no-agent")) {
    if (started) return Fail(QStringLiteral("the scan started without authorization"));
    const QString expected = UDisks2NoAgentText(QStringLiteral("%1: (%2)").arg(QLatin1Char(letter)).arg(target));
    if (prompter.Texts() != QStringList{expected})
      return Fail(QStringLiteral("expected the no-agent message, the window said:\n") + messages);
    std::printf("no-agent message shown\n");
    return 0;
  }
  if (!started) return Fail(QStringLiteral("the scan did not start; the window said:\n") + messages);
  for (size_t i = 0; i < form->FoundFiles.Count(); ++i)
    std::printf("%s %lld\n", form->FoundFiles[i].Name.c_str(),
                static_cast<long long>(form->FoundFiles[i].Size));
  return 0;
}
