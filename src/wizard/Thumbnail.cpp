// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
#include "wizard/Thumbnail.h"

#include <QPainter>
#include <QPaintEvent>

namespace snapsalvager {

TJpegThumb::TJpegThumb(QWidget* owner)
    : QWidget(owner),
      fmypic(std::make_unique<TJpegPic>()),
      offscreen_(kOffscreenWidth, kOffscreenHeight, QImage::Format_RGB32) {
  offscreen_.fill(Qt::white);
  setAttribute(Qt::WA_OpaquePaintEvent);  // every pixel is painted from the frame
}

TJpegThumb::~TJpegThumb() = default;

void TJpegThumb::Settext(const QString& text) { text_ = text.left(255); }

void TJpegThumb::SetPicJPG(const TJpegImage& image) {
  if (!fmypic) fmypic = std::make_unique<TJpegPic>();
  fmypic->Scale = LoadFullSize ? 1 : 8;
  fmypic->Image = image;  // shares the bytes
  TJpegPicture picture = fmypic->Image.Decode(fmypic->Scale);
  fmypic->Image.Clear();  // the decoded bitmap is all the render needs
  SetDecodedPic(std::move(picture));
}

void TJpegThumb::SetDecodedPic(TJpegPicture picture) {
  if (!fmypic) fmypic = std::make_unique<TJpegPic>();
  fmypic->Status = picture.Status;
  picStatus_ = picture.Status;
  fmypic->Bitmap = QImage();
  if (picture.Status != TJpegDecodeStatus::Corrupt) {
    fmypic->Bitmap = QImage(picture.Pixels.data(), picture.Width, picture.Height,
                            picture.Width * 3, QImage::Format_RGB888)
                         .copy();  // the picture's buffer dies with this call
  }
}

void TJpegThumb::Render() {
  offscreen_ = QImage(kOffscreenWidth, kOffscreenHeight, QImage::Format_RGB32);
  offscreen_.fill(Qt::white);
  const QImage* source = nullptr;
  if (IsBMP) {
    source = fpicbmp;
  } else if (fmypic && !fmypic->Bitmap.isNull()) {
    source = &fmypic->Bitmap;
  }
  if (source && !source->isNull()) {
    QPainter p(&offscreen_);
    if (LoadFullSize) {
      p.drawImage(0, 0, *source);
    } else {
      // Area-averaged shrink: the 1/8 decode is still several times the thumbnail's size.
      p.drawImage(0, 0,
                  source->scaled(kOffscreenWidth - 1, kOffscreenHeight - 1, Qt::IgnoreAspectRatio,
                                 Qt::SmoothTransformation));
    }
  }
  fmypic.reset();
  fpicbmp = nullptr;  // a placeholder may be released by its loader once rendered
  rendered_ = true;
}

void TJpegThumb::SetHelperPicture(const QImage& picture, const QString& caption) {
  if (picture.isNull()) return;
  offscreen_ = QImage(kOffscreenWidth, kOffscreenHeight, QImage::Format_RGB32);
  offscreen_.fill(Qt::black);
  QPainter p(&offscreen_);
  const QImage fitted = picture.scaled(kOffscreenWidth - 1, kOffscreenHeight - 1, Qt::KeepAspectRatio,
                                       Qt::SmoothTransformation);
  p.drawImage((kOffscreenWidth - 1 - fitted.width()) / 2, (kOffscreenHeight - 1 - fitted.height()) / 2, fitted);
  if (!caption.isEmpty()) {
    QFont font = p.font();
    font.setPixelSize(11);
    p.setFont(font);
    const QRect band(0, kOffscreenHeight - 15, kOffscreenWidth - 1, 14);
    p.fillRect(band, QColor(0, 0, 0, 160));
    p.setPen(Qt::white);
    p.drawText(band.adjusted(3, 0, -3, 0), Qt::AlignRight | Qt::AlignVCenter, caption);
  }
  p.end();
  fmypic.reset();
  fpicbmp = nullptr;
  rendered_ = true;
  update();
}

void TJpegThumb::SetBadge(TBadge badge) {
  if (badge_ == badge) return;
  badge_ = badge;
  update();
}

void TJpegThumb::Paint() {
  if (!rendered_) Render();
  if (isVisible()) repaint();
}

void TJpegThumb::paintEvent(QPaintEvent*) {
  if (!rendered_) Render();
  QPainter p(this);
  // R: the client rectangle with its right and bottom edges moved in by one.
  const QRect r(0, 0, width() - 1, height() - 1);
  p.fillRect(rect(), Qt::white);  // the page behind the thumbnail is white
  if (fimageframe && !fimageframe->isNull()) p.drawImage(r, *fimageframe, r);
  // From (10, 10) to (R.right - 10, R.bottom - 15): 99 x 74 for the standard 120 x 100 size,
  // the offscreen picture's own size less its last column and row, so nothing is scaled.
  const QRect target(QPoint(10, 10), QPoint(r.width() - 10 - 1, r.height() - 15 - 1));
  p.drawImage(target, offscreen_, QRect(0, 0, kOffscreenWidth - 1, kOffscreenHeight - 1));
  if (badge_ != TBadge::None) {
    // A round mark in the picture's top right corner: orange "!" damaged, red "×" unreadable,
    // grey "?" not checkable; white-ringed so it shows on any picture.
    struct TMark {
      QColor Colour;
      QChar Sign;
    };
    const TMark mark = badge_ == TBadge::Damaged      ? TMark{QColor(230, 120, 0), QLatin1Char('!')}
                       : badge_ == TBadge::Unreadable ? TMark{QColor(200, 0, 0), QChar(0x00D7)}
                                                      : TMark{QColor(110, 110, 110), QLatin1Char('?')};
    const QRect circle(target.right() - 17, target.top() + 2, 16, 16);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::white, 1.5));
    p.setBrush(mark.Colour);
    p.drawEllipse(circle);
    QFont font = p.font();
    font.setPixelSize(12);
    font.setBold(true);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(circle, Qt::AlignCenter, QString(mark.Sign));
  }
}

}  // namespace snapsalvager
