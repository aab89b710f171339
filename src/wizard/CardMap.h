// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The card map: one picture of the whole card, the found files as bands coloured by kind,
// damaged ones hatched, unreadable sectors red, the rest (free or unknown) grey. The card is
// drawn in rows, like lines of text, so a 4 GB and a 512 GB card both fill the picture. Shown
// on the finish page and saved beside the recovered files.
#pragma once

#include <QImage>
#include <QSize>
#include <QString>

#include <cstdint>
#include <filesystem>
#include <utility>
#include <vector>

namespace snapsalvager {

enum class TMapKind { Photo, OtherPicture, Video, Audio, Other };

struct TCardMapBand {
  uint64_t Begin = 0;  // card bytes, End exclusive
  uint64_t End = 0;
  TMapKind Kind = TMapKind::Other;
  bool Damaged = false;  // its check found it damaged or unreadable
};

struct TCardMap {
  uint64_t CardBytes = 0;
  std::vector<TCardMapBand> Files;
  std::vector<std::pair<uint64_t, uint64_t>> Unreadable;  // begin, end
};

// The kind of a scan type ("JPG", "CR2", "MOV", ...).
TMapKind MapKindOf(const std::string& type);

// The map in a picture of size, the card in rows rows of equal length. Every band is at
// least one pixel wide, so a small file on a large card still shows.
QImage DrawCardMap(const TCardMap& map, QSize size, int rows);

// The map as saved: the card in rows with a key of the colours under it.
QImage CardMapPicture(const TCardMap& map);

// The bad areas ('-') of a GNU ddrescue map file, as the card image writer stores it; none
// when it cannot be read.
std::vector<std::pair<uint64_t, uint64_t>> UnreadableAreasOf(const std::filesystem::path& mapFile);

// Writes picture into folder as "card-map.png", or "card-map (2).png" and so on when that
// name is taken (a file is never replaced). The path written, or empty when it failed.
QString SaveCardMapPicture(const QImage& picture, const QString& folder);

}  // namespace snapsalvager
