#!/bin/bash
# KELO.so's editor in a real X11 window: run under xvfb-run -a.
#   editor-gui-test.sh <kelo-editor-host> <KELO.so> <kelo-skin> <source folder> <work folder>
# The window shows exactly the offscreen render of the default skin; dragging Cutoff with
# xdotool moves the parameter and the host records the automation. Waits poll for state.
set -u
host=$1 plugin=$2 skintool=$3 src=$4 work=$5
rm -rf "$work" && mkdir -p "$work"
fail() { echo "FAIL: $*"; echo "--- host output"; cat "$work/out"; echo "--- host errors"; cat "$work/err"; exit 1; }

# A user who installed the data files (scripts/demo.sh does the same).
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config
data=$HOME/Documents/Orvanta/KELO
mkdir -p "$data"
cp "$src/data/Gui.ini" "$src/data/RededazadEdadar2.skn" "$data/"
cp -r "$src/data/RededazadEdadar2" "$data/"
"$skintool" render "$src/data/RededazadEdadar2.skn" "$work/render.png" || fail "offscreen render"

mkfifo "$work/in"
"$host" "$plugin" <"$work/in" >"$work/out" 2>"$work/err" &
hostpid=$!
exec 3>"$work/in"
trap 'exec 3>&-; kill $hostpid 2>/dev/null; wait $hostpid 2>/dev/null' EXIT

wait_for() {
    local deadline=$((SECONDS + ${2:-10}))
    until grep -Eq "$1" "$work/out"; do
        if ! kill -0 $hostpid 2>/dev/null; then
            grep -Eq "$1" "$work/out" && break
            fail "host ended while waiting for '$1'"
        fi
        [ $SECONDS -lt $deadline ] || fail "timed out waiting for '$1'"
        sleep 0.02
    done
}
say() { echo "$*" >&3; }

say open
wait_for '^(opened|open-failed)'
grep -q '^opened' "$work/out" || fail "the editor did not open"
read -r _ window x y w h < <(grep '^opened' "$work/out")
[ "$w" = 800 ] && [ "$h" = 420 ] || fail "editor size ${w}x$h"

# The start-up light show runs for 14 frames of 50 ms; then the panel is at rest.
sleep 1.2
deadline=$((SECONDS + 5))
until xwd -root -silent | convert xwd:- -crop "${w}x$h+$x+$y" +repage -alpha off "$work/shot.png" &&
      differing=$(compare -metric AE "$work/shot.png" \( "$work/render.png" -alpha off \) null: 2>&1) &&
      [ "$differing" = 0 ]; do
    [ $SECONDS -lt $deadline ] || fail "$differing pixels of the window differ from the offscreen render"
    sleep 0.1
done
echo "window equals the offscreen render"

# Drag Cutoff (62 x 62 at 163, 70) up 30 px: linear mode, 300 px for the range, +0.1.
say param 1
wait_for '^param 1 '
before=$(sed -n 's/^param 1 //p' "$work/out" | tail -1)
kx=$((x + 194)) ky=$((y + 101))
xdotool mousemove $kx $ky mousedown 1 mousemove $kx $((ky - 15)) mousemove $kx $((ky - 30)) mouseup 1
wait_for '^automate 1 ' 5
sleep 0.2
say param 1
deadline=$((SECONDS + 5))
until [ "$(grep -c '^param 1 ' "$work/out")" -ge 2 ]; do
    [ $SECONDS -lt $deadline ] || fail "no answer to 'param 1'"
    sleep 0.02
done
after=$(sed -n 's/^param 1 //p' "$work/out" | tail -1)
recorded=$(sed -n 's/^automate 1 //p' "$work/out" | tail -1)
[ "$after" = "$recorded" ] || fail "parameter $after, host recorded $recorded"
awk -v a="$after" -v b="$before" 'BEGIN { d = a - b; exit !(d > 0.099 && d < 0.101) }' ||
    fail "Cutoff went from $before to $after, not up by 0.1"
echo "Cutoff $before -> $after, recorded by the host"

say close
wait_for '^closed'
say quit
wait_for '^bye'
wait $hostpid || fail "host exit status $?"
trap - EXIT
grep -q '^Skin = "RededazadEdadar2"' "$data/Gui.ini" || fail "Gui.ini not written back"
echo "PASS"
