// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
#include "wizard/CardMap.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QPainter>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "metadata/PhotoPreview.h"
#include "session/ScanOptions.h"

namespace snapsalvager {

namespace {

const QColor kFree(225, 225, 225);
const QColor kUnreadable(220, 0, 0);

QColor ColourOf(TMapKind kind) {
  switch (kind) {
    case TMapKind::Photo: return QColor(40, 110, 220);
    case TMapKind::OtherPicture: return QColor(0, 160, 160);
    case TMapKind::Video: return QColor(140, 60, 190);
    case TMapKind::Audio: return QColor(240, 150, 0);
    case TMapKind::Other: break;
  }
  return QColor(130, 100, 70);
}

bool InGroup(const TFileTypeGroup& group, const std::string& type) {
  return std::any_of(group.Exts.begin(), group.Exts.end(), [&type](const std::string& e) {
    return QString::fromStdString(e).compare(QString::fromStdString(type), Qt::CaseInsensitive) == 0;
  });
}

// Paints the cells [first, last) of a grid of rows x width cells laid out row by row.
void FillCells(QPainter& p, const QBrush& brush, uint64_t first, uint64_t last, int width, int rows, QSize size) {
  const double rowHeight = static_cast<double>(size.height()) / rows;
  while (first < last) {
    const int row = static_cast<int>(first / static_cast<uint64_t>(width));
    if (row >= rows) break;
    const int x0 = static_cast<int>(first % static_cast<uint64_t>(width));
    const int x1 = static_cast<int>(std::min<uint64_t>(last - static_cast<uint64_t>(row) * width, width));
    const int y0 = static_cast<int>(row * rowHeight);
    const int y1 = static_cast<int>((row + 1) * rowHeight);
    // A pixel of space between rows keeps them apart where rows are tall enough.
    p.fillRect(QRect(x0, y0, x1 - x0, std::max(1, y1 - y0 - (rowHeight >= 6 ? 1 : 0))), brush);
    first = static_cast<uint64_t>(row + 1) * width;
  }
}

// The cells a byte range covers, at least one.
std::pair<uint64_t, uint64_t> CellsOf(uint64_t begin, uint64_t end, uint64_t cardBytes, uint64_t cells) {
  const long double scale = static_cast<long double>(cells) / cardBytes;
  uint64_t first = std::min<uint64_t>(cells - 1, static_cast<uint64_t>(begin * scale));
  uint64_t last = std::min<uint64_t>(cells, static_cast<uint64_t>(end * scale + 0.999L));
  return {first, std::max(last, first + 1)};
}

}  // namespace

TMapKind MapKindOf(const std::string& type) {
  switch (PhotoKindOf(type)) {
    case TPhotoKind::Jpeg: return TMapKind::Photo;
    case TPhotoKind::Raw:
    case TPhotoKind::Heif: return TMapKind::OtherPicture;
    case TPhotoKind::None: break;
  }
  if (InGroup(VideoGroup(), type)) return TMapKind::Video;
  if (InGroup(AudioGroup(), type)) return TMapKind::Audio;
  return TMapKind::Other;
}

QImage DrawCardMap(const TCardMap& map, QSize size, int rows) {
  QImage picture(size, QImage::Format_RGB32);
  picture.fill(Qt::white);
  if (size.isEmpty() || rows <= 0) return picture;
  rows = std::min(rows, size.height());
  const int width = size.width();
  const uint64_t cells = static_cast<uint64_t>(width) * rows;
  QPainter p(&picture);
  FillCells(p, kFree, 0, cells, width, rows, size);
  if (map.CardBytes == 0) return picture;
  for (const TCardMapBand& band : map.Files) {
    if (band.End <= band.Begin || band.Begin >= map.CardBytes) continue;
    const auto [first, last] = CellsOf(band.Begin, std::min(band.End, map.CardBytes), map.CardBytes, cells);
    const QColor colour = ColourOf(band.Kind);
    FillCells(p, colour, first, last, width, rows, size);
    if (band.Damaged) FillCells(p, QBrush(Qt::white, Qt::BDiagPattern), first, last, width, rows, size);
    // Files follow each other on a card: where a band is wide enough, a darker first pixel
    // shows where it begins.
    if (last - first >= 4) FillCells(p, colour.darker(160), first, first + 1, width, rows, size);
  }
  for (const auto& [begin, end] : map.Unreadable) {
    if (end <= begin || begin >= map.CardBytes) continue;
    const auto [first, last] = CellsOf(begin, std::min(end, map.CardBytes), map.CardBytes, cells);
    FillCells(p, kUnreadable, first, last, width, rows, size);
  }
  return picture;
}

QImage CardMapPicture(const TCardMap& map) {
  constexpr int kWidth = 1024;
  constexpr int kRows = 64;
  constexpr int kRowHeight = 8;
  constexpr int kKeyHeight = 28;
  QImage picture(kWidth + 16, kRows * kRowHeight + kKeyHeight + 16, QImage::Format_RGB32);
  picture.fill(Qt::white);
  QPainter p(&picture);
  p.drawImage(8, 8, DrawCardMap(map, QSize(kWidth, kRows * kRowHeight), kRows));
  // The key, in the window's language.
  struct TKey {
    QBrush Brush;
    QString Words;
  };
  const QList<TKey> keys = {
      {ColourOf(TMapKind::Photo), QCoreApplication::translate("Snapsalvager", "照片")},
      {ColourOf(TMapKind::OtherPicture), QCoreApplication::translate("Snapsalvager", "RAW 和 HEIF 照片")},
      {ColourOf(TMapKind::Video), QCoreApplication::translate("Snapsalvager", "视频")},
      {ColourOf(TMapKind::Audio), QCoreApplication::translate("Snapsalvager", "音频")},
      {ColourOf(TMapKind::Other), QCoreApplication::translate("Snapsalvager", "其他文件")},
      {QBrush(Qt::black, Qt::BDiagPattern), QCoreApplication::translate("Snapsalvager", "已损坏")},
      {kUnreadable, QCoreApplication::translate("Snapsalvager", "无法读取的扇区")},
      {kFree, QCoreApplication::translate("Snapsalvager", "空闲或未知")},
  };
  QFont font = p.font();
  font.setPixelSize(12);
  p.setFont(font);
  int x = 8;
  const int y = 8 + kRows * kRowHeight + 10;
  for (const TKey& key : keys) {
    p.fillRect(QRect(x, y, 14, 14), Qt::white);
    p.fillRect(QRect(x, y, 14, 14), key.Brush);
    p.setPen(Qt::gray);
    p.drawRect(QRect(x, y, 13, 13));
    p.setPen(Qt::black);
    const QRect text = p.boundingRect(QRect(x + 18, y - 1, 400, 16), Qt::AlignLeft | Qt::AlignVCenter, key.Words);
    p.drawText(text, Qt::AlignLeft | Qt::AlignVCenter, key.Words);
    x = text.right() + 16;
  }
  return picture;
}

std::vector<std::pair<uint64_t, uint64_t>> UnreadableAreasOf(const std::filesystem::path& mapFile) {
  std::vector<std::pair<uint64_t, uint64_t>> areas;
  std::ifstream in(mapFile);
  std::string line;
  bool statusLineSeen = false;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    if (!statusLineSeen) {  // "current_pos current_status [current_pass]"
      statusLineSeen = true;
      continue;
    }
    std::istringstream fields(line);
    std::string pos, size, status;
    if (!(fields >> pos >> size >> status) || status != "-") continue;
    try {
      size_t posEnd = 0;
      size_t sizeEnd = 0;
      const uint64_t begin = std::stoull(pos, &posEnd, 0);
      const uint64_t length = std::stoull(size, &sizeEnd, 0);
      if (posEnd == pos.size() && sizeEnd == size.size() && length > 0 && begin + length > begin)
        areas.emplace_back(begin, begin + length);
    } catch (const std::exception&) {
      // a line that does not parse names no area
    }
  }
  return areas;
}

QString SaveCardMapPicture(const QImage& picture, const QString& folder) {
  const QDir dir(folder);
  for (int n = 1; n < 1000; ++n) {
    const QString name = n == 1 ? QStringLiteral("card-map.png") : QStringLiteral("card-map (%1).png").arg(n);
    QFile file(dir.filePath(name));
    // NewOnly: the name is taken by this open or not at all, never a file replaced.
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
      if (file.exists()) continue;
      return {};
    }
    if (picture.save(&file, "PNG") && file.flush()) return file.fileName();
    file.remove();
    return {};
  }
  return {};
}

}  // namespace snapsalvager
