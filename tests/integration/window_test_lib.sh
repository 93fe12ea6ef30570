# Shared by the window tests: a virtual X display of 1280 x 1024, a work
# folder removed at exit, the player's log, and waiting for log lines and
# for colours on the display. Source it after setting `player`:
#
#   source "$(dirname "$0")/window_test_lib.sh" "$@"
#
# Needs xvfb, xauth, xdotool and ffmpeg (scripts/install-deps).

if [ -z "${ZEL_WINDOW_TEST_DISPLAY:-}" ]; then
  exec env ZEL_WINDOW_TEST_DISPLAY=1 xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"
fi
# The offscreen driver that the other tests use would draw nowhere; naming
# X11 also keeps SDL from falling back to it when the display is slow to
# answer.
export SDL_VIDEODRIVER=x11
# Under load the virtual display may take a moment to take connections.
for _ in $(seq 100); do
  if xdotool getdisplaygeometry >/dev/null 2>&1; then break; fi
  sleep 0.1
done
# Messages go to the log and stderr, where nobody has to click them away.
export ZEL_MESSAGE_BOX=stderr

work="$(mktemp -d "${TMPDIR:-/tmp}/zel-window-test.XXXXXX")"
log="$work/player.log"
pid=""
cleanup() {
  if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then kill -9 "$pid" || true; fi
  # Children of the player (a start-up window) name a file in the work folder.
  pkill -9 -f -- "$work/" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

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

# Waits up to 10 s until the display shows the colour at (x, y), each
# channel within 16: wait_for_colour "R G B" X Y WHAT.
wait_for_colour() {
  local want="$1" x="$2" y="$3" what="$4" got=""
  read -r wr wg wb <<<"$want"
  for _ in $(seq 50); do
    got="$(pixel "$x" "$y")"
    read -r r g b <<<"$got"
    if [ $((r > wr ? r - wr : wr - r)) -le 16 ] && [ $((g > wg ? g - wg : wg - g)) -le 16 ] &&
      [ $((b > wb ? b - wb : wb - b)) -le 16 ]; then
      return 0
    fi
    sleep 0.2
  done
  fail "$what: the display shows '$got' at $x,$y, not '$want'"
}

# Waits up to 20 s for a window with this caption; prints its id.
wait_for_window() {
  local id=""
  for _ in $(seq 100); do
    id="$(xdotool search --name "$1" 2>/dev/null | head -1 || true)"
    if [ -n "$id" ]; then
      echo "$id"
      return 0
    fi
    sleep 0.2
  done
  fail "no window '$1'"
}
