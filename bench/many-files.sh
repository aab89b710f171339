#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright 2026 The Snapsalvager developers
# Whole-program timing of a card's worth of small files: a card image of 50,000 photos
# (a JPEG header and 2 to 16 sectors of noise each, every one on its own sector run), and
#   recover        scan and save, crash-safe (batched)
#   --scan-only    the scan alone, its temporary files kept
#   restore        the save alone, from those temporary files
#   cp -r + sync   the same temporary files copied on the same disk and flushed
# with the goal recover <= 2 x (scan-only + cp + sync), and the fsync calls per saved
# file of recover (strace -c). Everything runs on the disk of build/bench-cache.
#   bench/many-files.sh [FILES]      (default 50000)
# SNAPSALVAGER_BUILD picks another build directory (e.g. one of an earlier version, to
# count its fsyncs); it must hold snapsalvager-cli already.
set -euo pipefail
cd "$(dirname "$0")/.."
files="${1:-50000}"
build="${SNAPSALVAGER_BUILD:-build/default}"
cli=$(realpath "$build/src/cli/snapsalvager-cli")
command -v strace >/dev/null || DEBIAN_FRONTEND=noninteractive apt-get install -y -qq strace >/dev/null
cache=$PWD/build/bench-cache/many-files
mkdir -p "$cache"
image=$cache/card-$files.img
if [ ! -f "$image" ]; then
  echo "Building the card image of $files photos (once; cached in $cache) ..." >&2
  python3 - "$image" "$files" <<'PY'
import random, sys
rng = random.Random(35)
header = b'\xff\xd8\xff\xe0\x00\x10JFIF\x00'
with open(sys.argv[1], 'wb') as out:
    for i in range(int(sys.argv[2])):
        out.write(header + rng.randbytes(512 * rng.randint(2, 16) - len(header)))
    out.write(bytes(1 << 20))
PY
fi
cat "$image" >/dev/null  # every run reads the image from the page cache
run=$cache/run

# time_of NAME COMMAND...: wall seconds, the flush of what it wrote included.
time_of() {
  local name=$1; shift
  sync
  local start end
  start=$(date +%s.%N)
  "$@" >"$cache/$name.out" 2>"$cache/$name.err" || { echo "$name failed:" >&2; tail -5 "$cache/$name.err" >&2; exit 1; }
  sync
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.2f", b - a }' >"$cache/$name.secs"
}
fresh() { rm -rf "$run"; mkdir -p "$run"; sync; }

fresh
time_of recover "$cli" recover "$image" "$run/recovered" --yes
saved=$(find "$run/recovered" -maxdepth 1 -name 'File*' | wc -l)
fresh
time_of scan-only "$cli" recover "$image" "$run/kept" --scan-only --yes
kept_bytes=$(du -sb "$run/kept/TmpFiles" | cut -f1)
time_of cp-sync cp -r "$run/kept/TmpFiles" "$run/copy"
time_of restore "$cli" restore "$run/kept/TmpFiles" "$run/restored"
fresh
strace -f --seccomp-bpf -c -o "$cache/strace.txt" -e trace=fsync,fdatasync,syncfs,sync_file_range "$cli" recover "$image" "$run/traced" --yes >/dev/null 2>&1
fsyncs=$(awk '$NF == "fsync" || $NF == "fdatasync" { n += $4 } END { print n + 0 }' "$cache/strace.txt")
syncfss=$(awk '$NF == "syncfs" { n += $4 } END { print n + 0 }' "$cache/strace.txt")
rm -rf "$run"

secs() { cat "$cache/$1.secs"; }
printf 'card image: %s, %d MiB, %s photos; %s saved by recover; %d MiB of temporary files\n' \
  "$image" $(( $(stat -c %s "$image") / 1048576 )) "$files" "$saved" $(( kept_bytes / 1048576 ))
for name in recover scan-only restore cp-sync; do printf '%-10s %8s s\n' "$name" "$(secs $name)"; done
awk -v r="$(secs recover)" -v s="$(secs scan-only)" -v c="$(secs cp-sync)" 'BEGIN {
  goal = 2 * (s + c)
  printf "goal: recover <= 2 x (scan-only + cp -r + sync) = %.2f s: %s (%.2f x)\n", goal, r <= goal ? "met" : "missed", r / (s + c) }'
awk -v n="$saved" -v f="$fsyncs" -v s="$syncfss" 'BEGIN {
  printf "fsync calls: %d for %d files, %.3f per file; syncfs calls: %d, %.3f per file\n", f, n, n ? f / n : 0, s, n ? s / n : 0 }'
