#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright 2026 The Snapsalvager developers
# Pictures of the help as the wizard opens it: the help document (帮助 → "Snapsalvager 帮助"),
# the same page in a narrow window, and the post-processing page; then the English help
# document and post-processing page (help-en-*). Renders the pages the build copies beside the wizard with headless Chromium (a
# developer tool, not needed by the build or the tests: apt-get install chromium).
# Usage: scripts/screens-help.sh [folder]   (default: build/screens)
set -euo pipefail
cd "$(dirname "$0")/.."
out="${1:-build/screens}"
browser=$(command -v chromium || command -v chromium-browser || true)
if [ -z "$browser" ]; then
  echo "screens-help.sh: needs chromium (apt-get install chromium)" >&2
  exit 2
fi
cmake --preset default >/dev/null
cmake --build build/default --target snapsalvager_help >/dev/null
help="$(pwd)/build/default/src/wizard/help"
mkdir -p "$out"
out=$(cd "$out" && pwd)
profile=$(mktemp -d)
trap 'rm -rf "$profile"' EXIT

shot() {  # picture name, width x height, page
  "$browser" --headless --no-sandbox --disable-gpu --hide-scrollbars --user-data-dir="$profile" \
    --window-size="$2" --screenshot="$out/$1.png" "file://$help/$3" >/dev/null 2>&1
  echo "$out/$1.png"
}
shot help-index 900,1000 index.html
shot help-index-narrow 420,900 index.html
shot help-postprocess 900,1000 postprocess.html
shot help-en-index 900,1000 en/index.html
shot help-en-postprocess 900,1000 en/postprocess.html
