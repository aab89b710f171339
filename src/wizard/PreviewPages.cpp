// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Page T4 (TPreviewPage): the found files cut into pages, one page at a time as thumbnails
// with a tick box under each, and the ticks kept in each record's Selected field. The
// window's handlers of the page forward to it. The background checks' verdicts on the page
// are in PreviewPageChecks.cpp, the orders in PreviewOrder.cpp, the grid that follows the
// window's size in PreviewGrid.cpp.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QDate>
#include <QTime>
#include <QEvent>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>
#include <algorithm>
#include <cctype>
#include <thread>
#include <tuple>

#include "session/Texts.h"
#include "metadata/PhotoPreview.h"
#include "tempfile/TempFileFormat.h"
#include "tempfile/TempFileReader.h"
#include "wizard/FileTypeIcons.h"
#include "wizard/LinkLabel.h"
#include "wizard/PreviewPages.h"
#include "wizard/Thumbnail.h"
#include "wizard/WizardWindow.h"

namespace snapsalvager {
namespace {

// CFileList item data: the page's TPreviewRecord, and the image index its icon came from.
constexpr int kRecordRole = Qt::UserRole;
constexpr int kImageIndexRole = Qt::UserRole + 1;

int Tag(const QObject* object) { return object ? object->property("Tag").toInt() : 0; }

// Disables controls for the length of a scope and gives each its earlier state back. The page
// fill processes messages after every thumbnail; navigation in that time could empty the
// found-file list under the fill.
class TBusyControls {
 public:
  TBusyControls(std::initializer_list<QWidget*> widgets, std::initializer_list<QAction*> actions) {
    for (QWidget* w : widgets) {
      if (w) widgets_.append({w, w->isEnabled()}), w->setEnabled(false);
    }
    for (QAction* a : actions) {
      if (a) actions_.append({a, a->isEnabled()}), a->setEnabled(false);
    }
  }
  ~TBusyControls() {
    for (const auto& [w, enabled] : widgets_) w->setEnabled(enabled);
    for (const auto& [a, enabled] : actions_) a->setEnabled(enabled);
  }

 private:
  QList<QPair<QWidget*, bool>> widgets_;
  QList<QPair<QAction*, bool>> actions_;
};

// The hourglass for the length of a scope, also when an error leaves it early.
class TWaitCursor {
 public:
  TWaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
  ~TWaitCursor() { QGuiApplication::restoreOverrideCursor(); }
};

QImage LoadPicture(const char* name) {
  return QImage(QStringLiteral(":/images/%1.bmp").arg(QLatin1String(name)));
}

}  // namespace


QString SummaryWithOriginal(const TFoundFile& file) {
  QString text = QString::fromStdString(file.Info);
  if (!file.Original) return text;
  const std::filesystem::path original = OriginalPathOf(file);
  text += QLatin1Char('|') + QCoreApplication::translate("Snapsalvager", "原来的文件名：%1")
                                 .arg(QString::fromStdU16String(original.generic_u16string()));
  const std::string date = file.Original->Entry.Modified.Iso8601();
  if (!date.empty())
    text += QLatin1Char('|') + QCoreApplication::translate("Snapsalvager", "原来的日期：%1").arg(QString::fromStdString(date));
  return text;
}

TPreviewPage::TPreviewPage(Ui::PreviewPage& ui, Ui::MainForm& frame, TFoundFileList& foundFiles,
                           const QStringList& extIconNames, const QList<QIcon>& extIcons)
    : ui_(ui), frame_(frame), found_(foundFiles), extIconNames_(extIconNames), extIcons_(extIcons) {
  regrid_.setSingleShot(true);
  regrid_.setInterval(150);
}

TPreviewPage::~TPreviewPage() { StopChecks(); }

void TPreviewPage::RegisterSlots() {
  SlotBoxes = {ui_.C1, ui_.C2, ui_.C3,
               ui_.C4, ui_.C5, ui_.C6};
  SlotFiles = QList<TFoundFile*>(SlotBoxes.size(), nullptr);
  SlotThumbs = QList<TJpegThumb*>(SlotBoxes.size(), nullptr);
  SlotIndexes = QList<int>(SlotBoxes.size(), -1);
  ui_.LS3->setVisible(TPreviewChecker::Available());
  QObject::connect(&regrid_, &QTimer::timeout, ui_.SBPreview, [this] {
    const QSize grid = GridFor(ui_.SBPreview->size());
    if (grid == QSize(Columns, Rows)) return;
    // The file at the top left stays on show.
    int keep = -1;
    for (int i : SlotIndexes) {
      if (i >= 0) {
        keep = i;
        break;
      }
    }
    Columns = grid.width();
    Rows = grid.height();
    if (ui_.CFileList->count() > 0) BuildPages(keep);
  });
}

void TPreviewPage::ForgetSlotFiles() {
  StopChecks();
  SlotFiles.fill(nullptr);
  SlotIndexes.fill(-1);
}

void TPreviewPage::LoadFrameBitmap() { FrameBitmap = LoadPicture("pvframe"); }

int TPreviewPage::PlaceholderKind(const QString& ext) {
  const QString type = ext.startsWith(QLatin1Char('.')) ? ext.mid(1) : ext;
  auto inGroup = [&type](const TFileTypeGroup& group) {
    return std::any_of(group.Exts.begin(), group.Exts.end(), [&type](const std::string& e) {
      return type.compare(QString::fromStdString(e), Qt::CaseInsensitive) == 0;
    });
  };
  if (inGroup(VideoGroup())) return 2;
  if (inGroup(AudioGroup())) return 3;
  return 1;
}

void TPreviewPage::ClearThumbnails() {
  for (TJpegThumb* thumb : ThumbnailList) delete thumb;
  ThumbnailList.clear();
  ui_.SBPreview->update();
  ui_.SBPreview->repaint();
}

void TPreviewPage::ClearPages() {
  const QSignalBlocker quiet(ui_.CFileList);
  ui_.CFileList->clear();
}

void TPreviewPage::SetPageIcons() {
  QComboBox* list = ui_.CFileList;
  for (int k = 0; k < list->count(); ++k) {
    const QVariant data = list->itemData(k, kRecordRole);
    if (!data.canConvert<TPreviewRecord>()) continue;
    const int image = snapsalvager::ExtIconIndex(extIconNames_, data.value<TPreviewRecord>().FirstName.trimmed());
    list->setItemData(k, image, kImageIndexRole);
    list->setItemIcon(k, image >= 0 && image < extIcons_.size() ? extIcons_[image] : QIcon());
  }
}

void TPreviewPage::Enter() {
  ClearPages();
  ClearThumbnails();
  for (QCheckBox* box : SlotBoxes) box->setVisible(false);

  const int n = static_cast<int>(found_.Count());
  ui_.LPreviewNote->setText(QCoreApplication::translate("Snapsalvager", "总共 %1 个文件. ").arg(n));
  ui_.LPreviewNote->setText(
      ui_.LPreviewNote->text() +
      QCoreApplication::translate("Snapsalvager", "你可以预览并选择所需的文件，然后按“下一步”进行保存。"));
  ui_.LNum1->setText(QString::number(n));
  ui_.LNum2->setText(QString::number(n));
  ui_.LS1->setEnabled(false);
  ui_.LS2->setEnabled(false);

  Checks.assign(static_cast<size_t>(n), TFileCheck{});
  Order.clear();
  SortOrder = TPreviewOrder::Number;
  {
    const QSignalBlocker quiet(ui_.CSort);
    ui_.CSort->setCurrentIndex(static_cast<int>(TPreviewOrder::Number));
  }
  BuildPages(-1);
  StartChecks();
}

void TPreviewPage::BuildPages(int keepIndex) {
  const int n = static_cast<int>(found_.Count());
  if (Order.size() != static_cast<size_t>(n)) {
    Order.resize(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) Order[static_cast<size_t>(i)] = i;
  }
  ClearPages();
  ClearThumbnails();
  PlaceSlots();
  const int perPage = FilesPerPage();
  int keepPage = 0;
  QComboBox* list = ui_.CFileList;
  {
    const QSignalBlocker quiet(list);
    list->setUpdatesEnabled(false);
    int page = 0;
    for (int i = 0; i < n; ++i) {
      TPreviewRecord record;
      record.FirstIndex = i;
      record.FirstName = QString::fromStdString(found_[Order[i]].Name);
      i = n > i + perPage - 1 ? i + perPage - 1 : n - 1;
      record.LastIndex = i;
      for (int p = record.FirstIndex; p <= record.LastIndex; ++p)
        if (Order[p] == keepIndex) keepPage = page;
      ++page;
      const QString caption = QString::asprintf("Page #%d    %s - %s", page,
                                                record.FirstName.toUtf8().constData(),
                                                found_[Order[i]].Name.c_str());
      list->addItem(caption, QVariant::fromValue(record));
      list->setItemData(list->count() - 1, -1, kImageIndexRole);
    }
    list->setUpdatesEnabled(true);
  }
  {
    const QSignalBlocker quiet(list);
    try {
      SetPageIcons();
    } catch (...) {
      // pages without icons are still pages
    }
  }
  if (list->count() > 0) {
    const QSignalBlocker quiet(list);
    list->setCurrentIndex(keepPage);
  }
  LastShownPage = -1;
  CFileListChange();
  LastShownPage = list->currentIndex();
}

void TPreviewPage::CFileListChange() {
  QComboBox* list = ui_.CFileList;
  const int k = list->currentIndex();
  if (k == LastShownPage || k < 0) return;
  const int pages = list->count();
  ui_.LPage->setText(QStringLiteral("%1/%2").arg(k + 1).arg(pages));
  ui_.LPage->adjustSize();
  ui_.LPage->move((ui_.PSelect->width() - ui_.LPage->width()) / 2,
                        ui_.LPage->y());
  ui_.BPageUp->setEnabled(false);
  ui_.BPageDown->setEnabled(false);
  list->setEnabled(false);
  try {
    BPreviewClick();
  } catch (...) {
    // a page that could not be filled still leaves the paging usable
  }
  ui_.BPageUp->setEnabled(k > 0);
  ui_.BPageDown->setEnabled(k < pages - 1);
  list->setEnabled(true);
  LastShownPage = list->currentIndex();
}

void TPreviewPage::BPageUpClick(QObject* sender) {
  QComboBox* list = ui_.CFileList;
  auto* button = qobject_cast<QWidget*>(sender);
  const int k = list->currentIndex();
  const QSignalBlocker quiet(list);
  if (Tag(sender) == 2) {
    if (k < list->count() - 1) {
      list->setCurrentIndex(k + 1);
    } else if (button) {
      button->setEnabled(false);
    }
  } else {
    if (k <= 0) {
      if (button) button->setEnabled(false);
    } else {
      list->setCurrentIndex(k - 1);
    }
  }
  CFileListChange();
}

void TPreviewPage::DecodePagePhotos(int first, int last) {
  // Decoding is the whole cost of a page, and the photos are independent: decode the page's
  // photos on every core first, then build the thumbnails in order.
  std::vector<std::filesystem::path> photos;
  std::vector<std::string> types;
  std::vector<int> indexes;
  for (int p = first; p <= last && p < static_cast<int>(Order.size()); ++p) {
    const int i = Order[static_cast<size_t>(p)];
    const QString name = QString::fromStdString(found_[i].Name);
    const std::string type = name.mid(name.lastIndexOf(QLatin1Char('.')) + 1).toStdString();
    if (PhotoKindOf(type) == TPhotoKind::None) continue;
    photos.push_back(found_[i].TempFile);
    types.push_back(type);
    indexes.push_back(i);
  }
  PagePhotos.clear();
  if (photos.empty()) return;
  std::vector<TPreviewDecode> decoded = DecodePhotos(photos, types, true);
  for (size_t j = 0; j < photos.size(); ++j)
    PagePhotos.insert(QString::fromStdString(photos[j].string()), std::move(decoded[j]));
}

std::vector<TPreviewDecode> TPreviewPage::DecodePhotos(const std::vector<std::filesystem::path>& paths,
                                                       const std::vector<std::string>& types, bool scrambled) {
  // Card data is decoded by the sandboxed helpers where they exist: a crafted photo can
  // then crash only a helper, never the window.
  if (TPreviewChecker::Available() && scrambled) {
    if (!Checker) Checker = std::make_unique<TPreviewChecker>(CheckOptions);
    std::vector<TFileCheckJob> jobs;
    for (size_t j = 0; j < paths.size(); ++j) jobs.push_back({paths[j], types[j], true});
    const std::vector<TFileCheck> checks = Checker->CheckNow(jobs);
    // A helper that cannot even be started (a broken installation) is no verdict on the
    // photo: rather than call every photo corrupt, the window decodes it as it did before.
    const bool noHelper = std::any_of(checks.begin(), checks.end(), [](const TFileCheck& c) {
      return c.Verdict.Kind == decode::TVerdictKind::CouldNotCheck && c.Verdict.Reason == "no-helper";
    });
    if (checks.size() == paths.size() && !noHelper) {
      std::vector<TPreviewDecode> photos(paths.size());
      for (size_t j = 0; j < paths.size(); ++j) {
        const TFileCheck& check = checks[j];
        TPreviewDecode& photo = photos[j];
        photo.Opened = !(check.Verdict.Kind == decode::TVerdictKind::Unreadable && check.Verdict.Reason == "open-failed");
        photo.HeaderOk = !check.Preview.isNull();
        if (!photo.HeaderOk) continue;
        const QImage rgb = check.Preview.convertToFormat(QImage::Format_RGB888);
        TJpegPicture& picture = photo.Picture;
        picture.Status = check.Verdict.Kind == decode::TVerdictKind::Whole ? TJpegDecodeStatus::Image
                                                                            : TJpegDecodeStatus::Partial;
        picture.Width = rgb.width();
        picture.Height = rgb.height();
        picture.Pixels.resize(static_cast<size_t>(rgb.width()) * rgb.height() * 3);
        for (int y = 0; y < rgb.height(); ++y)
          std::copy_n(rgb.constScanLine(y), rgb.width() * 3, picture.Pixels.begin() + static_cast<ptrdiff_t>(y) * rgb.width() * 3);
      }
      return photos;
    }
  }
  return DecodePhotoPreviews(paths, types, scrambled, 8, std::max(1u, std::thread::hardware_concurrency()));
}

void TPreviewPage::BPreviewClick() {
  const TWaitCursor hourglass;
  ClearThumbnails();

  QComboBox* list = ui_.CFileList;
  const int k = list->currentIndex();
  if (k < 0) return;
  const QVariant data = list->itemData(k, kRecordRole);
  if (!data.canConvert<TPreviewRecord>()) return;
  const TPreviewRecord record = data.value<TPreviewRecord>();

  for (QCheckBox* box : SlotBoxes) box->setVisible(false);
  SlotFiles.fill(nullptr);
  SlotThumbs.fill(nullptr);
  SlotIndexes.fill(-1);

  const TBusyControls busy({frame_.BNext, frame_.BBack}, {frame_.NNewScan});
  const int count = static_cast<int>(found_.Count());
  if (Order.size() != static_cast<size_t>(count)) return;  // the list changed under the pages
  const int first = std::max(0, record.FirstIndex);
  const int last = std::min(record.LastIndex, count - 1);

  // The checks take the files on show first.
  PreferShownPage(first, last);
  DecodePagePhotos(first, last);

  int slot = 0;
  for (int p = first; p <= last && slot < FilesPerPage(); ++p, ++slot) {
    // Messages run after every thumbnail; stop if the list changed meanwhile.
    if (found_.Count() != static_cast<size_t>(count)) break;
    const int i = Order[static_cast<size_t>(p)];
    TFoundFile& file = found_[i];
    const QString name = QString::fromStdString(file.Name);
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    const QString ext = dot >= 0 ? name.mid(dot) : QString();

    QCheckBox* box = SlotBoxes[slot];
    box->setChecked(file.Selected);  // the slot has no link yet: no record changes
    box->setText(name);
    SlotFiles[slot] = &file;
    SlotIndexes[slot] = i;
    const int thumbs = static_cast<int>(ThumbnailList.size());
    AddThumbnail(QString::fromStdString(file.TempFile.string()), ext, 1 + kThumbPitchY * (slot / Columns),
                 8 + kThumbPitchX * (slot % Columns), name, true, SummaryWithOriginal(file));
    if (ThumbnailList.size() > thumbs) SlotThumbs[slot] = ThumbnailList.last();
    ShowCheck(slot);
    box->setVisible(true);
    box->raise();  // above the thumbnail's bottom edge
  }
  PagePhotos.clear();
  ui_.LS1->setEnabled(true);
  ui_.LS2->setEnabled(true);
}

std::optional<TPreviewDecode> TPreviewPage::TakePagePhoto(const QString& tempPath, bool scrambled) {
  if (auto it = PagePhotos.find(tempPath); it != PagePhotos.end()) {
    TPreviewDecode photo = std::move(*it);
    PagePhotos.erase(it);
    if (!photo.Opened) return std::nullopt;
    return photo;
  }
  // The type from the temporary name ("..._CR3.~QX"); a plain file by its own extension.
  const std::filesystem::path path(tempPath.toStdString());
  std::string name = RecoveredNameOfTemporary(path.filename().string());
  if (name.empty()) name = path.filename().string();
  std::string type = name.substr(name.rfind('.') + 1);
  std::transform(type.begin(), type.end(), type.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  std::vector<TPreviewDecode> decoded = DecodePhotos({path}, {type}, scrambled);
  if (!decoded[0].Opened) return std::nullopt;
  return std::move(decoded[0]);
}

void TPreviewPage::AddThumbnail(const QString& tempPath, const QString& ext, int top, int left,
                             const QString& fileName, bool scrambled, const QString& summary) {
  int kind = 0;  // 0 photo, 1 raw, 2 video, 3 audio, 4 corrupt photo
  std::optional<TPreviewDecode> photo;
  const TPhotoKind photoKind = PhotoKindOf(ext.mid(1).toStdString());
  if (photoKind == TPhotoKind::Jpeg) {
    photo = TakePagePhoto(tempPath, scrambled);
    if (!photo) return;  // no file, no thumbnail: the slot shows its tick box only
    if (!photo->HeaderOk) kind = 4;
  } else if (photoKind != TPhotoKind::None && (photo = TakePagePhoto(tempPath, scrambled)) && photo->HeaderOk) {
    // A raw or HEIF photo shows its own preview; one without stays the raw placeholder.
  } else {
    kind = PlaceholderKind(ext);
  }

  auto* thumb = new TJpegThumb(ui_.SBPreview);
  thumb->setToolTip(QString(summary).replace(QLatin1Char('|'), QLatin1Char('\n')));
  thumb->SetImageframe(&FrameBitmap);
  thumb->Settext(fileName.left(255));
  if (kind == 0) {
    thumb->LoadFullSize = false;
    thumb->IsBMP = false;
    thumb->SetDecodedPic(std::move(photo->Picture));
    // A header but not one decodable row: say so rather than show an empty frame.
    if (thumb->PicStatus() == TJpegDecodeStatus::Corrupt) kind = 4;
  }
  QImage placeholder;
  if (kind != 0) {
    // The raw, video and audio pictures carry a banner in the window's language.
    static const char* const kPictures[] = {"", "pvraw", "pvvideo", "pvaudio", "pvcorrupt"};
    static const char* const kEnglishPictures[] = {"", "pvraw_en", "pvvideo_en", "pvaudio_en",
                                                   "pvcorrupt"};
    placeholder =
        LoadPicture((Language() == TLanguage::English ? kEnglishPictures : kPictures)[kind]);
    thumb->LoadFullSize = true;
    thumb->IsBMP = true;
    thumb->SetPicBmp(&placeholder);
  }

  thumb->setGeometry(left, top, 120, 100);
  thumb->setVisible(true);
  thumb->Paint();  // renders now, while the picture it draws from still exists
  ThumbnailList.append(thumb);
  QCoreApplication::processEvents();
}

void TPreviewPage::C1Click(QCheckBox* sender) {
  if (!sender) return;
  sender->setEnabled(false);
  const int tag = Tag(sender);
  if (tag >= 1 && tag <= SlotFiles.size() && SlotFiles[tag - 1])
    SlotFiles[tag - 1]->Selected = sender->isChecked();
  ui_.LNum2->setText(QString::number(found_.CountSelected()));
  sender->setEnabled(true);
}

void TPreviewPage::LS1Click(QObject* sender) {
  ui_.LS1->setEnabled(false);
  ui_.LS2->setEnabled(false);
  const bool value = Tag(sender) == 1;
  for (size_t i = 0; i < found_.Count(); ++i) found_.SetSelected(i, value);
  for (QCheckBox* box : SlotBoxes) {
    if (!box->isHidden()) box->setChecked(value);
  }
  ui_.LNum2->setText(QString::number(found_.CountSelected()));
  ui_.LS1->setEnabled(true);
  ui_.LS2->setEnabled(true);
}

// The window's handlers of page T4, on the page.
void TMainForm::ConnectPreviewPage() {
  // activated: only the user's choice; the code selects pages without raising it.
  connect(previewUi.CFileList, &QComboBox::activated, this, [this] { CFileListChange(); });
  for (QToolButton* b : {previewUi.BPageUp, previewUi.BPageDown}) {
    connect(b, &QToolButton::clicked, this, [this, b] { BPageUpClick(b); });
  }
  connect(previewUi.BPreview, &QPushButton::clicked, this, &TMainForm::BPreviewClick);
  for (QCheckBox* box : {previewUi.C1, previewUi.C2, previewUi.C3, previewUi.C4, previewUi.C5,
                         previewUi.C6}) {
    // toggled, so a tick set by the program (select all) counts like a click.
    connect(box, &QCheckBox::toggled, this, [this, box] { C1Click(box); });
  }
  for (TLinkLabel* l : {previewUi.LS1, previewUi.LS2}) {
    connect(l, &TLinkLabel::clicked, this, [this, l] {
      if (l->isEnabled()) LS1Click(l);
    });
  }
  connect(previewUi.LPreviewQuestionLink, &TLinkLabel::clicked, this,
          &TMainForm::LPreviewQuestionLinkClick);
  connect(previewUi.LS3, &TLinkLabel::clicked, this, [this] {
    if (previewUi.LS3->isEnabled()) PreviewPage.SelectOnlyWhole();
  });
  connect(previewUi.CSort, &QComboBox::activated, this,
          [this](int index) { PreviewPage.SortBy(static_cast<TPreviewOrder>(index)); });
  // The page grows with the window; the window is resizable only while the page is on show.
  connect(ui.PC, &QTabWidget::currentChanged, this, [this] {
    const bool onPreview = ui.PC->currentWidget() == ui.T4;
    // Leaving the page is a new scan or the save: the files are about to change.
    if (!onPreview) PreviewPage.StopChecks();
    PreviewPage.FollowWindow(ui.centralwidget, onPreview);
  });
}

void TMainForm::EnterPreviewStep() { PreviewPage.Enter(); }
void TMainForm::CFileListChange() { PreviewPage.CFileListChange(); }
void TMainForm::BPageUpClick(QObject* sender) { PreviewPage.BPageUpClick(sender); }
void TMainForm::BPreviewClick() { PreviewPage.BPreviewClick(); }
void TMainForm::C1Click(QCheckBox* sender) { PreviewPage.C1Click(sender); }
void TMainForm::LS1Click(QObject* sender) { PreviewPage.LS1Click(sender); }
int TMainForm::CountSelected() const { return static_cast<int>(FoundFiles.CountSelected()); }

}  // namespace snapsalvager
