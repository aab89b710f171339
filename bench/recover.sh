#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright 2026 The Snapsalvager developers
# Whole-program timing of a recovery: snapsalvager-cli recover on a 2 GiB card image of
# real media, against cp of the same image into the same destination disk (one read and
# one write of every byte: the floor for a carver that stores every sector), and against
# PhotoRec (Debian's testdisk) on the same image. Prints the ratios and peak memory.
# The card image is cached in build/bench-cache/ between runs.
#   bench/recover.sh [SIZE_MIB]     (default 2048)
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
if ! command -v photorec >/dev/null; then
  echo "Installing testdisk (PhotoRec) for the comparison" >&2
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends testdisk >/dev/null
fi

size_mib="${1:-2048}"
# SNAPSALVAGER_BUILD picks another RelWithDebInfo build directory than the default preset's.
build="${SNAPSALVAGER_BUILD:-build/default}"
if [ "$build" = build/default ]; then
  cmake --preset default >/dev/null
else
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" -j "$(nproc)" --target snapsalvager-cli make_demo_card >/dev/null
cli="$build/src/cli/snapsalvager-cli"

cache=build/bench-cache
card_dir="$cache/card-${size_mib}m"
image="$PWD/$card_dir/card.img"
if [ ! -f "$image" ]; then
  echo "Building the ${size_mib} MiB card image (once; cached in $card_dir) ..." >&2
  rm -rf "$card_dir"
  "$build/tests/fixtures/make_demo_card" "$card_dir" --size-mib "$size_mib" \
    --photo-size 2400x1800 --fill >/dev/null
fi
run="$cache/run"

# Every contender reads the image from the page cache: read it once beforehand.
cat "$image" >/dev/null

# time_of NAME COMMAND...: wall seconds including the flush of what it wrote; peak RSS in KiB.
time_of() {
  local name="$1"; shift
  rm -rf "$run"; mkdir -p "$run"; sync
  local start end
  start=$(date +%s.%N)
  /usr/bin/time -f "%M" -o "$cache/$name.rss" "$@" >"$cache/$name.out" 2>"$cache/$name.err" || true
  sync
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f\n", b - a }' >"$cache/$name.secs"
}

time_of cp cp "$image" "$run/copy.img"
time_of snapsalvager "$cli" recover "$image" "$run/recovered" --video --audio --yes
found=$(wc -l <"$cache/snapsalvager.out")
saved=$(find "$run/recovered" -maxdepth 1 -name 'File*' | wc -l)
# PhotoRec, non-interactive, with its default file types, writing its log into the run folder.
time_of photorec sh -c 'cd "$1" && exec photorec /log /d recup /cmd "$2" \
  partition_none,options,paranoid,keep_corrupted_file_no,wholespace,search' photorec "$run" "$image"
photorec_files=$(find "$run" -path '*recup*' -type f ! -name report.xml | wc -l)
rm -rf "$run"

secs() { cat "$cache/$1.secs"; }
calc() { awk "BEGIN { printf \"%.${1}f\", $2 }"; }
bytes=$(stat -c %s "$image")
printf 'card image: %s (%d MiB), %s files found and %s saved by snapsalvager, %s by PhotoRec\n' \
  "$image" $((bytes / 1048576)) "$found" "$saved" "$photorec_files"
for name in cp snapsalvager photorec; do
  printf '%-13s %8.2f s  %6s MiB/s  peak RSS %6s MiB\n' "$name" "$(secs $name)" \
    "$(calc 0 "$bytes / 1048576 / $(secs $name)")" "$(calc 1 "$(cat "$cache/$name.rss") / 1024")"
done
printf 'snapsalvager / cp time: %sx (goal <= 1.3x)\n' "$(calc 2 "$(secs snapsalvager) / $(secs cp)")"
printf 'snapsalvager throughput / PhotoRec throughput: %sx (goal >= 5x)\n' \
  "$(calc 1 "$(secs photorec) / $(secs snapsalvager)")"
printf 'snapsalvager peak RSS: %s MiB (goal < 64 MiB)\n' "$(calc 1 "$(cat "$cache/snapsalvager.rss") / 1024")"
