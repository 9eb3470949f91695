#!/bin/bash
# Long fuzz runs: builds the fuzz targets (clang, ASan + UBSan, libFuzzer) and runs each one
# from its seeds, printing a line per target
#   <target>: <executions> executions in <seconds> s, <findings> findings
# Findings (the inputs, to reproduce with the target) go to <build>/fuzz-findings.
#
#   scripts/fuzz.sh [--runs N | --seconds N] [TARGET...]
#
# Default: 1000000 executions of every target, two targets at a time.
# env: KELO_FUZZ_BUILD  build folder (default: <source>/build-fuzz)
#      KELO_FUZZ_JOBS   targets run at once (default: 2)
set -u
src=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${KELO_FUZZ_BUILD:-$src/build-fuzz}
jobs=${KELO_FUZZ_JOBS:-2}
limit=(--runs 1000000)
case ${1:-} in
    --runs | --seconds) limit=("$1" "$2"); shift 2 ;;
esac
selected=" $* "

if [ ! -f "$build/CMakeCache.txt" ]; then
    mkdir -p "$build"
    CC=clang-14 CXX=clang++-14 cmake -S "$src" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKELO_FUZZ=ON \
        -DKELO_BUILD_TESTS=OFF >"$build/configure.log" 2>&1 || { tail -20 "$build/configure.log"; exit 1; }
fi
cmake --build "$build" -j2 --target kelo_fuzz_targets >"$build/fuzz-build.log" 2>&1 ||
    { grep -E 'error' "$build/fuzz-build.log" | head -20; exit 1; }

# The test command's short runs (seeds, input size, findings folder), with the limit replaced.
mapfile -t lines < <(ctest --test-dir "$build" -L fuzz --show-only=json-v1 | python3 -c '
import json, shlex, sys
limit = sys.argv[1:]
for t in json.load(sys.stdin)["tests"]:
    c = t["command"]  # run-fuzz-target.sh --seconds N ...
    print(t["name"] + "\t" + shlex.join([c[0]] + limit + c[3:]))' "${limit[@]}")

failed=0
logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT
for line in "${lines[@]}"; do
    name=${line%%$'\t'*}
    [ "$selected" != "  " ] && [[ "$selected" != *" $name "* ]] && continue
    while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n || failed=1; done
    (bash -c "${line#*$'\t'}" >"$logs/$name" 2>&1; rc=$?; tail -1 "$logs/$name"; exit $rc) &
done
while [ "$(jobs -rp | wc -l)" -gt 0 ]; do wait -n || failed=1; done
if [ $failed -eq 0 ]; then echo "no findings"; else echo "FINDINGS: see $build/fuzz-findings"; fi
exit $failed
