#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright 2026 The Snapsalvager developers
# The package builds to the same bytes: the source package that scripts/test-package.sh made
# in build/package/ is unpacked as a builder would (dpkg-source -x), in a path of another
# length, and built without tests; the .deb must equal the one test-package.sh built. A second
# whole build, so CI runs it after the test command rather than inside it.
# Usage: scripts/test-package-same-bytes.sh   (after scripts/test-package.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD
fail() { echo "test-package-same-bytes: $*" >&2; exit 1; }
version=$(dpkg-parsechangelog -l debian/changelog -S Version)
upstream_version=${version%-*}
work=$top/build/package
deb=$work/snapsalvager_${version}_$(dpkg-architecture -qDEB_HOST_ARCH).deb
[ -f "$deb" ] && [ -f "$work/snapsalvager_${version}.dsc" ] || fail "no package in $work: run scripts/test-package.sh first"
export DEB_BUILD_OPTIONS="noautodbgsym parallel=$(nproc)"

echo "== package: a second build from another folder" >&2
start=$SECONDS
# Without ccache, so that no object of the first build stands in for a new compilation.
second=$work/second-build-elsewhere/snapsalvager-$upstream_version
rm -rf "$(dirname "$second")"
mkdir -p "$(dirname "$second")"
dpkg-source -x "$work/snapsalvager_${version}.dsc" "$second" >"$work/source-x.log" 2>&1 ||
  { cat "$work/source-x.log" >&2; fail "dpkg-source -x of the source package failed"; }
(cd "$second" && unset CMAKE_C_COMPILER_LAUNCHER CMAKE_CXX_COMPILER_LAUNCHER &&
   DEB_BUILD_OPTIONS="nocheck $DEB_BUILD_OPTIONS" dpkg-buildpackage -b -us -uc) >"$work/build-2.log" 2>&1 ||
  { tail -n 40 "$work/build-2.log" >&2; fail "the second dpkg-buildpackage failed (log: $work/build-2.log)"; }
deb2=$(dirname "$second")/$(basename "$deb")
if ! cmp -s "$deb" "$deb2"; then
  if command -v diffoscope >/dev/null; then diffoscope "$deb" "$deb2" >&2 || true; fi
  fail "the .deb built in $(dirname "$second") differs from the first"
fi
echo "package: $(basename "$deb"): the same bytes from two folders ($((SECONDS - start)) s)" >&2
