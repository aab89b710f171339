#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright 2026 The Snapsalvager developers
# Makes the upstream tarball, snapsalvager_VERSION.orig.tar.xz, that the Debian package (source
# format 3.0 (quilt)) is built from: `git archive` of one commit (HEAD unless named), under the
# folder snapsalvager-VERSION/, VERSION read from that commit's top CMakeLists.txt.
#
# The same commit always gives the same bytes: git archive lists the files in the tree's
# (sorted) order, stamps every file with the commit's time, and records the commit id; xz runs
# single-threaded, whose output does not depend on the machine.
#
# debian/ is left out. The tarball is the project's release for anyone, packaged or not; the
# Debian packaging travels in the source package's own .debian.tar.xz, so it can change (a new
# Debian revision) without a new upstream tarball, and is never in two places at once.
#
# Usage: scripts/make-orig-tarball.sh [OUT_DIR [COMMIT]]   (OUT_DIR: build/ by default)
# Prints the tarball's path.
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-build}
commit=${2:-HEAD}

git rev-parse --verify -q "$commit^{commit}" >/dev/null ||
  { echo "make-orig-tarball: $commit is no commit of this repository" >&2; exit 1; }
version=$(git show "$commit:CMakeLists.txt" | sed -n 's/^project(Snapsalvager VERSION \([0-9.]*\).*/\1/p')
[ -n "$version" ] || { echo "make-orig-tarball: no project version in $commit:CMakeLists.txt" >&2; exit 1; }

mkdir -p "$out"
tarball=$out/snapsalvager_$version.orig.tar.xz
git -c core.autocrlf=false archive --format=tar --prefix="snapsalvager-$version/" "$commit" -- . ':(exclude)debian' |
  xz -6 -T1 -c >"$tarball.part"
mv "$tarball.part" "$tarball"
echo "$tarball"
