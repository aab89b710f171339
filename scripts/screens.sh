#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright 2026 The Snapsalvager developers
# Writes a PNG of every wizard page and dialog into a folder (default: build/screens), taken
# from the screen of a private X server with a window manager (scripts/with-x11.sh), and
# without a card, and of the help pages when chromium is installed; the Windows program's
# under wine into windows/ when scripts/build-qt-windows.sh has built Qt for Windows:
# ./scripts/screens.sh [folder]
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
out="${1:-build/screens}"
cmake --preset default >/dev/null
cmake --build build/default -j "$(nproc)" --target snapsalvager-screens >/dev/null
mkdir -p "$out" "$out/en"
bash scripts/with-x11.sh build/default/scripts/snapsalvager-screens "$out" --lang zh
# The same pages in English, beside them.
bash scripts/with-x11.sh build/default/scripts/snapsalvager-screens "$out/en" --lang en
# The help document as 帮助 opens it, where a browser to render it is installed.
if command -v chromium >/dev/null || command -v chromium-browser >/dev/null; then
  bash scripts/screens-help.sh "$out"
fi
# The Windows program's pages, under wine, where the Qt for Windows is built.
if [ -f build/windows-deps/qt6/.built ]; then
  bash scripts/test-windows-wizard.sh --pictures-only "$out/windows"
fi
echo "screens written to $out" >&2
