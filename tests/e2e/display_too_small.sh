#!/bin/bash
# A screen smaller than 320 x 240, under a window manager: the error box
# with the mode message, and after it no frames; Escape still ends the intro.
. "$(dirname "$0")/common.sh"

start_x 200x150x16 wm
start_korvane
message="Korvane: Display mode cannot be changed (320x240 16bit)"
poll 60 grep -sqxF "$message" "$WORK/korvane.err" || fail "no line '$message' on stderr"
# The box is a window of its own with the application's title and no class
# (xdotool does not find it by name, so the window tree is read).
box_window() {
    xwininfo -root -tree 2>/dev/null | sed -n 's/^ *\(0x[0-9a-f]*\) "Korvane": ().*/\1/p' | head -n1 | grep .
}
poll 60 box_window >/dev/null || fail "no error box appeared"
BOX=$(box_window)
shot box && keep_png "$SHOT"
# Return until the box goes: it may not take the focus at once.
answer_box() {
    xdotool windowfocus "$BOX" 2>/dev/null
    xdotool key --window "$BOX" Return 2>/dev/null
    sleep 0.5
    ! box_window >/dev/null
}
poll 60 answer_box || fail "the error box did not close on Return"
wait_window
# The server may take a moment to repaint where the box was.
poll 30 eval 'shot settled && "$SCREEN_CHECK" black "$SHOT" >/dev/null' ||
    { keep_png "$SHOT"; fail "the screen did not turn black after the error box ($SHOT)"; }
# No frame may follow: watch the screen for longer than the lead-in takes.
for i in $(seq 1 15); do
    shot "after-$i" || fail "no screenshot"
    if ! "$SCREEN_CHECK" black "$SHOT" >"$WORK/black.txt"; then
        cat "$WORK/black.txt"
        keep_png "$SHOT"
        fail "something was drawn after the failed display set-up ($SHOT)"
    fi
    sleep 0.2
done
keep_png "$SHOT"
alive || fail "the intro ended after the error box"
send_keys Escape
wait_exit 60
[ "$EXIT_STATUS" -eq 0 ] || fail "Escape ended the intro with status $EXIT_STATUS"
note "PASS"
