#!/usr/bin/env bash
# Fault tests of the real program: hostile surroundings, one group of cases
# per call. Each group runs its cases from a table and checks that every row
# ran.
#
#   faults.sh KORVANE GROUP        GROUP: no_display | signals | full_tmp | sabotage
#
# The program runs in a private Xvfb, its temporary folder in a scratch
# place, its sound going to a file through SDL's disk driver.
set -u
korvane=$1 group=$2
scratch=$(mktemp -d /tmp/korvane-faults-XXXXXX)
xvfb= pid= mounted=
rows=0 expected_rows=0

cleanup() {
    # Only what this script started, by its id.
    [ -n "$pid" ] && kill -KILL "$pid" 2>/dev/null
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
    wait 2>/dev/null
    [ -n "$mounted" ] && umount "$mounted" 2>/dev/null
    rm -rf "$scratch"
}
trap cleanup EXIT

fail() {
    echo "FAIL [$row]: $*"
    [ -s "$work/err" ] && { echo "--- the intro's stderr:"; cat "$work/err"; }
    exit 1
}

wait_for() {  # wait_for SECONDS COMMAND...
    local deadline=$((SECONDS + $1))
    shift
    until "$@"; do
        [ $SECONDS -ge $deadline ] && return 1
        sleep 0.05
    done
}

start_x() {
    exec 3>"$scratch/display"
    Xvfb -displayfd 3 -screen 0 320x240x16 -nolisten tcp >"$scratch/xvfb.log" 2>&1 &
    xvfb=$!
    exec 3>&-
    wait_for 30 test -s "$scratch/display" || { echo "FAIL: Xvfb did not start"; exit 1; }
    export DISPLAY=":$(head -n1 "$scratch/display")"
}

# new_row NAME: a fresh work folder and temporary folder for one case.
new_row() {
    row=$1
    work=$scratch/$row
    mkdir -p "$work/tmp"
    export TMPDIR=$work/tmp SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=$work/audio.raw
    private=$TMPDIR/korvane-$(id -u)
}

start_intro() {
    # A shell starts background commands with SIGINT ignored; a program
    # started from a terminal or a desktop has it at its default.
    env --default-signal=INT,TERM "$korvane" 2>"$work/err" &
    pid=$!
}

alive() { [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null && ! ps -o stat= -p "$pid" | grep -q '^Z'; }

# wait_end SECONDS: waits for the intro to end and sets status.
wait_end() {
    wait_for "$1" eval '! alive' || fail "the intro did not end within $1 s"
    wait "$pid"
    status=$?
    pid=
}

main_window() { xdotool search --classname '^korvane$' 2>/dev/null | head -n1; }

escape() {
    local w
    w=$(main_window)
    [ -n "$w" ] && xdotool key --window "$w" Escape 2>/dev/null
}

audio_bytes() { stat -c %s "$work/audio.raw" 2>/dev/null || echo 0; }
# Whether the sound file holds anything but silence.
audio_audible() { [ -s "$work/audio.raw" ] && od -An -v -tx1 "$work/audio.raw" | grep -qv '^[ 0]*$'; }

# Whether the screen shows a frame of the intro: the logo lights the upper
# part of the screen from the first composed frame on; before it the display
# is black.
screen_lit() {
    local mean
    mean=$(import -window root -crop 320x100+0+0 -depth 8 ppm:- 2>/dev/null |
           convert ppm:- -format '%[fx:mean]' info: 2>/dev/null) || return 1
    awk -v m="$mean" 'BEGIN { exit !(m > 0.01) }'
}

# An error box is a window with the application's title other than the main
# window (which does not exist yet while the form is being created). SDL names
# its boxes in UTF-8 only, which xdotool's name search does not see, so the
# window tree is read instead.
error_boxes() { xwininfo -root -tree 2>/dev/null | awk '/"Korvane": \(\)/ { print $1 }'; }
error_box() { [ -n "$(error_boxes)" ]; }
dismiss_boxes() {
    local w
    for w in $(error_boxes); do xdotool key --window "$w" Return 2>/dev/null; done
}

files_present() { [ -f "$private/BassMod.DLL" ] && [ -f "$private/Module.MOD" ]; }
files_absent() { [ ! -e "$private/BassMod.DLL" ] && [ ! -e "$private/Module.MOD" ]; }
no_scratch_files() { ! ls -A "$private" 2>/dev/null | grep -q '^\.'; }

done_row() {
    rows=$((rows + 1))
    echo "ok [$row]${1:+: $1}"
}

# --------------------------------------------------------------- no display
# No error box can be shown without a display: a message on standard error
# and a non-zero exit, quickly.
group_no_display() {
    local cases=("unset::" "no_server::65000" "not_a_display::no-such-host-here:7")
    expected_rows=${#cases[@]}
    local c name value
    for c in "${cases[@]}"; do
        name=${c%%::*}
        value=${c#*::}
        new_row "$name"
        if [ "$name" = unset ]; then
            env -u DISPLAY "$korvane" 2>"$work/err" &
        else
            DISPLAY=$value "$korvane" 2>"$work/err" &
        fi
        pid=$!
        wait_end 30
        [ "$status" -ne 0 ] || fail "exit status 0 without a display"
        [ "$status" -lt 128 ] || fail "ended by signal $((status - 128)) instead of exiting"
        grep -qi 'display' "$work/err" || fail "standard error does not say that the display is missing"
        [ -n "$(find "$TMPDIR" -type f 2>/dev/null)" ] && fail "files were written although the intro cannot run"
        done_row "status $status: $(head -n1 "$work/err")"
    done
}

# ------------------------------------------------------------------ signals
# A signal ends the intro like a close of its window: during the lead-in the
# music never started and both files stay; while it plays, the music is
# stopped and both files are deleted.
group_signals() {
    start_x
    local cases=(TERM:lead_in INT:lead_in TERM:music INT:music)
    expected_rows=${#cases[@]}
    local c sig phase
    for c in "${cases[@]}"; do
        sig=${c%%:*}
        phase=${c#*:}
        new_row "${sig}_${phase}"
        start_intro
        if [ "$phase" = lead_in ]; then
            # The module is written while the form is created, at least the
            # 100 ticks of the lead-in before the music can start.
            wait_for 30 test -f "$private/Module.MOD" || fail "the module file was not written"
        else
            wait_for 60 eval '[ "$(audio_bytes)" -gt 88200 ]' || fail "the music did not start"
            files_present || fail "the files are gone while the music plays"
        fi
        kill -s "$sig" "$pid"
        wait_end 20
        [ "$status" -lt 128 ] || fail "killed by signal $((status - 128)) instead of closing"
        if [ "$phase" = lead_in ]; then
            [ -e "$work/audio.raw" ] && fail "the signal came too late: the music had started"
            files_present || fail "a close during the lead-in removed the files written at start"
        else
            files_absent || fail "the files were left behind after the music had played"
        fi
        no_scratch_files || fail "half-written files were left: $(ls -A "$private")"
        done_row "status $status"
    done
}

# ------------------------------------------------------- full temporary folder
# A folder too small for the library, or for the module after it: the error
# box names the failure, then a still black window that Escape closes; what
# was written stays, and no half-written file is left.
group_full_tmp() {
    start_x
    local cases=("no_room_for_library:16k" "no_room_for_module:40k")
    expected_rows=${#cases[@]}
    local c name size
    for c in "${cases[@]}"; do
        name=${c%%:*}
        size=${c#*:}
        new_row "$name"
        mount -t tmpfs -o "size=$size,mode=0700" tmpfs "$work/tmp" || fail "cannot mount a small tmpfs"
        mounted=$work/tmp
        start_intro
        wait_for 30 error_box || fail "no error box appeared"
        grep -q 'write error' "$work/err" || fail "the error does not say that writing failed"
        dismiss_boxes
        wait_for 10 eval '! error_box' || fail "the error box did not go"
        sleep 2.5  # longer than the lead-in: a running intro would show frames by now
        alive || fail "the intro ended after the error"
        screen_lit && fail "the window is not still and black"
        [ -e "$work/audio.raw" ] && fail "a sound device was opened"
        if [ "$name" = no_room_for_module ]; then
            [ -f "$private/BassMod.DLL" ] || fail "the library written before the failure was removed"
        fi
        [ -e "$private/Module.MOD" ] && fail "a module file exists although it could not be written"
        no_scratch_files || fail "half-written files were left: $(ls -A "$private")"
        escape
        wait_end 20
        [ "$status" -eq 0 ] || fail "exit status $status after Escape"
        umount "$mounted" && mounted=
        done_row "$(grep -m1 'write error' "$work/err")"
    done
}

# ---------------------------------------------------------------- sabotage
# What the music needs, taken away after start-up and before tick 100: the
# intro runs on in silence, with no error box, and Escape ends it normally.
# The music never started, so the files stay as they are.
group_sabotage() {
    start_x
    local cases=(library_garbage library_removed module_garbage no_sound_device)
    expected_rows=${#cases[@]}
    local c
    for c in "${cases[@]}"; do
        new_row "$c"
        [ "$c" = no_sound_device ] && export SDL_AUDIODRIVER=no-such-driver
        start_intro
        wait_for 30 test -f "$private/Module.MOD" || fail "the module file was not written"
        case $c in
            library_garbage) head -c 36608 /dev/urandom >"$private/BassMod.DLL" ;;
            library_removed) rm -f "$private/BassMod.DLL" ;;
            module_garbage) head -c 45796 /dev/urandom >"$private/Module.MOD" ;;
        esac
        wait_for 60 screen_lit || fail "the intro shows no frames"
        sleep 1
        alive || fail "the intro ended"
        error_box && fail "an error box appeared"
        audio_audible && fail "sound came out"
        escape
        wait_end 20
        [ "$status" -eq 0 ] || fail "exit status $status after Escape"
        case $c in
            library_removed) [ -f "$private/Module.MOD" ] || fail "the module file was removed" ;;
            *) files_present || fail "the files were removed although the music never started" ;;
        esac
        done_row
    done
}

case $group in
    no_display | signals | full_tmp | sabotage) "group_$group" ;;
    *) echo "usage: $0 KORVANE no_display|signals|full_tmp|sabotage" >&2; exit 2 ;;
esac
[ "$rows" -eq "$expected_rows" ] || { echo "FAIL: $rows of $expected_rows cases ran"; exit 1; }
echo PASS
