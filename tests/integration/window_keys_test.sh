#!/usr/bin/env bash
# The player in a real X11 window: a windowed show of three slides, each a
# different solid colour and a minute long, driven with real key events.
# Right moves on, Left twice goes back to the first slide, Space pauses and
# Escape closes the player with exit code 0. What happened is read from the
# log (-log) and from the X display's pixels.
#
#   tests/integration/window_keys_test.sh PLAYER
#
# Runs itself under xvfb-run when no display is given; needs xvfb, xauth,
# xdotool and ffmpeg (scripts/install-deps).
set -euo pipefail

player="$1"
if [ -z "${ZEL_WINDOW_TEST_DISPLAY:-}" ]; then
  exec env ZEL_WINDOW_TEST_DISPLAY=1 xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"
fi
# The offscreen driver that the other tests use would draw nowhere.
unset SDL_VIDEODRIVER

work="$(mktemp -d "${TMPDIR:-/tmp}/zel-window-test.XXXXXX")"
pid=""
cleanup() {
  if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then kill -9 "$pid" || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

# Colours are the show format's integers: red in the low byte.
cat > "$work/show.zel" <<'SHOW'
[Main]
ZelVersion=0.1.0
opt_slidescount=3
opt_synchpos1=60000
opt_synchpos2=120000
opt_synchpos3=180000
opt_scr_full=0
opt_scr_width=640
opt_scr_height=480
opt_scr_caption=zel window test
opt_repeat=stop
opt_fx_enable=0

[Slide1]
UsePersonal=1
Pers_Fon=1
bstyle=1
bname=255

[Slide2]
UsePersonal=1
Pers_Fon=1
bstyle=1
bname=65280

[Slide3]
UsePersonal=1
Pers_Fon=1
bstyle=1
bname=16711680
SHOW

log="$work/player.log"
fail() {
  echo "window test: $*" >&2
  echo "---- player log" >&2
  cat "$log" >&2 || true
  exit 1
}

# Waits up to 20 s until the log has had a line matching the pattern N times.
wait_for_log() {
  local pattern="$1" count="${2:-1}"
  for _ in $(seq 200); do
    if [ "$(grep -c -- "$pattern" "$log" || true)" -ge "$count" ]; then return 0; fi
    sleep 0.1
  done
  fail "no line '$pattern' (x$count) in the log"
}

# The pixel at (x, y) of the display as "R G B", without the pointer.
pixel() {
  ffmpeg -loglevel error -f x11grab -draw_mouse 0 -video_size 1280x1024 -i "$DISPLAY" -frames:v 1 \
    -vf "crop=1:1:$1:$2" -f rawvideo -pix_fmt rgb24 - | od -An -tu1 | xargs
}

# Waits up to 10 s until the window's centre shows the colour (each
# channel within 16).
wait_for_colour() {
  local want="$1" what="$2" got=""
  read -r wr wg wb <<<"$want"
  for _ in $(seq 50); do
    got="$(pixel 600 480)"
    read -r r g b <<<"$got"
    if [ $((r > wr ? r - wr : wr - r)) -le 16 ] && [ $((g > wg ? g - wg : wg - g)) -le 16 ] &&
      [ $((b > wb ? b - wb : wb - b)) -le 16 ]; then
      return 0
    fi
    sleep 0.2
  done
  fail "$what: the window shows '$got', not '$want'"
}

ZEL_MESSAGE_BOX=stderr "$player" -log -filename "$work/show.zel" >"$log" 2>&1 &
pid=$!

wait_for_log "Main window shown"
# The window is centred on the 1280 x 1024 screen: (320, 272) to (960, 752).
wait_for_colour "255 0 0" "first slide"
window="$(xdotool search --name "zel window test" | head -1)"
[ -n "$window" ] || fail "no window with the show's caption"
xdotool windowfocus "$window" || true
xdotool mousemove 640 512

xdotool key Right
wait_for_log "Action: nextslide"
wait_for_colour "0 255 0" "after Right"

# The first Left goes back to the start of the second slide (it began more
# than half a second ago), the second one at once to the first slide.
sleep 1
xdotool key Left
wait_for_log "Action: prevslide" 1
xdotool key Left
wait_for_log "Action: prevslide" 2
wait_for_colour "255 0 0" "after Left, Left"

xdotool key space
wait_for_log "Action: pause"
wait_for_log "SetPauseEvent Direct: True"

xdotool key Escape
wait_for_log "Action: exit"
code=0
wait "$pid" || code=$?
pid=""
[ "$code" -eq 0 ] || fail "exit code $code after Escape"
grep -q "Program stoped" "$log" || fail "the log was not closed"
echo "window test: passed"
