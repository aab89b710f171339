// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// snapsalvager-screens: writes a PNG of every wizard page and dialog into a folder, without a
// card. Run it in an X server with a window manager (scripts/screens.sh starts both): each
// picture is taken from the screen, frames, placement and tooltips as a user sees them.
// Usage: snapsalvager-screens <folder>
#include <QAbstractItemView>
#include <QApplication>
#include <QCursor>
#include <QFileDialog>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QElapsedTimer>
#include <QThread>

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include <jpeglib.h>

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include "session/FoundFiles.h"
#include "session/Texts.h"
#ifdef SNAPSALVAGER_SCREENS_RAWS
#include "fixtures/Jpegs.h"
#include "fixtures/MediaSamples.h"
#include "fixtures/Photos.h"
#include "metadata/PhotoSummary.h"
#endif
#include "card/LinuxDrives.h"
#include "tempfile/TempFileReader.h"
#include "tempfile/TempFileWriter.h"
#include "wizard/Dialogs.h"
#include "wizard/HelpLinks.h"
#include "wizard/WizardWindow.h"
#include "wizard/Thumbnail.h"
#include "wizard/WaitPanel.h"
#include "wizard/ScanDoneDialog.h"
#include "wizard/CapacityDialog.h"
#include "wizard/AboutBox.h"
#include "wizard/VideoTypeDialog.h"
#include "wizard/DeviceRights.h"

using namespace snapsalvager;

namespace {

QString g_out;
int g_written = 0;

// Lets the window system and the window manager show, frame and place what was shown.
void Settle(int ms = 250) {
  QElapsedTimer waited;
  waited.start();
  while (waited.elapsed() < ms) {
    QApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(10);
  }
}

void WaitShown(QWidget* w) {
  QElapsedTimer waited;
  waited.start();
  while (waited.elapsed() < 3000 && !(w->windowHandle() && w->windowHandle()->isExposed())) {
    QApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(10);
  }
  Settle();
}

// A part of the screen as it is now.
void SaveArea(QRect area, const QString& name) {
  QScreen* screen = QGuiApplication::primaryScreen();
  area = area.intersected(screen->geometry());
  const QString path = QDir(g_out).filePath(name + QLatin1String(".png"));
  if (screen->grabWindow(0, area.x(), area.y(), area.width(), area.height()).save(path)) {
    ++g_written;
    std::printf("%s\n", qPrintable(path));
  } else {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
  }
}

// A window with its frame, or the window of a control.
void Save(QWidget* w, const QString& name) {
  WaitShown(w->window());
  SaveArea(w->window()->frameGeometry(), name);
}

// A box over the window, so its place on the window shows.
void SaveOver(QWidget* window, QWidget* box, const QString& name) {
  WaitShown(box);
  SaveArea(window->frameGeometry().united(box->frameGeometry()).adjusted(-10, -10, 10, 10), name);
}

// Rests the mouse on a point until its tooltip shows, then saves area.
void SaveHover(const QPoint& global, const QRect& area, const QString& name) {
  QCursor::setPos(global + QPoint(1, 1));
  Settle(100);
  QCursor::setPos(global);
  Settle(1500);
  SaveArea(area, name);
}

// The next modal dialog (a file or folder chooser) is saved and cancelled.
void SaveNextModal(QWidget* window, const QString& name) {
  QTimer::singleShot(300, [window, name] {
    QWidget* dialog = QApplication::activeModalWidget();
    if (!dialog) {
      std::fprintf(stderr, "no dialog for %s\n", qPrintable(name));
      return;
    }
    SaveOver(window, dialog, name);
    if (auto* d = qobject_cast<QDialog*>(dialog)) d->reject();
  });
}

// A picture as a JPEG, through the libjpeg the program decodes with (the Windows build has no
// Qt image-format plugins).
QByteArray Jpeg(const QImage& picture, int quality) {
  const QImage rgb = picture.convertToFormat(QImage::Format_RGB888);
  jpeg_compress_struct compress {};
  jpeg_error_mgr errors {};
  compress.err = jpeg_std_error(&errors);
  jpeg_create_compress(&compress);
  unsigned char* out = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&compress, &out, &size);
  compress.image_width = static_cast<JDIMENSION>(rgb.width());
  compress.image_height = static_cast<JDIMENSION>(rgb.height());
  compress.input_components = 3;
  compress.in_color_space = JCS_RGB;
  jpeg_set_defaults(&compress);
  jpeg_set_quality(&compress, quality, TRUE);
  jpeg_start_compress(&compress, TRUE);
  while (compress.next_scanline < compress.image_height) {
    JSAMPROW row = const_cast<uchar*>(rgb.constScanLine(static_cast<int>(compress.next_scanline)));
    jpeg_write_scanlines(&compress, &row, 1);
  }
  jpeg_finish_compress(&compress);
  QByteArray bytes(reinterpret_cast<const char*>(out), static_cast<qsizetype>(size));
  jpeg_destroy_compress(&compress);
  std::free(out);
  return bytes;
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
  return Jpeg(image, 85);
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

QWidget* g_window = nullptr;

void SaveMessage(TMessageKind kind, const QString& text, const QString& name) {
  std::unique_ptr<QMessageBox> box = MakeMessageBox(kind, text);
  box->show();
  SaveOver(g_window, box.get(), name);
}

// Centred as RunDialog centres: created first, so with the frame it is about to get.
void Centre(QWidget& dialog) {
  dialog.winId();
  CentreOnOwner(dialog);
}

// A non-photo file found by a scan: its scrambled temporary file and its record.
void AddClip(TMainForm& form, const QString& tempFolder, const std::string& type) {
  const uint32_t number = static_cast<uint32_t>(form.FoundFiles.Count()) + 1;
  TFoundFile f;
  f.Name = RecoveredFileName(number, type);
  f.Ext = type;
  f.TempFile = std::filesystem::path(tempFolder.toStdString()) / TemporaryFileName(number, type);
  f.Info = "N/A";
  {
    TWriteFileStream stream(f.TempFile, TWriteSettings{0, true, false});
    std::vector<uint8_t> sector(512, static_cast<uint8_t>(number));
    for (int i = 0; i < 8; ++i) stream.Write(sector.data(), 512);
  }
  f.Size = 8 * 512;
  f.Selected = true;
  form.FoundFiles.Append(std::move(f));
}

#ifdef SNAPSALVAGER_SCREENS_RAWS
// A photo of today's kinds found by a deep scan: its bytes as its temporary file, and the
// summary the scan would list.
void AddPhoto(TMainForm& form, const QString& tempFolder, const std::string& type, const std::vector<uint8_t>& bytes) {
  if (bytes.empty()) return;
  const uint32_t number = static_cast<uint32_t>(form.FoundFiles.Count()) + 1;
  TFoundFile f;
  f.Name = RecoveredFileName(number, type);
  f.Ext = type;
  f.TempFile = std::filesystem::path(tempFolder.toStdString()) / TemporaryFileName(number, type);
  fixtures::WriteTemporaryFile(f.TempFile, bytes);
  f.Info = DescribeFoundFile(f.TempFile, type);
  f.Size = static_cast<int64_t>(bytes.size());
  f.Selected = true;
  form.FoundFiles.Append(std::move(f));
}

// A phone's HEIC photo from heif-enc, or nothing where it is not installed.
std::vector<uint8_t> HeicPhoto(const QString& folder) {
  const std::string jpeg = QDir(folder).filePath(QStringLiteral("phone.jpg")).toStdString();
  const std::string heic = QDir(folder).filePath(QStringLiteral("phone.heic")).toStdString();
  fixtures::JpegOptions options;
  options.Width = 640;
  options.Height = 480;
  options.Texture = 4;
  options.Salt = 25;
  fixtures::WritePlainFile(jpeg, fixtures::EncodeJpeg(options));
  int status = -1;
  fixtures::RunProgram({"heif-enc", "-q", "50", "-t", "160", jpeg, "-o", heic}, &status);
  return status == 0 ? fixtures::ReadWholeFile(heic) : std::vector<uint8_t>{};
}
#endif

}  // namespace

int main(int argc, char** argv) {
  // The pictures in the language the window would choose (--lang en|zh, SNAPSALVAGER_LANG).
  if (!snapsalvager::ChooseLanguage(argc, argv)) return 2;
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Snapsalvager"));
  InstallQtTranslations();
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
    return 2;
  }
  g_out = QString::fromLocal8Bit(argv[1]);
  if (!QDir().mkpath(g_out)) {
    std::fprintf(stderr, "cannot create %s\n", argv[1]);
    return 1;
  }
  // Windows' own platform draws real frames (under wine too, which puts them in its X server).
  const QLatin1String framed(QGuiApplication::platformName() == QLatin1String("windows") ? "windows" : "xcb");
  if (QGuiApplication::platformName() != framed)
    std::fprintf(stderr, "not in an X server (%s): frames and placement will be missing\n",
                 qPrintable(QGuiApplication::platformName()));
  const QRect screenArea = QGuiApplication::primaryScreen()->geometry();
  // Links and documents (the post-processing page after the save) are not opened.
  SetDocumentOpener([](const QString&) {});

  // The start-up question of a user who may not read cards, before the window shows: the
  // whole screen, to show where it stands.
  SetAdministratorOverride(false);
  SetPrompter([&screenArea](TMessageKind kind, const QString& text) {
    std::unique_ptr<QMessageBox> box = MakeMessageBox(kind, text);
    box->show();
    WaitShown(box.get());
    SaveArea(screenArea, QStringLiteral("message-administrator"));
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
  g_window = &form;
  SetAdministratorOverride(true);
  // Record the questions of the walk instead of showing them modally; they are drawn below.
  QStringList asked;
  SetPrompter([&asked](TMessageKind, const QString& text) {
    asked << text;
    return QMessageBox::No;
  });
  form.move(screenArea.center() - form.rect().center());
  form.show();
  Save(&form, QStringLiteral("01-welcome"));

  form.BNextClick();
  for (int i = 0; i < form.ui.CBDrive->count(); ++i)
    if (cardLetter && form.ui.CBDrive->itemData(i, TScanOptionsPage::kDriveRowRole).toInt() == cardLetter - 'A')
      form.ui.CBDrive->setCurrentIndex(i);
  form.ui.CBCamera->setCurrentIndex(2);
  form.ui.CVideo->setChecked(true);
  form.ScanOptionsPage.ChosenVideoType = QStringLiteral("MP4");
  form.ui.LVideoFileType->setText(QStringLiteral("[MP4]"));
  form.ui.LVideoFileType->adjustSize();
  form.ui.LVideoFileType->setVisible(true);
  Save(&form, QStringLiteral("02-scan-options"));

  // The closed drive list and its open list, each with the tooltip naming the image.
  QComboBox* drives = form.ui.CBDrive;
  SaveHover(drives->mapToGlobal(drives->rect().center()),
            form.frameGeometry(), QStringLiteral("03-drive-tooltip"));
  drives->showPopup();
  Settle();
  QAbstractItemView* view = drives->view();
  QRect popupArea = view->window()->frameGeometry();
  for (int i = 0; i < drives->count(); ++i) {
    if (drives->itemData(i, TScanOptionsPage::kDriveRowRole).toInt() != cardLetter - 'A') continue;
    const QRect item = view->visualRect(view->model()->index(i, 0));
    SaveHover(view->viewport()->mapToGlobal(item.center()), popupArea.adjusted(0, 0, 360, 60),
              QStringLiteral("03-drive-list"));
  }
  drives->hidePopup();
  form.ui.CBCamera->showPopup();
  Save(form.ui.CBCamera->view(), QStringLiteral("04-camera-list"));
  form.ui.CBCamera->hidePopup();

  // Qt's own dialogs in the chosen language: the disk-image chooser and the folder chooser.
  for (int i = 0; i < drives->count(); ++i)
    if (drives->itemData(i, TScanOptionsPage::kImageChooserRole).toBool()) {
      SaveNextModal(&form, QStringLiteral("dialog-image-file"));
      form.ScanOptionsPage.CBDriveSelect(i);
    }
  SaveNextModal(&form, QStringLiteral("dialog-destination-folder"));
  form.ScanOptionsPage.Button1Click();

  // A real scan of a demo card with eight photos, sought with every kind of file of a raw
  // camera, then its preview and the save.
  const char demo = LinuxDrives::AttachImage(WriteDemoCard(temp.filePath(QStringLiteral("demo.img")), 8).toStdString());
  form.ScanOptionsPage.FillDriveList();
  for (int i = 0; i < form.ui.CBDrive->count(); ++i)
    if (demo && form.ui.CBDrive->itemData(i, TScanOptionsPage::kDriveRowRole).toInt() == demo - 'A')
      form.ui.CBDrive->setCurrentIndex(i);
  form.ui.CBCamera->setCurrentIndex(2);
  form.ui.CPhoto->setChecked(true);
  form.ui.CVideo->setChecked(true);
  form.ui.CAudio->setChecked(true);
  form.ScanOptionsPage.ChosenVideoType = QStringLiteral("ALL");
  form.ui.EDestFolder->setText(temp.filePath(QStringLiteral("Recovered")));
  SetDialogRunner([](QDialog& dialog) {
    Centre(dialog);
    dialog.show();
    SaveOver(g_window, &dialog, QStringLiteral("dialog-scan-complete"));
    dialog.hide();
    return int(QDialog::Accepted);
  });
  form.BNextClick();
  if (form.CurrentPage() == 3) {
    QElapsedTimer waited;
    waited.start();
    while (form.ScanPage.ScanInProgress && waited.elapsed() < 20000) {
      QApplication::processEvents(QEventLoop::AllEvents, 20);
      QThread::msleep(5);
    }
  } else {
    std::fprintf(stderr, "the scan did not start: %s\n", qPrintable(asked.join(QLatin1String(" | "))));
  }
  SetDialogRunner({});
  Save(&form, QStringLiteral("05-scan"));

  // Clips of other kinds after the photos: their tick labels are the longest names.
  for (const char* type : {"MOV", "MPG", "WAV", "AMR"}) AddClip(form, form.ScanOptionsPage.TempFolder, type);
#ifdef SNAPSALVAGER_SCREENS_RAWS
  // A page of today's photos as a deep scan names them: a CR3, an ARW, a DNG and a HEIC,
  // each previewed from its own embedded picture.
  constexpr size_t kFilesPerPage = 6;  // the preview page's slots
  while (form.FoundFiles.Count() % kFilesPerPage != 0) AddClip(form, form.ScanOptionsPage.TempFolder, "MP3");
  fixtures::RawLayout canon;
  canon.Make = "Canon";
  canon.Model = "Canon EOS R6";
  AddPhoto(form, form.ScanOptionsPage.TempFolder, "CR3", fixtures::Cr3Raw(canon));
  AddPhoto(form, form.ScanOptionsPage.TempFolder, "ARW", fixtures::TiffRaw(fixtures::RawLayout{}));
  fixtures::RawLayout leica;
  leica.Make = "Leica Camera AG";
  leica.Model = "LEICA Q2";
  AddPhoto(form, form.ScanOptionsPage.TempFolder, "DNG", fixtures::TiffRaw(leica));
  AddPhoto(form, form.ScanOptionsPage.TempFolder, "HEIC", HeicPhoto(temp.path()));
  // A last page of what the background checks show: video frames and a waveform in place of
  // the placeholders, and the badges of a cut and an overwritten photo.
  while (form.FoundFiles.Count() % kFilesPerPage != 0) AddClip(form, form.ScanOptionsPage.TempFolder, "MP3");
  if (fixtures::MediaSampleToolsAvailable()) {
    for (const fixtures::MediaSample& sample : fixtures::WholeMediaSamples())
      if (sample.Type == "MP4" || sample.Type == "MOV" || sample.Type == "WAV")
        AddPhoto(form, form.ScanOptionsPage.TempFolder, sample.Type, sample.Bytes);
  }
  fixtures::JpegOptions photo;
  photo.Width = 1600;
  photo.Height = 1200;
  photo.Texture = 6;
  const std::vector<uint8_t> whole = fixtures::EncodeJpeg(photo);
  AddPhoto(form, form.ScanOptionsPage.TempFolder, "JPG", whole);
  AddPhoto(form, form.ScanOptionsPage.TempFolder, "JPG", fixtures::Damaged(whole, fixtures::Damage::Cut, 0.6));
  AddPhoto(form, form.ScanOptionsPage.TempFolder, "JPG", fixtures::Damaged(whole, fixtures::Damage::ZeroSector, 0.3));
#endif
#ifdef SNAPSALVAGER_DECODE_HELPER_PATH
  form.PreviewPage.CheckOptions.Helper = SNAPSALVAGER_DECODE_HELPER_PATH;
#endif
  form.BNextClick();
  // The pictures show the checks' outcome, not a moment of them.
  {
    QElapsedTimer waited;
    waited.start();
    while (form.PreviewPage.Checker && form.PreviewPage.Checker->Running() && waited.elapsed() < 60000) {
      QApplication::processEvents(QEventLoop::AllEvents, 20);
      QThread::msleep(5);
    }
  }
  Save(&form, QStringLiteral("06-preview"));
  for (int page = 1; page < form.previewUi.CFileList->count(); ++page) {
    form.previewUi.CFileList->setCurrentIndex(page);
    form.CFileListChange();
    Save(&form, QStringLiteral("06-preview-page-%1").arg(page + 1));
  }
  // The last page's damaged photo with its verdict in the tooltip.
  for (int slot = 0; slot < form.PreviewPage.SlotThumbs.size(); ++slot) {
    TJpegThumb* thumb = form.PreviewPage.SlotThumbs[slot];
    if (!thumb || thumb->Badge() != TJpegThumb::TBadge::Damaged) continue;
    SaveHover(thumb->mapToGlobal(thumb->rect().center()), form.frameGeometry().adjusted(0, 0, 200, 80),
              QStringLiteral("06-preview-damaged-tooltip"));
    break;
  }
  // Sorted by verdict, and maximized: as many thumbnails as fit on the screen.
  form.previewUi.CSort->setCurrentIndex(static_cast<int>(TPreviewOrder::Verdict));
  form.PreviewPage.SortBy(TPreviewOrder::Verdict);
  Save(&form, QStringLiteral("06-preview-by-verdict"));
  form.showMaximized();
  Settle(1000);
  Save(&form, QStringLiteral("06-preview-maximized"));
  form.showNormal();
  Settle(500);
  form.BNextClick();
  Save(&form, QStringLiteral("07-finish"));
  // The card map as saved beside the recovered files.
  if (QFile::copy(QDir(form.ScanOptionsPage.DestFolder).filePath(QStringLiteral("card-map.png")),
                  QDir(g_out).filePath(QStringLiteral("07-card-map.png"))))
    ++g_written;

  // A second walk: 文件 → 新建扫描 shows step 2 with its buttons and the card still chosen.
  form.ui.NNewScan->trigger();
  Save(&form, QStringLiteral("08-new-scan"));
  // The deep scan's file-type line, the longest: wrapped between types.
  form.ui.NDeepScan->setChecked(true);
  if (form.ScanPage.PrepareScan()) {
    form.ShowPage(form.ui.T3);
    Save(&form, QStringLiteral("09-scan-deep-file-types"));
    form.ShowPage(form.ui.T2);
  }
  form.ui.NDeepScan->setChecked(false);

  form.ScanPage.CreateScanDialogs();
  if (form.ScanOptionsPage.StatusForm) {
    form.ScanOptionsPage.StatusForm->Prepare('E', 65536);
    Centre(*form.ScanOptionsPage.StatusForm);
    form.ScanOptionsPage.StatusForm->show();
    SaveOver(&form, form.ScanOptionsPage.StatusForm, QStringLiteral("dialog-capacity"));
    form.ScanOptionsPage.StatusForm->hide();
  }
  if (form.ScanOptionsPage.QuickStatusForm) {
    form.ScanOptionsPage.QuickStatusForm->ShowStatus(QStringLiteral("获取磁盘信息。它只需几秒钟..."));
    SaveOver(&form, form.ScanOptionsPage.QuickStatusForm, QStringLiteral("dialog-quick-status"));
    form.ScanOptionsPage.QuickStatusForm->HideStatus();
  }

  {
    TVideoTypeForm video(&form);
    QStringList items{QStringLiteral("ALL")};
    for (const std::string& ext : VideoGroup().Exts) items << QString::fromStdString(ext);
    video.SetItems(items);
    video.SetItemIndex(4);
    Centre(video);
    video.show();
    SaveOver(&form, &video, QStringLiteral("dialog-video-type"));
  }
  {
    TAboutBox about(&form);
    about.ui.LVersion->setText(QStringLiteral("版本 6.10 build 1210"));
    Centre(about);
    about.show();
    SaveOver(&form, &about, QStringLiteral("dialog-about"));
  }

  // Every message box the window shows, over the window.
  const struct {
    TMessageKind Kind;
    QString Text;
    const char* Name;
  } messages[] = {
      {TMessageKind::Information, QStringLiteral("请点击“下一步”按钮继续，或“返回”按钮返回。"), "message-tab-refused"},
      {TMessageKind::Confirmation, QStringLiteral("你确定现在退出 Snapsalvager?"), "message-close"},
      {TMessageKind::Warning,
       QStringLiteral("Snapsalvager 正在扫描你的内存卡。您确定要终止扫描并退出 Snapsalvager 吗？"),
       "message-close-during-scan"},
      {TMessageKind::Information, QStringLiteral("请选择您的存储卡盘符。"), "message-no-drive"},
      {TMessageKind::Information, QStringLiteral("用户扫描停止"), "message-user-stopped"},
      {TMessageKind::Information,
       QStringLiteral("重要说明： 已恢复的文件包含\"MOV\"文件。那些已恢复的文件在某些情况下可能需要后处理"
                      "或他们不能正常打开。单击 [确定]，Snapsalvager 将您带入支持网页下载后处理工具。"),
       "message-post-processing"},
      {TMessageKind::Information,
       QStringLiteral("Sorry, cannot find help file. Please check Help documents from Snapsalvager website."),
       "message-help-missing"},
      {TMessageKind::Confirmation,
       QStringLiteral("警告: 目标文件夹的驱动器与源驱动器是相同的。恢复到同一磁盘可能会导致数据永久丢失。 "
                      "我们强烈建议您选择另一个驱动器作为一个目标保存恢复的文件。\r\n\r\n单击 [是] "
                      "取消并重新选择目标文件夹，或单击 [否] 仍然继续。"),
       "message-same-drive"},
      {TMessageKind::Confirmation,
       QStringLiteral("你选择了当前的“目标文件夹”中包含之前恢复一些文件。新恢复的文件可能会写入他们。\r\n\r\n"
                      "点击“是”以取消并重新选择目标文件夹，或单击“否”来进行，而无需使用不同的目标文件夹。"),
       "message-earlier-results"},
      {TMessageKind::Confirmation,
       QStringLiteral("请注意，“步骤3 - 预览”点击[返回]按钮将回到“步骤1 - 扫描选项”。如果你想从存储卡中恢复丢失的"
                      "照片,您将需要再次进行扫描。\r\n\r\n你一定要返回到“步骤1 - 扫描选项”吗?"),
       "message-back-from-preview"},
  };
  for (const auto& m : messages) SaveMessage(m.Kind, m.Text, QLatin1String(m.Name));

  SetPrompter([](TMessageKind, const QString&) { return QMessageBox::Yes; });  // let the window close
  form.close();
  SetPrompter({});
  LinuxDrives::DetachAll();
  std::printf("%d pictures in %s\n", g_written, qPrintable(g_out));
  return g_written > 0 ? 0 : 1;
}
