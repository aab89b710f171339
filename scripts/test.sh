#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright 2026 The Snapsalvager developers
# Installs what is missing, builds from scratch and runs every test: the normal build,
# then the whole suite again under AddressSanitizer + UndefinedBehaviorSanitizer, then a
# short run of each fuzzer.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh

export QT_QPA_PLATFORM=offscreen
jobs=$(nproc)

echo "== build (default)" >&2
rm -rf build/default
cmake --preset default >/dev/null
cmake --build build/default -j "$jobs"
echo "== tests (default)" >&2
ctest --test-dir build/default --output-on-failure -j "$jobs" | tee build/ctest-default.log
echo "== crash test of the save (SIGKILL at 50 points, then restore)" >&2
bash scripts/crash-save.sh
bash scripts/test-package.sh
bash scripts/test-windows.sh
# The Windows window needs a Qt for Windows that takes a quarter of an hour to build: it is
# tried where scripts/build-qt-windows.sh has built one (not on a fresh machine, nor in CI).
if [ -f build/windows-deps/qt6/.built ]; then
  bash scripts/test-windows-wizard.sh
else
  echo "== the Windows window: skipped, no Qt for Windows (scripts/build-qt-windows.sh builds it)" >&2
fi

echo "== build (ASan + UBSan)" >&2
rm -rf build/sanitize
cmake --preset sanitize >/dev/null
cmake --build build/sanitize -j "$jobs"
echo "== tests (ASan + UBSan)" >&2
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build/sanitize --output-on-failure -j "$jobs" -LE no-sanitize \
  | tee build/ctest-sanitize.log

bash scripts/test-x11.sh

echo "== udisks2 against the real services" >&2
bash scripts/test-udisks2.sh build/default

if [ -d fuzz ] && ls fuzz/*.cpp >/dev/null 2>&1; then
  echo "== fuzzers (10 s each)" >&2
  bash scripts/fuzz.sh 10
fi

# One closing line for every run (ctest stops the script above on any failure).
total=0
for log in build/ctest-default.log build/ctest-sanitize.log build/ctest-windows.log; do
  n=$(sed -n 's/.*tests passed, 0 tests failed out of \([0-9]*\).*/\1/p' "$log" | tail -n 1)
  total=$((total + ${n:-0}))
done
echo "tests: $total passed, 0 failed"
