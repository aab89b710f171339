#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright 2026 The Snapsalvager developers
# Makes build/snapsalvager-windows-<version>.zip: snapsalvager-cli.exe and, when the Qt for
# Windows of scripts/build-qt-windows.sh is built, the window program snapsalvager.exe with
# its help pages; both linked statically, so no libstdc++, libgcc, winpthread or Qt DLL goes
# with them. Then a README and the licence. Builds what is missing first.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build-windows-deps.sh
[ -f build/windows/build.ninja ] || cmake --preset windows >/dev/null
cmake --build build/windows -j "${JOBS:-2}" --target snapsalvager-cli >/dev/null
wizard=""
if [ -f build/windows-deps/qt6/.built ]; then
  cmake --preset windows-wizard >/dev/null
  cmake --build build/windows-wizard -j "${JOBS:-2}" --target snapsalvager >/dev/null
  wizard=build/windows-wizard/src/wizard
else
  echo "no Qt for Windows (scripts/build-qt-windows.sh): the zip holds the command line only" >&2
fi

version=$(sed -n 's/^project(Snapsalvager VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
name="snapsalvager-windows-$version"
stage="build/windows-zip/$name"
rm -rf build/windows-zip
mkdir -p "$stage"
x86_64-w64-mingw32-strip -o "$stage/snapsalvager-cli.exe" build/windows/src/cli/snapsalvager-cli.exe
if [ -n "$wizard" ]; then
  x86_64-w64-mingw32-strip -o "$stage/snapsalvager.exe" "$wizard/snapsalvager.exe"
  # Looked for beside the program: help\index.html, help\en\index.html.
  cp -r "$wizard/help" "$stage/help"
fi
# Only DLLs of Windows 10 itself may be left to load: anything else would be missing on the
# user's PC.
system_dlls='kernel32|advapi32|msvcrt|user32|shell32|ole32|oleaut32|ws2_32|gdi32|imm32|winmm|uxtheme|'
system_dlls+='dwmapi|version|comdlg32|shlwapi|shcore|userenv|netapi32|wtsapi32|authz|dwrite|d3d9|d3d11|dxgi|'
system_dlls+='api-ms-win-core-[a-z0-9-]*'
for exe in "$stage"/*.exe; do
  extra=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p' |
          grep -viE "^($system_dlls)\.dll$" || true)
  if [ -n "$extra" ]; then
    echo "$(basename "$exe") needs DLLs that are not part of Windows: $extra" >&2
    exit 1
  fi
done
cp COPYING "$stage/COPYING.txt"
# Windows Notepad and the console both read CRLF text.
sed 's/$/\r/' > "$stage/README.txt" <<TEXT
Snapsalvager $version for Windows: $( [ -n "$wizard" ] && echo "the window (snapsalvager.exe) and the command line
(snapsalvager-cli.exe)." || echo "snapsalvager-cli.exe, the command line.")
$( [ -n "$wizard" ] && printf '%s\n' "" \
"The window: right-click snapsalvager.exe and choose \"Run as administrator\" (reading a card's" \
"volume needs it; a card image file does not). Keep the help folder beside it.")

The command line: open a command prompt as administrator, then:

  snapsalvager-cli.exe drives                                   the letters and their sizes
  snapsalvager-cli.exe recover E: C:\\Rescued --video --audio    recover the card in E:
  snapsalvager-cli.exe recover card.img C:\\Rescued              or a card image file
  snapsalvager-cli.exe recover --help                           every option and exit status

The card is only ever read. Recovered files go into the folder you name; a file already
there is never replaced. HEIF/HEIC photos are recovered but get no summary on Windows.
TEXT
rm -f "build/$name.zip"
(cd build/windows-zip && zip -qr "../$name.zip" "$name")
echo "build/$name.zip"
