#!/usr/bin/env bash
# Frame export against FFmpeg's xfade: how fast zelplayer writes the frames of
# a photo slide show, beside FFmpeg building the same show with its own filter
# graph, on the same machine in the same run.
#
# The show: ten 1280 x 720 JPEG photos (made here with ffmpeg, in a temporary
# folder that is removed afterwards), each shown 1 s, with 0.5 s cross-fades
# between them; 10 s in all, written as 300 PNG frames at 30 frames a second.
#
#   zelplayer: zelplayer -filename Show.zel --export-frames DIR --fps 30 --frame 1280x720
#   ffmpeg:    -loop 1 inputs chained through xfade=transition=fade, PNG frames
#
# Run from anywhere, after building zelplayer (ffmpeg comes from
# scripts/install-deps):
#
#   bench/export_bench.sh [PLAYER]
#
# PLAYER defaults to build/apps/zelplayer/zelplayer under the repository root.
# It prints each side's frames a second and the ratio zelplayer / ffmpeg
# (the goal is 1.0 or more). The machine may be shared and noisy: read the
# ratio, not the absolute times.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
player="${1:-$root/build/apps/zelplayer/zelplayer}"
fps=30
width=1280
height=720
photos=10

if [ ! -x "$player" ]; then
  echo "export_bench: no zelplayer at $player (build it, or give its path)" >&2
  exit 1
fi
if ! command -v ffmpeg >/dev/null; then
  echo "export_bench: ffmpeg is missing (run scripts/install-deps)" >&2
  exit 1
fi

work="$(mktemp -d "${TMPDIR:-/tmp}/zel-export-bench.XXXXXX")"
trap 'rm -rf "$work"' EXIT

now() { echo "$EPOCHREALTIME"; }
count_frames() { find "$1" -maxdepth 1 -name 'frame-*.png' | wc -l; }

# --- ten different photo-like pictures, with fine detail and grain ----------
size="${width}x${height}"
for i in $(seq 1 "$photos"); do
  case $((i % 5)) in
    1) src="mandelbrot=size=$size:start_x=-0.74$i:start_y=0.1$i:start_scale=0.0$((i + 2)):maxiter=400" ;;
    2) src="testsrc2=size=$size:rate=1,hue=h=$((i * 37))" ;;
    3) src="cellauto=size=$size:rule=$((18 + i * 12)):seed=$i:random_fill_ratio=0.5,format=rgb24,gblur=sigma=1.5,colorchannelmixer=rr=0.$((i + 1)):gg=0.7:bb=0.$((9 - i))" ;;
    4) src="gradients=size=$size:seed=$i:nb_colors=6:speed=0.02" ;;
    0) src="mandelbrot=size=$size:start_x=-1.25$i:start_y=0.0$i:start_scale=0.$i:maxiter=300" ;;
  esac
  ffmpeg -hide_banner -loglevel error -nostdin -y -f lavfi -i "$src" \
    -vf "noise=alls=12:allf=t,format=yuvj420p" -frames:v 1 -q:v 3 "$work/photo$i.jpg"
done

# --- the show: one slide per photo, 1 s each, cross-fades of 500 ms ---------
{
  printf '[Main]\nopt_slidescount=%d\n' "$photos"
  for i in $(seq 1 "$photos"); do printf 'opt_synchpos%d=%d\n' "$i" $((i * 1000)); done
  printf 'opt_scr_width=%d\nopt_scr_height=%d\n' "$width" "$height"
  printf 'opt_repeat=stop\nopt_fx_enable=1\nopt_fx_time=500\nopt_fx_eff2=1\n'
  for i in $(seq 1 "$photos"); do
    printf '\n[Slide%d]\nobject P: Image\n  ImageName=photo%d.jpg\nend\n' "$i" "$i"
  done
} >"$work/Show.zel"

expected=$((photos * fps))

# --- zelplayer ---------------------------------------------------------------
began=$(now)
if ! SDL_VIDEODRIVER=offscreen ZEL_RANDOM_SEED=1 "$player" -filename "$work/Show.zel" \
  --export-frames "$work/out1" --fps "$fps" --frame "$size" 2>"$work/zelplayer.log"; then
  echo "export_bench: zelplayer failed:" >&2
  cat "$work/zelplayer.log" >&2
  exit 1
fi
ended=$(now)
zel_frames=$(count_frames "$work/out1")
zel_seconds=$(awk -v a="$began" -v b="$ended" 'BEGIN { printf "%.3f", b - a }')
if [ "$zel_frames" -ne "$expected" ]; then
  echo "export_bench: zelplayer wrote $zel_frames frames, not $expected" >&2
  exit 1
fi

# --- ffmpeg xfade ------------------------------------------------------------
# Slide i fills [i-1, i] s; each fade of 0.5 s is centred on a slide boundary,
# so input i runs from i-1.25 s to i+0.25 s (the first from 0, the last to the
# end) and fade i starts at i-0.25 s in the output.
fade=0.5
inputs=()
for i in $(seq 1 "$photos"); do
  if [ "$i" -eq 1 ] || [ "$i" -eq "$photos" ]; then length=1.25; else length=1.5; fi
  inputs+=(-loop 1 -framerate "$fps" -t "$length" -i "$work/photo$i.jpg")
done
graph="[0:v]settb=AVTB,fps=$fps,format=yuv420p[v0]"
for i in $(seq 1 $((photos - 1))); do
  graph+=";[$i:v]settb=AVTB,fps=$fps,format=yuv420p[in$i]"
done
last="v0"
for i in $(seq 1 $((photos - 1))); do
  offset=$(awk -v i="$i" 'BEGIN { printf "%.2f", i - 0.25 }')
  graph+=";[$last][in$i]xfade=transition=fade:duration=$fade:offset=$offset[x$i]"
  last="x$i"
done
graph+=";[$last]scale=$width:$height,format=rgb24[out]"
mkdir -p "$work/out2"

began=$(now)
if ! ffmpeg -hide_banner -loglevel error -nostdin -y "${inputs[@]}" -filter_complex "$graph" -map "[out]" \
  -r "$fps" -frames:v "$expected" "$work/out2/frame-%06d.png" 2>"$work/ffmpeg.log"; then
  echo "export_bench: ffmpeg failed:" >&2
  cat "$work/ffmpeg.log" >&2
  exit 1
fi
ended=$(now)
ff_frames=$(count_frames "$work/out2")
ff_seconds=$(awk -v a="$began" -v b="$ended" 'BEGIN { printf "%.3f", b - a }')

# --- figures -----------------------------------------------------------------
zel_rate=$(awk -v f="$zel_frames" -v s="$zel_seconds" 'BEGIN { printf "%.1f", f / s }')
ff_rate=$(awk -v f="$ff_frames" -v s="$ff_seconds" 'BEGIN { printf "%.1f", f / s }')
ratio=$(awk -v f1="$zel_frames" -v s1="$zel_seconds" -v f2="$ff_frames" -v s2="$ff_seconds" \
  'BEGIN { printf "%.2f", (f1 / s1) / (f2 / s2) }')
echo "zelplayer: $zel_frames frames in $zel_seconds s, $zel_rate frames a second"
echo "ffmpeg xfade: $ff_frames frames in $ff_seconds s, $ff_rate frames a second"
echo "ratio $ratio (goal >= 1.0)"
