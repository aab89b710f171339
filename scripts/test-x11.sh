#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright 2026 The Snapsalvager developers
# The window suites in a real X server with a window manager (scripts/with-x11.sh): every
# wizard suite, among them the geometry and text-fit checks (message boxes centred inside the
# window, labels showing their whole text), in Chinese and again in English
# (SNAPSALVAGER_LANG, which the suites follow). The offscreen platform places and frames nothing.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
build=${BUILD_DIR:-build/default}
# Every suite declared in tests/wizard/CMakeLists.txt.
mapfile -t suites < <(sed -n 's/^snapsalvager_wizard_test(\([A-Za-z0-9_]*\).*/\1/p' tests/wizard/CMakeLists.txt)
if [ ! -f "$build/build.ninja" ]; then cmake --preset default >/dev/null; fi
cmake --build "$build" -j "$(nproc)" --target "${suites[@]}" >/dev/null
# One X server for all of them, each suite in turn.
bash scripts/with-x11.sh bash -c '
  failed=0
  for lang in zh en; do
    for suite in "$@"; do
      echo "== $suite (X11, $lang)" >&2
      SNAPSALVAGER_LANG=$lang "$0/tests/wizard/$suite" || failed=1
    done
  done
  exit "$failed"' "$build" "${suites[@]}"
