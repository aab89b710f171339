// snapsalvager-screens: writes a PNG of every wizard page and dialog into a folder, without
// a display (QT_QPA_PLATFORM=offscreen) and without a card, so the program can be looked at
// anywhere. Usage: snapsalvager-screens <folder>
#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QElapsedTimer>
#include <QThread>

#include <cstdio>
#include <fstream>

#include <QBuffer>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include "engine/LinuxDrives.h"
#include "wizard/Dialogs.h"
#include "wizard/MainUnit.h"
#include "wizard/QuickStatusUnit.h"
#include "wizard/RecoveryDoneUnit.h"
#include "wizard/StatusUnit.h"
#include "wizard/UAbout.h"
#include "wizard/VideoTypeUnit.h"
#include "wizard/WinAdminUnit.h"

using namespace snapsalvager;

namespace {

QString g_out;
int g_written = 0;

void Settle() {
  for (int i = 0; i < 3; ++i) QApplication::processEvents();
}

void Save(QWidget* w, const QString& name) {
  Settle();
  const QString path = QDir(g_out).filePath(name + QLatin1String(".png"));
  if (w->grab().save(path)) {
    ++g_written;
    std::printf("%s\n", qPrintable(path));
  } else {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
  }
}

// A holiday photo: sky, sun and hills in the colours of photo `n`.
QByteArray Photo(int n) {
  QImage image(640, 480, QImage::Format_RGB32);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  const QColor skies[] = {QColor(0x6F, 0xB1, 0xE8), QColor(0xF2, 0xA0, 0x62), QColor(0x9C, 0xD4, 0xF2),
                          QColor(0x5A, 0x6E, 0xB8), QColor(0xE8, 0xC1, 0x7A), QColor(0x7C, 0xC4, 0xD8)};
  const QColor hills[] = {QColor(0x3E, 0x8E, 0x48), QColor(0x6B, 0x4F, 0x8E), QColor(0x2F, 0x6E, 0xA8),
                          QColor(0x28, 0x3C, 0x6E), QColor(0x8E, 0x6A, 0x3A), QColor(0x3F, 0x7F, 0x5A)};
  QLinearGradient sky(0, 0, 0, 480);
  sky.setColorAt(0, skies[n % 6].lighter(130));
  sky.setColorAt(1, skies[n % 6]);
  p.fillRect(image.rect(), sky);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0xFF, 0xD8, 0x5A));
  p.drawEllipse(QPointF(140 + 60 * n, 120), 46, 46);
  QPainterPath hill;
  hill.moveTo(0, 480);
  hill.lineTo(0, 330 - 10 * n);
  hill.cubicTo(180, 220, 300, 400, 420, 300);
  hill.cubicTo(520, 220, 600, 280, 640, 260);
  hill.lineTo(640, 480);
  hill.closeSubpath();
  p.setBrush(hills[n % 6]);
  p.drawPath(hill);
  p.end();
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "JPG", 85);
  return bytes;
}

// A card image: photos every 200 sectors, then a stretch of zeros.
QString WriteDemoCard(const QString& path, int photos) {
  constexpr int kSector = 512;
  constexpr int kSpacing = 200;
  QByteArray card((photos * kSpacing + 2048) * kSector, '\0');
  for (int i = 0; i < photos; ++i) {
    const QByteArray jpeg = Photo(i);
    if (jpeg.size() <= kSpacing * kSector) card.replace(i * kSpacing * kSector, jpeg.size(), jpeg);
  }
  QFile file(path);
  if (file.open(QIODevice::WriteOnly)) file.write(card);
  return path;
}

void SaveMessage(TMessageKind kind, const QString& text, const QString& name) {
  std::unique_ptr<QMessageBox> box = MakeMessageBox(kind, text);
  box->show();
  Save(box.get(), name);
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Snapsalvager"));
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
    return 2;
  }
  g_out = QString::fromLocal8Bit(argv[1]);
  if (!QDir().mkpath(g_out)) {
    std::fprintf(stderr, "cannot create %s\n", argv[1]);
    return 1;
  }

  // Record the questions instead of showing them modally; they are drawn separately below.
  QStringList asked;
  SetAdministratorOverride(true);
  SetPrompter([&asked](TMessageKind, const QString& text) {
    asked << text;
    return QMessageBox::No;
  });

  // A small image file stands in for a card, so the drive list shows a removable drive.
  QTemporaryDir temp;
  const QString cardPath = temp.filePath(QStringLiteral("card.img"));
  {
    std::ofstream card(cardPath.toStdString(), std::ios::binary);
    const std::string zeros(1 << 20, '\0');
    card.write(zeros.data(), static_cast<std::streamsize>(zeros.size()));
  }
  const char cardLetter = LinuxDrives::AttachImage(cardPath.toStdString());

  TMainForm form;
  form.show();
  Save(&form, QStringLiteral("01-welcome"));

  form.BNextClick();
  for (int i = 0; i < form.ui.CBDrive->count(); ++i)
    if (cardLetter && form.ui.CBDrive->itemData(i, TMainForm::DriveRowRole).toInt() == cardLetter - 'A')
      form.ui.CBDrive->setCurrentIndex(i);
  form.ui.CBCamera->setCurrentIndex(2);
  form.ui.CVideo->setChecked(true);
  form.ChosenVideoType = QStringLiteral("MP4");
  form.ui.LVideoFileType->setText(QStringLiteral("[MP4]"));
  form.ui.LVideoFileType->adjustSize();
  form.ui.LVideoFileType->setVisible(true);
  Save(&form, QStringLiteral("02-scan-options"));

  form.ui.CBDrive->showPopup();
  Settle();
  Save(form.ui.CBDrive->view()->window(), QStringLiteral("03-drive-list"));
  form.ui.CBDrive->hidePopup();
  form.ui.CBCamera->showPopup();
  Settle();
  Save(form.ui.CBCamera->view()->window(), QStringLiteral("04-camera-list"));
  form.ui.CBCamera->hidePopup();

  // A real scan of a demo card with eight photos, then its preview and the save.
  const char demo = LinuxDrives::AttachImage(WriteDemoCard(temp.filePath(QStringLiteral("demo.img")), 8).toStdString());
  form.FillDriveList();
  for (int i = 0; i < form.ui.CBDrive->count(); ++i)
    if (demo && form.ui.CBDrive->itemData(i, TMainForm::DriveRowRole).toInt() == demo - 'A')
      form.ui.CBDrive->setCurrentIndex(i);
  form.ui.CBCamera->setCurrentIndex(0);
  form.ui.CVideo->setChecked(false);
  form.ui.EDestFolder->setText(temp.filePath(QStringLiteral("Recovered")));
  SetDialogRunner([](QDialog& dialog) {
    dialog.show();
    Save(&dialog, QStringLiteral("dialog-scan-complete"));
    dialog.hide();
    return int(QDialog::Accepted);
  });
  form.BNextClick();
  if (form.CurrentPage() == 3) {
    QElapsedTimer waited;
    waited.start();
    while (form.ScanInProgress && waited.elapsed() < 20000) {
      QApplication::processEvents(QEventLoop::AllEvents, 20);
      QThread::msleep(5);
    }
  } else {
    std::fprintf(stderr, "the scan did not start: %s\n", qPrintable(asked.join(QLatin1String(" | "))));
  }
  SetDialogRunner({});
  Save(&form, QStringLiteral("05-scan"));
  form.BNextClick();
  Save(&form, QStringLiteral("06-preview"));
  form.BNextClick();
  Save(&form, QStringLiteral("07-finish"));

  form.CreateScanDialogs();
  if (form.StatusForm) {
    form.StatusForm->Prepare('E', 65536);
    form.StatusForm->show();
    Save(form.StatusForm, QStringLiteral("dialog-capacity"));
    form.StatusForm->hide();
  }
  if (form.QuickStatusForm) {
    form.QuickStatusForm->ShowStatus(QStringLiteral("获取磁盘信息。它只需几秒钟..."));
    Save(form.QuickStatusForm, QStringLiteral("dialog-quick-status"));
    form.QuickStatusForm->HideStatus();
  }

  {
    TVideoTypeForm video(&form);
    QStringList items{QStringLiteral("ALL")};
    for (const std::string& ext : VideoGroup().Exts) items << QString::fromStdString(ext);
    video.SetItems(items);
    video.SetItemIndex(4);
    video.show();
    Save(&video, QStringLiteral("dialog-video-type"));
  }
  {
    TAboutBox about(&form);
    about.ui.LVersion->setText(QStringLiteral("版本 6.10 build 1210"));
    about.show();
    Save(&about, QStringLiteral("dialog-about"));
  }

  SaveMessage(TMessageKind::Information, QStringLiteral("请点击“下一步”按钮继续，或“返回”按钮返回。"),
              QStringLiteral("message-tab-refused"));
  SaveMessage(TMessageKind::Confirmation, QStringLiteral("你确定现在退出 Snapsalvager?"),
              QStringLiteral("message-close"));
  SaveMessage(TMessageKind::Warning,
              QStringLiteral("Snapsalvager 正在扫描你的内存卡。您确定要终止扫描并退出 Snapsalvager 吗？"),
              QStringLiteral("message-close-during-scan"));
  SaveMessage(TMessageKind::Information, QStringLiteral("请选择您的存储卡盘符。"),
              QStringLiteral("message-no-drive"));
  SetAdministratorOverride(false);
  asked.clear();
  form.AskAdministrator();
  if (!asked.isEmpty())
    SaveMessage(TMessageKind::Confirmation, asked.last(), QStringLiteral("message-administrator"));

  SetPrompter({});
  SetPrompter([](TMessageKind, const QString&) { return QMessageBox::Yes; });  // let the window close
  form.close();
  LinuxDrives::DetachAll();
  std::printf("%d pictures in %s\n", g_written, qPrintable(g_out));
  return g_written > 0 ? 0 : 1;
}
