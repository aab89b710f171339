// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// TJpegThumb: one thumbnail of the preview page. It renders its picture (a decoded photo, a
// video's frame, an audio file's waveform or a placeholder) into a 100 x 75 offscreen picture,
// then paints that inside the shared frame picture without scaling, with a badge in its
// corner when the file's check found it damaged. It owns only its offscreen picture and,
// until the first render, its own decoded copy of the photo.
#pragma once

#include <QImage>
#include <QString>
#include <QWidget>

#include <memory>

#include "metadata/JpegDecode.h"

namespace snapsalvager {

class TJpegThumb : public QWidget {
  Q_OBJECT

 public:
  // The thumbnail's own copy of a photo: the JPEG bytes and, once taken, its decoded bitmap.
  struct TJpegPic {
    TJpegImage Image;
    int Scale = 8;  // 1 = full size, 8 = one eighth
    QImage Bitmap;
    TJpegDecodeStatus Status = TJpegDecodeStatus::Corrupt;
  };

  // The mark in the picture's corner: what the file's check found, when it is not whole.
  enum class TBadge { None, Damaged, Unreadable, CouldNotCheck };

  static constexpr int kOffscreenWidth = 100;
  static constexpr int kOffscreenHeight = 75;

  explicit TJpegThumb(QWidget* owner);
  ~TJpegThumb() override;

  // Caption, at most 255 characters; stored only (the name shows in the tick box).
  void Settext(const QString& text);
  const QString& text() const { return text_; }

  // Takes a photo: scale from LoadFullSize, own copy of the bytes, decoded at once.
  void SetPicJPG(const TJpegImage& image);
  // Takes a photo already decoded at one eighth (the page decodes its photos ahead).
  void SetDecodedPic(TJpegPicture picture);
  // How the photo decoded (Corrupt when nothing did, or no photo was given).
  TJpegDecodeStatus PicStatus() const { return picStatus_; }

  const QImage* PicBmp() const { return fpicbmp; }
  void SetPicBmp(const QImage* bitmap) { fpicbmp = bitmap; }
  const QImage* imageframe() const { return fimageframe; }
  void SetImageframe(const QImage* frame) { fimageframe = frame; }

  bool IsBMP = false;         // draw PicBmp rather than the photo
  bool LoadFullSize = false;  // draw unscaled; otherwise stretch and decode photos at 1/8

  // Replaces whatever was drawn by a picture the decode helper made (a video's frame, an
  // audio file's waveform), shrunk to fit with its proportions, and caption (the length)
  // written across its foot when not empty.
  void SetHelperPicture(const QImage& picture, const QString& caption);
  void SetBadge(TBadge badge);
  TBadge Badge() const { return badge_; }

  // Renders the picture if that has not happened yet, then repaints at once.
  void Paint();
  bool Rendered() const { return rendered_; }
  const QImage& Offscreen() const { return offscreen_; }
  bool HoldsPhoto() const { return fmypic != nullptr; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void Render();

  std::unique_ptr<TJpegPic> fmypic;         // released after the first render
  const QImage* fimageframe = nullptr;      // shared frame, not owned
  const QImage* fpicbmp = nullptr;          // placeholder, not owned
  QString text_;
  bool rendered_ = false;
  TBadge badge_ = TBadge::None;
  TJpegDecodeStatus picStatus_ = TJpegDecodeStatus::Corrupt;
  QImage offscreen_;
};

}  // namespace snapsalvager
