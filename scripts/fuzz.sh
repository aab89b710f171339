#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright 2026 The Snapsalvager developers
# Builds the libFuzzer targets with clang and runs each for the given seconds (default 30),
# as many side by side as there are cores.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
seconds="${1:-30}"
cmake --preset fuzz >/dev/null
cmake --build build/fuzz -j "$(nproc)"
# One target for its seconds; its last lines kept for the report below.
fuzz_one() {
  local exe="$1" seconds="$2" name="${1##*/fuzz_}"
  mkdir -p "build/fuzz/corpus/$name"
  rm -f "build/fuzz/$name.failed"
  "$exe" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=0 \
    "build/fuzz/corpus/$name" "fuzz/$name" >"build/fuzz/$name.out" 2>&1 || { touch "build/fuzz/$name.failed"; return 1; }
}
export -f fuzz_one
# The targets side by side, one per core, each for its full time; a finding fails the run.
status=0
printf '%s\n' build/fuzz/fuzz/fuzz_* | xargs -P "$(nproc)" -I{} bash -c 'fuzz_one "$@"' _ {} "$seconds" || status=$?
for exe in build/fuzz/fuzz/fuzz_*; do
  name="${exe##*/fuzz_}"
  echo "-- fuzz_$name for ${seconds}s" >&2
  if [ -e "build/fuzz/$name.failed" ]; then tail -n 60 "build/fuzz/$name.out"; else tail -n 3 "build/fuzz/$name.out"; fi
done
exit "$status"
