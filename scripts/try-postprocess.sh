#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright 2026 The Snapsalvager developers
# Tries the repair steps of help/postprocess.html on carved files: makes a FAT32 card with
# camera-like clips of every special video type and a DNG raw photo, recovers it with
# snapsalvager-cli, then runs each step on the carved file (whole, and cut short as when the
# card's next file follows too early) and prints one line per step: OK or FAIL and why.
# Needs ffmpeg, mtools, dosfstools and dcraw. Usage: scripts/try-postprocess.sh [work-folder]
set -uo pipefail
cd "$(dirname "$0")/.."
work=${1:-build/try-postprocess}
cli=build/default/src/cli/snapsalvager-cli
[ -x "$cli" ] || cmake --build build/default --target snapsalvager-cli >/dev/null
rm -rf "$work"
mkdir -p "$work/media" "$work/fixed"
media=$work/media
ff() { ffmpeg -v error -y -nostdin "$@"; }

# Clips as cameras write them: H.264 with AAC in MOV/MP4/3GP, Motion JPEG in AVI, AVCHD-like
# M2TS, MPEG-2 program stream, Windows Media in ASF.
src=(-f lavfi -i testsrc=size=320x240:rate=25 -f lavfi -i sine=frequency=440 -t 3)
ff "${src[@]}" -c:v libx264 -pix_fmt yuv420p -c:a aac -f mov "$media/CLIP0001.MOV"
ff "${src[@]}" -c:v mjpeg -q:v 5 -c:a pcm_s16le -f avi "$media/CLIP0002.AVI"
ff "${src[@]}" -c:v mpeg2video -c:a mp2 -f vob "$media/CLIP0003.MPG"
ff "${src[@]}" -c:v libx264 -pix_fmt yuv420p -c:a aac -f mp4 "$media/CLIP0004.MP4"
ff -f lavfi -i testsrc=size=176x144:rate=15 -f lavfi -i sine=frequency=440 -t 3 \
   -c:v h263 -c:a aac -ar 16000 -ac 1 -f 3gp "$media/CLIP0005.3GP"
# ffmpeg starts a stream with its service table; a camera starts with the program table.
ff "${src[@]}" -c:v libx264 -pix_fmt yuv420p -c:a ac3 -f mpegts -mpegts_m2ts_mode 1 "$work/sdt.mts"
tail -c +193 "$work/sdt.mts" >"$media/CLIP0006.MTS"
rm "$work/sdt.mts"
ff "${src[@]}" -c:v wmv2 -c:a wmav2 -f asf "$media/CLIP0007.ASF"
python3 scripts/make-dng.py "$media/IMG_0008.DNG"
# A phone-style MP4 whose index comes first (-movflags +faststart).
ff "${src[@]}" -c:v libx264 -pix_fmt yuv420p -c:a aac -movflags +faststart -f mp4 "$media/CLIP0009.MP4"

card=$work/card.img
mkfs.fat -F 32 -s 1 -n SNAPCARD -C "$card" $((48 * 1024)) >/dev/null
mmd -i "$card" ::/DCIM
for f in "$media"/*; do mcopy -i "$card" "$f" ::/DCIM/; done
mdel -i "$card" ::/DCIM/CLIP0002.AVI  # a deleted clip, as on a used card

"$cli" recover "$card" "$work/recovered" --camera "Leica Digital Camera" --video >"$work/found.txt" 2>"$work/cli.log"
echo "carved:"
cut -f 2,3 "$work/found.txt" | sed 's/^/  /'

result() {  # name, command...; the command's own output is kept in $work/step.log
  local name=$1
  shift
  if "$@" >"$work/step.log" 2>&1; then
    echo "OK    $name"
  else
    echo "FAIL  $name: $(grep -a -v '^$' "$work/step.log" | tail -n 1)"
  fi
}
# Decodes every frame; fails on any decoding error.
decodes() { ff -xerror -i "$1" -f null - ; }
# A file cut to 60 %, as when only the first fragments of a clip were carved.
cut_short() { head -c $(( $(stat -c %s "$1") * 6 / 10 )) "$1" >"$2"; }
identify_size() { ffprobe -v error -show_entries stream=width,height -of csv=p=0:s=x "$1"; }
# Plays what is there: how many seconds decode, and whether frames were damaged at the cut.
plays_partly() {
  ff -i "$1" -f null - 2>"$work/decode.log"
  local d damaged=""
  d=$(duration "$1")
  grep -q -a -i 'error\|invalid\|corrupt\|too small' "$work/decode.log" && damaged=", the frame at the cut damaged"
  echo "$d s play$damaged"
}
duration() { ffprobe -v error -show_entries format=duration -of csv=p=0 "$1"; }

echo "steps:"
for f in "$work"/recovered/File*.*; do
  [ -f "$f" ] || continue
  base=$(basename "$f")
  ext=${base##*.}
  out=$work/fixed/${base%.*}
  short=$work/fixed/short-$base
  cut_short "$f" "$short"
  case $ext in
    MOV|MP4|3GP)
      result "$base: plays as carved" decodes "$f"
      result "$base: remux  ffmpeg -i $base -c copy -map 0 -movflags +faststart" \
        ff -i "$f" -c copy -map 0 -movflags +faststart "$out.fixed.$ext"
      [ -f "$out.fixed.$ext" ] && result "$base: remuxed file plays ($(duration "$out.fixed.$ext") s)" decodes "$out.fixed.$ext"
      result "$base cut to 60 %: remux" ff -i "$short" -c copy -map 0 "$out.short.$ext"
      [ -f "$out.short.$ext" ] && echo "      $base cut to 60 %: $(plays_partly "$out.short.$ext")"
      ;;
    AVI)
      result "$base: plays as carved" decodes "$f"
      result "$base: new index  ffmpeg -fflags +genpts -i $base -c copy" \
        ff -fflags +genpts -i "$f" -c copy -map 0 "$out.fixed.avi"
      result "$base cut to 60 %: new index" ff -fflags +genpts -i "$short" -c copy -map 0 "$out.short.avi"
      [ -f "$out.short.avi" ] && echo "      $base cut to 60 %: $(plays_partly "$out.short.avi")"
      ;;
    MTS|MPG)
      result "$base: plays as carved" decodes "$f"
      result "$base: remux to MP4  ffmpeg -i $base -c copy -map 0 x.mp4" ff -i "$f" -c copy -map 0 "$out.fixed.mp4"
      [ -f "$out.fixed.mp4" ] && result "$base: MP4 plays ($(duration "$out.fixed.mp4") s)" decodes "$out.fixed.mp4"
      result "$base cut to 60 %: remux to MP4" ff -i "$short" -c copy -map 0 "$out.short.mp4"
      [ -f "$out.short.mp4" ] && echo "      $base cut to 60 %: $(plays_partly "$out.short.mp4")"
      ;;
    ASF)
      result "$base: plays as carved" decodes "$f"
      result "$base: remux  ffmpeg -i $base -c copy -map 0 x.wmv" ff -i "$f" -c copy -map 0 "$out.fixed.wmv"
      result "$base cut to 60 %: remux" ff -i "$short" -c copy -map 0 "$out.short.wmv"
      [ -f "$out.short.wmv" ] && echo "      $base cut to 60 %: $(plays_partly "$out.short.wmv")"
      ;;
    DNG)
      cp "$f" "$out.dng"
      result "$base: dcraw -w -T (makes $(basename "$out").tiff)" dcraw -w -T "$out.dng"
      [ -f "$out.tiff" ] && result "$base: the TIFF opens ($(identify_size "$out.tiff"))" ff -i "$out.tiff" -f null -
      result "$base: dcraw_emu -w -T (libraw)" dcraw_emu -w -T "$out.dng"
      head -c 80000 "$f" >"$out.short.dng"  # ends inside the picture data
      result "$base cut inside the picture data: dcraw -w -T" dcraw -w -T "$out.short.dng"
      [ -f "$out.short.tiff" ] && result "$base cut inside the picture data: the TIFF opens ($(identify_size "$out.short.tiff"))" ff -i "$out.short.tiff" -f null -
      ;;
  esac
done
