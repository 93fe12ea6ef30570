#!/usr/bin/env bash
# Ogg Vorbis decoding against oggdec: a 10-minute 44,100 Hz stereo file made
# here by ffmpeg is decoded by ogg_decode_bench (the built-in decoder through
# TDllConverter::Fill, PCM thrown away) and by `oggdec -Q -o /dev/null`,
# in the same run on the same machine. Both are measured the same way: the
# user and system processor seconds of the whole process.
#
#   bench/ogg_decode_bench.sh [OGG_DECODE_BENCH]
#
# OGG_DECODE_BENCH defaults to build/bench/ogg_decode_bench under the
# repository root. It prints each side's real-time factor (seconds of sound
# per processor second; higher is faster) and the ratio ours / oggdec (the
# goal is 1.0 or above). The machine may be shared and noisy: read the
# ratio, not the absolute times.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bench="${1:-$root/build/bench/ogg_decode_bench}"
seconds=600

if [ ! -x "$bench" ]; then
  echo "ogg_decode_bench: no program at $bench (build ogg_decode_bench, or give its path)" >&2
  exit 1
fi
for tool in ffmpeg oggdec; do
  if ! command -v "$tool" >/dev/null; then
    echo "ogg_decode_bench: $tool is missing (run scripts/install-deps)" >&2
    exit 1
  fi
done

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
ogg="$work/tone.ogg"
ffmpeg -nostdin -loglevel error -y -f lavfi -i "sine=frequency=440:duration=$seconds:sample_rate=44100" \
  -ac 2 -c:a libvorbis -q:a 4 "$ogg"

# shellcheck source=cpu_seconds.sh
source "$root/bench/cpu_seconds.sh"

ours="$(cpu_seconds "$bench" "$ogg")"
theirs="$(cpu_seconds oggdec -Q -o /dev/null "$ogg")"
awk -v a="$ours" -v b="$theirs" -v s="$seconds" 'BEGIN {
  printf "%-10s %12s %18s\n", "decoder", "cpu s", "real-time factor"
  printf "%-10s %12.3f %18.1f\n", "ours", a, (a > 0 ? s / a : 0)
  printf "%-10s %12.3f %18.1f\n", "oggdec", b, (b > 0 ? s / b : 0)
  printf "ratio ours / oggdec (real-time factors): %.2f\n", (a > 0 ? b / a : 0)
}'
