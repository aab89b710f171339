// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Page T4's grid: as many thumbnails as the client area holds, the controls around it
// anchored to its edges while the window is resized or maximized; the designed 3 x 2 at the
// designed size.
#include <QCheckBox>
#include <QEvent>
#include <QObject>
#include <QWidget>
#include <algorithm>
#include <functional>

#include "wizard/PreviewPages.h"

namespace snapsalvager {
namespace {

// The designed size of the client area, which the page is laid out for.
constexpr QSize kDesignedClientSize(744, 487);

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

}  // namespace snapsalvager
