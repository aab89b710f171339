#!/usr/bin/env bash
# Redraws the wizard's pictures into resources/images/ and the desktop icons into
# resources/icons/ (they are kept in the tree).
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
g++ -std=c++20 -O1 -fPIC scripts/make_pictures.cpp -o "$out/make_pictures" \
  $(pkg-config --cflags --libs Qt6Gui)
QT_QPA_PLATFORM=offscreen "$out/make_pictures" resources/images resources/icons
echo "pictures written to resources/images and resources/icons" >&2
