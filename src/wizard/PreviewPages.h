// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Page T4, the preview: the found files cut into pages (six by default, as many as the grid
// holds when the window is made larger), one page at a time as thumbnails with a tick box
// under each, the ticks kept in each record's Selected field. Every found file is checked in
// the background by the sandboxed decode helpers (TPreviewChecker): a badge and the verdict
// on each damaged thumbnail, a video's frame and an audio file's waveform instead of their
// placeholders. The page can be sorted by kind, date or verdict. It owns its thumbnails, its
// slots, the photos decoded ahead for the page being filled and the checks' results; the
// found files are the window's, shared with the scan and the save.
#pragma once

#include <QCheckBox>
#include <QHash>
#include <QIcon>
#include <QImage>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QStringList>

#include <QRect>
#include <QTimer>

#include <memory>
#include <optional>
#include <vector>

#include "metadata/JpegDecode.h"
#include "session/FoundFiles.h"
#include "wizard/CardMap.h"
#include "wizard/PreviewChecks.h"
#include "ui_MainForm.h"
#include "ui_PreviewPage.h"

namespace snapsalvager {

class TJpegThumb;

// One page of the preview's page list, held as the data of its CFileList entry.
struct TPreviewRecord {
  int FirstIndex = -1;  // position in the page's order (TPreviewPage::Order) of its first file
  int LastIndex = -1;   // of its last file, inclusive
  QString FirstName;
};

// The orders of CSort's entries.
enum class TPreviewOrder { Number = 0, Kind = 1, Date = 2, Verdict = 3 };

// The words of a verdict in the window's language ("Damaged – decodes to 62 %"); empty for
// a file no decoder knows.
QString VerdictWords(const decode::TVerdict& verdict);
// The file's summary, with the name, folder and date its directory entry gave it when one
// did ('|' separates the lines).
QString SummaryWithOriginal(const TFoundFile& file);
// The length of a clip as a thumbnail shows it: "0:07", "12:30", "1:02:03"; empty for 0.
QString ClipLength(int64_t milliseconds);

class TPreviewPage {
 public:
  // The grid's pitch: a thumbnail and its tick box.
  static constexpr int kThumbPitchX = 140;
  static constexpr int kThumbPitchY = 120;

  // frame: the window's buttons and menu, held disabled while a page is filled. The found
  // files and the file-type icons (names and icons, in step) are the window's.
  TPreviewPage(Ui::PreviewPage& ui, Ui::MainForm& frame, TFoundFileList& foundFiles,
               const QStringList& extIconNames, const QList<QIcon>& extIcons);
  ~TPreviewPage();
  TPreviewPage(const TPreviewPage&) = delete;
  TPreviewPage& operator=(const TPreviewPage&) = delete;

  QList<TJpegThumb*> ThumbnailList;
  QImage FrameBitmap;
  int LastShownPage = -1;
  QList<QCheckBox*> SlotBoxes;    // C1..C6 in slot order, then those made for a larger grid
  QList<TFoundFile*> SlotFiles;   // the record shown in each slot, or null
  QList<TJpegThumb*> SlotThumbs;  // the thumbnail of each slot, or null
  QList<int> SlotIndexes;         // the index in FoundFiles of each slot's file, or -1
  // The order of the pages: Order[position] is an index in FoundFiles.
  std::vector<int> Order;
  TPreviewOrder SortOrder = TPreviewOrder::Number;
  // The grid: columns x rows thumbnails a page (3 x 2 at the window's designed size).
  int Columns = 3;
  int Rows = 2;
  int FilesPerPage() const { return Columns * Rows; }

  // The background checks: on unless a test turns them off; where the helper is.
  bool CheckFiles = true;
  TFileCheckOptions CheckOptions;
  // Each found file's check, by index in FoundFiles (Kind NotChecked until it came).
  std::vector<TFileCheck> Checks;
  std::unique_ptr<TPreviewChecker> Checker;
  // The photos of the page being filled, read and decoded ahead on all cores, by temporary
  // path; AddThumbnail takes its photo from here when present.
  QHash<QString, TPreviewDecode> PagePhotos;

  // Start-up: C1..C6 into SlotBoxes, in slot order, and the thumbnails' frame.
  void RegisterSlots();
  void LoadFrameBitmap();

  // The step is entered: the page list made afresh from the found files, the first on show.
  void Enter();
  void CFileListChange();
  void BPageUpClick(QObject* sender);
  void BPreviewClick();
  void C1Click(QCheckBox* sender);
  void LS1Click(QObject* sender);
  // LS3: ticks the files whose check found them whole, unticks every other.
  void SelectOnlyWhole();
  // CSort: the pages made afresh in this order, the first on show.
  void SortBy(TPreviewOrder order);
  // The window was resized (or the page shown or left): the page follows the client area's
  // size, and the grid holds as many thumbnails as fit.
  void FollowWindow(QWidget* central, bool onPage);
  // The grid for a thumbnail area of this size: at least one column and one row.
  static QSize GridFor(QSize area);

  // Fills PagePhotos with the photos among the files at positions first..last of Order.
  void DecodePagePhotos(int first, int last);
  // The photos' pictures, decoded by the sandboxed helpers (in the window's process only
  // where no helper exists, or for a plain file of the user's); in the order of paths.
  std::vector<TPreviewDecode> DecodePhotos(const std::vector<std::filesystem::path>& paths,
                                           const std::vector<std::string>& types, bool scrambled);
  // Decoded photo of a page slot: from the page's decoding ahead, else decoded now; nullopt
  // when the temporary file cannot be read.
  std::optional<TPreviewDecode> TakePagePhoto(const QString& tempPath, bool scrambled);
  void AddThumbnail(const QString& tempPath, const QString& ext, int top, int left,
                    const QString& fileName, bool scrambled, const QString& summary);
  void ClearThumbnails();
  void ClearPages();
  void SetPageIcons();
  // The found files were emptied: no slot points into them any more, and their checks end.
  void ForgetSlotFiles();
  // The card map of the found files (where each lies, its kind, whether its check found it
  // damaged) on a card of cardBytes (larger when a file lies beyond), with the unreadable
  // areas of the card image's map when the scan wrote one.
  // cardImageMap: the map of the scan's card image, whose unreadable sectors it shows; may be empty.
  // Unreadable areas from the card image's map when there is one, else those the scan saw.
  TCardMap CardMapOfFoundFiles(uint64_t cardBytes, const std::filesystem::path& cardImageMap,
                               const std::vector<std::pair<uint64_t, uint64_t>>& scanUnreadable = {}) const;
  // Ends the background checks (the found files are about to change or be saved).
  void StopChecks();
  // 2 video, 3 audio, 1 anything else (raw pictures and other types); ext like ".MOV".
  static int PlaceholderKind(const QString& ext);

 private:
  void BuildPages(int keepIndex);
  void StartChecks();
  void PreferShownSlots();
  void PreferShownPage(int first, int last);  // positions in Order
  void TakeCheck(size_t index, const TFileCheck& check);
  void ShowCheck(int slot);
  void ShowCheckProgress();
  void EnsureSlots(int count);
  void PlaceSlots();
  struct TAnchored {
    QWidget* Widget;
    QRect Base;
    int Follow;  // bits: 1 move right, 2 move down, 4 grow wider, 8 grow taller
  };
  void AnchorWidgets(QWidget* central);

  Ui::PreviewPage& ui_;
  Ui::MainForm& frame_;
  TFoundFileList& found_;
  const QStringList& extIconNames_;
  const QList<QIcon>& extIcons_;
  std::vector<TAnchored> anchored_;
  std::vector<std::filesystem::path> checkedPaths_;  // the checks' files, by found index
  QTimer regrid_;  // a new grid once the size has settled
  std::unique_ptr<QObject> sizeWatch_;
  QWidget* central_ = nullptr;
  bool onPage_ = false;
};

}  // namespace snapsalvager

Q_DECLARE_METATYPE(snapsalvager::TPreviewRecord)
