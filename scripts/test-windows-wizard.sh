#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright 2026 The Snapsalvager developers
# The window program for Windows, under wine in a private X server with a window manager
# (scripts/with-x11.sh). Not part of CI: it needs the Qt for Windows that
# scripts/build-qt-windows.sh builds (about 13 minutes here) and says so when it is missing.
#   1. builds snapsalvager.exe, the screenshot program and the window's test suites
#      (preset windows-wizard);
#   2. runs the suites under wine on Windows' own platform, in both languages, with drive E:
#      mapped to the demo card, which the window must scan into the Linux command's rows;
#   3. starts snapsalvager.exe as a user would: its window must come up under its title,
#      with the start-up question when wine's user is not elevated, and stay up;
#   4. takes the pictures of every page and dialog, in both languages, into
#      build/screens/windows (or the folder given).
# ./scripts/test-windows-wizard.sh [--pictures-only] [folder]
set -euo pipefail
cd "$(dirname "$0")/.."
repo="$PWD"
jobs=${JOBS:-2}
pictures_only=0
if [ "${1:-}" = --pictures-only ]; then
  pictures_only=1
  shift
fi
out="${1:-build/screens/windows}"

qt="$repo/build/windows-deps/qt6"
if [ ! -f "$qt/.built" ]; then
  echo "no Qt for Windows in $qt: run scripts/build-qt-windows.sh first (JOBS=2, about 13 minutes)" >&2
  exit 1
fi

echo "== build (Windows window, mingw-w64)" >&2
start=$SECONDS
bash scripts/build-windows-deps.sh
cmake --preset windows-wizard >/dev/null
suites=$(sed -n 's/^snapsalvager_wizard_test(\([A-Za-z_]*\) .*/\1/p' tests/wizard/CMakeLists.txt)
[ $pictures_only = 1 ] && suites=""
cmake --build build/windows-wizard -j "$jobs" --target snapsalvager snapsalvager-screens $suites
echo "   built in $((SECONDS - start)) s" >&2

# A Linux path as the Windows programs name it: wine's Z: is / (winepath, a wine program
# itself, now and then fails to start under load).
windows_path() { local p; p=$(realpath -m "$1"); printf 'Z:%s' "${p//\//\\}"; }
export -f windows_path
export WINEPREFIX="$repo/build/windows-wizard-wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
rm -rf "$WINEPREFIX"
DISPLAY= wineboot -i >/dev/null 2>&1
if [ $pictures_only = 0 ]; then
  # Drive E: is the demo card, as a removable volume (\\.\E:), for the suite that scans it
  # through the window; the Linux command's rows for the same card are what it must show.
  if [ ! -x build/default/src/cli/snapsalvager-cli ] || [ ! -x build/default/tests/fixtures/make_demo_card ]; then
    [ -d build/default ] || cmake --preset default >/dev/null
    cmake --build build/default -j "$jobs" --target snapsalvager-cli make_demo_card >/dev/null
  fi
  card_dir="$repo/build/windows-wizard-card"
  rm -rf "$card_dir"
  mkdir -p "$card_dir/e-root"
  build/default/tests/fixtures/make_demo_card "$card_dir" >/dev/null
  build/default/src/cli/snapsalvager-cli recover "$card_dir/card.img" "$card_dir/linux" --scan-only --yes \
    >"$card_dir/linux-rows.txt" 2>/dev/null
  ln -s "$card_dir/card.img" "$WINEPREFIX/dosdevices/e::"
  ln -s "$card_dir/e-root" "$WINEPREFIX/dosdevices/e:"
  DISPLAY= wine reg add 'HKLM\Software\Wine\Drives' /v e: /d floppy /f >/dev/null 2>&1
  export SNAPSALVAGER_TEST_VOLUME=E SNAPSALVAGER_TEST_VOLUME_ROWS="$(windows_path "$card_dir/linux-rows.txt")"
fi
wineserver -w
mkdir -p "$out/en"
status=0

# Everything that needs the display runs in one X server, each step reporting for itself.
steps=$(mktemp)
trap 'rm -f "$steps"' EXIT
cat >"$steps" <<'STEPS'
set -uo pipefail
# Windows' own platform, not the X one with-x11.sh names for Linux programs.
unset QT_QPA_PLATFORM
status=0
wineserver -p
wine cmd /c exit >/dev/null 2>&1

if [ "$PICTURES_ONLY" = 0 ]; then
echo "== window suites (Windows, under wine), Chinese and English" >&2
start=$SECONDS
for lang in zh en; do
  SNAPSALVAGER_LANG=$lang ctest --test-dir build/windows-wizard -L wizard --output-on-failure \
    --repeat until-pass:3 -j 1 >"build/ctest-windows-wizard-$lang.log" 2>&1 || status=1
  grep -aE 'tests passed|\(Failed\)|\(Timeout\)' "build/ctest-windows-wizard-$lang.log" | sed "s/^/   $lang: /" >&2
done
echo "   ran in $((SECONDS - start)) s" >&2

echo "== snapsalvager.exe started as a user starts it" >&2
wine build/windows-wizard/src/wizard/snapsalvager.exe >build/windows-wizard-run.log 2>&1 &
program=$!
title="Snapsalvager v6.10 build 1210"
shown=""
for _ in $(seq 60); do
  shown=$(xwininfo -root -tree 2>/dev/null | grep -F "\"$title\"" | head -n 1 || true)
  [ -n "$shown" ] && break
  kill -0 "$program" 2>/dev/null || break
  sleep 0.5
done
if [ -z "$shown" ]; then
  echo "   no window titled \"$title\" (log: build/windows-wizard-run.log)" >&2
  status=1
else
  echo "   window: $(echo "$shown" | sed 's/^ *//')" >&2
  # The start-up question of a user who is not an administrator, titled like every box.
  xwininfo -root -tree | grep -F '"Snapsalvager": ("snapsalvager.exe"' | sed 's/^ */   box: /' >&2 || true
  sleep 3
  if ! kill -0 "$program" 2>/dev/null; then
    echo "   snapsalvager.exe ended by itself (log: build/windows-wizard-run.log)" >&2
    status=1
  fi
fi
kill "$program" 2>/dev/null || true
wineserver -k 2>/dev/null || true
wineserver -p
fi

echo "== pictures (Windows, under wine)" >&2
for lang in zh en; do
  folder=$OUT
  [ $lang = en ] && folder=$OUT/en
  wine build/windows-wizard/scripts/snapsalvager-screens.exe "$(windows_path "$folder")" --lang $lang \
    >"build/windows-wizard-screens-$lang.log" 2>&1 || { echo "   $lang: failed (build/windows-wizard-screens-$lang.log)" >&2; status=1; }
  echo "   $lang: $(ls "$folder"/*.png 2>/dev/null | wc -l) pictures in $folder" >&2
done
wineserver -k 2>/dev/null || true
exit $status
STEPS
OUT="$out" PICTURES_ONLY=$pictures_only bash scripts/with-x11.sh bash "$steps" || status=1
exit $status
