// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Page T4 (TPreviewPage): the found files cut into pages, one page at a time as thumbnails
// with a tick box under each, and the ticks kept in each record's Selected field; the
// background checks' verdicts and pictures on the thumbnails; sorting; the grid following
// the window's size. The window's handlers of the page forward to it.
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

// The grid's pitch and the designed size of the client area, which the page is laid out for.
constexpr int kThumbPitchX = 140;
constexpr int kThumbPitchY = 120;
constexpr QSize kDesignedClientSize(744, 487);
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

// The sort key of a date: the Exif shooting time the summary names, else the date of the
// card's entry that named the file; empty (sorted last) without either.
QString DateKey(const TFoundFile& file) {
  const QString info = QString::fromStdString(file.Info);
  static const QLatin1String kShootTime("Shoot Time: ");
  if (info.startsWith(kShootTime)) {
    // Date and time apart: a camera's clock time need not exist in this machine's zone.
    const QString text = info.mid(kShootTime.size()).section(QLatin1Char('|'), 0, 0);
    const QDate day = QDate::fromString(text.section(QLatin1Char(' '), 0, 0), QStringLiteral("MM/dd/yyyy"));
    const QTime time = QTime::fromString(text.section(QLatin1Char(' '), 1, 1), QStringLiteral("HH:mm:ss"));
    if (day.isValid() && time.isValid())
      return day.toString(QStringLiteral("yyyyMMdd")) + time.toString(QStringLiteral("HHmmss"));
  }
  if (file.Original && file.Original->Entry.Modified.Valid()) {
    const filesystems::Timestamp& t = file.Original->Entry.Modified;
    return QString::asprintf("%04d%02d%02d%02d%02d%02d", t.Year, t.Month, t.Day, t.Hour, t.Minute, t.Second);
  }
  return {};
}

// Photos first, then raw and HEIF pictures, videos, audio, everything else.
int KindRank(const std::string& type) {
  switch (PhotoKindOf(type)) {
    case TPhotoKind::Jpeg: return 0;
    case TPhotoKind::None: break;
    default: return 1;
  }
  const int placeholder = TPreviewPage::PlaceholderKind(QString::fromStdString(type));
  return placeholder == 2 ? 2 : placeholder == 3 ? 3 : 4;
}

// Whole first, then damaged from the most to the least that decodes, unreadable, those a
// decoder failed on, and last those not checked.
int VerdictRank(const decode::TVerdict& v) {
  switch (v.Kind) {
    case decode::TVerdictKind::Whole: return 0;
    case decode::TVerdictKind::Damaged: return 100 - std::clamp(v.Percent, -1, 99);
    case decode::TVerdictKind::Unreadable: return 200;
    case decode::TVerdictKind::CouldNotCheck: return 300;
    case decode::TVerdictKind::NotChecked: break;
  }
  return 400;
}

TJpegThumb::TBadge BadgeOf(const decode::TVerdict& v) {
  switch (v.Kind) {
    case decode::TVerdictKind::Damaged: return TJpegThumb::TBadge::Damaged;
    case decode::TVerdictKind::Unreadable: return TJpegThumb::TBadge::Unreadable;
    case decode::TVerdictKind::CouldNotCheck: return TJpegThumb::TBadge::CouldNotCheck;
    default: return TJpegThumb::TBadge::None;
  }
}

// Hands the client area's resizes to the page.
class TSizeWatch : public QObject {
 public:
  explicit TSizeWatch(std::function<void()> resized) : resized_(std::move(resized)) {}
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Resize) resized_();
    return false;
  }

 private:
  std::function<void()> resized_;
};

}  // namespace

QString VerdictWords(const decode::TVerdict& verdict) {
  switch (verdict.Kind) {
    case decode::TVerdictKind::Whole: return QString::fromStdString(Text(TText::VerdictWhole));
    case decode::TVerdictKind::Damaged:
      if (verdict.Percent >= 0)
        return QString::fromStdString(Text(TText::VerdictDamagedAt, {std::to_string(verdict.Percent)}));
      return QString::fromStdString(Text(TText::VerdictDamaged));
    case decode::TVerdictKind::Unreadable: return QString::fromStdString(Text(TText::VerdictUnreadable));
    case decode::TVerdictKind::CouldNotCheck: return QString::fromStdString(Text(TText::VerdictCouldNotCheck));
    case decode::TVerdictKind::NotChecked: break;
  }
  return {};
}

QString ClipLength(int64_t milliseconds) {
  if (milliseconds <= 0) return {};
  const int64_t seconds = (milliseconds + 500) / 1000;
  if (seconds >= 3600)
    return QString::asprintf("%lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                             static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
  return QString::asprintf("%lld:%02lld", static_cast<long long>(seconds / 60), static_cast<long long>(seconds % 60));
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

QSize TPreviewPage::GridFor(QSize area) {
  // A column needs the thumbnail's 120 pixels after an 8-pixel margin; a row its 100 and
  // the tick box below, overlapping the next row's pitch by the designed few pixels.
  return QSize(std::max(1, (area.width() - 8 - 120) / kThumbPitchX + 1),
               std::max(1, (area.height() + 4) / kThumbPitchY));
}

void TPreviewPage::EnsureSlots(int count) {
  while (SlotBoxes.size() < count) {
    auto* box = new QCheckBox(ui_.SBPreview);
    box->setFont(ui_.C1->font());
    box->setProperty("Tag", static_cast<int>(SlotBoxes.size()) + 1);
    box->setVisible(false);
    QObject::connect(box, &QCheckBox::toggled, ui_.SBPreview, [this, box] { C1Click(box); });
    SlotBoxes.append(box);
    SlotFiles.append(nullptr);
    SlotThumbs.append(nullptr);
    SlotIndexes.append(-1);
  }
}

void TPreviewPage::PlaceSlots() {
  EnsureSlots(FilesPerPage());
  for (int s = 0; s < SlotBoxes.size(); ++s) {
    const int column = s % Columns;
    const int row = s / Columns;
    // The designed boxes sit 3, 2 and 3 pixels into their columns.
    SlotBoxes[s]->setGeometry(column == 1 ? 150 : 11 + kThumbPitchX * column, 100 + kThumbPitchY * row, 125, 17);
    if (s >= FilesPerPage()) SlotBoxes[s]->setVisible(false);
  }
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

void TPreviewPage::SortBy(TPreviewOrder order) {
  SortOrder = order;
  const int n = static_cast<int>(found_.Count());
  Order.resize(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) Order[static_cast<size_t>(i)] = i;
  // Keys once, not per comparison; the found order decides between equals.
  std::vector<QString> dates;
  if (order == TPreviewOrder::Date) {
    dates.reserve(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) dates.push_back(DateKey(found_[i]));
  }
  const auto verdictOf = [this](int i) {
    return static_cast<size_t>(i) < Checks.size() ? Checks[static_cast<size_t>(i)].Verdict : decode::TVerdict{};
  };
  std::stable_sort(Order.begin(), Order.end(), [&](int a, int b) {
    switch (order) {
      case TPreviewOrder::Kind:
        return std::make_tuple(KindRank(found_[a].Ext), found_[a].Ext) <
               std::make_tuple(KindRank(found_[b].Ext), found_[b].Ext);
      case TPreviewOrder::Date: {
        const QString& da = dates[static_cast<size_t>(a)];
        const QString& db = dates[static_cast<size_t>(b)];
        if (da.isEmpty() != db.isEmpty()) return db.isEmpty();
        return da < db;
      }
      case TPreviewOrder::Verdict: return VerdictRank(verdictOf(a)) < VerdictRank(verdictOf(b));
      case TPreviewOrder::Number: break;
    }
    return false;
  });
  BuildPages(-1);
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

void TPreviewPage::SelectOnlyWhole() {
  if (Checker && Checker->Running()) return;  // offered once every file is checked
  for (size_t i = 0; i < found_.Count(); ++i)
    found_.SetSelected(i, i < Checks.size() && Checks[i].Verdict.Kind == decode::TVerdictKind::Whole);
  for (int s = 0; s < SlotBoxes.size(); ++s) {
    if (SlotFiles[s] && !SlotBoxes[s]->isHidden()) SlotBoxes[s]->setChecked(SlotFiles[s]->Selected);
  }
  ui_.LNum2->setText(QString::number(found_.CountSelected()));
}

TCardMap TPreviewPage::CardMapOfFoundFiles(uint64_t cardBytes, const std::filesystem::path& cardImageMap) const {
  TCardMap map;
  map.CardBytes = cardBytes;
  for (size_t i = 0; i < found_.Count(); ++i) {
    const TFoundFile& file = found_[i];
    const decode::TVerdictKind verdict = i < Checks.size() ? Checks[i].Verdict.Kind : decode::TVerdictKind::NotChecked;
    const bool damaged = verdict == decode::TVerdictKind::Damaged || verdict == decode::TVerdictKind::Unreadable;
    for (const TFoundFile::TCardRun& run : file.CardRuns) {
      map.Files.push_back({run.CardOffset, run.CardOffset + run.Length, MapKindOf(file.Ext), damaged});
      map.CardBytes = std::max(map.CardBytes, run.CardOffset + run.Length);
    }
  }
  if (!cardImageMap.empty()) map.Unreadable = UnreadableAreasOf(cardImageMap);
  return map;
}

void TPreviewPage::StopChecks() {
  if (Checker) Checker->Stop();
  checkedPaths_.clear();
}

void TPreviewPage::StartChecks() {
  StopChecks();
  if (!CheckFiles || !TPreviewChecker::Available()) {
    ShowCheckProgress();
    return;
  }
  if (!Checker) Checker = std::make_unique<TPreviewChecker>(CheckOptions);
  std::vector<TFileCheckJob> jobs;
  jobs.reserve(found_.Count());
  for (size_t i = 0; i < found_.Count(); ++i) {
    jobs.push_back({found_[i].TempFile, found_[i].Ext});
    checkedPaths_.push_back(found_[i].TempFile);
  }
  Checker->Start(std::move(jobs), [this](size_t index, const TFileCheck& check) { TakeCheck(index, check); });
  PreferShownSlots();
  ShowCheckProgress();
}

void TPreviewPage::PreferShownSlots() {
  int first = -1;
  int last = -1;
  for (int s = 0; s < SlotIndexes.size(); ++s) {
    if (SlotIndexes[s] < 0) continue;
    if (first < 0) first = s;
    last = s;
  }
  std::vector<size_t> shown;
  for (int s = std::max(0, first); s <= last && s >= 0; ++s)
    if (SlotIndexes[s] >= 0) shown.push_back(static_cast<size_t>(SlotIndexes[s]));
  if (Checker) Checker->Prefer(shown);
}

void TPreviewPage::PreferShownPage(int first, int last) {
  if (!Checker || !Checker->Running()) return;
  std::vector<size_t> shown;
  for (int p = first; p <= last && p < static_cast<int>(Order.size()); ++p) {
    const size_t i = static_cast<size_t>(Order[static_cast<size_t>(p)]);
    if (i < Checks.size() && Checks[i].Verdict.Kind == decode::TVerdictKind::NotChecked) shown.push_back(i);
  }
  Checker->Prefer(shown);
}

void TPreviewPage::TakeCheck(size_t index, const TFileCheck& check) {
  // A result for a list that has changed since (emptied, or a new scan) is not this file's.
  if (index >= Checks.size() || index >= found_.Count() || index >= checkedPaths_.size() ||
      found_[index].TempFile != checkedPaths_[index])
    return;
  Checks[index] = check;
  for (int s = 0; s < SlotIndexes.size(); ++s) {
    if (SlotIndexes[s] == static_cast<int>(index)) ShowCheck(s);
  }
  ShowCheckProgress();
}

void TPreviewPage::ShowCheck(int slot) {
  const int index = SlotIndexes.value(slot, -1);
  TJpegThumb* thumb = SlotThumbs.value(slot, nullptr);
  if (index < 0 || !thumb || static_cast<size_t>(index) >= Checks.size()) return;
  const TFileCheck& check = Checks[static_cast<size_t>(index)];
  const QString words = VerdictWords(check.Verdict);
  if (words.isEmpty()) return;
  thumb->setToolTip(SummaryWithOriginal(found_[index]).replace(QLatin1Char('|'), QLatin1Char('\n')) +
                    QLatin1Char('\n') + words);
  thumb->SetBadge(BadgeOf(check.Verdict));
  if (!check.Preview.isNull()) thumb->SetHelperPicture(check.Preview, ClipLength(check.Verdict.DurationMs));
}

void TPreviewPage::ShowCheckProgress() {
  QLabel* link = ui_.LS3;
  if (!TPreviewChecker::Available()) return;
  if (Checker && Checker->Running()) {
    link->setText(QCoreApplication::translate("Snapsalvager", "正在检查：%1/%2")
                      .arg(Checker->Checked())
                      .arg(Checker->Total()));
    link->setEnabled(false);
  } else {
    link->setText(QCoreApplication::translate("Snapsalvager", "只选完好的文件"));
    link->setEnabled(!Checks.empty() && CheckFiles);
  }
}

void TPreviewPage::AnchorWidgets(QWidget* central) {
  central_ = central;
  QWidget* const window = central->window();
  constexpr int kRight = 1, kDown = 2, kWider = 4, kTaller = 8;
  const auto anchor = [this](QWidget* w, int follow) {
    if (w) anchored_.push_back({w, w->geometry(), follow});
  };
  const auto named = [window](const char* name) { return window->findChild<QWidget*>(QLatin1String(name)); };
  // The window's frame: banner and rule across, the left picture down, the buttons along
  // the bottom right, the pages in between.
  anchor(named("PTop"), kWider);
  anchor(named("BevelTop"), kWider);
  anchor(named("PLeftImage"), kTaller);
  anchor(named("imgLeft"), kTaller);
  anchor(frame_.PC, kWider | kTaller);
  for (QWidget* b : {static_cast<QWidget*>(frame_.BBack), static_cast<QWidget*>(frame_.BNext),
                     static_cast<QWidget*>(frame_.BCancel)})
    anchor(b, kRight | kDown);
  // This page: the thumbnails take the room, the column on the right keeps beside them.
  anchor(ui_.PTab4, kWider | kTaller);
  anchor(ui_.imgTopBarStep3, kWider);
  anchor(ui_.LTopNoteStep3, kRight);
  anchor(ui_.PPreview, kWider | kTaller);
  anchor(ui_.SBPreview, kWider | kTaller);
  for (QWidget* w : {static_cast<QWidget*>(ui_.LPreviewTitle2), static_cast<QWidget*>(ui_.LTotalCaption),
                     static_cast<QWidget*>(ui_.LNum1), static_cast<QWidget*>(ui_.LSelectCaption),
                     static_cast<QWidget*>(ui_.LNum2), static_cast<QWidget*>(ui_.CSort),
                     static_cast<QWidget*>(ui_.LS1), static_cast<QWidget*>(ui_.LS2),
                     static_cast<QWidget*>(ui_.LS3), static_cast<QWidget*>(ui_.NOriginalNames),
                     static_cast<QWidget*>(ui_.LOriginalNames),
                     static_cast<QWidget*>(ui_.LPreviewQuestionLink)})
    anchor(w, kRight);
  anchor(ui_.LPreviewNote, kDown | kWider);
  sizeWatch_ = std::make_unique<TSizeWatch>([this] { FollowWindow(central_, onPage_); });
  central->installEventFilter(sizeWatch_.get());
}

void TPreviewPage::FollowWindow(QWidget* central, bool onPage) {
  if (!central) return;
  if (anchored_.empty()) AnchorWidgets(central);
  QWidget* const window = central->window();
  const int menu = window->height() - central->height();
  if (onPage != onPage_) {
    onPage_ = onPage;
    if (onPage) {
      // Resizable and maximizable on this page only: the other pages have their designed size.
      central->setMinimumSize(kDesignedClientSize);
      central->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
      window->setMinimumSize(kDesignedClientSize + QSize(0, menu));
      window->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    } else {
      if (window->isMaximized() || window->isFullScreen()) window->showNormal();
      central->setFixedSize(kDesignedClientSize);
      window->setFixedSize(kDesignedClientSize + QSize(0, menu));
    }
  }
  const QSize extra = (onPage ? central->size() : kDesignedClientSize) - kDesignedClientSize;
  const int dx = std::max(0, extra.width());
  const int dy = std::max(0, extra.height());
  for (const TAnchored& a : anchored_) {
    QRect r = a.Base;
    if (a.Follow & 1) r.translate(dx, 0);
    if (a.Follow & 2) r.translate(0, dy);
    if (a.Follow & 4) r.setWidth(r.width() + dx);
    if (a.Follow & 8) r.setHeight(r.height() + dy);
    if (a.Widget == ui_.PTab4) {
      // Laid out by the tab's layout: its fixed size is what changes.
      a.Widget->setFixedSize(r.size());
    } else if (a.Widget->geometry() != r) {
      a.Widget->setGeometry(r);
    }
  }
  if (GridFor(ui_.SBPreview->size()) != QSize(Columns, Rows)) regrid_.start();
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
