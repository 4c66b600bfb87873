#!/bin/bash
# On a screen that offers exactly 320 x 240 at 16 bits, without a window
# manager: the window's title, the screen equal to the headless frame of the
# same moment, keys that are ignored, and every closing key with its modifiers.
. "$(dirname "$0")/common.sh"

start_x 320x240x16

# The screen against the headless frame that shows as much of page 1: the
# typed characters fix the moment to within the four frames that look alike.
screen_equals_reference() {
    shot "$1" || fail "no screenshot"
    reveal "$SHOT"
    [ "$PAGE" -le 1 ] || fail "page $PAGE shown this early ($SHOT)"
    reference "$(page1_frame "$LOW")"
    if ! "$SCREEN_CHECK" compare "$SHOT" "$REF" >"$WORK/$1.txt"; then
        cat "$WORK/$1.txt"
        keep_png "$SHOT"
        keep_png "$REF"
        fail "the screen differs from headless frame $(page1_frame "$LOW") ($SHOT, $REF)"
    fi
    note "$1: page 1 with $LOW characters, equal to headless frame $(page1_frame "$LOW")"
}

# Waits until at least two more characters are on the screen than LOW shows
# now: the intro has then run past every key sent before.
frames_move_on() {
    local from=$LOW
    poll 60 eval 'shot probe && reveal "$SHOT" && [ "$LOW" -ge $((from + 2)) ]' ||
        fail "the text stopped growing at $from characters"
}

# Closing key, and whether this run also makes the comparisons.
cases=(
    "Escape full"
    "shift+Escape"
    "ctrl+Escape"
    "alt+Escape"
    "shift+ctrl+alt+Escape"
)
ran=0
for row in "${cases[@]}"; do
    read -r key full <<<"$row"
    note "--- closing with $key"
    start_korvane
    wait_window
    title=$(xdotool getwindowname "$WINDOW")
    [ "$title" = Korvane ] || fail "the window's title is '$title'"
    geometry=$(xdotool getwindowgeometry "$WINDOW" | sed -n 's/ *Geometry: //p')
    [ "$geometry" = 320x240 ] || fail "the window is $geometry, not 320x240"
    wait_first_frame
    if [ -n "${full:-}" ]; then
        screen_equals_reference first
        keep_png "$SHOT"
        # Two more moments, so that a frame that only looks right once fails.
        frames_move_on
        screen_equals_reference second
        frames_move_on
        screen_equals_reference third
        keep_png "$SHOT"
    fi
    shot before-keys && reveal "$SHOT"
    send_keys space a Return Tab shift+a ctrl+q alt+x F1 Left
    frames_move_on
    alive || fail "the intro ended on a key other than Escape (before $key)"
    send_keys "$key"
    wait_exit 60
    [ "$EXIT_STATUS" -eq 0 ] || fail "$key ended the intro with status $EXIT_STATUS"
    ran=$((ran + 1))
done
[ "$ran" -eq "${#cases[@]}" ] || fail "only $ran of ${#cases[@]} cases ran"
note "PASS"
