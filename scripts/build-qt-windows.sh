#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright 2026 The Snapsalvager developers
# Tries to cross-build Qt's base module (Core, Gui, Widgets and the Windows platform plugin;
# static) for Windows with
# mingw-w64 from Debian's qt6-base source package, for the wizard's Windows build. Not part
# of CI: here it takes about 13 minutes on two cores, over half an hour on one. Runs at the
# lowest priority; a second run goes on where the first stopped (ninja keeps what it built)
# and returns at once when build/windows-deps/qt6/.built names the toolchain file it was
# built with. The log is build/windows-deps/qt6-build.log.
#   JOBS=2 scripts/build-qt-windows.sh    # more cores, when nothing else needs them
#   scripts/build-qt-windows.sh --configure-only
set -euo pipefail
cd "$(dirname "$0")/.."
repo="$PWD"
root="$repo/build/windows-deps"
prefix="$root/qt6"
log="$root/qt6-build.log"
# Qt is built again from scratch when the toolchain file changed (its flags reach every object).
toolchain_sum=$(sha256sum "$repo/cmake/mingw-w64.cmake" | cut -d' ' -f1)
[ "$(cat "$prefix/.built" 2>/dev/null)" = "$toolchain_sum" ] && { echo "$prefix"; exit 0; }
mkdir -p "$root/src"
cd "$root/src"
if ! ls -d qt6-base-*/ >/dev/null 2>&1; then
  # Needs a deb-src line in the apt sources (scripts/deps.sh adds one).
  apt-get source -qq qt6-base >/dev/null 2>&1
fi
source_dir="$(ls -d "$root"/src/qt6-base-*/ | head -1)"
build="$root/qt6-build"
if [ -d "$build" ] && [ "$(cat "$build/.toolchain" 2>/dev/null)" != "$toolchain_sum" ]; then
  rm -rf "$build" "$prefix"
fi
mkdir -p "$build"
echo "$toolchain_sum" >"$build/.toolchain"
start=$(date +%s)
{
  echo "== configure $(date -u)"
  if [ ! -f "$build/build.ninja" ]; then
    # The host's Qt (same version, from Debian) supplies moc, rcc and uic. Only what the
    # wizard and its test suites link: no network, SQL, printing or D-Bus. OpenGL stays: Qt 6.4's
    # Windows platform plugin does not compile without it (qwindowswindow.cpp). No tablet events:
    # Debian's source leaves out Wacom's wintab.h, which the Windows platform plugin needs
    # for them. (A build folder configured before this line must be removed first.)
    cmake -S "$source_dir" -B "$build" -G Ninja \
      -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-w64.cmake" \
      -DCMAKE_CROSSCOMPILING_EMULATOR="" \
      -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
      -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF \
      -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_TOOLS_BY_DEFAULT=OFF \
      -DFEATURE_network=OFF -DFEATURE_sql=OFF -DFEATURE_printsupport=OFF \
      -DFEATURE_dbus=OFF -DFEATURE_testlib=ON -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF \
      -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_harfbuzz=OFF \
      -DFEATURE_system_freetype=OFF -DFEATURE_system_libpng=OFF -DFEATURE_system_jpeg=OFF \
      -DFEATURE_sql_sqlite=OFF -DFEATURE_icu=OFF -DFEATURE_zstd=OFF \
      -DFEATURE_tabletevent=OFF
  fi
  if [ "${1:-}" = --configure-only ]; then
    echo "== configured in $(( $(date +%s) - start )) s"
    exit 0
  fi
  echo "== build $(date -u)"
  # Everything configured: Core, Gui, Widgets, the Windows platform plugin and styles, the
  # entry point; the install needs all of them. (Inside "|| …" bash ignores set -e: each
  # step is checked by hand, so a failed install never marks the build done.)
  nice -n 19 cmake --build "$build" -j "${JOBS:-1}" || exit 1
  nice -n 19 cmake --install "$build" || exit 1
  echo "$toolchain_sum" >"$prefix/.built"
  echo "== built in $(( $(date +%s) - start )) s $(date -u)"
} >>"$log" 2>&1 || {
  echo "stopped after $(( $(date +%s) - start )) s; $(grep -c '^\[' "$log" || true) build steps logged in $log" >&2
  exit 1
}
echo "$prefix"
