// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Page T4, the preview: the found files cut into pages of six, one page at a time as
// thumbnails with a tick box under each, the ticks kept in each record's Selected field. The
// page owns its thumbnails, its slots and the photos decoded ahead for the page being filled;
// the found files are the window's, shared with the scan and the save.
#pragma once

#include <QCheckBox>
#include <QHash>
#include <QIcon>
#include <QImage>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>

#include "metadata/JpegDecode.h"
#include "session/FoundFiles.h"
#include "ui_MainForm.h"
#include "ui_PreviewPage.h"

namespace snapsalvager {

class TJpegThumb;

// One page of the preview's page list, held as the data of its CFileList entry.
struct TPreviewRecord {
  int FirstIndex = -1;  // index in FoundFiles of the page's first file
  int LastIndex = -1;   // of its last file, inclusive
  QString FirstName;
};

class TPreviewPage {
 public:
  // frame: the window's buttons and menu, held disabled while a page is filled. The found
  // files and the file-type icons (names and icons, in step) are the window's.
  TPreviewPage(Ui::PreviewPage& ui, Ui::MainForm& frame, TFoundFileList& foundFiles,
               const QStringList& extIconNames, const QList<QIcon>& extIcons)
      : ui_(ui), frame_(frame), found_(foundFiles), extIconNames_(extIconNames), extIcons_(extIcons) {}
  TPreviewPage(const TPreviewPage&) = delete;
  TPreviewPage& operator=(const TPreviewPage&) = delete;

  QList<TJpegThumb*> ThumbnailList;
  QImage FrameBitmap;
  int LastShownPage = -1;
  std::array<QCheckBox*, 6> SlotBoxes{};   // C1..C6 in slot order
  std::array<TFoundFile*, 6> SlotFiles{};  // the record shown in each slot, or null
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

  // Fills PagePhotos with the photos among the found files first..last.
  void DecodePagePhotos(int first, int last);
  // Decoded photo of a page slot: from the page's decoding ahead, else decoded now; nullopt
  // when the temporary file cannot be read.
  std::optional<TPreviewDecode> TakePagePhoto(const QString& tempPath, bool scrambled);
  void AddThumbnail(const QString& tempPath, const QString& ext, int top, int left,
                    const QString& fileName, bool scrambled, const QString& summary);
  void ClearThumbnails();
  void ClearPages();
  void SetPageIcons();
  // The found files were emptied: no slot points into them any more.
  void ForgetSlotFiles() { SlotFiles.fill(nullptr); }
  // 2 video, 3 audio, 1 anything else (raw pictures and other types); ext like ".MOV".
  static int PlaceholderKind(const QString& ext);

 private:
  Ui::PreviewPage& ui_;
  Ui::MainForm& frame_;
  TFoundFileList& found_;
  const QStringList& extIconNames_;
  const QList<QIcon>& extIcons_;
};

}  // namespace snapsalvager

Q_DECLARE_METATYPE(snapsalvager::TPreviewRecord)
