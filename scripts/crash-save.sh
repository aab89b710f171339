#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright 2026 The Snapsalvager developers
# The save survives a crash: a recovery of 5,000 small photos and 3 large ones, saved in
# batches, is killed (SIGKILL) at 30 points spread evenly over the writes of its save and at
# 6 more over the writes that touch the large files, then `restore` runs on what is left.
# Every photo must end up saved exactly once, with the bytes of an undisturbed run, and the
# file that was in the folder before must be left as it was. Needs strace (its fault
# injection is the kill).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build/default}
cli=$(realpath "$build/src/cli/snapsalvager-cli")
# Each point is a whole recovery under ptrace (some 3 s to 10 s): 30 + 6 points a round,
# run side by side, keep the test within a few minutes.
points=30
large_points=6
jobs=$(nproc)
# A SIGKILL leaves the page cache whole, so tmpfs shows the same as a disk, without the
# seconds of real fsyncs.
work=$(mktemp -d -p /dev/shm 2>/dev/null || mktemp -d)
trap 'rm -rf "$work"' EXIT
# The save's own writes: heads, journals, copies, fsyncs, links, renames and unlinks.
calls=pwrite64,fsync,rename,renameat2,link,linkat,unlink,unlinkat

# A card of 5,000 photos (a JPEG header, then noise of 1 to 5 sectors each) with 3 large
# ones of 12 MiB among them, 44 MiB: many batches of the file count, one of large files.
python3 - "$work/card.img" <<'PY'
import random, sys
rng = random.Random(19)  # the same card on every run
header = b'\xff\xd8\xff\xe0\x00\x10JFIF\x00'
card = bytearray()
for i in range(5000):
    sectors = (12 << 11) if i in (1200, 1201, 3700) else 1 + i % 5
    card += header + rng.randbytes(512 * sectors - len(header))
size = (len(card) + (1 << 20) - 1) // (1 << 20) * (1 << 20)
card += bytes(max(0, size - len(card)))
open(sys.argv[1], 'wb').write(card[:size])
PY

# A destination holding a file of an earlier recovery under a name the save also uses.
fresh_dest() { rm -rf "$1"; mkdir -p "$1"; echo mine > "$1/File0005.JPG"; }
listing() { (cd "$1" && find . -type f ! -name AboutThisFolder.txt ! -name ".*.partial" | sort | xargs sha256sum); }

# One kill point of a round: the recovery killed at the point ($3, "call:ordinal"), then
# `restore`; writes "killed differs" (0 or 1 each) to result.$2. $4 is the undisturbed
# listing; the rest are the round's strace options.
kill_point() {
  local name=$1 i=$2 at=$3 expected=$4
  shift 4
  local dest=$work/run.$i status leftover was_killed=0 differs=0
  fresh_dest "$dest"
  # strace ends as its tracee did: 137 when the kill came.
  status=$( (strace -f -qq -o /dev/null -e trace=$calls "$@" -e inject="${at%%:*}:signal=KILL:when=${at##*:}" \
    "$cli" recover "$work/card.img" "$dest" --yes >/dev/null 2>&1; echo $?) 2>/dev/null)
  [ "$status" != 137 ] || was_killed=1
  if (($#)); then
    strace -f -qq -o /dev/null -e trace=$calls "$@" "$cli" restore "$dest/TmpFiles" "$dest" >/dev/null 2>&1 || true
  else
    "$cli" restore "$dest/TmpFiles" "$dest" >/dev/null 2>&1 || true
  fi
  leftover=$(find "$dest" -type f \( -path '*/TmpFiles/*' -o -name '.*.partial' \) ! -name AboutThisFolder.txt | head -n 1)
  if [ "$(listing "$dest")" != "$expected" ] || [ -n "$leftover" ]; then
    {
      echo "crash-save ($name): killed at $at (point $i): the folder differs from an undisturbed save"
      diff <(echo "$expected") <(listing "$dest") | head -n 20 || true
      [ -z "$leftover" ] || echo "left: $leftover"
    } >&2
    differs=1
  fi
  rm -rf "$dest"
  echo "$was_killed $differs" >"$work/result.$i"
}

# One round: an undisturbed save, then the save killed at each point and finished by
# `restore`. $1 names the round; the rest are strace options every run of it gets (the
# second round makes renameat2 fail as it does between file systems, so files are copied).
round() {
  local name=$1
  shift
  local dest=$work/undisturbed
  fresh_dest "$dest"
  strace -f -qq -y -o "$work/trace.txt" -e trace=$calls "$@" "$cli" recover "$work/card.img" "$dest" --yes >/dev/null 2>&1 || true
  local expected saved
  expected=$(listing "$dest")
  saved=$(echo "$expected" | grep -c '/File' || true)
  [ "$saved" = 5001 ] || { echo "crash-save ($name): the undisturbed run saved $saved files, not 5,000 + the earlier one" >&2; return 1; }
  # The large files: the three of 12 MiB.
  local -a large
  mapfile -t large < <(cd "$dest" && find . -maxdepth 1 -name 'File*' -size +10M -printf '%f\n' | sort)
  [ "${#large[@]}" = 3 ] || { echo "crash-save ($name): ${#large[@]} large files, not 3" >&2; return 1; }

  # Each kill point as (system call, its ordinal among the main thread's calls of that
  # name, where the save runs): strace counts each call by itself, thread by thread, so an
  # ordinal the scan's threads also reach is left out. Only the save's calls are kill points, from the first write of its
  # first batch journal (SaveJournal.heads.new) on: the scan's own journal comes before, and a scan
  # killed midway is the resume test's case. The calls naming a large file (by its
  # temporary or its final name) are kill points of their own as well.
  local -a ordinals=() large_ordinals=()
  local pattern="" file
  for file in "${large[@]}"; do pattern+="${pattern:+|}${file%%.*}_${file#*.}[.]~QX|${file%%.*}[.]${file#*.}"; done
  local call_at is_large
  while IFS=' ' read -r call_at is_large; do
    ordinals+=("$call_at")
    [ "$is_large" = 0 ] || large_ordinals+=("$call_at")
  done < <(awk -v large="$pattern" '
    !/^[0-9]* *[a-z0-9_]+\(/ { next }
    { pid = $1; if (main == "") main = pid
      line = $0; sub(/^[0-9]* */, "", line); call = line; sub(/\(.*/, "", call)
      seen[pid, call]++
      if (pid != main) { if (seen[pid, call] > other[call]) other[call] = seen[pid, call]; next }
      if (call == "pwrite64" && index(line, "SaveJournal.heads.new")) saving = 1
      if (saving) { n++; name[n] = call; at[n] = seen[pid, call]; big[n] = line ~ large ? 1 : 0 } }
    # An ordinal another thread reaches too would kill that thread first.
    END { for (i = 1; i <= n; i++) if (at[i] > other[name[i]]) print name[i] ":" at[i], big[i] }' "$work/trace.txt")
  local total=${#ordinals[@]} total_large=${#large_ordinals[@]}
  local -a kill_at=()
  for ((i = 0; i < points; i++)); do kill_at+=("${ordinals[$(( i * (total - 1) / (points - 1) ))]}"); done
  for ((i = 0; i < large_points; i++)); do
    kill_at+=("${large_ordinals[$(( i * (total_large - 1) / (large_points - 1) ))]}")
  done

  # The kill points are independent runs, each in its own folder: as many at once as there
  # are processors.
  local failed=0 killed=0 start=$SECONDS i running=0 result
  rm -f "$work"/result.*
  for ((i = 0; i < ${#kill_at[@]}; i++)); do
    if ((running >= jobs)); then wait -n || true; running=$((running - 1)); fi
    if ((SECONDS - start > 420)); then
      echo "crash-save ($name): more than 7 minutes; stopped before point $i" >&2
      failed=$((failed + 1))
      break
    fi
    kill_point "$name" "$i" "${kill_at[$i]}" "$expected" "$@" &
    running=$((running + 1))
  done
  wait
  for result in "$work"/result.*; do
    [ -e "$result" ] || continue
    read -r was_killed differs <"$result"
    killed=$((killed + was_killed))
    failed=$((failed + differs))
  done
  # A kill point that was never reached proves nothing.
  if ((killed < ${#kill_at[@]})); then
    echo "crash-save ($name): only $killed of ${#kill_at[@]} runs were killed" >&2
    failed=$((failed + 1))
  fi
  if [ "$failed" = 0 ]; then
    echo "crash-save ($name): ${#kill_at[@]} kill points over $total writes of a 5,003-file save ($total_large of the large files), every file restored once: passed in $((SECONDS - start)) s"
  else
    echo "crash-save ($name): $failed of ${#kill_at[@]} kill points failed"
    return 1
  fi
}

status=0
round "same file system" || status=1
round "across file systems" -e inject=renameat2:error=EXDEV || status=1
exit "$status"
