// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
#include "wizard/FileTypeIcons.h"

#include <QFileIconProvider>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QPixmap>

// The generic icon is a resource of the wizard library; register it even when no window
// has been built yet.
static void InitIconResources() { Q_INIT_RESOURCE(snapsalvager); }

namespace snapsalvager {
namespace {

// Copies an icon into a plain 16x16 picture, so every entry of the list has the same size
// and no entry depends on the theme staying loaded. Null when the icon has no picture.
QIcon AsListImage(const QIcon& icon) {
  if (icon.isNull()) return {};
  const QPixmap pixmap = icon.pixmap(kExtIconSize, kExtIconSize);
  if (pixmap.isNull()) return {};
  QPixmap square = pixmap;
  if (square.size() != QSize(kExtIconSize, kExtIconSize))
    square = square.scaled(kExtIconSize, kExtIconSize, Qt::KeepAspectRatio, Qt::SmoothTransformation);
  return QIcon(square);
}

}  // namespace

QIcon GetExtIcon(const QString& fileName) {
  static const QMimeDatabase db;
  const QMimeType type = db.mimeTypeForFile(fileName, QMimeDatabase::MatchExtension);
  // A type the database does not know is a plain byte stream: no icon of its own.
  if (!type.isValid() || type.isDefault()) return {};
#ifdef _WIN32
  // The icon Explorer shows for the extension, from the registry's file types.
  static const QFileIconProvider provider;
  return AsListImage(provider.icon(QFileInfo(fileName)));
#else
  for (const QString& name : {type.iconName(), type.genericIconName()}) {
    if (name.isEmpty() || !QIcon::hasThemeIcon(name)) continue;
    const QIcon icon = AsListImage(QIcon::fromTheme(name));
    if (!icon.isNull()) return icon;
  }
  return {};
#endif
}

QIcon DefaultExtIcon() {
  static const QIcon icon = [] {
    InitIconResources();
    return QIcon(QStringLiteral(":/images/doc_generic.png"));
  }();
  return icon;
}

void BuildExtIconList(const TRecogniserInputs& inputs, QStringList& names, QList<QIcon>& icons) {
  names.clear();
  icons.clear();
  for (int row = 1; row <= kFileTypeCount; ++row) {
    if (!inputs.EnabledDeep(row)) continue;
    const std::string_view type = FileTypeTable[static_cast<size_t>(row - 1)];
    const QString ext =
        QLatin1Char('.') + QString::fromLatin1(type.data(), static_cast<qsizetype>(type.size()));
    if (names.contains(ext, Qt::CaseInsensitive)) continue;
    QIcon icon = GetExtIcon(QStringLiteral("Sample") + ext);
    if (icon.isNull()) icon = DefaultExtIcon();
    icons.append(icon);
    names.append(ext);
  }
}

int ExtIconIndex(const QStringList& names, const QString& fileName) {
  const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
  if (dot < 0) return -1;
  const QString ext = fileName.mid(dot);
  for (qsizetype i = 0; i < names.size(); ++i)
    if (names[i].compare(ext, Qt::CaseInsensitive) == 0) return static_cast<int>(i);
  return -1;
}

}  // namespace snapsalvager
