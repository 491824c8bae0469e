#!/bin/sh
# Wake-ups of a terminal sitting at the controller's prompt with nothing arriving and nothing
# typed: the window (under Xvfb, xcb) and the console front end, each connected to tavrin-sim on
# a pty (serial, 9600 baud) and to tavrin-sim over TCP/IP (--demo). Each is left alone for
# 12 s (the caret stops blinking after 10 s without input or output), then the context switches
# of all its threads (voluntary: the thread slept and was woken; involuntary: preempted) are
# added up from /proc over SPAN seconds, with the CPU time used meanwhile. A thread that blocks
# until something happens adds nothing.
#
# Usage: [SETTLE=s] bench/idle_wakeups.sh [BUILD_DIR] [SPAN]   (defaults: 12, build, 10)
set -eu
build=${1:-build}
span=${2:-10}
settle=${SETTLE:-12}  # the caret blinks for 10 s after the last input or output
tavrin=$(cd "$build" && pwd)/src/tavrin
sim=$(cd "$build" && pwd)/tools/sim/tavrin-sim
[ -x "$tavrin" ] && [ -x "$sim" ] || { echo "no $tavrin or $sim" >&2; exit 1; }
hz=$(getconf CLK_TCK)
work=$(mktemp -d /tmp/tavrin-wakeups-XXXXXX)
display=:$((90 + $$ % 100))
pid=
simpid=
xpid=
stop() { [ -n "$1" ] && kill "$1" 2>/dev/null && wait "$1" 2>/dev/null || true; }
cleanup() {
    stop "$pid"
    stop "$simpid"
    stop "$xpid"
    rm -rf "$work"
}
trap cleanup EXIT

# Context switches (voluntary involuntary) of all threads of $1.
switches() {
    cat /proc/"$1"/task/*/status 2>/dev/null |
        awk '/^voluntary_ctxt_switches/ { v += $2 } /^nonvoluntary_ctxt_switches/ { n += $2 } END { print v, n }'
}
ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }

measure() {
    label=$1
    sleep "$settle"
    set -- $(switches "$pid")
    v0=$1 n0=$2 t0=$(ticks "$pid")
    sleep "$span"
    set -- $(switches "$pid")
    v1=$1 n1=$2 t1=$(ticks "$pid")
    threads=$(ls /proc/"$pid"/task | wc -l)
    [ "$(cat /proc/"$pid"/comm)" = tavrin ] || { echo "$pid is not the terminal" >&2; exit 1; }
    awk -v l="$label" -v v=$((v1 - v0)) -v n=$((n1 - n0)) -v t=$((t1 - t0)) -v hz="$hz" -v s="$span" -v th="$threads" \
        'BEGIN { printf "%-32s %6.2f wake-ups/s (voluntary %d, involuntary %d in %d s, %d threads), %.2f%% of a core\n",
                 l, (v + n) / s, v, n, s, th, 100 * t / hz / s }'
}

# Starts tavrin-sim on a pty; sets simpid and pty.
start_sim() {
    "$sim" --pty --baud 9600 >"$work/sim.out" 2>/dev/null &
    simpid=$!
    for _ in $(seq 50); do
        pty=$(sed -n 's/^PTY //p' "$work/sim.out")
        [ -n "$pty" ] && return 0
        sleep 0.1
    done
    echo "tavrin-sim did not start" >&2
    exit 1
}
serial_settings() { printf '[Settings]\r\nLanguage=1\r\n[Ports]\r\nCOM3=%s\r\n' "$pty" >"$work/$1"; }

Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xpid=$!
sleep 1
cd "$work"

start_sim
serial_settings window.ini
DISPLAY=$display QT_QPA_PLATFORM=xcb "$tavrin" -C=COM3:9600:8:1:none -F"$work/window.ini" >/dev/null 2>&1 &
pid=$!
measure "window, serial:"
stop "$pid"; pid=
stop "$simpid"; simpid=

start_sim
serial_settings console.ini
sleep $((span + 20)) | "$tavrin" --headless -C=COM3:9600:8:1:none -F"$work/console.ini" >/dev/null 2>&1 &
pid=$!
measure "console front end, serial:"
stop "$pid"; pid=
stop "$simpid"; simpid=

DISPLAY=$display QT_QPA_PLATFORM=xcb "$tavrin" --demo -F"$work/demo-window.ini" >/dev/null 2>&1 &
pid=$!
measure "window, TCP/IP (--demo):"
stop "$pid"; pid=

sleep $((span + 20)) | "$tavrin" --headless --demo -F"$work/demo-console.ini" >/dev/null 2>&1 &
pid=$!
measure "console front end, TCP/IP:"
