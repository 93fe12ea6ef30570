#!/usr/bin/env bash
# Sound decoding through the media library against FFmpeg itself: a
# 10-minute FLAC file and a 10-minute WMA file (44,100 Hz stereo, made here
# by ffmpeg) decoded whole by `zeltool decode-audio` (identification, the
# FFmpeg bridge through our stream gate, conversion to the player's 16-bit
# output, written to /dev/null) beside `ffmpeg -i FILE -f null -`, in the
# same run on the same machine. Printed per file: the real-time factor of
# each side (seconds of sound per processor second, from bash's `time`) and
# the ratio ours / ffmpeg (the goal is 0.9 or above).
#
#   bench/media_decode_bench.sh [ZELTOOL]
#
# ZELTOOL defaults to build/apps/zeltool/zeltool under the repository root.
# The machine may be shared and noisy: read the ratio, not the absolute
# times.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
zeltool="${1:-$root/build/apps/zeltool/zeltool}"
seconds=600

if [ ! -x "$zeltool" ]; then
  echo "media_decode_bench: no zeltool at $zeltool (build it, or give its path)" >&2
  exit 1
fi
if ! command -v ffmpeg >/dev/null; then
  echo "media_decode_bench: ffmpeg is missing (run scripts/install-deps)" >&2
  exit 1
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# shellcheck source=cpu_seconds.sh
source "$root/bench/cpu_seconds.sh"

printf '%-6s %18s %18s %8s\n' file "zeltool x realtime" "ffmpeg x realtime" ratio
for codec in flac wmav2; do
  extension=$([ "$codec" = flac ] && echo flac || echo wma)
  file="$work/sound.$extension"
  ffmpeg -loglevel error -y -f lavfi -i "sine=frequency=440:duration=$seconds" -f lavfi \
    -i "anoisesrc=duration=$seconds:amplitude=0.05" -filter_complex amerge=inputs=2 -ar 44100 -c:a "$codec" "$file"
  ours="$(cpu_seconds "$zeltool" decode-audio "$file" /dev/null)"
  theirs="$(cpu_seconds ffmpeg -loglevel error -i "$file" -f null -)"
  awk -v f="$extension" -v a="$ours" -v b="$theirs" -v s="$seconds" \
    'BEGIN { printf "%-6s %18.0f %18.0f %8.2f\n", f, s / a, s / b, (a > 0 ? b / a : 0) }'
done
