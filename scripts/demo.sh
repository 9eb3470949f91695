#!/bin/bash
# Builds KELO and renders a demo of it, with no DAW:
#
#   scripts/demo.sh [OUT.wav]        (default: ./kelo-demo.wav)
#
# Run as root on a fresh Debian 12 it first installs what the build needs with apt-get;
# as any other user it checks for those tools and says what is missing. It builds the
# plug-in and kelo-render (Release, nothing else) in build-demo/ of the checkout, copies the
# default pattern bank, User.ini, the editor's Gui.ini and the default skin (RededazadEdadar2.skn
# with its folder of pictures) into the user's KELO data folder where they are missing (a file
# already there is never replaced), prints the plug-in's identity as a host sees it,
# then renders pattern 0 of the bank for four bars
# at 120 BPM through the plug-in (Volume at 0.6) and prints where the file is, its length and its peak.
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
out=${1:-$PWD/kelo-demo.wav}
case "$out" in /*) ;; *) out=$PWD/$out ;; esac
build=$repo/build-demo
# The plug-in file carries its editor: cairo, pango and xcb on Linux.
packages=(g++ make cmake pkg-config libsndfile1-dev libcairo2-dev libpango1.0-dev libfontconfig-dev libxcb1-dev
          libstb-dev)

say() { echo "demo: $*"; }

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    if [ "$(id -u)" -eq 0 ]; then
        say "installing ${missing[*]}"
        export DEBIAN_FRONTEND=noninteractive
        apt-get update -qq
        apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
    else
        say "missing packages: ${missing[*]}" >&2
        say "install them with: sudo apt-get install ${missing[*]}   (or run this script as root)" >&2
        exit 1
    fi
fi

say "building in $build"
cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=Release -DKELO_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target KELO kelo-render kelo-info -j "$(nproc)" >/dev/null
render=$build/tools/kelo-render/kelo-render

# The same folder the plug-in reads, as the plug-in's own code finds it.
data=$("$render" --data-folder)
mkdir -p "$data"
for f in DefaultPatternBank.pat User.ini Gui.ini RededazadEdadar2.skn; do
    if [ -e "$data/$f" ]; then
        say "keeping your $data$f"
    else
        cp "$repo/data/$f" "$data/$f"
        say "installed $data$f"
    fi
done
# The skin's pictures one by one: a picture you changed stays, a missing one comes back.
skin=RededazadEdadar2
mkdir -p "$data/$skin"
copied=0 kept=0
for src in "$repo/data/$skin"/*.png; do
    if [ -e "$data/$skin/${src##*/}" ]; then
        kept=$((kept + 1))
    else
        cp "$src" "$data/$skin/"
        copied=$((copied + 1))
    fi
done
say "skin pictures in $data$skin/: $copied installed, $kept of yours kept"

# What a host sees when it loads the plug-in file.
"$build/tools/kelo-info/kelo-info" | sed -n '1,10p'

say "rendering"
# At full volume the instrument peaks about 6 dB above full scale (hosts mix in floating
# point, and so does the file); the demo turns it down so any player plays it unclipped.
summary=$("$render" --set Volume=0.6 -o "$out")
echo "$summary"
# The summary reads "<file>: <seconds> s (...), peak <dB> dBFS (...), ...".
length=$(sed -n 's/.*: \([0-9.]*\) s (.*/\1/p' <<<"$summary")
peak=$(sed -n 's/.*peak \([-0-9.inf]*\) dBFS.*/\1/p' <<<"$summary")
say "demo written to $out"
say "length $length s, peak $peak dBFS"
