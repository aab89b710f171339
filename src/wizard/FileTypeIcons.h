// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// File-type icons of the found-file lists: one 16x16 icon per extension sought, taken from
// the freedesktop MIME database and icon theme, the generic document icon when there is
// none. The names and icons lists are kept aligned: icons[i] belongs to names[i].
#pragma once

#include <QIcon>
#include <QList>
#include <QString>
#include <QStringList>

#include "carving/Signatures.h"

namespace snapsalvager {

inline constexpr int kExtIconSize = 16;

// The desktop's icon for the type of fileName ("Sample.JPG"): the icon theme's on Linux,
// Explorer's on Windows; a null icon when there is none.
QIcon GetExtIcon(const QString& fileName);
// The generic document icon (DefaultImageListExt's one image).
QIcon DefaultExtIcon();
// Clears both lists, then adds ".XXX" and its icon for each row of FileTypeTable a plain or
// deep scan may name (the deep-only rows after the others, so the indexes stay),
// in table order, skipping repeats.
void BuildExtIconList(const TRecogniserInputs& inputs, QStringList& names, QList<QIcon>& icons);
// Position of the file name's extension (from its last '.') in names, ignoring case; -1
// when absent or when the name has no extension.
int ExtIconIndex(const QStringList& names, const QString& fileName);

}  // namespace snapsalvager
