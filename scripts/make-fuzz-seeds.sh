#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright 2026 The Snapsalvager developers
# Makes the fuzzers' starting inputs that real tools write: the clips and sound files of
# fuzz/structure/ and the HEIF of fuzz/rawpreview/, with the programs and arguments the
# bench's camera card (bench/BenchCard.cpp, round 1) and the test card of today's formats
# (tests/fixtures/MediaCard.cpp) use. Each input is the type byte the fuzzer reads first (the
# type's place in fuzz_structure.cpp's list; 3 picks the HEIF reader of fuzz_rawpreview), the
# file's first 24000 bytes and 1024 zero bytes, as a file cut short lies before a card's unused
# sectors. fuzz/README.md says where the other inputs come from.
#
# The inputs go into OUT (build/fuzz-inputs by default), in the corpora's folders; copy the ones
# wanted into fuzz/. Another ffmpeg may write other bytes: the inputs need only be such files.
# Usage: scripts/make-fuzz-seeds.sh [OUT]   (needs ffmpeg, sox and heif-enc: scripts/deps.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-build/fuzz-seeds}
for tool in ffmpeg sox heif-enc; do
  command -v "$tool" >/dev/null || { echo "make-fuzz-seeds: $tool is missing (scripts/deps.sh)" >&2; exit 1; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out/structure" "$out/rawpreview"

# The structure fuzzer's types, in the order of its kTypes list.
read -r -a types <<<"$(sed -n '/kTypes\[\] = {/,/};/p' fuzz/fuzz_structure.cpp | grep -o '"[A-Z0-9]*"' | tr -d '"' | tr '\n' ' ')"
[ "${#types[@]}" -gt 20 ] || { echo "make-fuzz-seeds: cannot read the types of fuzz/fuzz_structure.cpp" >&2; exit 1; }
type_byte() {
  local i
  for i in "${!types[@]}"; do [ "${types[$i]}" = "$1" ] && { echo "$i"; return; }; done
  echo "make-fuzz-seeds: fuzz_structure.cpp has no type $1" >&2
  exit 1
}

# input CORPUS NAME BYTE FILE: the selector byte, the file's first 24000 bytes, 1024 zeros.
input() {
  { printf "\\$(printf '%03o' "$3")"; head -c 24000 "$4"; head -c 1024 /dev/zero; } >"$out/$1/$2"
  echo "$out/$1/$2"
}

ffmpeg_clip() {  # ffmpeg_clip FILE ARGUMENTS...
  local file=$1
  shift
  ffmpeg -v error -y -nostdin "$@" -bitexact "$work/$file"
}

# The camera card's clips (bench/BenchCard.cpp, round 1), named as there: name-type.
ffmpeg_clip mvi_101.avi -f lavfi -i testsrc=size=320x240:rate=15:duration=3.1 -f lavfi -i sine=f=440:d=3 -shortest \
  -c:v mjpeg -q:v 4 -c:a pcm_s16le -f avi
ffmpeg_clip vid_103.mp4 -f lavfi -i testsrc=size=320x240:rate=25:duration=4.1 -f lavfi -i sine=f=330:d=4 -shortest \
  -c:v libx264 -preset ultrafast -c:a aac -f mp4
ffmpeg_clip mvi_104.mov -f lavfi -i testsrc=size=320x240:rate=25:duration=3.1 -c:v libx264 -preset ultrafast -f mov
ffmpeg_clip vid_105.3gp -f lavfi -i testsrc=size=176x144:rate=15:duration=3.1 -c:v h263 -f 3gp
ffmpeg_clip clip106.mts -f lavfi -i testsrc=size=320x240:rate=25:duration=3.1 -c:v mpeg2video -q:v 5 \
  -f mpegts -mpegts_m2ts_mode 1
ffmpeg_clip clip107.mts -f lavfi -i testsrc2=size=320x240:rate=25:duration=2.1 -c:v mpeg2video -q:v 5 -f mpegts
ffmpeg_clip mov108.mpg -f lavfi -i testsrc=size=320x240:rate=25:duration=3.1 -c:v mpeg2video -q:v 5 -f vob
ffmpeg_clip mov109.asf -f lavfi -i testsrc=size=320x240:rate=15:duration=3.1 -f lavfi -i sine=f=550:d=3 -shortest \
  -c:v wmv2 -c:a wmav2 -f asf
ffmpeg_clip rec110.wav -f lavfi -i sine=f=440:d=5.1 -ar 22050 -f wav
ffmpeg_clip rec111.mp3 -f lavfi -i sine=f=660:d=6.1 -c:a libmp3lame -id3v2_version 3 -write_id3v1 1 -f mp3
# Today's formats (tests/fixtures/MediaCard.cpp): MXF and M4A by ffmpeg, FLAC by sox, HEIC by
# heif-enc from a JPEG that ffmpeg draws.
ffmpeg_clip clip.mxf -f lavfi -i testsrc=size=720x576:rate=25 -t 1 -c:v mpeg2video -f mxf
ffmpeg_clip voice.m4a -f lavfi -i sine=frequency=500:duration=1 -c:a aac -f ipod
sox -D -n -r 44100 -c 2 -b 16 "$work/tone.flac" synth 1.5 sine 440
ffmpeg_clip phone.jpg -f lavfi -i testsrc=size=320x240 -frames:v 1 -f image2
heif-enc -q 40 -t 160 "$work/phone.jpg" -o "$work/phone.heic" >/dev/null

for file in "$work"/*; do
  name=$(basename "$file")
  ext=${name##*.}
  case "$ext" in jpg) continue ;; esac
  type=$(tr a-z A-Z <<<"$ext")
  case "$type" in WMV) type=ASF ;; esac
  input structure "${name%.*}-$ext" "$(type_byte "$type")" "$file"
done
input rawpreview phone-heic 3 "$work/phone.heic"
