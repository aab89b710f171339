// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// scancontrol_timing: scans a card image through the window (no display needed) and reports
// how long the scan took and how late the window's event loop ran meanwhile. Run by hand:
//   QT_QPA_PLATFORM=offscreen scancontrol_timing IMAGE [--video] [--audio] [--grab PNG]
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "WizardTestSupport.h"
#include "card/LinuxDrives.h"

using namespace snapsalvager;

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Snapsalvager"));
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s IMAGE [--video] [--audio]\n", argv[0]);
    return 2;
  }
  bool video = false, audio = false;
  QString grab;  // a picture of the window at the end of the scan
  for (int i = 2; i < argc; ++i) {
    if (std::strcmp(argv[i], "--video") == 0) video = true;
    if (std::strcmp(argv[i], "--audio") == 0) audio = true;
    if (std::strcmp(argv[i], "--grab") == 0 && i + 1 < argc) grab = QString::fromLocal8Bit(argv[++i]);
  }
  const char letter = LinuxDrives::AttachImage(argv[1]);
  if (letter == 0) {
    std::fprintf(stderr, "cannot attach %s\n", argv[1]);
    return 1;
  }
  QTemporaryDir dest;

  // Questions are answered No (go on), dialogs accepted; everything is printed.
  SetPrompter([](TMessageKind, const QString& text) {
    std::fprintf(stderr, "message: %s\n", qPrintable(QString(text).replace(QLatin1String("\r\n"), QLatin1String(" "))));
    return QMessageBox::No;
  });
  SetDialogRunner([](QDialog&) { return int(QDialog::Accepted); });

  std::unique_ptr<TMainForm> form = test::MakeMainForm();
  form->ScanOptionsPage.DriveLetterOfFolder = [](const QString&) { return char(0); };
  form->show();
  form->BNextClick();
  form->ScanOptionsPage.FillDriveList();
  for (int i = 0; i < form->ui.CBDrive->count(); ++i)
    if (form->ui.CBDrive->itemData(i, TScanOptionsPage::kDriveRowRole).toInt() == letter - 'A')
      form->ui.CBDrive->setCurrentIndex(i);
  form->ui.CBCamera->setCurrentIndex(form->ui.CBCamera->findText(QStringLiteral("Generic Digital Camera")));
  form->ui.CPhoto->setChecked(true);
  form->ui.CVideo->setChecked(video);
  form->ui.CAudio->setChecked(audio);
  form->ui.EDestFolder->setText(dest.filePath(QStringLiteral("out")) + QLatin1Char('/'));

  // The event loop's lateness: a 10 ms timer notes how long each tick really took.
  std::vector<qint64> gaps;
  QElapsedTimer sinceTick;
  QTimer probe;
  probe.setInterval(10);
  QObject::connect(&probe, &QTimer::timeout, [&] {
    gaps.push_back(sinceTick.restart());
  });

  QElapsedTimer clock;
  clock.start();
  form->ui.BNext->click();
  if (form->CurrentPage() != 3) {
    std::fprintf(stderr, "the scan did not start\n");
    return 1;
  }
  sinceTick.start();
  probe.start();
  QEventLoop loop;
  QTimer done;
  done.setInterval(5);
  QObject::connect(&done, &QTimer::timeout, [&] {
    if (!form->ScanPage.ScanInProgress) loop.quit();
  });
  done.start();
  loop.exec();
  const double seconds = static_cast<double>(clock.elapsed()) / 1000.0;
  probe.stop();

  std::sort(gaps.begin(), gaps.end());
  const auto at = [&](double q) {
    return gaps.empty() ? 0 : gaps[std::min(gaps.size() - 1, static_cast<size_t>(q * static_cast<double>(gaps.size())))];
  };
  std::printf("sectors %llu, rows %d, LRead %s\n", static_cast<unsigned long long>(form->ScanOptionsPage.SelectedDrive.SectorCount),
              form->scanUi.LVShow->rowCount(), qPrintable(form->scanUi.LRead->text()));
  std::printf("scan through the window: %.2f s\n", seconds);
  std::printf("event loop ticks %zu (10 ms timer): median %lld ms, p99 %lld ms, max %lld ms\n",
              gaps.size(), static_cast<long long>(at(0.5)), static_cast<long long>(at(0.99)),
              gaps.empty() ? 0LL : static_cast<long long>(gaps.back()));
  if (!grab.isEmpty()) {
    QApplication::processEvents();
    form->grab().save(grab);
  }
  SetPrompter([](TMessageKind, const QString&) { return QMessageBox::Yes; });
  form.reset();
  LinuxDrives::DetachAll();
  return 0;
}
