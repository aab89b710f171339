#!/usr/bin/env bash
# Makes build/snapsalvager-windows-<version>.zip: snapsalvager-cli.exe (linked statically, so
# no libstdc++, libgcc or winpthread DLL goes with it), its README and the licence. Builds
# the Windows preset first when needed. The window program is not in it: there is no Qt for
# Windows here (scripts/build-qt-windows.sh tries to build one).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build-windows-deps.sh
[ -f build/windows/build.ninja ] || cmake --preset windows >/dev/null
cmake --build build/windows -j "${JOBS:-2}" --target snapsalvager-cli >/dev/null

version=$(sed -n 's/^project(Snapsalvager VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
name="snapsalvager-windows-$version"
stage="build/windows-zip/$name"
rm -rf build/windows-zip
mkdir -p "$stage"
exe=build/windows/src/cli/snapsalvager-cli.exe
x86_64-w64-mingw32-strip -o "$stage/snapsalvager-cli.exe" "$exe"
# Only system DLLs may be left to load: anything else would be missing on the user's PC.
extra=$(x86_64-w64-mingw32-objdump -p "$stage/snapsalvager-cli.exe" | sed -n 's/^\s*DLL Name: //p' |
        grep -viE '^(kernel32|advapi32|msvcrt|user32|shell32|ole32|ws2_32)\.dll$' || true)
if [ -n "$extra" ]; then
  echo "snapsalvager-cli.exe needs DLLs that are not part of Windows: $extra" >&2
  exit 1
fi
cp COPYING "$stage/COPYING.txt"
# Windows Notepad and the console both read CRLF text.
sed 's/$/\r/' > "$stage/README.txt" <<TEXT
Snapsalvager $version for Windows: snapsalvager-cli.exe, the command line.

Open a command prompt as administrator (reading a card's volume needs it), then:

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
