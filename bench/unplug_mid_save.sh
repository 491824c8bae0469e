#!/bin/sh
# A controller that goes away in the middle of a serial save: tavrin --headless on a pty served
# by tavrin-sim at 4800 baud saves a 16 KB program (about 35 s of line time); 3 s into the save
# the simulator is killed (SIGKILL: its pty master closes, as when a USB adapter is pulled).
# Measured: the time from the kill to the terminal's "was unplugged or hung up" line on its
# stdout (each line is stamped as it is read), the terminal's CPU time over that span, and its
# CPU time and context switches over the 5 s after it (the terminal then waits for the device to
# come back).
#
# Usage: bench/unplug_mid_save.sh [BUILD_DIR] [RUNS]   (defaults: build, 3)
set -eu
build=${1:-build}
runs=${2:-3}
tavrin=$(cd "$build" && pwd)/src/tavrin
sim=$(cd "$build" && pwd)/tools/sim/tavrin-sim
[ -x "$tavrin" ] && [ -x "$sim" ] || { echo "no $tavrin or $sim" >&2; exit 1; }
work=$(mktemp -d /tmp/tavrin-unplug-XXXXXX)
pid=
simpid=
feeder=
stop() { [ -n "$1" ] && kill "$1" 2>/dev/null && wait "$1" 2>/dev/null || true; }
cleanup() {
    stop "$pid"
    stop "$simpid"
    stop "$feeder"
    rm -rf "$work"
}
trap cleanup EXIT

now_ms() { date +%s%3N; }
# Nanoseconds on a CPU of all threads of $1 (the scheduler's own count: finer than clock ticks).
cpu_ns() { cat /proc/"$1"/task/*/schedstat | awk '{ n += $1 } END { printf "%.0f", n }'; }
switches() {
    cat /proc/"$1"/task/*/status 2>/dev/null |
        awk '/^voluntary_ctxt_switches/ { v += $2 } /^nonvoluntary_ctxt_switches/ { n += $2 } END { print v + n }'
}
# Waits up to $2 tenths of a second for text $1 in the stamped output; prints its stamp.
wait_line() {
    for _ in $(seq "$2"); do
        stamp=$(grep -F -- "$1" "$work/out" | head -n 1 | cut -d' ' -f1)
        [ -n "$stamp" ] && { echo "$stamp"; return 0; }
        sleep 0.1
    done
    return 1
}

mkdir -p "$work/disk" "$work/pc"
awk 'BEGIN { printf ".PROGRAM cell()\r\n"; for (i = 1; i < 500; i++) printf "  LMOVE SHIFT(base BY %d, 0, 0)\r\n", i * 11 % 300; printf ".END\r\n" }' \
    >"$work/disk/prog.as"

for run in $(seq "$runs"); do
    : >"$work/out"
    rm -f "$work/pc/"*
    "$sim" --pty --baud 4800 --disk "$work/disk" >"$work/sim.out" 2>/dev/null &
    simpid=$!
    pty=
    for _ in $(seq 50); do
        pty=$(sed -n 's/^PTY //p' "$work/sim.out")
        [ -n "$pty" ] && break
        sleep 0.1
    done
    printf '[Settings]\r\nLanguage=1\r\n[Ports]\r\nCOM3=%s\r\n' "$pty" >"$work/t.ini"
    mkfifo "$work/in.$run"
    # The terminal's stdout, each line stamped with the wall clock in ms as it is read.
    "$tavrin" --headless -C=COM3:4800:8:1:none -F"$work/t.ini" <"$work/in.$run" 2>/dev/null |
        while IFS= read -r line; do echo "$(now_ms) $line"; done >"$work/out" &
    exec 3>"$work/in.$run"
    sleep 0.5
    pid=$(pgrep -n -x tavrin -P $$ || pgrep -n -f "F$work/t.ini" || true)
    wait_line "Type help for the commands." 100 >/dev/null || { echo "no banner" >&2; exit 1; }
    printf 'save %s/pc/prog.as\r' "$work" >&3
    sleep 3
    t0=$(cpu_ns "$pid")
    killed=$(now_ms)
    kill -KILL "$simpid"
    wait "$simpid" 2>/dev/null || true
    simpid=
    seen=$(wait_line "unplugged or hung up" 100) || { echo "no disconnect line" >&2; cat "$work/out" >&2; exit 1; }
    t1=$(cpu_ns "$pid")
    s1=$(switches "$pid")
    sleep 5
    t2=$(cpu_ns "$pid")
    s2=$(switches "$pid")
    left=$(ls -A "$work/pc" | wc -l)
    awk -v r="$run" -v ms=$((seen - killed)) -v a=$((t1 - t0)) -v b=$((t2 - t1)) -v sw=$((s2 - s1)) -v left="$left" \
        'BEGIN { printf "run %d: disconnect line %d ms after the kill, %.1f ms CPU meanwhile (%.1f%% of a core); next 5 s: %.2f%% of a core, %.1f wake-ups/s; files left in the PC folder: %d\n",
                 r, ms, a / 1e6, (ms > 0 ? 100 * a / 1e6 / ms : 0), 100 * b / 1e9 / 5, sw / 5, left }'
    exec 3>&-
    stop "$pid"
    pid=
    wait 2>/dev/null || true
done
