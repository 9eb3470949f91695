#!/bin/bash
# Runs one libFuzzer target of tests/fuzz from its seed folders, which it never writes: the
# corpus grows in a scratch folder that is removed afterwards. Prints one line
#   <target>: <executions> executions in <seconds> s, <findings> findings
# and exits non-zero on a finding (crash, sanitizer report, broken invariant, timeout, leak,
# out of memory); the input that caused it is kept in the findings folder.
#
#   scripts/run-fuzz-target.sh [--seconds N] [--runs N] [--max-len N] [--findings DIR] TARGET SEEDS...
#
# Reproduce a finding:  TARGET <findings>/<target>-crash-...
set -u
seconds="" runs="" maxlen="" findings="$PWD/fuzz-findings"
while [ $# -gt 0 ]; do
    case $1 in
        --seconds) seconds=$2; shift 2 ;;
        --runs) runs=$2; shift 2 ;;
        --max-len) maxlen=$2; shift 2 ;;
        --findings) findings=$2; shift 2 ;;
        *) break ;;
    esac
done
if [ $# -lt 1 ] || [ ! -x "$1" ]; then
    echo "usage: $0 [--seconds N] [--runs N] [--max-len N] [--findings DIR] TARGET SEEDS..." >&2
    exit 2
fi
target=$1
shift
name=$(basename "$target")
mkdir -p "$findings"
scratch=$(mktemp -d "${TMPDIR:-/tmp}/kelo-$name-XXXXXX")
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/corpus"

args=(-timeout=20 -rss_limit_mb=2048 -print_final_stats=1 "-artifact_prefix=$findings/$name-")
[ -n "$maxlen" ] && args+=("-max_len=$maxlen")
[ -n "$seconds" ] && args+=("-max_total_time=$seconds")
[ -n "$runs" ] && args+=("-runs=$runs")

started=$(date +%s.%N)
"$target" "${args[@]}" "$scratch/corpus" "$@" >"$scratch/log" 2>&1
rc=$?
elapsed=$(awk -v a="$started" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }')
execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$scratch/log" | tail -1)
found=0
if [ $rc -ne 0 ]; then
    found=1
    grep -v '^#' "$scratch/log" | tail -40
fi
echo "$name: ${execs:-0} executions in $elapsed s, $found findings"
exit $rc
