#!/bin/bash
# The test editor in a real X11 window: run under xvfb-run -a.
#   gui-test.sh <kelo-editor-host> <test plug-in> <work folder>
# A Shift-drag with a real pointer reaches the host as automation; the host survives losing
# the window before effEditClose and opens a second session.
set -u
host=$1 plugin=$2 work=$3
rm -rf "$work" && mkdir -p "$work"
fail() { echo "FAIL: $*"; echo "--- host output"; cat "$work/out"; echo "--- host errors"; cat "$work/err"; exit 1; }

mkfifo "$work/in"
"$host" "$plugin" <"$work/in" >"$work/out" 2>"$work/err" &
hostpid=$!
exec 3>"$work/in"
trap 'exec 3>&-; kill $hostpid 2>/dev/null; wait $hostpid 2>/dev/null' EXIT

# wait_for <extended regex> [count]: until that many lines of the host's output match.
wait_for() {
    local deadline=$((SECONDS + 10))
    until [ "$(grep -Ec "$1" "$work/out")" -ge "${2:-1}" ]; do
        kill -0 $hostpid 2>/dev/null || grep -Eq "$1" "$work/out" || fail "host ended while waiting for '$1'"
        [ $SECONDS -lt $deadline ] || fail "timed out waiting for '$1'"
        sleep 0.02
    done
}
# ask <command> <reply regex> [count]: sends the host a command and waits for its reply.
ask() {
    echo "$1" >&3
    wait_for "$2" "${3:-1}"
}

ask open '^opened'
read -r _ window x y w h < <(grep '^opened' "$work/out")
[ "$w" = 320 ] && [ "$h" = 200 ] || fail "editor size ${w}x$h"
ask idle '^idled'

# Linear knob mode; with Shift the range is 1.5 times longer: 30 px up are +0.1.
ask "knob-mode 2" '^knob-mode 1'
kx=$((x + 60)) ky=$((y + 100))
xdotool keydown shift mousemove $kx $ky mousedown 1 mousemove $kx $((ky - 30)) mouseup 1 keyup shift
wait_for '^automate 0 0\.1$'

ask destroy-parent '^parent-destroyed'
ask idle '^idled' 2
ask close '^closed'
ask open '^opened' 2
ask quit '^bye'
wait $hostpid || fail "host exit status $?"
trap - EXIT
