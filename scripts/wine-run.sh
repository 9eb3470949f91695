#!/bin/bash
# Runs one Windows program under wine for ctest (the cross build's CROSSCOMPILING_EMULATOR).
#
#   wine-run.sh [--state DIR] PROGRAM.exe [ARGS...]
#
# DIR (default: $KELO_WINE_STATE, else a folder per user in $TMPDIR) holds one wine prefix,
# created on first use, and a scratch HOME per run. The shell's documents folder of the
# prefix is pointed at that scratch HOME, so every run starts with an empty data folder.
# Runs in one DIR are serialised with a lock: the prefix is shared and a warm run is fast.
# KELO_KEEP_WINE_HOME=1 keeps the run's scratch home for inspection, until the next run.
#
# The prefix uses the null display driver (no X server needed) and never shows the crash
# dialog, which would otherwise hang an unattended run. wine's background services are
# started with their output detached before the program runs: when they inherit ctest's
# pipe, ctest waits for them forever.
set -u

state=${KELO_WINE_STATE:-${TMPDIR:-/tmp}/kelo-wine-$(id -u)}
if [ "${1:-}" = "--state" ]; then
    state=$2
    shift 2
fi
if [ $# -lt 1 ]; then
    echo "usage: wine-run.sh [--state DIR] PROGRAM.exe [ARGS...]" >&2
    exit 2
fi
for tool in wine wineserver flock; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "wine-run.sh: '$tool' not found (apt-get install wine wine64)" >&2
        exit 127
    fi
done

mkdir -p "$state" || exit 2
state=$(cd "$state" && pwd)
exec 9>"$state/lock"
flock 9

export WINEPREFIX="$state/prefix"
export WINEDEBUG=-all,err+module
# No prompts to install Mono or Gecko; nothing here needs them.
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY

# Nothing wine starts may inherit the lock (fd 9): its services outlive the run.
start_services() {
    wineserver -p 60 </dev/null >/dev/null 2>&1 9>&-
    wine cmd /c exit </dev/null >/dev/null 2>&1 9>&-
}

if [ ! -f "$WINEPREFIX/.kelo-ready" ]; then
    rm -rf "$WINEPREFIX"
    export HOME="$state/home-init"
    mkdir -p "$HOME"
    start_services
    reg() { wine reg add "$@" /f </dev/null >/dev/null 2>&1 9>&-; }
    reg 'HKCU\Software\Wine\Drivers' /v Graphics /t REG_SZ /d null &&
        reg 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 &&
        reg 'HKCU\Software\Wine\Fonts\Replacements' /v Verdana /t REG_SZ /d 'DejaVu Sans'
    regrc=$?
    # The registry reaches the disk when the server exits.
    wineserver -k >/dev/null 2>&1 9>&-
    wineserver -w >/dev/null 2>&1 9>&-
    if [ $regrc -ne 0 ] || [ ! -d "$WINEPREFIX/drive_c/users" ]; then
        echo "wine-run.sh: could not create the wine prefix in $WINEPREFIX" >&2
        exit 2
    fi
    touch "$WINEPREFIX/.kelo-ready"
fi

# Runs are serialised, so a scratch home still here was left by a run that was killed.
rm -rf "$state"/home.??????
run_home=$(mktemp -d "$state/home.XXXXXX") || exit 2
export HOME="$run_home"
# The user's shell folders are symlinks into the Unix HOME of whoever created the prefix.
for link in "$WINEPREFIX"/drive_c/users/*/{Documents,Desktop,Downloads,Music,Pictures,Videos}; do
    if [ -L "$link" ]; then
        ln -sfn "$run_home" "$link"
    fi
done

start_services
wine "$@" 9>&-
rc=$?

if [ -z "${KELO_KEEP_WINE_HOME:-}" ]; then
    rm -rf "$run_home"
fi
exit $rc
