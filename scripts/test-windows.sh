#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright 2026 The Snapsalvager developers
# The Windows build (mingw-w64) and its tests under wine: the engine, temporary-file,
# metadata and command-line suites through ctest, then the demo card recovered through a
# volume \\.\E: that wine maps to the card image, whose rows, exit status and files must
# equal the Linux build's for the same card; then its temporary files restored, and the card
# recovered from the image's path. Every path there has Chinese in it, so the files must land
# under the same UTF-8 names on both. Needs the Linux build's command and demo-card tool
# (BUILD_DIR, else build/default; built here when missing). Headless: wine shows no window.
set -euo pipefail
cd "$(dirname "$0")/.."
repo="$PWD"
jobs=${JOBS:-2}

echo "== build (Windows, mingw-w64)" >&2
start=$SECONDS
bash scripts/build-windows-deps.sh
cmake --preset windows >/dev/null
cmake --build build/windows -j "$jobs"
echo "   built in $((SECONDS - start)) s" >&2

# A fresh wine prefix every run: nothing from an earlier run or from the user's own wine.
export WINEPREFIX="$repo/build/windows-wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export DISPLAY=""
rm -rf "$WINEPREFIX"
wineboot -i >/dev/null 2>&1
# Drive E: is the card: e:: is the volume's bytes (\\.\E:), e: a folder standing for its
# file system, so E: is among the system's letters; as a floppy it is removable media.
card_dir="$repo/build/windows-e2e"
rm -rf "$card_dir"
mkdir -p "$card_dir/e-root"
card="$card_dir/演示卡/card.img"
ln -s "$card" "$WINEPREFIX/dosdevices/e::"
ln -s "$card_dir/e-root" "$WINEPREFIX/dosdevices/e:"
wine reg add 'HKLM\Software\Wine\Drives' /v e: /d floppy /f >/dev/null 2>&1
wineserver -w
# One wine server for every test program, not one started (and its services) per program.
wineserver -p
trap 'wineserver -k 2>/dev/null || true' EXIT
wine cmd /c exit >/dev/null 2>&1  # wine's services up before the first test program

echo "== tests (Windows, under wine)" >&2
start=$SECONDS
# Under load wine now and then fails to start a test program (the test "fails" at once,
# with no output), so a failed test is run again, up to twice. A real fault fails every time.
ctest --test-dir build/windows --output-on-failure -j "$jobs" --repeat until-pass:3 | tee build/ctest-windows.log
echo "   ran in $((SECONDS - start)) s" >&2

echo "== the demo card through \\\\.\\E: (Windows) against the image (Linux)" >&2
linux_build=${BUILD_DIR:-build/default}
if [ ! -x "$linux_build/src/cli/snapsalvager-cli" ] || [ ! -x "$linux_build/tests/fixtures/make_demo_card" ]; then
  [ -f "$linux_build/build.ninja" ] || cmake --preset default -B "$linux_build" >/dev/null
  cmake --build "$linux_build" -j "$jobs" --target snapsalvager-cli make_demo_card
fi
"$linux_build/tests/fixtures/make_demo_card" "$(dirname "$card")" >/dev/null
cli_windows="$repo/build/windows/src/cli/snapsalvager-cli.exe"
status=0
# Rows (standard output), the exit status, then every file left in the destination with its
# hash: the temporary files of a scan, the photos and clips of a recovery or a restore.
# Modes: scan (--scan-only), recover, restore (the scan's temporary files), image (the card
# given by its path, not its letter; Windows only, against the Linux recovery).
# A Linux path as the Windows programs name it: wine's Z: is /. Worked out here rather than by
# winepath, which under load now and then fails to start and prints its error instead.
windows_path() { local p; p=$(realpath -m "$1"); printf 'Z:%s' "${p//\//\\}"; }
run() {  # run SIDE MODE: writes $card_dir/SIDE-MODE.txt
  local side=$1 mode=$2 root="$card_dir/$1" extra=() rc=0 out="$card_dir/$1-$2"
  local dest="$root/照片 恢复/$mode" source=E: command=recover
  mkdir -p "$root"
  case $mode in
    scan) extra=(--scan-only) ;;
    restore) command=restore source="$root/照片 恢复/scan/TmpFiles" ;;
    image) source=$card ;;
  esac
  [ "$command" = recover ] && extra+=(--video --audio --yes)
  if [ "$side" = linux ]; then
    [ "$source" = E: ] && source=$card
    "$linux_build/src/cli/snapsalvager-cli" $command "$source" "$dest" "${extra[@]}" >"$out.rows" 2>"$out.err" || rc=$?
  else
    [ "$source" = E: ] || source=$(windows_path "$source")
    wine "$cli_windows" $command "$source" "$(windows_path "$dest")" "${extra[@]}" >"$out.rows" 2>"$out.err" || rc=$?
  fi
  {
    echo "exit status $rc"
    # A restore's rows name both files by path: told from the side's own folder, "/" apart.
    if [ "$side" = linux ]; then
      sed "s|$root||g" "$out.rows"
    else
      sed "s|$(windows_path "$root" | sed 's/[\\|]/\\&/g')||g" "$out.rows" | tr '\\' /
    fi
    # The folder note says when it was written: that moment is left out of its hash.
    (cd "$dest" && find . -type f | LC_ALL=C sort | while read -r f; do
      echo "$(sed 's/^Generated at .*/Generated at (time)/' "$f" | sha256sum | cut -d' ' -f1)  $f"
    done)
  } >"$card_dir/$side-$mode.txt"
}
for mode in scan recover restore image; do
  [ $mode = image ] || run linux $mode
  run windows $mode
  linux=$mode
  [ $mode = image ] && linux=recover
  if diff -u "$card_dir/linux-$linux.txt" "$card_dir/windows-$mode.txt"; then
    echo "   $mode: $(grep -c $'\t' "$card_dir/linux-$linux.txt") rows and $(grep -c '  \./' "$card_dir/linux-$linux.txt") files equal" >&2
  else
    echo "   $mode: the Windows build differs from the Linux build" >&2
    status=1
  fi
done
grep -q "$(printf '\t')" "$card_dir/linux-recover.txt" || { echo "   no rows at all" >&2; status=1; }
exit $status
