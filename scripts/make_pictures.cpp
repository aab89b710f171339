// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Draws the wizard's pictures into resources/images/ (the desktop icons are rendered from
// resources/icons/hicolor/scalable/apps/snapsalvager.svg). Run by scripts/make_pictures.sh
// when a picture changes; the PNGs are kept in the tree so a build needs no drawing.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cstdio>
#include <functional>

namespace {

QString g_dir;

using DrawFunction = std::function<void(QPainter&, double, double)>;

// Draws at `scale` times the size and scales down, for smooth small pictures.
void SaveTo(const QString& path, int w, int h, const DrawFunction& draw, int scale) {
  QImage big(w * scale, h * scale, QImage::Format_ARGB32_Premultiplied);
  big.fill(Qt::transparent);
  {
    QPainter p(&big);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(scale, scale);
    draw(p, w, h);
  }
  QImage out = big.scaled(w, h, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  if (!out.save(path)) std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
}

void Save(const char* name, int w, int h, const DrawFunction& draw, int scale = 4) {
  SaveTo(g_dir + "/" + name, w, h, draw, scale);
}

const QColor kBlueDark(0x0B, 0x3D, 0x7A);
const QColor kBlue(0x1E, 0x5A, 0xA8);
const QColor kBlueLight(0x3D, 0x8B, 0xDB);
const QColor kGreen(0x2E, 0xA0, 0x4A);

// A memory card: rounded body with the cut corner and contacts.
void DrawCard(QPainter& p, QRectF r, QColor body, QColor label) {
  QPainterPath path;
  const double cut = r.width() * 0.28;
  path.moveTo(r.left() + cut, r.top());
  path.lineTo(r.right() - 2, r.top());
  path.quadTo(r.right(), r.top(), r.right(), r.top() + 2);
  path.lineTo(r.right(), r.bottom() - 2);
  path.quadTo(r.right(), r.bottom(), r.right() - 2, r.bottom());
  path.lineTo(r.left() + 2, r.bottom());
  path.quadTo(r.left(), r.bottom(), r.left(), r.bottom() - 2);
  path.lineTo(r.left(), r.top() + cut);
  path.closeSubpath();
  p.setPen(QPen(body.darker(140), r.width() / 40.0));
  p.setBrush(body);
  p.drawPath(path);
  // contacts
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0xE8, 0xC5, 0x4A));
  const double cw = r.width() * 0.09;
  for (int i = 0; i < 5; ++i)
    p.drawRect(QRectF(r.left() + cut + i * cw * 1.35, r.top() + r.height() * 0.05, cw, r.height() * 0.16));
  // label
  p.setBrush(label);
  p.drawRoundedRect(QRectF(r.left() + r.width() * 0.12, r.top() + r.height() * 0.38, r.width() * 0.76,
                           r.height() * 0.48), r.width() * 0.05, r.width() * 0.05);
}

// A small landscape photo in a white frame.
void DrawPhoto(QPainter& p, QRectF r, QColor sky, QColor hill) {
  p.setPen(QPen(QColor(0xB0, 0xB8, 0xC4), 1));
  p.setBrush(Qt::white);
  p.drawRect(r);
  QRectF in = r.adjusted(4, 4, -4, -4);
  QLinearGradient g(in.topLeft(), in.bottomLeft());
  g.setColorAt(0, sky.lighter(120));
  g.setColorAt(1, sky);
  p.setPen(Qt::NoPen);
  p.setBrush(g);
  p.drawRect(in);
  p.setBrush(QColor(0xFF, 0xD3, 0x4E));
  p.drawEllipse(QPointF(in.right() - in.width() * 0.25, in.top() + in.height() * 0.3), in.height() * 0.12,
                in.height() * 0.12);
  QPainterPath m;
  m.moveTo(in.bottomLeft());
  m.lineTo(in.left() + in.width() * 0.35, in.top() + in.height() * 0.45);
  m.lineTo(in.left() + in.width() * 0.55, in.top() + in.height() * 0.7);
  m.lineTo(in.left() + in.width() * 0.75, in.top() + in.height() * 0.5);
  m.lineTo(in.bottomRight());
  m.closeSubpath();
  p.setBrush(hill);
  p.drawPath(m);
}

void DrawCamera(QPainter& p, QRectF r) {
  p.setPen(QPen(QColor(0x22, 0x26, 0x2E), r.width() / 60.0));
  QLinearGradient body(r.topLeft(), r.bottomLeft());
  body.setColorAt(0, QColor(0x5A, 0x62, 0x70));
  body.setColorAt(1, QColor(0x2C, 0x31, 0x3A));
  p.setBrush(body);
  QRectF top(r.left() + r.width() * 0.28, r.top(), r.width() * 0.3, r.height() * 0.22);
  p.drawRoundedRect(top, r.width() * 0.03, r.width() * 0.03);
  QRectF b(r.left(), r.top() + r.height() * 0.15, r.width(), r.height() * 0.85);
  p.drawRoundedRect(b, r.width() * 0.08, r.width() * 0.08);
  const QPointF c = b.center() + QPointF(0, r.height() * 0.03);
  const double rad = b.height() * 0.36;
  QRadialGradient lens(c, rad);
  lens.setColorAt(0, QColor(0x5F, 0x9C, 0xE0));
  lens.setColorAt(0.5, QColor(0x1B, 0x3A, 0x66));
  lens.setColorAt(1, QColor(0x0D, 0x12, 0x1A));
  p.setBrush(QColor(0xC9, 0xCF, 0xD8));
  p.drawEllipse(c, rad * 1.18, rad * 1.18);
  p.setBrush(lens);
  p.drawEllipse(c, rad, rad);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(255, 255, 255, 170));
  p.drawEllipse(c + QPointF(-rad * 0.35, -rad * 0.35), rad * 0.22, rad * 0.22);
  p.setBrush(QColor(0xE6, 0x4B, 0x3C));
  p.drawEllipse(QPointF(b.right() - b.width() * 0.12, b.top() + b.height() * 0.18), b.height() * 0.06,
                b.height() * 0.06);
}

void DrawLogo(QPainter& p, double w, double h) {
  QRectF r(w * 0.04, h * 0.04, w * 0.92, h * 0.92);
  QLinearGradient g(r.topLeft(), r.bottomRight());
  g.setColorAt(0, kBlueLight);
  g.setColorAt(1, kBlueDark);
  p.setPen(Qt::NoPen);
  p.setBrush(g);
  p.drawRoundedRect(r, w * 0.2, h * 0.2);
  DrawCard(p, QRectF(w * 0.22, h * 0.16, w * 0.46, h * 0.6), QColor(0xF4, 0xF7, 0xFB), QColor(0xD4, 0xE3, 0xF5));
  // the rescue arrow
  p.setPen(QPen(kGreen.lighter(115), w * 0.09, Qt::SolidLine, Qt::RoundCap));
  p.setBrush(Qt::NoBrush);
  QRectF arc(w * 0.46, h * 0.46, w * 0.38, h * 0.38);
  p.drawArc(arc, 100 * 16, 250 * 16);
  p.setPen(Qt::NoPen);
  p.setBrush(kGreen.lighter(115));
  QPainterPath head;
  head.moveTo(w * 0.60, h * 0.40);
  head.lineTo(w * 0.76, h * 0.47);
  head.lineTo(w * 0.62, h * 0.57);
  head.closeSubpath();
  p.drawPath(head);
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  g_dir = argc > 1 ? argv[1] : "resources/images";
  QDir().mkpath(g_dir);

  Save("left.png", 172, 427, [](QPainter& p, double w, double h) {
    QLinearGradient g(0, 0, 0, h);
    g.setColorAt(0, QColor(0xE4, 0xEE, 0xFA));
    g.setColorAt(0.55, QColor(0xF5, 0xF9, 0xFE));
    g.setColorAt(1, QColor(0xDD, 0xE9, 0xF7));
    p.fillRect(QRectF(0, 0, w, h), g);
    p.setOpacity(0.22);
    DrawCard(p, QRectF(62, h - 150, 78, 100), kBlue, QColor(0xBF, 0xD6, 0xF2));
    p.setOpacity(0.14);
    p.setPen(Qt::NoPen);
    p.setBrush(kBlue);
    p.drawEllipse(QPointF(30, h - 40), 48, 48);
    p.setOpacity(1);
    p.setPen(QPen(QColor(0xC3, 0xD4, 0xEA), 1));
    p.drawLine(QPointF(w - 0.5, 0), QPointF(w - 0.5, h));
  }, 2);

  Save("banner_logo.png", 40, 40, DrawLogo, 8);
  Save("app_icon.png", 48, 48, DrawLogo, 8);
  Save("about_logo.png", 64, 64, DrawLogo, 6);

  Save("topbar.png", 552, 36, [](QPainter& p, double w, double h) {
    QLinearGradient g(0, 0, w, 0);
    g.setColorAt(0, kBlueDark);
    g.setColorAt(1, kBlueLight);
    p.fillRect(QRectF(0, 0, w, h), g);
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 7; ++i) {
      p.setBrush(QColor(255, 255, 255, 14 + i * 3));
      QPainterPath s;
      const double x = w * 0.45 + i * 26;
      s.moveTo(x, h);
      s.lineTo(x + 18, 0);
      s.lineTo(x + 30, 0);
      s.lineTo(x + 12, h);
      s.closeSubpath();
      p.drawPath(s);
    }
    QLinearGradient shine(0, 0, 0, h);
    shine.setColorAt(0, QColor(255, 255, 255, 50));
    shine.setColorAt(0.5, QColor(255, 255, 255, 0));
    p.fillRect(QRectF(0, 0, w, h), shine);
  }, 2);

  Save("welcome.png", 500, 176, [](QPainter& p, double w, double h) {
    QLinearGradient g(0, 0, 0, h);
    g.setColorAt(0, QColor(0xF2, 0xF7, 0xFD));
    g.setColorAt(1, QColor(0xDF, 0xEB, 0xF8));
    p.setPen(QPen(QColor(0xCF, 0xDD, 0xEE), 1));
    p.setBrush(g);
    p.drawRoundedRect(QRectF(0.5, 0.5, w - 1, h - 1), 10, 10);
    DrawCamera(p, QRectF(26, 38, 130, 96));
    // the card leaving the camera
    p.save();
    p.translate(190, 56);
    p.rotate(-8);
    DrawCard(p, QRectF(0, 0, 50, 64), kBlue, QColor(0xD4, 0xE3, 0xF5));
    p.restore();
    // arrow
    p.setPen(QPen(kGreen, 7, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(258, 90), QPointF(300, 90));
    p.setPen(Qt::NoPen);
    p.setBrush(kGreen);
    QPainterPath head;
    head.moveTo(298, 76);
    head.lineTo(318, 90);
    head.lineTo(298, 104);
    head.closeSubpath();
    p.drawPath(head);
    // recovered photos, fanned out
    struct Photo { double x, y, angle; QColor sky, hill; };
    const Photo photos[] = {
        {336, 30, -7, QColor(0x7F, 0xB8, 0xEA), QColor(0x4C, 0x9A, 0x52)},
        {392, 52, 5, QColor(0xF2, 0xA9, 0x6B), QColor(0x6B, 0x5B, 0x8E)},
        {350, 92, 3, QColor(0x9F, 0xD3, 0xF0), QColor(0x3E, 0x7C, 0xB1)},
    };
    for (const Photo& ph : photos) {
      p.save();
      p.translate(ph.x, ph.y);
      p.rotate(ph.angle);
      p.setPen(Qt::NoPen);
      p.setBrush(QColor(0, 0, 0, 28));
      p.drawRect(QRectF(3, 3, 84, 62));
      DrawPhoto(p, QRectF(0, 0, 84, 62), ph.sky, ph.hill);
      p.restore();
    }
  }, 2);

  Save("step_todo.png", 16, 16, [](QPainter& p, double w, double h) {
    p.setPen(QPen(QColor(0xA0, 0xA8, 0xB4), 1.6));
    p.setBrush(QColor(0xF4, 0xF6, 0xF9));
    p.drawEllipse(QRectF(2, 2, w - 4, h - 4));
  });
  Save("step_done.png", 16, 16, [](QPainter& p, double w, double h) {
    p.setPen(Qt::NoPen);
    p.setBrush(kGreen);
    p.drawEllipse(QRectF(1, 1, w - 2, h - 2));
    p.setPen(QPen(Qt::white, 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    QPainterPath tick;
    tick.moveTo(4.5, 8.5);
    tick.lineTo(7, 11);
    tick.lineTo(11.5, 5.5);
    p.setBrush(Qt::NoBrush);
    p.drawPath(tick);
  });

  Save("drive_fixed.png", 16, 16, [](QPainter& p, double, double) {
    QLinearGradient g(0, 4, 0, 13);
    g.setColorAt(0, QColor(0xD8, 0xDC, 0xE2));
    g.setColorAt(1, QColor(0x8E, 0x96, 0xA3));
    p.setPen(QPen(QColor(0x55, 0x5C, 0x68), 0.8));
    p.setBrush(g);
    p.drawRoundedRect(QRectF(1, 5, 14, 7), 1.5, 1.5);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x3C, 0xD0, 0x5A));
    p.drawEllipse(QPointF(12.3, 9.6), 1, 1);
  });
  Save("drive_removable.png", 16, 16, [](QPainter& p, double, double) {
    DrawCard(p, QRectF(3, 1, 10, 14), kBlue, QColor(0xD4, 0xE3, 0xF5));
  });
  Save("drive_cd.png", 16, 16, [](QPainter& p, double, double) {
    QRadialGradient g(QPointF(8, 8), 7);
    g.setColorAt(0, QColor(0xF4, 0xF4, 0xF8));
    g.setColorAt(0.6, QColor(0xC6, 0xD6, 0xF2));
    g.setColorAt(0.8, QColor(0xE9, 0xC8, 0xF0));
    g.setColorAt(1, QColor(0xB8, 0xC4, 0xD6));
    p.setPen(QPen(QColor(0x80, 0x8A, 0x99), 0.7));
    p.setBrush(g);
    p.drawEllipse(QPointF(8, 8), 7, 7);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(8, 8), 1.8, 1.8);
  });
  Save("drive_unknown.png", 16, 16, [](QPainter& p, double, double) {
    p.setPen(QPen(QColor(0x8A, 0x90, 0x9A), 0.8));
    p.setBrush(QColor(0xE6, 0xE8, 0xEC));
    p.drawRoundedRect(QRectF(1, 5, 14, 7), 1.5, 1.5);
    QFont f("DejaVu Sans");
    f.setPixelSize(8);
    f.setBold(true);
    p.setFont(f);
    p.setPen(QColor(0x6A, 0x70, 0x7A));
    p.drawText(QRectF(1, 4.5, 14, 8), Qt::AlignCenter, "?");
  });
  Save("camera.png", 16, 16, [](QPainter& p, double, double) { DrawCamera(p, QRectF(1, 2.5, 14, 11)); });

  Save("videotype_strip.png", 395, 52, [](QPainter& p, double w, double h) {
    QLinearGradient g(0, 0, 0, h);
    g.setColorAt(0, QColor(0xF3, 0xF8, 0xFE));
    g.setColorAt(1, QColor(0xDE, 0xEA, 0xF8));
    p.fillRect(QRectF(0, 0, w, h), g);
    p.setPen(QPen(QColor(0xC6, 0xD6, 0xEA), 1));
    p.drawLine(QPointF(0, h - 0.5), QPointF(w, h - 0.5));
    // film strip
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x2C, 0x31, 0x3A));
    p.drawRoundedRect(QRectF(12, 10, 36, 32), 3, 3);
    p.setBrush(Qt::white);
    for (int i = 0; i < 4; ++i) {
      p.drawRect(QRectF(15 + i * 8.5, 12, 4, 3));
      p.drawRect(QRectF(15 + i * 8.5, 37, 4, 3));
    }
    p.setBrush(QColor(0x7F, 0xB8, 0xEA));
    p.drawRect(QRectF(16, 18, 28, 16));
    p.setBrush(Qt::white);
    QPainterPath play;
    play.moveTo(27, 21);
    play.lineTo(35, 26);
    play.lineTo(27, 31);
    play.closeSubpath();
    p.drawPath(play);
  }, 2);

  Save("doc_generic.png", 16, 16, [](QPainter& p, double, double) {
    QPainterPath page;
    page.moveTo(3, 1);
    page.lineTo(10, 1);
    page.lineTo(13, 4);
    page.lineTo(13, 15);
    page.lineTo(3, 15);
    page.closeSubpath();
    p.setPen(QPen(QColor(0x7A, 0x84, 0x92), 0.8));
    p.setBrush(Qt::white);
    p.drawPath(page);
    p.setBrush(QColor(0xDD, 0xE2, 0xE9));
    QPainterPath fold;
    fold.moveTo(10, 1);
    fold.lineTo(10, 4);
    fold.lineTo(13, 4);
    fold.closeSubpath();
    p.drawPath(fold);
    p.setPen(QPen(QColor(0xA9, 0xB7, 0xC9), 0.8));
    for (int i = 0; i < 4; ++i) p.drawLine(QPointF(5, 6.5 + i * 2), QPointF(11, 6.5 + i * 2));
  });

  Save("postprocess.png", 24, 24, [](QPainter& p, double, double) {
    QPainterPath tri;
    tri.moveTo(12, 2);
    tri.lineTo(22.5, 21);
    tri.lineTo(1.5, 21);
    tri.closeSubpath();
    p.setPen(QPen(QColor(0xB8, 0x5C, 0x00), 1, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    QLinearGradient g(0, 2, 0, 21);
    g.setColorAt(0, QColor(0xFF, 0xC8, 0x4A));
    g.setColorAt(1, QColor(0xF0, 0x8C, 0x1A));
    p.setBrush(g);
    p.drawPath(tri);
    p.setPen(QPen(Qt::white, 2.2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(12, 8.5), QPointF(12, 14));
    p.drawPoint(QPointF(12, 17.5));
  });
  return 0;
}
