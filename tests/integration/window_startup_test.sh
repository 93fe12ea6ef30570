#!/usr/bin/env bash
# The start-up window: a show with "stw_show=1" first starts the player
# again as a child that shows the show's start-up dialog in its own small
# window. Return in the child starts the show (the child ends with exit
# code 1); Escape refuses it (exit code 0) and the player ends without
# playing.
#
#   tests/integration/window_startup_test.sh PLAYER
set -euo pipefail

player="$1"
# shellcheck source=window_test_lib.sh
source "$(dirname "$0")/window_test_lib.sh" "$@"

# The show is one red slide; the start-up dialog one blue box in a 320 x 240
# window.
cat > "$work/show.zel" <<'SHOW'
[Main]
ZelVersion=0.1.0
opt_slidescount=1
opt_synchpos1=60000
opt_scr_full=0
opt_scr_width=640
opt_scr_height=480
opt_scr_caption=zel startup show
opt_repeat=stop
opt_fx_enable=0
stw_show=1
stw_caption=zel startup dialog
opt_startupwidth=320
opt_startupheight=240

[Slide1]
UsePersonal=1
Pers_Fon=1
bstyle=1
bname=255

[dialog_startup]
UsePersonal=1
Pers_Fon=1
bstyle=1
bname=16711680
SHOW

# Confirmed: the dialog, Return, then the show.
"$player" -log -filename "$work/show.zel" >"$log" 2>&1 &
pid=$!
dialog="$(wait_for_window "zel startup dialog")"
# The dialog's window is centred: (480, 392) to (800, 632).
wait_for_colour "0 0 255" 640 512 "start-up dialog"
xdotool windowfocus "$dialog" || true
xdotool mousemove 640 512
xdotool key Return
wait_for_log "Start-up window: exit code 1"
wait_for_window "zel startup show" >/dev/null
wait_for_colour "255 0 0" 600 480 "the show after the dialog"
xdotool key Escape
code=0
wait "$pid" || code=$?
pid=""
[ "$code" -eq 0 ] || fail "exit code $code after the show was closed"

# Refused: Escape in the dialog; the player shows nothing and ends.
"$player" -log -filename "$work/show.zel" >"$log" 2>&1 &
pid=$!
dialog="$(wait_for_window "zel startup dialog")"
wait_for_colour "0 0 255" 640 512 "start-up dialog, second time"
xdotool windowfocus "$dialog" || true
xdotool key Escape
wait_for_log "Start-up window: exit code 0"
code=0
wait "$pid" || code=$?
pid=""
[ "$code" -eq 1 ] || fail "exit code $code after the dialog was refused (1 expected: nothing played)"
if grep -q "Main window shown" "$log"; then fail "the show played though the dialog was refused"; fi
echo "window test: start-up window passed"
