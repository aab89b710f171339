#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright 2026 The Snapsalvager developers
# Redraws the wizard's pictures into resources/images/ and renders the desktop icons of
# resources/icons/hicolor/ from their scalable original, snapsalvager.svg (all are kept in the
# tree; rsvg-convert is in librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
g++ -std=c++20 -O1 -fPIC scripts/make_pictures.cpp -o "$out/make_pictures" \
  $(pkg-config --cflags --libs Qt6Gui)
QT_QPA_PLATFORM=offscreen "$out/make_pictures" resources/images
icons=resources/icons/hicolor
for size in 16 22 24 32 48 64 128 256; do
  mkdir -p "$icons/${size}x$size/apps"
  rsvg-convert -w "$size" -h "$size" "$icons/scalable/apps/snapsalvager.svg" \
    -o "$icons/${size}x$size/apps/snapsalvager.png"
done
echo "pictures written to resources/images and resources/icons" >&2
