#!/bin/bash
# Full screen on a desktop without a 320 x 240 16-bit mode, under a window
# manager: the frame fills the screen scaled by the largest whole factor,
# centred, black around it, equal to the headless frame of the same moment.
# Arguments after the common ones: GEOMETRY FACTOR.
. "$(dirname "$0")/common.sh"
geometry=$5
factor=$6

start_x "$geometry" wm
start_korvane
wait_window
wait_first_frame
for moment in first second; do
    shot "$moment" || fail "no screenshot"
    reveal "$SHOT"
    [ "$PAGE" -le 1 ] || fail "page $PAGE shown this early ($SHOT)"
    reference "$(page1_frame "$LOW")"
    "$SCREEN_CHECK" compare "$SHOT" "$REF" >"$WORK/$moment.txt"
    status=$?
    cat "$WORK/$moment.txt"
    keep_png "$SHOT"
    [ $status -eq 0 ] || fail "the screen differs from headless frame $(page1_frame "$LOW") ($SHOT)"
    grep -q "scaled by $factor " "$WORK/$moment.txt" || fail "the frame is not scaled by $factor"
    note "$moment: page 1 with $LOW characters, equal to headless frame $(page1_frame "$LOW") scaled by $factor"
    from=$LOW
    poll 60 eval 'shot probe && reveal "$SHOT" && [ "$LOW" -ge $((from + 2)) ]' ||
        fail "the text stopped growing at $from characters"
done
send_keys Escape
wait_exit 60
[ "$EXIT_STATUS" -eq 0 ] || fail "Escape ended the intro with status $EXIT_STATUS"
note "PASS"
