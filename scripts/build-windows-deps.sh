#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright 2026 The Snapsalvager developers
# Cross-builds the libraries the Windows build needs and Debian has no mingw-w64 package for
# (libjpeg-turbo, from Debian's source package), once, into build/windows-deps/prefix.
# A second run finds the stamp and returns at once.
set -euo pipefail
cd "$(dirname "$0")/.."
repo="$PWD"
root="$PWD/build/windows-deps"
prefix="$root/prefix"
stamp="$prefix/.libjpeg-turbo-built"
[ -f "$stamp" ] && exit 0

mkdir -p "$root/src"
cd "$root/src"
if ! ls -d libjpeg-turbo-*/ >/dev/null 2>&1; then
  # Needs a deb-src line in the apt sources (scripts/deps.sh adds one).
  apt-get source -qq libjpeg-turbo >/dev/null 2>&1
fi
source_dir="$(ls -d "$root"/src/libjpeg-turbo-*/ | head -1)"
cmake -S "$source_dir" -B "$root/libjpeg-turbo-build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-w64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_TURBOJPEG=OFF -DWITH_SIMD=OFF \
  -Wno-dev >/dev/null
cmake --build "$root/libjpeg-turbo-build" -j2 --target jpeg-static >/dev/null
# Only the static library and its headers: installing everything would build the tools too.
mkdir -p "$prefix/lib" "$prefix/include"
cp "$root/libjpeg-turbo-build/libjpeg.a" "$prefix/lib/"
cp "$source_dir"/{jpeglib.h,jmorecfg.h,jerror.h} "$root/libjpeg-turbo-build/jconfig.h" "$prefix/include/"
touch "$stamp"
