#!/bin/sh
# Whole-process figures of the intro in Xvfb (320x240x16) beside a minimal
# SDL2 program that opens the same full-screen window and presents one frame:
# start-up to the first present and peak resident memory at that moment,
# then the intro's CPU use over 10 s of its 60 Hz frame loop.
#
# Usage: bench/process.sh [build folder]   (default: build-bench)
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$here/build-bench}" && pwd)
intro=$build/korvane
peer=$build/bench/minimal_sdl
probe=$build/bench/libfirst_present.so
runs=${RUNS:-5}
for f in "$intro" "$peer" "$probe"; do
    [ -e "$f" ] || { echo "process.sh: $f is missing; build the korvane, minimal_sdl and first_present targets" >&2; exit 2; }
done

scratch=$(mktemp -d)
xvfb_pid=
intro_pid=
cleanup() {
    [ -n "$intro_pid" ] && kill "$intro_pid" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$scratch"
}
trap cleanup EXIT INT TERM

exec 3>"$scratch/display"
Xvfb -displayfd 3 -screen 0 320x240x16 -nolisten tcp >"$scratch/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 50); do [ -s "$scratch/display" ] && break; sleep 0.1; done
export DISPLAY=:$(cat "$scratch/display")
export SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=/dev/null
mkdir -p "$scratch/tmp"
export TMPDIR=$scratch/tmp

now_ns() { date +%s%N; }

# One start-up: prints "milliseconds KiB" of the first present.
first_present() {
    out=$scratch/present.$$
    rm -f "$out"
    start=$(now_ns)
    FIRST_PRESENT_FILE=$out LD_PRELOAD=$probe "$@" >/dev/null 2>&1 &
    pid=$!
    for _ in $(seq 100); do [ -s "$out" ] && break; sleep 0.05; done
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    read -r at hwm <"$out"
    echo "$(( (at - start) / 1000000 )) $hwm"
}

median() { sort -n | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }

: >"$scratch/intro.txt"
: >"$scratch/peer.txt"
for _ in $(seq "$runs"); do
    first_present "$peer" >>"$scratch/peer.txt"
    first_present "$intro" >>"$scratch/intro.txt"
done
intro_ms=$(cut -d' ' -f1 "$scratch/intro.txt" | median)
peer_ms=$(cut -d' ' -f1 "$scratch/peer.txt" | median)
intro_kb=$(cut -d' ' -f2 "$scratch/intro.txt" | median)
peer_kb=$(cut -d' ' -f2 "$scratch/peer.txt" | median)

# CPU over 10 s of the running intro, from its own utime + stime, after the
# start-up and the lead-in.
"$intro" >/dev/null 2>&1 &
intro_pid=$!
sleep 3
ticks() { awk '{print $14 + $15}' "/proc/$intro_pid/stat"; }
hz=$(getconf CLK_TCK)
c0=$(ticks); t0=$(now_ns)
sleep 10
c1=$(ticks); t1=$(now_ns)
run_kb=$(awk '/VmHWM/ {print $2}' "/proc/$intro_pid/status")
kill "$intro_pid" 2>/dev/null || true
wait "$intro_pid" 2>/dev/null || true
intro_pid=

awk -v im="$intro_ms" -v pm="$peer_ms" -v ik="$intro_kb" -v pk="$peer_kb" -v rk="$run_kb" \
    -v c="$((c1 - c0))" -v hz="$hz" -v ns="$((t1 - t0))" -v n="$runs" 'BEGIN {
    cpu = 100 * (c / hz) / (ns / 1e9)
    printf "%-36s %12s %12s %8s\n", "figure (median of " n " runs)", "korvane", "minimal SDL", "ratio"
    printf "%-36s %12d %12d %8.2f\n", "start-up to first present, ms", im, pm, im / pm
    printf "%-36s %12d %12d %8.2f\n", "peak RSS at first present, KiB", ik, pk, ik / pk
    printf "%-36s %12d %12s %8s\n", "peak RSS after 13 s, KiB", rk, "-", "-"
    printf "%-36s %12.2f %12s %8s\n", "CPU over 10 s at 60 Hz, % of a core", cpu, "-", "-"
}'
