#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright 2026 The Snapsalvager developers
# Installs the Debian packages the build, the tests and the demo need. Idempotent: quiet
# and quick when everything is already there.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  libjpeg62-turbo-dev
  libheif-dev  # HEIF/HEIC/AVIF thumbnails
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev  # the decode helper: verdicts and previews of clips and sound
  # real files of today's formats for the deep-scan tests: heif-enc, flac, sox
  libheif-examples flac sox
  qt6-base-dev qt6-base-dev-tools libgl-dev
  qt6-tools-dev qt6-l10n-tools  # lupdate and lrelease: the window's English translation
  fonts-noto-cjk
  libimage-exiftool-perl dosfstools mtools ffmpeg
  exfatprogs  # fsck.exfat checks the exFAT test cards the file-system tests build
  util-linux
  gddrescue  # ddrescuelog checks the map file of a card imaged while it is scanned
  python3 tidy  # the help pages' check (help/check-pages.py)
  dbus-daemon python3-dbusmock  # the udisks2 test: a private D-Bus daemon and a mock udisks2
  # the udisks2 test against the real services (scripts/test-udisks2.sh); udev has systemd-udevd
  udisks2 polkitd udev
  # the same-drive tests on a partitioned loop device: ext4 partitions, mounted
  e2fsprogs mount
  # the Debian package and its test (scripts/test-package.sh)
  debhelper dpkg-dev fakeroot help2man libjpeg-dev desktop-file-utils appstream appstream-util
  lintian man-db diffoscope-minimal
  # the desktop icons rendered from their SVG (scripts/make_pictures.sh)
  librsvg2-bin
  # the save's crash test kills the save at chosen writes (scripts/crash-save.sh)
  strace
  # the command line's one-language test: zh_CN.UTF-8 and en_US.UTF-8 (made below) and the C
  # library's translated messages
  locales libc-l10n
  # the window suites and screenshots in a real X server; Qt's own Chinese texts
  xvfb openbox x11-utils qt6-translations-l10n
  # the Windows build and its tests under wine (scripts/test-windows.sh), and its zip
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-tools
  wine wine64 zip
)

# The Windows build's libjpeg-turbo comes from Debian's source package (apt-get source),
# which needs the source lists, which a plain Debian image leaves out.
if ! grep -rqs '^Types:.*deb-src\|^deb-src ' /etc/apt/sources.list /etc/apt/sources.list.d/; then
  echo "Adding the Debian source lists (deb-src)" >&2
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    sed -n 's/^Types: deb$/Types: deb-src/p; /^Types:/!p' /etc/apt/sources.list.d/debian.sources |
      $SUDO tee /etc/apt/sources.list.d/debian-src.sources >/dev/null
  else  # the one-line format of /etc/apt/sources.list
    sed -n 's/^deb \(.*\)/deb-src \1/p' /etc/apt/sources.list 2>/dev/null |
      $SUDO tee /etc/apt/sources.list.d/debian-src.list >/dev/null
  fi
  $SUDO apt-get update -qq
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}" >&2
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The locales the command line's language tests run under.
for wanted in zh_CN.UTF-8 en_US.UTF-8; do
  if ! locale -a 2>/dev/null | grep -qix "${wanted/UTF-8/utf8}"; then
    echo "Generating the locale $wanted" >&2
    $SUDO sed -i "s/^# *\($wanted UTF-8\)$/\1/" /etc/locale.gen
    grep -qx "$wanted UTF-8" /etc/locale.gen || echo "$wanted UTF-8" | $SUDO tee -a /etc/locale.gen >/dev/null
    $SUDO locale-gen >/dev/null
  fi
done
