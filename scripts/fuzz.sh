#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright 2026 The Snapsalvager developers
# Builds the libFuzzer targets with clang and runs each for the given seconds (default 30).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
seconds="${1:-30}"
cmake --preset fuzz >/dev/null
cmake --build build/fuzz -j "$(nproc)"
for exe in build/fuzz/fuzz/fuzz_*; do
  [ -x "$exe" ] || continue
  name="${exe##*/fuzz_}"
  corpus="build/fuzz/corpus/$name"
  mkdir -p "$corpus"
  echo "-- fuzz_$name for ${seconds}s" >&2
  "$exe" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=0 \
    "$corpus" "fuzz/$name" 2>&1 | tail -n 3
done
