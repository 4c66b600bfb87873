#!/bin/bash
# The screen checker itself, on headless frames: it must tell frames apart,
# read the text they show, and refuse pictures that are wrong.
. "$(dirname "$0")/common.sh"

reference 8; f8=$REF
reference 12; f12=$REF
"$SCREEN_CHECK" compare "$f8" "$f8" >/dev/null || fail "a frame differs from itself"
! "$SCREEN_CHECK" compare "$f8" "$f12" >/dev/null || fail "frames 8 and 12 compare equal"
"$SCREEN_CHECK" compare "$f8" "$f12" $ABOVE_TEXT >/dev/null || fail "the part above the text changed between frames 8 and 12"
reveal "$f12"
[ "$PAGE $LOW" = "1 3" ] || fail "frame 12 reads as page $PAGE with $LOW characters"
# The frame scaled by 2 and centred on a larger screen, and the same off centre.
convert "$f12" -scale 200% -background black -gravity center -extent 660x500 -depth 8 "ppm:$WORK/big.ppm"
"$SCREEN_CHECK" compare "$WORK/big.ppm" "$f12" >/dev/null || fail "the centred, doubled frame does not match"
convert "$f12" -scale 200% -background black -gravity northwest -extent 660x500 -depth 8 "ppm:$WORK/off.ppm"
! "$SCREEN_CHECK" compare "$WORK/off.ppm" "$f12" >/dev/null || fail "a frame off centre matches"
# One lit pixel in the border, and a glyph where none is typed yet.
convert "$WORK/big.ppm" -fill white -draw 'point 2 2' -depth 8 "ppm:$WORK/dot.ppm"
! "$SCREEN_CHECK" compare "$WORK/dot.ppm" "$f12" >/dev/null || fail "a lit border pixel goes unnoticed"
convert "$f12" -fill white -draw 'rectangle 200 150 203 160' -depth 8 "ppm:$WORK/stray.ppm"
! "$SCREEN_CHECK" reveal "$WORK/stray.ppm" "$SHEET" "$LOGO" "$MAIN_UNIT" >/dev/null 2>&1 || fail "a stray mark reads as text"
note "PASS"
