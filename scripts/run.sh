#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright 2026 The Snapsalvager developers
# Installs what is missing, builds, and runs the main job: with no arguments it builds a
# demo card image with the project's own fixture helper (photos with EXIF, video and audio
# clips on a FAT32 card, some deleted) and recovers it into build/demo/recovered, printing
# the table of found files; with arguments it passes them to snapsalvager-cli.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake --preset default >/dev/null
if [ $# -gt 0 ]; then
  cmake --build build/default -j "$(nproc)" --target snapsalvager-cli >/dev/null
  exec build/default/src/cli/snapsalvager-cli "$@"
fi

cmake --build build/default -j "$(nproc)" --target snapsalvager-cli make_demo_card >/dev/null
demo=build/demo
if [ ! -f "$demo/card.img" ]; then
  echo "Making the demo card $demo/card.img ..." >&2
  build/default/tests/fixtures/make_demo_card "$demo" >/dev/null
fi
rm -rf "$demo/recovered"
echo "Recovering $demo/card.img into $demo/recovered/" >&2
status=0
build/default/src/cli/snapsalvager-cli recover "$demo/card.img" "$demo/recovered" --video --audio || status=$?
echo "Recovered files: $demo/recovered/" >&2
exit "$status"
