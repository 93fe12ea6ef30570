#!/usr/bin/env bash
# Start-up time against feh and mpv: how long zelplayer takes from being
# started to having the first photo of a show on the screen, beside two
# common image viewers opening the same photos, on the same X display in the
# same run.
#
# The photos: ten 6000 x 4000 (24 megapixel) JPEGs at about quality 90, made
# here with ffmpeg in a temporary folder that is removed afterwards. Each is a
# colour field with grain, so that decoding it costs what a camera photo
# costs, and each has a solid patch of its own colour over its middle third
# in both directions, so that the middle of the screen shows that colour
# however a viewer scales the photo. The clock stops when the screen shows
# the first photo's patch colour.
#
#   zelplayer: zelplayer -filename Show.zel (full screen, first slide the
#              first photo, no transitions)
#   feh:       feh --fullscreen --auto-zoom photo01.jpg ... photo10.jpg
#   mpv:       mpv --no-config --vo=x11 --image-display-duration=inf
#              --fullscreen --no-audio --no-terminal photo01.jpg ... photo10.jpg
#
# mpv draws with --vo=x11 (software scaling, plain Xlib): under Xvfb its GPU
# output refuses llvmpipe unless told --gpu-sw, and with it started slower
# when tried, so x11 is the faster of mpv's two ways here.
#
# Everything runs inside one Xvfb screen of 1920 x 1080 (xvfb-run), with no
# window manager. Each program is started 10 times, the three taking turns
# (zelplayer, feh, mpv, zelplayer, ...); x_pixel_wait (bench/x_pixel_wait.cpp)
# starts it, watches one pixel near the middle of the screen and stops it.
# Between runs the screen is cleared (xsetroot, when installed) and the next
# run waits until the pixel no longer shows the colour. A program that fails
# to show the photo (it ends first, or 15 s pass) is reported so and not
# started again; the others are still measured.
#
# Run from anywhere, after building zelplayer and x_pixel_wait (ffmpeg, feh,
# mpv and xvfb come from scripts/install-deps):
#
#   bench/startup_bench.sh [PLAYER]
#
# PLAYER defaults to build/apps/zelplayer/zelplayer under the repository root.
# x_pixel_wait is looked for in the bench folder of PLAYER's build tree, then
# in build/bench; X_PIXEL_WAIT=path overrides. The script prints each
# program's median time in ms and the ratios zelplayer / feh and
# zelplayer / mpv (the goal is 1.0 or less); it exits 1 when a program did
# not show the photo. The machine may be shared and noisy: read the ratios,
# not the absolute times.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
self="$root/bench/$(basename "${BASH_SOURCE[0]}")"
screen_width=1920
screen_height=1080
photos=10
runs=10
timeout_ms=15000

median() { sort -n | awk '{ v[NR] = $1 } END { if (NR % 2) printf "%.1f", v[(NR + 1) / 2]; else printf "%.1f", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# --- inside the X display: the measurement loop -------------------------------
# Called by the script itself through xvfb-run, so that every run of every
# program shares one display: startup_bench.sh --under-xvfb WORK PLAYER WAITER RRGGBB
if [ "${1:-}" = "--under-xvfb" ]; then
  work="$2"
  player="$3"
  waiter="$4"
  colour="$5"
  cd "$work"
  # A little off the centre, where the X server parks the pointer; still well
  # inside the patch (the middle third of a photo fitted to the screen).
  probe=(--x $((screen_width / 2 + screen_width / 32)) --y $((screen_height / 2 + screen_height / 32)) --rgb "$colour")

  clear_screen() {
    if command -v xsetroot >/dev/null; then xsetroot -solid black; fi
    if ! "$waiter" "${probe[@]}" --gone --timeout-ms 5000; then
      echo "startup_bench: the screen still shows the photo after the program ended" >&2
      exit 1
    fi
    sleep 0.3  # lets the server and the kernel take back the last program's memory
  }

  photo_names=()
  for i in $(seq -w 1 "$photos"); do photo_names+=("photo$i.jpg"); done
  names=(zelplayer feh mpv)
  # One run of one program: its time in ms on stdout, or status 1. The
  # program's own output and, last, x_pixel_wait's reason go to WORK/NAME.err.
  measure() {
    local name="$1"
    case "$name" in
      zelplayer) set -- "$player" -filename "$work/Show.zel" ;;
      feh) set -- feh --fullscreen --auto-zoom "${photo_names[@]}" ;;
      mpv) set -- mpv --no-config --vo=x11 --image-display-duration=inf --fullscreen --no-audio --no-terminal \
        "${photo_names[@]}" ;;
    esac
    "$waiter" "${probe[@]}" --timeout-ms "$timeout_ms" --verbose -- "$@" 2>"$work/$name.err"
  }
  declare -A failed=()
  if [ ! -x "$player" ]; then failed[zelplayer]="no zelplayer at $player"; fi
  for name in feh mpv; do
    if ! command -v "$name" >/dev/null; then failed[$name]="$name is missing (run scripts/install-deps)"; fi
  done

  clear_screen
  for run in $(seq 1 "$runs"); do
    for name in "${names[@]}"; do
      [ -z "${failed[$name]:-}" ] || continue
      if ms=$(measure "$name"); then
        echo "$ms" >>"$work/$name.times"
      else
        failed[$name]="run $run: $(tail -n 1 "$work/$name.err")"
        said=$(head -n -1 "$work/$name.err" | grep -v '^[[:space:]]*$' | tail -n 3 | paste -sd '|' || true)
        if [ -n "$said" ]; then failed[$name]+="; its last output: $said"; fi
      fi
      clear_screen
    done
  done

  declare -A medians=()
  for name in "${names[@]}"; do
    label="$name"
    [ "$name" = mpv ] && label="mpv --vo=x11"
    if [ -n "${failed[$name]:-}" ]; then
      echo "$label: did not show the photo (${failed[$name]})"
      continue
    fi
    medians[$name]=$(median <"$work/$name.times")
    echo "$label: median ${medians[$name]} ms over $(wc -l <"$work/$name.times") runs ($(sort -n "$work/$name.times" | paste -sd ' '))"
  done
  for peer in feh mpv; do
    if [ -n "${medians[zelplayer]:-}" ] && [ -n "${medians[$peer]:-}" ]; then
      ratio=$(awk -v a="${medians[zelplayer]}" -v b="${medians[$peer]}" 'BEGIN { printf "%.2f", a / b }')
      echo "ratio zelplayer / $peer $ratio (goal <= 1.0)"
    else
      echo "ratio zelplayer / $peer: none (a side did not show the photo)"
    fi
  done
  if [ ${#failed[@]} -eq 0 ]; then exit 0; else exit 1; fi
fi

# --- outside: check the tools, make the photos and the show ------------------
player="${1:-$root/build/apps/zelplayer/zelplayer}"
case "$player" in /*) ;; *) player="$PWD/$player" ;; esac

waiter="${X_PIXEL_WAIT:-}"
if [ -z "$waiter" ]; then
  for candidate in "$(dirname "$player")/../../bench/x_pixel_wait" "$root/build/bench/x_pixel_wait"; do
    if [ -x "$candidate" ]; then
      waiter="$(cd "$(dirname "$candidate")" && pwd)/x_pixel_wait"
      break
    fi
  done
fi
if [ -z "$waiter" ] || [ ! -x "$waiter" ]; then
  echo "startup_bench: no x_pixel_wait (build the x_pixel_wait target, or set X_PIXEL_WAIT)" >&2
  exit 1
fi
for tool in ffmpeg xvfb-run; do
  if ! command -v "$tool" >/dev/null; then
    echo "startup_bench: $tool is missing (run scripts/install-deps)" >&2
    exit 1
  fi
done
if [ ! -x "$player" ]; then
  echo "startup_bench: no zelplayer at $player; measuring feh and mpv only" >&2
fi

work="$(mktemp -d "${TMPDIR:-/tmp}/zel-startup-bench.XXXXXX")"
trap 'rm -rf "$work"' EXIT

# --- ten 24-megapixel photos, each with a patch of its own colour ------------
# Colours far from one another and from black, so that no photo but the first
# (and no cleared screen) passes for the first one.
patches=(E0218A 1E90FF FFD700 32CD32 FF4500 8A2BE2 00CED1 F5F5DC 7FFF00 A0522D)
for i in $(seq 1 "$photos"); do
  name=$(printf 'photo%02d.jpg' "$i")
  ffmpeg -hide_banner -loglevel error -nostdin -y \
    -f lavfi -i "gradients=size=6000x4000:seed=$i:nb_colors=$((3 + i % 5)):speed=0.0$i" \
    -vf "noise=alls=$((14 + i)):allf=t,drawbox=x=iw/3:y=ih/3:w=iw/3:h=ih/3:color=0x${patches[i - 1]}:t=fill,format=yuvj420p" \
    -frames:v 1 -q:v 3 "$work/$name"
done

# The colour the first photo's patch decodes to (colour conversion moves it a
# little from the one drawn), read from its centre.
colour=$(ffmpeg -hide_banner -loglevel error -nostdin -i "$work/photo01.jpg" \
  -vf "crop=2:2:3000:2000,format=rgb24" -f rawvideo - | od -An -tx1 -N3 | tr -d ' \n' | tr a-f A-F)

# --- the show: one full-screen slide per photo, 5 s each, no transitions -----
{
  printf '[Main]\nopt_slidescount=%d\n' "$photos"
  for i in $(seq 1 "$photos"); do printf 'opt_synchpos%d=%d\n' "$i" $((i * 5000)); done
  printf 'opt_scr_full=1\nopt_scr_width=%d\nopt_scr_height=%d\n' "$screen_width" "$screen_height"
  printf 'opt_repeat=stop\nopt_fx_enable=0\n'
  for i in $(seq 1 "$photos"); do
    printf '\n[Slide%d]\nobject P: Image\n  ImageName=photo%02d.jpg\nend\n' "$i" "$i"
  done
} >"$work/Show.zel"

echo "startup_bench: $runs runs each, $photos photos of 6000 x 4000, screen ${screen_width} x ${screen_height}, waiting for #$colour"
xvfb-run -a -s "-screen 0 ${screen_width}x${screen_height}x24" \
  bash "$self" --under-xvfb "$work" "$player" "$waiter" "$colour"
