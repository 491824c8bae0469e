#!/bin/sh
# CPU time of a terminal sitting at the controller's prompt with nothing arriving: the window
# (under Xvfb) against the console front end, each connected to the demo controller, measured
# over the same span from /proc (user + system clock ticks of the terminal's process).
#
# Usage: bench/idle_cpu.sh [BUILD_DIR] [SECONDS]   (defaults: build, 10)
set -eu
build=${1:-build}
span=${2:-10}
tavrin=$(cd "$build" && pwd)/src/tavrin
[ -x "$tavrin" ] || { echo "no $tavrin" >&2; exit 1; }
hz=$(getconf CLK_TCK)
work=$(mktemp -d /tmp/tavrin-idle-XXXXXX)
display=:$((90 + $$ % 100))
cleanup() {
    [ -n "${pid:-}" ] && kill "$pid" 2>/dev/null || true
    [ -n "${xpid:-}" ] && kill "$xpid" 2>/dev/null || true
    sleep 1  # the terminal saves its settings on the way out
    rm -rf "$work"
}
trap cleanup EXIT

ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }

# Seconds of CPU the process $pid uses over $span seconds, after 3 s to settle at the prompt.
measure() {
    sleep 3
    before=$(ticks "$pid")
    sleep "$span"
    after=$(ticks "$pid")
    awk -v a="$after" -v b="$before" -v hz="$hz" -v s="$span" \
        'BEGIN { cpu = (a - b) / hz; printf "%.2f s CPU in %d s (%.2f%% of a core)\n", cpu, s, 100 * cpu / s }'
}

Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xpid=$!
sleep 1
cd "$work"
printf 'window:           '
DISPLAY=$display QT_QPA_PLATFORM=xcb "$tavrin" --demo -F"$work/window.ini" >/dev/null 2>&1 &
pid=$!
measure
kill "$pid"; wait "$pid" 2>/dev/null || true
pid=

printf 'console front end: '
sleep $((span + 5)) | "$tavrin" --headless --demo -F"$work/console.ini" >/dev/null 2>&1 &
pid=$!
# $! is the last process of the pipeline: the terminal.
measure
kill "$pid" 2>/dev/null || true
