#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright 2026 The Snapsalvager developers
# Installs what is missing, builds from scratch and runs every test: the Debian package's
# build with the whole suite and the package's checks, the save's crash test, the whole
# suite again under AddressSanitizer + UndefinedBehaviorSanitizer,
# the window in a real X server, udisks2. CI (.ci/run) then runs what would take this past
# twenty minutes: the package's second build (scripts/test-package-same-bytes.sh), the
# Windows build under wine (scripts/test-windows.sh) and each fuzzer for 10 s (scripts/fuzz.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh

export QT_QPA_PLATFORM=offscreen
jobs=$(nproc)

echo "== licence notices" >&2
bash scripts/check-licence-notices.sh
# The package's own build is the main build: it compiles the programs and the suites as Debian
# does, and dh_auto_test runs the whole suite in it. The stages after it use that build, so
# the code is compiled once for them all.
bash scripts/test-package.sh
main_build=$(echo build/package/snapsalvager-*/obj-*)
[ -f "$main_build/build.ninja" ] || { echo "test: no package build folder ($main_build)" >&2; exit 1; }
sed -n '/Test project/,/^Total Test time/p' build/package/build.log >build/ctest-package.log
echo "== crash test of the save (SIGKILL at 36 points a round, then restore)" >&2
BUILD_DIR=$main_build bash scripts/crash-save.sh

echo "== build (ASan + UBSan)" >&2
rm -rf build/sanitize
# Line tables are all a sanitizer's report needs: a tenth less to compile than full debug
# information.
cmake --preset sanitize -DCMAKE_CXX_FLAGS_DEBUG=-g1 -DCMAKE_C_FLAGS_DEBUG=-g1 >/dev/null
cmake --build build/sanitize -j "$jobs"
echo "== tests (ASan + UBSan)" >&2
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build/sanitize --output-on-failure -j "$jobs" -LE no-sanitize \
  | tee build/ctest-sanitize.log

BUILD_DIR=$main_build bash scripts/test-x11.sh

echo "== udisks2 against the real services" >&2
bash scripts/test-udisks2.sh "$main_build"


# One closing line for every run (ctest stops the script above on any failure).
total=0
for log in build/ctest-package.log build/ctest-sanitize.log; do
  n=$(sed -n 's/.*tests passed, 0 tests failed out of \([0-9]*\).*/\1/p' "$log" | tail -n 1)
  total=$((total + ${n:-0}))
done
echo "tests: $total passed, 0 failed"
