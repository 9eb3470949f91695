#!/bin/bash
# The test editor in a real X11 window: run under xvfb-run -a.
#   gui-test.sh <kelo-editor-host> <test plug-in> <toolkit-scene> <work folder>
# A screenshot's bitmap regions equal the offscreen render; xdotool drags the knob and clicks
# the kick button and the host sees the automation; the host survives losing the window before
# effEditClose. Waits poll for state (never a fixed long sleep).
set -u
host=$1 plugin=$2 scene=$3 work=$4
rm -rf "$work" && mkdir -p "$work"
fail() { echo "FAIL: $*"; echo "--- host output"; cat "$work/out"; echo "--- host errors"; cat "$work/err"; exit 1; }

mkfifo "$work/in"
"$host" "$plugin" <"$work/in" >"$work/out" 2>"$work/err" &
hostpid=$!
exec 3>"$work/in"
trap 'exec 3>&-; kill $hostpid 2>/dev/null; wait $hostpid 2>/dev/null' EXIT

# wait_for <extended regex> [seconds]: until a line of the host's output matches.
wait_for() {
    local deadline=$((SECONDS + ${2:-10}))
    until grep -Eq "$1" "$work/out"; do
        if ! kill -0 $hostpid 2>/dev/null; then
            grep -Eq "$1" "$work/out" && break # it printed and ended in between
            fail "host ended while waiting for '$1'"
        fi
        [ $SECONDS -lt $deadline ] || fail "timed out waiting for '$1'"
        sleep 0.02
    done
}
# wait_count <extended regex> <n>: until n lines match.
wait_count() {
    local deadline=$((SECONDS + 10))
    until [ "$(grep -Ec "$1" "$work/out")" -ge "$2" ]; do
        kill -0 $hostpid 2>/dev/null || fail "host ended while waiting for $2 x '$1'"
        [ $SECONDS -lt $deadline ] || fail "timed out waiting for $2 x '$1'"
        sleep 0.02
    done
}
say() { echo "$*" >&3; }

say open
wait_for '^(opened|open-failed)'
grep -q '^opened' "$work/out" || fail "the editor did not open"
read -r _ window x y w h < <(grep '^opened' "$work/out")
[ "$w" = 320 ] && [ "$h" = 200 ] || fail "editor size ${w}x$h"
say idle
wait_for '^idled'

# The X server may still be drawing what the plug-in sent: retry for a while.
deadline=$((SECONDS + 5))
until xwd -root -silent | convert xwd:- "$work/shot.png" && "$scene" compare "$work/shot.png" "$x" "$y" >"$work/compare.txt"; do
    [ $SECONDS -lt $deadline ] || { cat "$work/compare.txt"; fail "screen differs from the offscreen render"; }
    sleep 0.1
done
cat "$work/compare.txt"

# Drag the knob (linear mode) 40 px up: +0.2 of its range.
say knob-mode 2
wait_for '^knob-mode 1'
kx=$((x + 60)) ky=$((y + 100))
xdotool mousemove $kx $ky mousedown 1 mousemove $kx $((ky - 20)) mousemove $kx $((ky - 40)) mouseup 1
wait_for '^automate 0 0\.2$' 5
# With Shift the knob range is 1.5 times longer: 30 px are +0.1.
xdotool keydown shift mousemove $kx $ky mousedown 1 mousemove $kx $((ky - 30)) mouseup 1 keyup shift
wait_for '^automate 0 0\.3$' 5
# Click the kick button: 1 then 0.
xdotool mousemove $((x + 150)) $((y + 100)) click 1
wait_for '^automate 1 0$' 5
grep -q '^automate 1 1$' "$work/out" || fail "kick press not reported"
say param 0
wait_for '^param 0 0\.3$'

# The host destroys the window first, keeps idling, and closes the editor later.
say destroy-parent
wait_for '^parent-destroyed'
say idle
wait_for '^idled'
say close
wait_for '^closed'
# A second editor session in a fresh window.
say open
wait_count '^opened' 2
say quit
wait_for '^bye'
wait $hostpid || fail "host exit status $?"
trap - EXIT
echo "PASS"
