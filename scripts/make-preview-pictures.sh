#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright 2026 The Snapsalvager developers
# Redraws the preview page's pictures (resources/images/pv*) with make-preview-pictures.cpp.
# Run by hand when a picture changes; the pictures themselves are committed.
set -euo pipefail
cd "$(dirname "$0")/.."
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
g++ -std=c++20 -O1 -fPIC scripts/make-preview-pictures.cpp -o "$tmp/make-preview-pictures" \
  $(pkg-config --cflags --libs Qt6Gui)
QT_QPA_PLATFORM=offscreen "$tmp/make-preview-pictures" resources/images
