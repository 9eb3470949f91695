#!/bin/bash
# Builds and tests everything: the 64-bit Windows build with its tests under wine, the Linux
# Release build (which also compares its renders with the Windows build's), an AddressSanitizer +
# UndefinedBehaviorSanitizer build, the thread hand-overs (the analyzer's buffers, the plug-in
# under the torture suite, parameters set from the audio thread while the editor repaints) under
# ThreadSanitizer, and a short run of every fuzz target (clang, libFuzzer with ASan + UBSan). The
# editor's window tests and the dialog tests (zenity) need Xvfb (installed here, run through
# xvfb-run -a).
#
#   scripts/test-all.sh
#
# Run as root on a fresh Debian 12 machine it first installs what the builds need; elsewhere
# it only checks that those packages are there. Never reads stdin. Ends with the line
# "N passed, N failed" (tests of every build; a build that fails counts as one more failure)
# and exits non-zero when anything failed.
#
# env: KELO_BUILD_ROOT  build folders (default: <source>/build-ci)
#      KELO_JOBS        parallel jobs (default: 2)
#      KELO_STAGES      stages to run (default: "windows linux asan tsan fuzz")
#      KELO_FUZZ_SECONDS  seconds each fuzz target runs in the fuzz stage (default: 8)
#      KELO_NO_INSTALL  set to skip the package installation
#      KELO_NO_ARDOUR   set to leave out Ardour (the real-host test is then skipped)
set -u
exec </dev/null

src=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_root=${KELO_BUILD_ROOT:-$src/build-ci}
jobs=${KELO_JOBS:-2}
stages=${KELO_STAGES:-windows linux asan tsan fuzz}
export DEBIAN_FRONTEND=noninteractive
export CTEST_OUTPUT_ON_FAILURE=1

packages=(build-essential cmake pkg-config libgtest-dev googletest g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
          wine wine64 libsndfile1-dev sox python3-mido python3 util-linux clang-14 libclang-rt-14-dev
          libcairo2-dev libpango1.0-dev libfontconfig-dev libxcb1-dev libstb-dev fonts-dejavu-core
          xvfb xauth xdotool x11-apps imagemagick python3-cairo python3-pil zenity dpf-plugins-vst)
# Ardour 7 is the real host for one test; it needs no display.
ardour_packages=(ardour)

started=$(date +%s)
log() { printf '[test-all %4ds] %s\n' $(( $(date +%s) - started )) "$*"; }

missing_packages() {
    local p
    for p in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
            printf '%s ' "$p"
        fi
    done
}

install_packages() {
    [ -n "${KELO_NO_INSTALL:-}" ] && return 0
    command -v dpkg-query >/dev/null 2>&1 || { log "not a Debian system: skipping package installation"; return 0; }
    local missing missing_ardour
    missing=$(missing_packages "${packages[@]}")
    missing_ardour=""
    [ -z "${KELO_NO_ARDOUR:-}" ] && missing_ardour=$(missing_packages "${ardour_packages[@]}")
    if [ -z "$missing$missing_ardour" ]; then
        log "all packages present"
        return 0
    fi
    if [ "$(id -u)" -ne 0 ]; then
        log "missing packages: $missing$missing_ardour (run as root to install them)"
        [ -n "$missing" ] && return 1
        return 0
    fi
    log "installing: $missing$missing_ardour"
    apt-get update -q || return 1
    if [ -n "$missing" ]; then
        # wine with its recommended packages: the fonts come from there.
        apt-get install -y -q $missing || return 1
    fi
    if [ -n "$missing_ardour" ]; then
        apt-get install -y -q --no-install-recommends $missing_ardour ||
            log "Ardour could not be installed; its test will be skipped"
    fi
    return 0
}

total_passed=0
total_failed=0
declare -a report=()

# Adds the counts of one ctest run, read from its summary line.
count_ctest() {
    local stage=$1 logfile=$2 rc=$3 line failed total
    line=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$logfile" | tail -1)
    if [ -z "$line" ]; then
        total_failed=$((total_failed + 1))
        report+=("$stage: ctest did not run (exit $rc)")
        return
    fi
    failed=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
    total=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\2/' <<<"$line")
    if [ "$rc" -ne 0 ] && [ "$failed" -eq 0 ]; then
        failed=1 # ctest failed for another reason (e.g. a test that could not start)
    fi
    total_passed=$((total_passed + total - failed))
    total_failed=$((total_failed + failed))
    report+=("$stage: $((total - failed)) passed, $failed failed")
}

# run_stage NAME CTEST_EXCLUDE_REGEX CMAKE_ARGS...
# KELO_STAGE_TARGETS / KELO_STAGE_INCLUDE (set for one call) limit what is built and tested.
run_stage() {
    local stage=$1 exclude=$2
    shift 2
    local targets=${KELO_STAGE_TARGETS:-} include=${KELO_STAGE_INCLUDE:-}
    local dir=$build_root/$stage t0=$SECONDS
    mkdir -p "$dir"
    log "$stage: configure"
    if ! cmake -S "$src" -B "$dir" "$@" >"$dir/configure.log" 2>&1; then
        tail -40 "$dir/configure.log"
        total_failed=$((total_failed + 1))
        report+=("$stage: configure FAILED (see $dir/configure.log)")
        return
    fi
    log "$stage: build"
    # Keep going past a broken target: the tests of everything else still run and report.
    local build_failed=0
    local target_args=()
    local t
    for t in $targets; do target_args+=(--target "$t"); done
    if ! cmake --build "$dir" -j"$jobs" "${target_args[@]}" -- -k >"$dir/build.log" 2>&1; then
        grep -E 'error|Error' "$dir/build.log" | head -40
        total_failed=$((total_failed + 1))
        build_failed=1
    fi
    log "$stage: test"
    local args=(--test-dir "$dir" -j"$jobs" --output-on-failure --no-tests=error)
    [ -n "$exclude" ] && args+=(-E "$exclude")
    [ -n "$include" ] && args+=(-R "$include")
    ctest "${args[@]}" 2>&1 | tee "$dir/ctest.log"
    local rc=${PIPESTATUS[0]}
    count_ctest "$stage" "$dir/ctest.log" "$rc"
    if [ $build_failed -ne 0 ]; then
        report+=("$stage: build FAILED (see $dir/build.log)")
    fi
    log "$stage: done in $((SECONDS - t0)) s"
}

if ! install_packages; then
    log "package installation failed"
    echo "0 passed, 1 failed"
    exit 1
fi

for stage in $stages; do
    case $stage in
        linux)
            # With a Windows build at hand, the render tests also compare the two plug-in files.
            parity=()
            if [ -f "$build_root/windows/tools/kelo-render/kelo-render.exe" ] &&
               [ -f "$build_root/windows/plugin/KELO.dll" ]; then
                parity=(-DKELO_RENDER_WINDOWS_BUILD="$build_root/windows")
            fi
            run_stage linux "" -DCMAKE_BUILD_TYPE=Release "${parity[@]}" ;;
        asan)
            # Ardour cannot load a sanitized plug-in (the runtime must come first). Every test
            # that loads the plug-in file loads fontconfig, whose process-wide caches the leak
            # checker would report: the toolkit's suppression list (fontconfig only) for all.
            LSAN_OPTIONS="suppressions=$src/tests/toolkit/lsan.supp:print_suppressions=0" \
                run_stage asan "^ardour_host$" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKELO_SANITIZE=ON ;;
        tsan)
            # The hand-overs between the editor, host and audio threads: the analyzer's
            # recording, the plug-in file under the torture suite's threads, parameters set
            # from the audio thread while the editor idles and repaints, and the editor editing
            # the pattern that plays, through its keys and through its menus.
            KELO_STAGE_TARGETS="kelo_analyzer_tests torture_tests toolkit_tests editor_thread_tests" \
            KELO_STAGE_INCLUDE='^(kelo_analyzer_tests|torture_tests|toolkit_tests|editor_thread_tests)$' \
                run_stage tsan "" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKELO_TSAN=ON ;;
        fuzz)
            # Every parser and every state from outside, from the seeds in tests/fuzz/corpus.
            CC=clang-14 CXX=clang++-14 KELO_STAGE_TARGETS="kelo_fuzz_targets KELO" KELO_STAGE_INCLUDE='^fuzz_' \
                run_stage fuzz "" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKELO_FUZZ=ON -DKELO_BUILD_TESTS=OFF \
                -DKELO_FUZZ_SECONDS="${KELO_FUZZ_SECONDS:-7}" ;;
        windows)
            run_stage windows "" -DCMAKE_BUILD_TYPE=Release \
                -DCMAKE_TOOLCHAIN_FILE="$src/cmake/mingw-w64-x86_64.cmake" ;;
        *)
            log "unknown stage '$stage'"
            total_failed=$((total_failed + 1))
            report+=("$stage: unknown stage") ;;
    esac
done

echo
for line in "${report[@]}"; do
    echo "  $line"
done
log "total time $(( $(date +%s) - started )) s"
echo "$total_passed passed, $total_failed failed"
[ "$total_failed" -eq 0 ]
