// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Page T4 (TPreviewPage): the found files cut into pages of six, one page at a time as
// thumbnails with a tick box under each, and the ticks kept in each record's Selected field;
// the window's handlers of the page forward to it.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>
#include <algorithm>
#include <cctype>
#include <thread>

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

constexpr int kFilesPerPage = 6;
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

namespace {

// The file's summary, with the name, folder and date its directory entry gave it when one
// did ('|' separates the lines).
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

}  // namespace

void TPreviewPage::RegisterSlots() {
  SlotBoxes = {ui_.C1, ui_.C2, ui_.C3,
               ui_.C4, ui_.C5, ui_.C6};
  SlotFiles.fill(nullptr);
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

  QComboBox* list = ui_.CFileList;
  {
    const QSignalBlocker quiet(list);
    list->setUpdatesEnabled(false);
    int page = 0;
    for (int i = 0; i < n; ++i) {
      TPreviewRecord record;
      record.FirstIndex = i;
      record.FirstName = QString::fromStdString(found_[i].Name);
      i = n > i + 5 ? i + 5 : n - 1;
      record.LastIndex = i;
      ++page;
      const QString caption = QString::asprintf("Page #%d    %s - %s", page,
                                                record.FirstName.toUtf8().constData(),
                                                found_[i].Name.c_str());
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
    list->setCurrentIndex(0);
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
  for (int i = first; i <= last; ++i) {
    const QString name = QString::fromStdString(found_[i].Name);
    const std::string type = name.mid(name.lastIndexOf(QLatin1Char('.')) + 1).toStdString();
    if (PhotoKindOf(type) == TPhotoKind::None) continue;
    photos.push_back(found_[i].TempFile);
    types.push_back(type);
  }
  PagePhotos.clear();
  if (photos.empty()) return;
  std::vector<TPreviewDecode> decoded = DecodePhotoPreviews(photos, types, true, 8,
                                                            std::max(1u, std::thread::hardware_concurrency()));
  for (size_t j = 0; j < photos.size(); ++j)
    PagePhotos.insert(QString::fromStdString(photos[j].string()), std::move(decoded[j]));
}

void TPreviewPage::BPreviewClick() {
  const TWaitCursor hourglass;
  int left = 8;
  int top = 1;
  ClearThumbnails();

  QComboBox* list = ui_.CFileList;
  const int k = list->currentIndex();
  if (k < 0) return;
  const QVariant data = list->itemData(k, kRecordRole);
  if (!data.canConvert<TPreviewRecord>()) return;
  const TPreviewRecord record = data.value<TPreviewRecord>();

  for (QCheckBox* box : SlotBoxes) box->setVisible(false);
  SlotFiles.fill(nullptr);

  const TBusyControls busy({frame_.BNext, frame_.BBack}, {frame_.NNewScan});
  const int count = static_cast<int>(found_.Count());
  const int first = std::max(0, record.FirstIndex);
  const int last = std::min(record.LastIndex, count - 1);

  DecodePagePhotos(first, last);

  int slot = 0;
  for (int i = first; i <= last && slot < kFilesPerPage; ++i, ++slot) {
    // Messages run after every thumbnail; stop if the list changed meanwhile.
    if (found_.Count() != static_cast<size_t>(count)) break;
    TFoundFile& file = found_[i];
    const QString name = QString::fromStdString(file.Name);
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    const QString ext = dot >= 0 ? name.mid(dot) : QString();

    QCheckBox* box = SlotBoxes[slot];
    box->setChecked(file.Selected);  // the slot has no link yet: no record changes
    box->setText(name);
    SlotFiles[slot] = &file;
    AddThumbnail(QString::fromStdString(file.TempFile.string()), ext, top, left, name, true,
                 SummaryWithOriginal(file));
    left += 140;
    if (left > 300) {
      left = 8;
      top += 120;
    }
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
  std::vector<TPreviewDecode> decoded = DecodePhotoPreviews({path}, {type}, scrambled, 8, 1);
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
  if (tag >= 1 && tag <= kFilesPerPage && SlotFiles[tag - 1])
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
}

void TMainForm::EnterPreviewStep() { PreviewPage.Enter(); }
void TMainForm::CFileListChange() { PreviewPage.CFileListChange(); }
void TMainForm::BPageUpClick(QObject* sender) { PreviewPage.BPageUpClick(sender); }
void TMainForm::BPreviewClick() { PreviewPage.BPreviewClick(); }
void TMainForm::C1Click(QCheckBox* sender) { PreviewPage.C1Click(sender); }
void TMainForm::LS1Click(QObject* sender) { PreviewPage.LS1Click(sender); }
int TMainForm::CountSelected() const { return static_cast<int>(FoundFiles.CountSelected()); }

}  // namespace snapsalvager
