#!/usr/bin/env bash
# Sound mixing against SoX: the processor time zeltool spends per second of
# sound when it plays 1, 4 and 8 sound files at once through the music
# system (channels, decoders, the device's mixer and the lockstep WAV
# device), beside `sox -m` mixing the same files into a WAV file, in the
# same run on the same machine.
#
# The files: 60 s each, made here by SoX; all 44,100 Hz stereo 16-bit
# sine tones except one, which is 22,050 Hz mono 8-bit and so passes
# through the format conversion on our side (SoX is given the same work:
# that file goes through its rate and channels effects before the mix).
#
#   bench/audio_mix_bench.sh [ZELTOOL]
#
# ZELTOOL defaults to build/apps/zeltool/zeltool under the repository root.
# It prints each side's processor milliseconds per second of sound and the
# ratio zeltool / sox (the goal is 1.0 or below). The machine may be
# shared and noisy: read the ratio, not the absolute times.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
zeltool="${1:-$root/build/apps/zeltool/zeltool}"
seconds=60

if [ ! -x "$zeltool" ]; then
  echo "audio_mix_bench: no zeltool at $zeltool (build it, or give its path)" >&2
  exit 1
fi
if ! command -v sox >/dev/null; then
  echo "audio_mix_bench: sox is missing (run scripts/install-deps)" >&2
  exit 1
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# Seven stereo tones and the low-rate mono one (listed second, so that the
# 4- and 8-stream runs both hold it).
files=()
for i in 1 2 3 4 5 6 7 8; do
  f="$work/tone$i.wav"
  if [ "$i" -eq 2 ]; then
    sox -q -n -r 22050 -c 1 -b 8 "$f" synth "$seconds" sine $((200 + 50 * i)) vol 0.3
  else
    sox -q -n -r 44100 -c 2 -b 16 "$f" synth "$seconds" sine $((200 + 50 * i)) vol 0.3
  fi
  files+=("$f")
done

# shellcheck source=cpu_seconds.sh
source "$root/bench/cpu_seconds.sh"

# SoX's inputs: every stereo file as it is, the mono one converted in a
# pipe of its own, as our mixer converts it.
sox_inputs() {
  local f
  for f in "$@"; do
    if [ "$f" = "$work/tone2.wav" ]; then
      echo "|sox -q $f -p rate 44100 channels 2"
    else
      echo "$f"
    fi
  done
}

printf '%-8s %16s %16s %8s\n' streams "zeltool ms/s" "sox ms/s" ratio
for n in 1 4 8; do
  chosen=("${files[@]:0:$n}")
  ours="$(cpu_seconds "$zeltool" play "${chosen[@]}" --out "$work/ours.wav" --length $((seconds * 1000)))"
  mapfile -t inputs < <(sox_inputs "${chosen[@]}")
  if [ "$n" -eq 1 ]; then
    theirs="$(cpu_seconds sox -q "${inputs[@]}" "$work/sox.wav")"
  else
    theirs="$(cpu_seconds sox -q -m "${inputs[@]}" "$work/sox.wav")"
  fi
  awk -v n="$n" -v a="$ours" -v b="$theirs" -v s="$seconds" \
    'BEGIN { printf "%-8d %16.2f %16.2f %8.2f\n", n, a * 1000 / s, b * 1000 / s, (b > 0 ? a / b : 0) }'
done
