#!/usr/bin/env bash
# MPEG audio decoding against mpg123: a 10-minute 128 kbit/s constant-bit-
# rate MP3 and a 10-minute variable-bit-rate one (with a "Xing" header),
# both 44,100 Hz stereo and made here by ffmpeg, are decoded whole by our
# decoder (mpeg_decode_bench: TMpegConverter::Fill into nothing) and by
# `mpg123 -t -q` (decoding without output), in the same run on the same
# machine. Printed per file: the real-time factor of each side (seconds of
# sound per processor second, from bash's `time` for mpg123 and from the
# process clock for ours), their ratio ours / mpg123 (the goal is 1.0 or
# above), and our average time for one seek to a random position (of 20).
#
#   bench/mpeg_decode_bench.sh [MPEG_DECODE_BENCH]
#
# MPEG_DECODE_BENCH defaults to build/bench/mpeg_decode_bench under the
# repository root. The machine may be shared and noisy: read the ratio, not
# the absolute times.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bench="${1:-$root/build/bench/mpeg_decode_bench}"
seconds=600

if [ ! -x "$bench" ]; then
  echo "mpeg_decode_bench: no program at $bench (build the mpeg_decode_bench target, or give its path)" >&2
  exit 1
fi
for tool in ffmpeg mpg123; do
  if ! command -v "$tool" >/dev/null; then
    echo "mpeg_decode_bench: $tool is missing (run scripts/install-deps)" >&2
    exit 1
  fi
done

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# Two tones and a slow sweep, so that the encoder has something to do.
source_args=(-f lavfi -i "aevalsrc=0.4*sin(440*2*PI*t)+0.1*sin(20*PI*t*t/60)|0.4*sin(660*2*PI*t):s=44100:d=$seconds")
ffmpeg -hide_banner -loglevel error -y "${source_args[@]}" -c:a libmp3lame -b:a 128k "$work/cbr.mp3"
ffmpeg -hide_banner -loglevel error -y "${source_args[@]}" -c:a libmp3lame -q:a 4 "$work/vbr.mp3"

# shellcheck source=cpu_seconds.sh
source "$root/bench/cpu_seconds.sh"

# One value of our program's "key value" output.
value() { awk -v k="$1" '$1 == k { print $2 }' "$2"; }

printf '%-4s %12s %12s %14s %12s %14s\n' file "audio s" "ours x" "mpg123 x" "ours/mpg123" "seek ms (avg)"
for kind in cbr vbr; do
  file="$work/$kind.mp3"
  "$bench" "$file" 20 >"$work/$kind.out"
  audio="$(value audio_s "$work/$kind.out")"
  ours="$(value rtf "$work/$kind.out")"
  seek="$(value seek_ms "$work/$kind.out")"
  theirs_cpu="$(cpu_seconds mpg123 -t -q "$file")"
  theirs="$(awk -v a="$audio" -v c="$theirs_cpu" 'BEGIN { printf "%.1f", (c > 0 ? a / c : 0) }')"
  ratio="$(awk -v o="$ours" -v t="$theirs" 'BEGIN { printf "%.2f", (t > 0 ? o / t : 0) }')"
  printf '%-4s %12s %12s %14s %12s %14s\n' "$kind" "$audio" "$ours" "$theirs" "$ratio" "$seek"
done
