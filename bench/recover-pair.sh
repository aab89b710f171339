#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright 2026 The Snapsalvager developers
# Scan speed of two builds of snapsalvager-cli, measured in pairs: each round runs both on
# every card image, alternating which goes first, so a machine shared with other work
# slows both alike. Per build and card: median wall and CPU (user + system) seconds over the
# rounds, with the lowest and highest (the spread), and the ratio of the medians.
#   bench/recover-pair.sh CLI_A CLI_B ROUNDS CARD.img... [-- EXTRA RECOVER OPTIONS]
# e.g. bench/recover-pair.sh old/snapsalvager-cli build/default/src/cli/snapsalvager-cli 7 \
#        cards/*/card.img -- --scan-only
set -euo pipefail
if [ $# -lt 4 ]; then
  sed -n '4,9p' "$0" >&2
  exit 2
fi
cli_a=$1 cli_b=$2 rounds=$3
shift 3
cards=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do cards+=("$1"); shift; done
[ $# -gt 0 ] && shift
extra=("$@")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Every run reads its card from the page cache: read each once beforehand.
for card in "${cards[@]}"; do cat "$card" >/dev/null; done

# run NAME CLI CARD: one recovery into an empty folder; appends "wall cpu" to its results.
run() {
  local name=$1 cli=$2 card=$3 out
  out="$work/$name-$(basename "$(dirname "$card")")"
  rm -rf "$work/dest"; sync
  /usr/bin/time -f "%e %U %S" -o "$work/time" "$cli" recover "$card" "$work/dest" --video --audio --yes \
    "${extra[@]}" >/dev/null 2>"$work/err" || { cat "$work/err" >&2; exit 1; }
  awk '{ printf "%.3f %.3f\n", $1, $2 + $3 }' "$work/time" >>"$out"
}

for ((round = 1; round <= rounds; ++round)); do
  for card in "${cards[@]}"; do
    if ((round % 2)); then run a "$cli_a" "$card"; run b "$cli_b" "$card"
    else run b "$cli_b" "$card"; run a "$cli_a" "$card"; fi
  done
done

# stats FILE COLUMN: median, lowest, highest.
stats() {
  sort -n -k"$2","$2" "$1" | awk -v c="$2" '{ v[NR] = $c } END {
    m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
    printf "%.3f %.3f %.3f\n", m, v[1], v[NR] }'
}
printf 'A: %s\nB: %s\n%d rounds, options: --video --audio --yes %s\n' "$cli_a" "$cli_b" "$rounds" "${extra[*]}"
printf '%-10s %-5s %26s %26s\n' card build 'wall s median (min-max)' 'CPU s median (min-max)'
for card in "${cards[@]}"; do
  name=$(basename "$(dirname "$card")")
  for build in a b; do
    read -r wm wl wh < <(stats "$work/$build-$name" 1)
    read -r cm cl ch < <(stats "$work/$build-$name" 2)
    printf '%-10s %-5s %10s (%6s-%6s) %10s (%6s-%6s)\n' "$name" "${build^^}" "$wm" "$wl" "$wh" "$cm" "$cl" "$ch"
  done
  read -r wa _ < <(stats "$work/a-$name" 1); read -r wb _ < <(stats "$work/b-$name" 1)
  read -r ca _ < <(stats "$work/a-$name" 2); read -r cb _ < <(stats "$work/b-$name" 2)
  awk -v n="$name" -v wa="$wa" -v wb="$wb" -v ca="$ca" -v cb="$cb" \
    'BEGIN { printf "%-10s B/A   wall %.3f   CPU %.3f\n", n, wb / wa, cb / ca }'
done
