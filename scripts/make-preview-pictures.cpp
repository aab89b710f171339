// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Draws the pictures of the preview page into resources/images/: the thumbnail frame "pvframe"
// (120 x 100), the placeholders "pvraw", "pvvideo", "pvaudio", "pvcorrupt" (100 x 75, 24-bit
// BMP), the English window's "pvraw_en", "pvvideo_en", "pvaudio_en" (the same pictures with an
// English banner) and the empty 2 x 2 JPEG "pvempty". Built and run by make-preview-pictures.sh;
// the results are committed, so the build never needs this.
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QString>
#include <cstdio>

namespace {

QString g_outDir;
// The banner's text and font: Chinese, then English for the "_en" pictures.
QString g_banner = QString::fromUtf8("仅预览 JPEG 照片");
QString g_bannerFont = QStringLiteral("Noto Sans CJK SC");

void Save(const QImage& image, const char* name, const char* format) {
  const QString path = g_outDir + "/" + name;
  if (!image.save(path, format, 95)) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    std::exit(1);
  }
  std::printf("%s %dx%d\n", qPrintable(path), image.width(), image.height());
}

QImage Canvas(int w, int h, QColor fill) {
  QImage image(w, h, QImage::Format_RGB888);
  image.fill(fill);
  return image;
}

// The soft background shared by the placeholders.
void Backdrop(QPainter& p, QColor top, QColor bottom) {
  QLinearGradient g(0, 0, 0, 75);
  g.setColorAt(0, top);
  g.setColorAt(1, bottom);
  p.fillRect(QRect(0, 0, 100, 75), g);
}

// "Only JPEG photos are previewed" along the bottom.
void Banner(QPainter& p) {
  p.fillRect(QRect(0, 59, 100, 16), QColor(40, 60, 90, 220));
  p.setPen(QColor(255, 255, 255));
  QFont f(g_bannerFont);
  f.setPixelSize(10);
  p.setFont(f);
  p.drawText(QRect(0, 59, 100, 16), Qt::AlignCenter, g_banner);
}

QImage Frame() {
  QImage image = Canvas(120, 100, Qt::white);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  // Soft shadow: a few widening, fading outlines down and to the right of the card.
  for (int i = 4; i >= 1; --i) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 14 + (4 - i) * 8));
    p.drawRoundedRect(QRectF(3 + i * 0.5 + 1.5, 3 + i * 0.5 + 1.5, 112 + i * 0.4, 91 + i * 0.4),
                      2.5, 2.5);
  }
  QLinearGradient card(0, 3, 0, 94);
  card.setColorAt(0, QColor(255, 255, 255));
  card.setColorAt(1, QColor(246, 246, 246));
  p.setBrush(card);
  p.setPen(QPen(QColor(178, 178, 178), 1));
  p.drawRect(QRectF(3.5, 3.5, 111, 90));
  // A hairline where the picture sits, so light photos still read as a print.
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setPen(QColor(214, 214, 214));
  p.setBrush(Qt::NoBrush);
  p.drawRect(QRect(9, 9, 100, 75));
  return image;
}

QImage Raw() {
  QImage image = Canvas(100, 75, Qt::white);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  Backdrop(p, QColor(236, 241, 248), QColor(200, 212, 228));
  // Camera body, grip, viewfinder hump.
  p.setPen(QPen(QColor(30, 30, 34), 1));
  QLinearGradient body(0, 14, 0, 52);
  body.setColorAt(0, QColor(92, 96, 104));
  body.setColorAt(1, QColor(44, 46, 52));
  p.setBrush(body);
  QPainterPath hump;
  hump.moveTo(38, 18);
  hump.lineTo(42, 10);
  hump.lineTo(58, 10);
  hump.lineTo(62, 18);
  hump.closeSubpath();
  p.drawPath(hump);
  p.drawRoundedRect(QRectF(22, 17, 56, 36), 5, 5);
  // Lens.
  QRadialGradient lens(50, 35, 14);
  lens.setColorAt(0, QColor(120, 150, 200));
  lens.setColorAt(0.45, QColor(30, 40, 70));
  lens.setColorAt(1, QColor(10, 10, 14));
  p.setBrush(lens);
  p.setPen(QPen(QColor(170, 172, 178), 2));
  p.drawEllipse(QPointF(50, 35), 13, 13);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(255, 255, 255, 150));
  p.drawEllipse(QPointF(45.5, 30.5), 3, 2.2);
  // Shutter button and flash.
  p.setBrush(QColor(200, 40, 40));
  p.drawRoundedRect(QRectF(66, 13, 8, 4), 1.5, 1.5);
  p.setBrush(QColor(235, 235, 220));
  p.drawRect(QRectF(26, 21, 7, 4));
  // "RAW" tag.
  p.setBrush(QColor(230, 120, 20));
  p.drawRoundedRect(QRectF(64, 40, 24, 12), 2.5, 2.5);
  QFont f("DejaVu Sans");
  f.setPixelSize(8);
  f.setBold(true);
  p.setFont(f);
  p.setPen(Qt::white);
  p.drawText(QRectF(64, 40, 24, 12), Qt::AlignCenter, "RAW");
  Banner(p);
  return image;
}

QImage Video() {
  QImage image = Canvas(100, 75, Qt::white);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  Backdrop(p, QColor(240, 236, 246), QColor(210, 200, 226));
  // A slanted film strip with sprocket holes and three frames.
  p.save();
  p.translate(50, 32);
  p.rotate(-8);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(28, 28, 32));
  p.drawRect(QRectF(-46, -19, 92, 38));
  p.setBrush(QColor(235, 235, 235));
  for (int i = 0; i < 11; ++i) {
    p.drawRoundedRect(QRectF(-44 + i * 8.4, -17, 4.6, 4), 0.8, 0.8);
    p.drawRoundedRect(QRectF(-44 + i * 8.4, 13, 4.6, 4), 0.8, 0.8);
  }
  const QColor frames[3] = {QColor(96, 150, 214), QColor(120, 190, 120), QColor(232, 176, 80)};
  for (int i = 0; i < 3; ++i) {
    QLinearGradient g(0, -11, 0, 11);
    g.setColorAt(0, frames[i].lighter(130));
    g.setColorAt(1, frames[i].darker(120));
    p.setBrush(g);
    p.drawRect(QRectF(-43 + i * 29.5, -10.5, 27, 21));
  }
  p.restore();
  // Play button.
  p.setBrush(QColor(255, 255, 255, 225));
  p.setPen(QPen(QColor(60, 60, 70), 1));
  p.drawEllipse(QPointF(50, 32), 11, 11);
  QPainterPath play;
  play.moveTo(46, 26);
  play.lineTo(57, 32);
  play.lineTo(46, 38);
  play.closeSubpath();
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(200, 40, 40));
  p.drawPath(play);
  Banner(p);
  return image;
}

QImage Audio() {
  QImage image = Canvas(100, 75, Qt::white);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  Backdrop(p, QColor(236, 246, 238), QColor(196, 224, 204));
  // Loudspeaker: magnet box and cone.
  QLinearGradient metal(0, 16, 0, 50);
  metal.setColorAt(0, QColor(110, 116, 124));
  metal.setColorAt(1, QColor(50, 54, 60));
  p.setBrush(metal);
  p.setPen(QPen(QColor(30, 32, 36), 1));
  p.drawRoundedRect(QRectF(24, 25, 12, 16), 2, 2);
  QPainterPath cone;
  cone.moveTo(36, 25);
  cone.lineTo(52, 12);
  cone.lineTo(52, 54);
  cone.lineTo(36, 41);
  cone.closeSubpath();
  p.drawPath(cone);
  // Sound waves.
  p.setBrush(Qt::NoBrush);
  for (int i = 0; i < 3; ++i) {
    p.setPen(QPen(QColor(30, 120, 60, 230 - i * 50), 2.6, Qt::SolidLine, Qt::RoundCap));
    const double r = 8 + i * 7;
    p.drawArc(QRectF(52 - r, 33 - r, 2 * r, 2 * r), -45 * 16, 90 * 16);
  }
  // A note, so it reads as music rather than a warning.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(40, 60, 90));
  p.drawEllipse(QPointF(82, 47), 3.2, 2.4);
  p.drawRect(QRectF(84.2, 34, 1.4, 13));
  p.drawRect(QRectF(84.2, 34, 5, 2));
  Banner(p);
  return image;
}

QImage Corrupt() {
  QImage image = Canvas(100, 75, Qt::white);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  // A landscape: sky, sun, two hills.
  QLinearGradient sky(0, 0, 0, 50);
  sky.setColorAt(0, QColor(120, 170, 228));
  sky.setColorAt(1, QColor(210, 230, 248));
  p.fillRect(QRect(0, 0, 100, 75), sky);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(255, 214, 90));
  p.drawEllipse(QPointF(76, 17), 8, 8);
  QPainterPath far;
  far.moveTo(0, 52);
  far.quadTo(26, 22, 52, 46);
  far.quadTo(70, 30, 100, 44);
  far.lineTo(100, 75);
  far.lineTo(0, 75);
  far.closeSubpath();
  p.setBrush(QColor(92, 150, 96));
  p.drawPath(far);
  QPainterPath near;
  near.moveTo(0, 62);
  near.quadTo(40, 48, 100, 64);
  near.lineTo(100, 75);
  near.lineTo(0, 75);
  near.closeSubpath();
  p.setBrush(QColor(58, 112, 60));
  p.drawPath(near);
  // The lower part of a damaged photo: grey, as a decoder leaves missing data.
  p.setBrush(QColor(128, 128, 128));
  QPainterPath lost;
  lost.moveTo(0, 58);
  lost.lineTo(18, 55);
  lost.lineTo(30, 60);
  lost.lineTo(47, 53);
  lost.lineTo(61, 59);
  lost.lineTo(78, 52);
  lost.lineTo(100, 57);
  lost.lineTo(100, 75);
  lost.lineTo(0, 75);
  lost.closeSubpath();
  p.drawPath(lost);
  p.setPen(QPen(QColor(60, 60, 60), 1));
  p.setBrush(Qt::NoBrush);
  p.drawPath(lost);
  // Red "broken" badge.
  p.setPen(QPen(Qt::white, 2));
  p.setBrush(QColor(204, 32, 32));
  p.drawEllipse(QPointF(24, 24), 13, 13);
  p.setPen(QPen(Qt::white, 3.2, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(18.5, 18.5), QPointF(29.5, 29.5));
  p.drawLine(QPointF(29.5, 18.5), QPointF(18.5, 29.5));
  return image;
}

QImage Empty() { return Canvas(2, 2, Qt::white); }

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT_DIR\n", argv[0]);
    return 2;
  }
  g_outDir = QString::fromLocal8Bit(argv[1]);
  Save(Frame(), "pvframe.bmp", "BMP");
  Save(Raw(), "pvraw.bmp", "BMP");
  Save(Video(), "pvvideo.bmp", "BMP");
  Save(Audio(), "pvaudio.bmp", "BMP");
  Save(Corrupt(), "pvcorrupt.bmp", "BMP");
  Save(Empty(), "pvempty.jpg", "JPG");
  g_banner = QStringLiteral("JPEG preview only");
  g_bannerFont = QStringLiteral("DejaVu Sans");
  Save(Raw(), "pvraw_en.bmp", "BMP");
  Save(Video(), "pvvideo_en.bmp", "BMP");
  Save(Audio(), "pvaudio_en.bmp", "BMP");
  return 0;
}
