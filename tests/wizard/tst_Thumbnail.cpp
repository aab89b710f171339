// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// TJpegThumb: renders its picture once into the 100 x 75 offscreen picture and paints it
// inside the frame without scaling.
#include <QtTest>

#include "WizardTestSupport.h"
#include "fixtures/Jpegs.h"
#include "wizard/Thumbnail.h"

using namespace snapsalvager;

namespace {

TJpegImage QuadrantJpeg(int width, int height) {
  TJpegImage image;
  image.LoadFromBytes(fixtures::EncodeJpeg(width, height));
  return image;
}

bool Near(QRgb got, fixtures::Rgb want, int tolerance = 30) {
  return std::abs(qRed(got) - want.R) <= tolerance && std::abs(qGreen(got) - want.G) <= tolerance &&
         std::abs(qBlue(got) - want.B) <= tolerance;
}

// A frame with a different colour in every pixel, to see exactly what is copied where.
QImage PatternFrame() {
  QImage frame(120, 100, QImage::Format_RGB32);
  for (int y = 0; y < 100; ++y)
    for (int x = 0; x < 120; ++x) frame.setPixel(x, y, qRgb(x * 2, y * 2, 77));
  return frame;
}

}  // namespace

class TestThumbnail : public QObject {
  Q_OBJECT

 private slots:
  void TheCaptionKeepsAtMost255Characters() {
    TJpegThumb thumb(nullptr);
    thumb.Settext(QString(300, QLatin1Char('x')));
    QCOMPARE(thumb.text().size(), 255);
    thumb.Settext(QStringLiteral("File0001.JPG"));
    QCOMPARE(thumb.text(), QStringLiteral("File0001.JPG"));
  }

  void APhotoIsStretchedOverAllButTheLastColumnAndRow() {
    TJpegThumb thumb(nullptr);
    thumb.SetPicJPG(QuadrantJpeg(320, 240));  // 40 x 30 at one eighth
    QCOMPARE(thumb.PicStatus(), TJpegDecodeStatus::Image);
    QVERIFY(thumb.HoldsPhoto());
    thumb.Paint();
    QVERIFY(thumb.Rendered());
    QVERIFY(!thumb.HoldsPhoto());  // the photo copy goes after the first render
    const QImage& off = thumb.Offscreen();
    QCOMPARE(off.size(), QSize(100, 75));
    QVERIFY(Near(off.pixel(0, 0), fixtures::QuadrantColour(0)));
    QVERIFY(Near(off.pixel(97, 1), fixtures::QuadrantColour(1)));
    QVERIFY(Near(off.pixel(1, 72), fixtures::QuadrantColour(2)));
    QCOMPARE(off.pixel(99, 1), qRgb(255, 255, 255));  // outside (0, 0)-(99, 74)
    QCOMPARE(off.pixel(1, 74), qRgb(255, 255, 255));
  }

  void APlaceholderIsDrawnAtItsOwnSizeAndRenderedOnlyOnce() {
    QImage small(50, 40, QImage::Format_RGB32);
    small.fill(qRgb(10, 20, 30));
    QImage other(100, 75, QImage::Format_RGB32);
    other.fill(qRgb(200, 0, 0));
    TJpegThumb thumb(nullptr);
    thumb.LoadFullSize = true;
    thumb.IsBMP = true;
    thumb.SetPicBmp(&small);
    thumb.Paint();
    QCOMPARE(thumb.Offscreen().pixel(49, 39), qRgb(10, 20, 30));
    QCOMPARE(thumb.Offscreen().pixel(50, 40), qRgb(255, 255, 255));
    thumb.SetPicBmp(&other);
    thumb.Paint();
    QCOMPARE(thumb.Offscreen().pixel(49, 39), qRgb(10, 20, 30));
  }

  void PaintingCopiesTheFrameAndThePicturePixelForPixel() {
    const QImage frame = PatternFrame();
    QImage picture(100, 75, QImage::Format_RGB32);
    for (int y = 0; y < 75; ++y)
      for (int x = 0; x < 100; ++x) picture.setPixel(x, y, qRgb(x, 255 - y, 3));
    TJpegThumb thumb(nullptr);
    thumb.SetImageframe(&frame);
    thumb.LoadFullSize = true;
    thumb.IsBMP = true;
    thumb.SetPicBmp(&picture);
    thumb.resize(120, 100);
    thumb.Paint();
    const QImage shot = thumb.grab().toImage().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(shot.size(), QSize(120, 100));
    // The picture's area (0, 0)-(98, 73) lands at (10, 10)-(108, 83), unscaled.
    for (const QPoint p : {QPoint(0, 0), QPoint(50, 30), QPoint(98, 73)})
      QCOMPARE(shot.pixel(p + QPoint(10, 10)), picture.pixel(p));
    // The frame shows around it, up to but not including the last column and row.
    for (const QPoint p : {QPoint(0, 0), QPoint(109, 84), QPoint(118, 98), QPoint(5, 90)})
      QCOMPARE(shot.pixel(p), frame.pixel(p));
    QCOMPARE(shot.pixel(119, 50), qRgb(255, 255, 255));
    QCOMPARE(shot.pixel(60, 99), qRgb(255, 255, 255));
  }

  void APhotoWithoutOneDecodableRowReportsCorrupt() {
    TJpegThumb thumb(nullptr);
    // A header whose size is far beyond its data and beyond the output cap at full size.
    TJpegImage image;
    image.LoadFromBytes(fixtures::WithFrameSize(fixtures::EncodeJpeg(64, 48), 12000, 9000));
    thumb.LoadFullSize = true;
    thumb.SetPicJPG(image);
    QCOMPARE(thumb.PicStatus(), TJpegDecodeStatus::Corrupt);
    thumb.Paint();
    QCOMPARE(thumb.Offscreen().pixel(50, 40), qRgb(255, 255, 255));
  }
};

SNAPSALVAGER_WIZARD_TEST_MAIN(TestThumbnail)
#include "tst_Thumbnail.moc"
