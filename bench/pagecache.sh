#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright 2026 The Snapsalvager developers
# The scan against cp + sync of the same card image, and what the scan leaves in the page
# cache. A 4 GiB card image of real media (cached in build/bench-cache/ between runs) is
# scanned with --scan-only (every sector read, every carved byte written to a temporary
# file) and copied with cp, alternated, each followed by sync. Before every run the image is
# dropped from the page cache, as a card being recovered is not cached either; after each
# scan fincore tells how much of the card the scan left cached.
#   bench/pagecache.sh [ROUNDS] [SIZE_MIB]     (default 3 rounds, 4096 MiB)
# SNAPSALVAGER_CLI names another snapsalvager-cli to measure (an older build, say).
set -euo pipefail
cd "$(dirname "$0")/.."

rounds="${1:-3}"
size_mib="${2:-4096}"
build="${SNAPSALVAGER_BUILD:-build/default}"
if [ "$build" = build/default ]; then
  cmake --preset default >/dev/null
else
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" -j "$(nproc)" --target snapsalvager-cli make_demo_card >/dev/null
cli="${SNAPSALVAGER_CLI:-$build/src/cli/snapsalvager-cli}"

cache=build/bench-cache
card_dir="$cache/card-${size_mib}m"
image="$PWD/$card_dir/card.img"
if [ ! -f "$image" ]; then
  echo "Building the ${size_mib} MiB card image (once; cached in $card_dir) ..." >&2
  rm -rf "$card_dir"
  "$build/tests/fixtures/make_demo_card" "$card_dir" --size-mib "$size_mib" \
    --photo-size 2400x1800 --fill >/dev/null
fi
run="$cache/pagecache-run"

# The share of the image's pages in the page cache, in percent.
cached_percent() {
  fincore --bytes --noheadings --output RES,SIZE "$image" |
    awk '{ printf "%.1f", ($2 > 0 ? 100 * $1 / $2 : 0) }'
}
evict() { dd if="$image" iflag=nocache count=0 status=none; }

# time_of NAME COMMAND...: wall seconds of the command and the sync after it, appended to
# $cache/NAME.times.
time_of() {
  local name="$1"; shift
  rm -rf "$run"; mkdir -p "$run"; sync
  evict
  local start end
  start=$(date +%s.%N)
  "$@" >"$cache/$name.out" 2>"$cache/$name.err" || true
  sync
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f\n", b - a }' >>"$cache/$name.times"
}

rm -f "$cache/cp.times" "$cache/scan.times" "$cache/scan.cached"
for ((r = 1; r <= rounds; ++r)); do
  time_of cp cp "$image" "$run/copy.img"
  time_of scan "$cli" recover "$image" "$run/recovered" --video --audio --scan-only --yes
  cached_percent >>"$cache/scan.cached"; echo >>"$cache/scan.cached"
  printf 'round %d: cp + sync %6.2f s   scan + sync %6.2f s   card cached after the scan %5s %%\n' \
    "$r" "$(tail -n 1 "$cache/cp.times")" "$(tail -n 1 "$cache/scan.times")" \
    "$(tail -n 1 "$cache/scan.cached")" >&2
done
found=$(wc -l <"$cache/scan.out")
rm -rf "$run"

median() { sort -n "$1" | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
cp_s=$(median "$cache/cp.times")
scan_s=$(median "$cache/scan.times")
bytes=$(stat -c %s "$image")
printf 'card image: %s (%d MiB), %s files found; medians of %d alternated rounds\n' \
  "$image" $((bytes / 1048576)) "$found" "$rounds"
printf 'cp + sync    %7.2f s\nscan + sync  %7.2f s\n' "$cp_s" "$scan_s"
printf 'scan / (cp + sync): %sx (goal <= 1.3x)\n' "$(awk "BEGIN { printf \"%.2f\", $scan_s / $cp_s }")"
printf 'card in the page cache after the scan: %s %% (goal < 5 %%)\n' "$(median "$cache/scan.cached")"
