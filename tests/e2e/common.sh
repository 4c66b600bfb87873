# Shared by the end-to-end scripts: a private X server, the intro running in
# it, screenshots, keys, and waiting for conditions. Sourced, not run.
#
# The scripts are called as: SCRIPT KORVANE SCREEN_CHECK SOURCE_DIR WORK_DIR
set -u

KORVANE=$1
SCREEN_CHECK=$2
SOURCE_DIR=$3
WORK=$4
SHEET=$SOURCE_DIR/assets/FontSheet.bmp
LOGO=$SOURCE_DIR/assets/kvnLogo.bmp
MAIN_UNIT=$SOURCE_DIR/app/MainUnit.cpp

rm -rf "$WORK"
mkdir -p "$WORK/tmp" "$WORK/home"
export TMPDIR=$WORK/tmp
export HOME=$WORK/home
export SDL_AUDIODRIVER=disk
export SDL_DISKAUDIOFILE=$WORK/audio.raw
unset KORVANE_BACKEND KORVANE_HEADLESS_FRAMES KORVANE_HEADLESS_FRAME KORVANE_HEADLESS_MS
# The folder the intro writes its two files to.
PRIVATE_TMP=$TMPDIR/korvane-$(id -u)

XVFB_PID=
WM_PID=
KORVANE_PID=
SHOT_NO=0

fail() {
    echo "FAIL: $*" >&2
    [ -s "$WORK/korvane.err" ] && { echo "--- the intro's stderr:" >&2; cat "$WORK/korvane.err" >&2; }
    exit 1
}

note() { echo "$*"; }

cleanup() {
    # Only what this script started, by its id.
    # SDL turns SIGTERM into a quit request, which a stuck intro never reads.
    [ -n "$KORVANE_PID" ] && kill -KILL "$KORVANE_PID" 2>/dev/null
    [ -n "$WM_PID" ] && kill "$WM_PID" 2>/dev/null
    [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null
    wait 2>/dev/null
}
trap cleanup EXIT

# poll LIMIT_SECONDS COMMAND...: runs COMMAND every 0.1 s until it succeeds.
poll() {
    local limit=$1
    shift
    local deadline=$((SECONDS + limit))
    until "$@"; do
        [ $SECONDS -ge $deadline ] && return 1
        sleep 0.1
    done
}

# start_x GEOMETRY [wm]: a private X server with a black root window, and
# openbox in it when asked.
start_x() {
    local geometry=$1
    rm -f "$WORK/display"
    Xvfb -displayfd 3 -screen 0 "$geometry" -nolisten tcp -br -noreset 3>"$WORK/display" 2>"$WORK/xvfb.err" &
    XVFB_PID=$!
    poll 30 test -s "$WORK/display" || fail "Xvfb did not start"
    export DISPLAY=:$(head -n1 "$WORK/display")
    poll 30 xdpyinfo >/dev/null 2>&1 || fail "Xvfb on $DISPLAY does not answer"
    if [ "${2:-}" = wm ]; then
        openbox --sm-disable >"$WORK/openbox.log" 2>&1 &
        WM_PID=$!
        poll 30 wm_ready || fail "openbox did not take the screen"
    fi
    note "X server $DISPLAY, $geometry${2:+ with openbox}"
}

wm_ready() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }

start_korvane() {
    "$KORVANE" 2>"$WORK/korvane.err" &
    KORVANE_PID=$!
}

alive() {
    local state
    state=$(ps -o stat= -p "$KORVANE_PID" 2>/dev/null) || return 1
    case $state in Z*) return 1 ;; esac
}

# wait_exit LIMIT: waits for the intro to end and sets EXIT_STATUS.
wait_exit() {
    poll "$1" eval '! alive' || fail "the intro did not end within $1 s"
    wait "$KORVANE_PID"
    EXIT_STATUS=$?
    KORVANE_PID=
}

# The intro's main window: the one of its class (its error boxes carry the
# same title but are windows of their own).
main_window() { xdotool search --classname '^korvane$' 2>/dev/null | head -n1; }

wait_window() {
    poll 60 eval '[ -n "$(main_window)" ]' || fail "no window of the intro appeared"
    WINDOW=$(main_window)
}

# shot NAME: a screenshot of the whole screen as NAME.ppm, and NAME.png to
# look at. Sets SHOT.
shot() {
    SHOT=$WORK/$1.ppm
    import -window root -depth 8 "ppm:$SHOT" 2>>"$WORK/import.err" || return 1
}

keep_png() { convert "$1" "${1%.ppm}.png"; }

# reference N: the N-th frame of a headless run, as ref-N.ppm. Sets REF.
reference() {
    REF=$WORK/ref-$1.ppm
    [ -s "$REF" ] && return 0
    KORVANE_BACKEND=headless KORVANE_HEADLESS_FRAMES=$1 KORVANE_HEADLESS_FRAME=$REF \
        TMPDIR=$WORK/headless-tmp SDL_DISKAUDIOFILE=$WORK/headless-audio.raw \
        "$KORVANE" 2>>"$WORK/headless.err" >/dev/null || fail "the headless run to frame $1 failed"
    [ -s "$REF" ] || fail "the headless run wrote no frame $1"
}

# The part of every frame above the text: the logo, from the first frame on.
ABOVE_TEXT="--only 0 0 320 108"

# Whether the latest screenshot shows a frame, judged by the part above the
# text.
shows_frame() {
    shot probe || return 1
    "$SCREEN_CHECK" compare "$SHOT" "$REF" $ABOVE_TEXT >"$WORK/probe.txt" 2>&1
}

wait_first_frame() {
    reference 1
    poll 90 shows_frame || { cat "$WORK/probe.txt"; keep_png "$SHOT"; fail "no frame of the intro appeared on the screen ($SHOT)"; }
}

# reveal SHOT: sets PAGE, LOW and HIGH from what SHOT shows of the text.
reveal() {
    local out
    out=$("$SCREEN_CHECK" reveal "$1" "$SHEET" "$LOGO" "$MAIN_UNIT") || { keep_png "$1"; fail "the text on the screen is no beginning of a page ($1)"; }
    read -r PAGE LOW HIGH <<<"$out"
}

# The frame number of the headless run that shows the first LOW characters of
# page 1: the 4 × LOW-th, and one of the four frames before the first
# character for none.
page1_frame() { if [ "$1" -eq 0 ]; then echo 1; else echo $((4 * $1)); fi; }

# Focuses the intro's window and types KEYS into it.
send_keys() {
    xdotool windowfocus --sync "$WINDOW" 2>/dev/null || xdotool windowfocus "$WINDOW"
    xdotool key --clearmodifiers "$@"
}
