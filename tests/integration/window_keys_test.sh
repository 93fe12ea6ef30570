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
# shellcheck source=window_test_lib.sh
source "$(dirname "$0")/window_test_lib.sh" "$@"

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

"$player" -log -filename "$work/show.zel" >"$log" 2>&1 &
pid=$!

wait_for_log "Main window shown"
# The window is centred on the 1280 x 1024 screen: (320, 272) to (960, 752).
wait_for_colour "255 0 0" 600 480 "first slide"
window="$(wait_for_window "zel window test")"
xdotool windowfocus "$window" || true
xdotool mousemove 640 512

xdotool key Right
wait_for_log "Action: nextslide"
wait_for_colour "0 255 0" 600 480 "after Right"

# The first Left goes back to the start of the second slide (it began more
# than half a second ago), the second one at once to the first slide.
sleep 1
xdotool key Left
wait_for_log "Action: prevslide" 1
xdotool key Left
wait_for_log "Action: prevslide" 2
wait_for_colour "255 0 0" 600 480 "after Left, Left"

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
