#!/bin/bash
# Closing the window through the window manager (openbox's Alt+F4, which
# sends WM_DELETE_WINDOW) ends the intro like Escape. The 640 x 480 screen
# also shows the frame scaled by 2.
. "$(dirname "$0")/common.sh"

start_x 640x480x24 wm
start_korvane
wait_window
wait_first_frame
shot running || fail "no screenshot"
reveal "$SHOT"
reference "$(page1_frame "$LOW")"
"$SCREEN_CHECK" compare "$SHOT" "$REF" || { keep_png "$SHOT"; fail "the screen differs from headless frame $(page1_frame "$LOW")"; }
keep_png "$SHOT"
send_keys alt+F4
wait_exit 60
[ "$EXIT_STATUS" -eq 0 ] || fail "closing by the window manager ended the intro with status $EXIT_STATUS"
note "PASS"
