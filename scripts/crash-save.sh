#!/usr/bin/env bash
# The save survives a crash: a recovery of 30 photos is killed (SIGKILL) at 50 points spread
# evenly over the writes of its save, then `restore` runs on what is left. Every photo must
# end up saved exactly once, with the bytes of an undisturbed run, and the file that was in
# the folder before must be left as it was. Needs strace (its fault injection is the kill).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build/default}
cli=$(realpath "$build/src/cli/snapsalvager-cli")
points=50
# A SIGKILL leaves the page cache whole, so tmpfs shows the same as a disk, without the
# seconds of real fsyncs.
work=$(mktemp -d -p /dev/shm 2>/dev/null || mktemp -d)
trap 'rm -rf "$work"' EXIT
# The save's own writes: heads, journals, copies, fsyncs, links, renames and unlinks.
calls=pwrite64,fsync,rename,renameat2,link,linkat,unlink,unlinkat

# A card of 30 photos (a JPEG header, then noise of 3 to 7 sectors each), 1 MiB.
python3 - "$work/card.img" <<'PY'
import random, sys
rng = random.Random(19)  # the same card on every run
card = bytearray()
for i in range(30):
    card += b'\xff\xd8\xff\xe0\x00\x10JFIF\x00' + bytes(rng.getrandbits(8) for _ in range(512 * (3 + i % 5) - 11))
card += bytes(max(0, (1 << 20) - len(card)))
open(sys.argv[1], 'wb').write(card[:1 << 20])
PY

# A destination holding a file of an earlier recovery under a name the save also uses.
fresh_dest() { rm -rf "$1"; mkdir -p "$1"; echo mine > "$1/File0005.JPG"; }
listing() { (cd "$1" && find . -type f ! -name AboutThisFolder.txt ! -name ".*.partial" | sort | xargs sha256sum); }

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
  [ "$saved" = 31 ] || { echo "crash-save ($name): the undisturbed run saved $saved files, not 30 + the earlier one" >&2; return 1; }

  # Each kill point as (system call, its ordinal among calls of that name): strace counts
  # each call by itself. Only the save's calls are kill points, from its first head journal
  # (*.head.new) on: the scan's own journal comes before, and a scan killed midway is the
  # resume test's case.
  local -a sequence ordinals=()
  mapfile -t sequence < <(grep -E '^[0-9]* *[a-z0-9_]+\(' "$work/trace.txt")
  local -A seen=()
  local line call saving=""
  for line in "${sequence[@]}"; do
    call=$(sed 's/^[0-9]* *\([a-z0-9_]*\)(.*/\1/' <<<"$line")
    seen[$call]=$(( ${seen[$call]:-0} + 1 ))
    [[ $line == *.head.new* ]] && saving=yes
    [ -z "$saving" ] || ordinals+=("$call:${seen[$call]}")
  done
  local total=${#ordinals[@]}

  local failed=0 start=$SECONDS i at leftover
  for ((i = 0; i < points; i++)); do
    at=${ordinals[$(( i * (total - 1) / (points - 1) ))]}
    dest=$work/run$i
    fresh_dest "$dest"
    (strace -f -qq -o /dev/null -e trace=$calls "$@" -e inject="${at%%:*}:signal=KILL:when=${at##*:}" \
      "$cli" recover "$work/card.img" "$dest" --yes; :) >/dev/null 2>&1 || true
    strace -f -qq -o /dev/null "$@" "$cli" restore "$dest/TmpFiles" "$dest" >/dev/null 2>&1 || true
    leftover=$(find "$dest" -type f \( -path '*/TmpFiles/*' -o -name '.*.partial' \) ! -name AboutThisFolder.txt | head -n 1)
    if [ "$(listing "$dest")" != "$expected" ] || [ -n "$leftover" ]; then
      echo "crash-save ($name): killed at $at (point $i): the folder differs from an undisturbed save" >&2
      diff <(echo "$expected") <(listing "$dest") >&2 || true
      [ -z "$leftover" ] || echo "left: $leftover" >&2
      failed=$((failed + 1))
    fi
    if ((SECONDS - start > 60)); then
      echo "crash-save ($name): more than a minute; stopped after $((i + 1)) points" >&2
      failed=$((failed + 1))
      break
    fi
  done
  if [ "$failed" = 0 ]; then
    echo "crash-save ($name): $points kill points over $total writes of a 30-file save, every file restored once: passed"
  else
    echo "crash-save ($name): $failed of $points kill points failed"
    return 1
  fi
}

status=0
round "same file system" || status=1
round "across file systems" -e inject=renameat2:error=EXDEV || status=1
exit "$status"
