#!/usr/bin/env bash
# Video export against FFmpeg's xfade: how fast zelplayer makes an MP4 of a
# photo slide show, beside FFmpeg making the same MP4 with its own filter
# graph, on the same machine in the same run.
#
# The show: ten photographs of /usr/share/backgrounds/mate/nature (package
# mate-backgrounds), each covering the 1280 x 720 frame, 2 s a photo, with
# cross-fades of 1 s from each slide's end into the next; 20 s in all,
# 600 frames at 30 frames a second. Both sides encode with libx264, preset
# medium, crf 20, a key frame every 5 s, yuv420p in BT.709, into MP4.
#
#   zelplayer: zelplayer -filename Show.zel --export-video show.mp4 --fps 30 --frame 1280x720 --crf 20
#   ffmpeg:    each photo decoded and scaled once, held with the loop filter,
#              chained through xfade=transition=fade, encoded by libx264
#
# Run from anywhere, after building zelplayer (ffmpeg and mate-backgrounds
# come from scripts/install-deps):
#
#   bench/export_video_bench.sh [PLAYER]
#
# PLAYER defaults to build/apps/zelplayer/zelplayer under the repository root.
# It prints each side's frames a second and the ratio zelplayer / ffmpeg
# (the goal is 1.0 or more). The machine may be shared and noisy: read the
# ratio, not the absolute times.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
player="${1:-$root/build/apps/zelplayer/zelplayer}"
photo_dir=/usr/share/backgrounds/mate/nature
fps=30
width=1280
height=720
photos=10
slide_ms=2000
fade_ms=1000
crf=20
preset=medium
keyint=$((fps * 5))

if [ ! -x "$player" ]; then
  echo "export_video_bench: no zelplayer at $player (build it, or give its path)" >&2
  exit 1
fi
if ! command -v ffmpeg >/dev/null || ! command -v ffprobe >/dev/null; then
  echo "export_video_bench: ffmpeg is missing (run scripts/install-deps)" >&2
  exit 1
fi
mapfile -t pictures < <(find "$photo_dir" -maxdepth 1 -name '*.jpg' | sort | head -n "$photos")
if [ "${#pictures[@]}" -lt "$photos" ]; then
  echo "export_video_bench: fewer than $photos photos in $photo_dir (install mate-backgrounds)" >&2
  exit 1
fi

work="$(mktemp -d "${TMPDIR:-/tmp}/zel-export-video-bench.XXXXXX")"
trap 'rm -rf "$work"' EXIT

now() { echo "$EPOCHREALTIME"; }
count_frames() {
  ffprobe -v error -select_streams v:0 -count_frames -show_entries stream=nb_read_frames -of csv=p=0 "$1"
}

# --- the show: one slide per photo covering the frame, cross-fades ----------
for i in $(seq 1 "$photos"); do cp "${pictures[$((i - 1))]}" "$work/photo$i.jpg"; done
{
  printf '[Main]\nopt_slidescount=%d\n' "$photos"
  for i in $(seq 1 "$photos"); do printf 'opt_synchpos%d=%d\n' "$i" $((i * slide_ms)); done
  printf 'opt_scr_width=%d\nopt_scr_height=%d\n' "$width" "$height"
  printf 'opt_repeat=stop\nopt_fx_enable=1\nopt_fx_time=%d\nopt_fx_eff2=1\n' "$fade_ms"
  for i in $(seq 1 "$photos"); do
    printf '\n[Slide%d]\nobject P: Image\n  ImageName=photo%d.jpg\n  FitMode=Cover\nend\n' "$i" "$i"
  done
} >"$work/Show.zel"

expected=$((photos * slide_ms * fps / 1000))

# --- zelplayer ---------------------------------------------------------------
began=$(now)
if ! SDL_VIDEODRIVER=offscreen ZEL_RANDOM_SEED=1 "$player" -filename "$work/Show.zel" \
  --export-video "$work/zelplayer.mp4" --fps "$fps" --frame "${width}x${height}" --crf "$crf" \
  2>"$work/zelplayer.log"; then
  echo "export_video_bench: zelplayer failed:" >&2
  cat "$work/zelplayer.log" >&2
  exit 1
fi
ended=$(now)
zel_seconds=$(awk -v a="$began" -v b="$ended" 'BEGIN { printf "%.3f", b - a }')
zel_frames=$(count_frames "$work/zelplayer.mp4")
if [ "$zel_frames" -ne "$expected" ]; then
  echo "export_video_bench: zelplayer wrote $zel_frames frames, not $expected" >&2
  exit 1
fi

# --- ffmpeg xfade ------------------------------------------------------------
# Photo i is alone from its slide's start (after the fade into it) to its
# slide's end, then fades into photo i+1 for 1 s: fade i starts at i x 2 s.
# Each input lasts from the start of the fade into it to the end of the fade
# out of it (the first from 0, the last to the end of the show).
inputs=()
graph=""
for i in $(seq 1 "$photos"); do
  inputs+=(-i "$work/photo$i.jpg")
  if [ "$i" -eq "$photos" ]; then length_ms=$slide_ms; else length_ms=$((slide_ms + fade_ms)); fi
  frames=$((length_ms * fps / 1000))
  [ -n "$graph" ] && graph+=";"
  graph+="[$((i - 1)):v]scale=${width}:${height}:force_original_aspect_ratio=increase:out_color_matrix=bt709:out_range=tv"
  graph+=",crop=${width}:${height},setsar=1,format=yuv420p,loop=loop=$((frames - 1)):size=1"
  graph+=",setpts=N/($fps*TB),fps=$fps[p$i]"
done
last="p1"
for i in $(seq 1 $((photos - 1))); do
  offset=$(awk -v i="$i" -v s="$slide_ms" 'BEGIN { printf "%.3f", i * s / 1000 }')
  graph+=";[$last][p$((i + 1))]xfade=transition=fade:duration=$(awk -v f="$fade_ms" 'BEGIN { print f / 1000 }'):offset=$offset[x$i]"
  last="x$i"
done

began=$(now)
if ! ffmpeg -hide_banner -loglevel error -nostdin -y "${inputs[@]}" -filter_complex "$graph" -map "[$last]" \
  -frames:v "$expected" -c:v libx264 -preset "$preset" -crf "$crf" -g "$keyint" -pix_fmt yuv420p \
  -colorspace bt709 -color_primaries bt709 -color_trc bt709 -color_range tv -movflags +faststart \
  "$work/ffmpeg.mp4" 2>"$work/ffmpeg.log"; then
  echo "export_video_bench: ffmpeg failed:" >&2
  cat "$work/ffmpeg.log" >&2
  exit 1
fi
ended=$(now)
ff_seconds=$(awk -v a="$began" -v b="$ended" 'BEGIN { printf "%.3f", b - a }')
ff_frames=$(count_frames "$work/ffmpeg.mp4")

# --- figures -----------------------------------------------------------------
zel_rate=$(awk -v f="$zel_frames" -v s="$zel_seconds" 'BEGIN { printf "%.1f", f / s }')
ff_rate=$(awk -v f="$ff_frames" -v s="$ff_seconds" 'BEGIN { printf "%.1f", f / s }')
ratio=$(awk -v f1="$zel_frames" -v s1="$zel_seconds" -v f2="$ff_frames" -v s2="$ff_seconds" \
  'BEGIN { printf "%.2f", (f1 / s1) / (f2 / s2) }')
zel_size=$(stat -c %s "$work/zelplayer.mp4")
ff_size=$(stat -c %s "$work/ffmpeg.mp4")
echo "zelplayer: $zel_frames frames in $zel_seconds s, $zel_rate frames a second ($zel_size bytes)"
echo "ffmpeg xfade: $ff_frames frames in $ff_seconds s, $ff_rate frames a second ($ff_size bytes)"
echo "ratio $ratio (goal >= 1.0)"
