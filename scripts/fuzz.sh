#!/bin/bash
# Builds the fuzz targets (preset linux-fuzz: clang, libFuzzer, ASan + UBSan) and runs
# each for SECONDS (default 60) from its seed corpus, tests/fuzz/corpus/<target>/.
# Prints the executions of each target and the crashes found; exits 1 on any crash.
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]    every target, or the named ones
#   QVN_FUZZ_RUNS=N scripts/fuzz.sh 0 ...    N executions per target instead of a time
#
# Inputs found on the way stay in build/linux-fuzz/fuzz/<target>/corpus (the stored
# seeds are never changed); a crashing input gets saved as
# build/linux-fuzz/fuzz/<target>/crash-* and its log as .../log. Keep a crash's input
# in the seed corpus once its fault is fixed.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
[ $# -gt 0 ] && shift
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for d in tests/fuzz/corpus/*/; do targets+=("$(basename "$d")"); done
fi

cmake --preset linux-fuzz >/dev/null
cmake --build --preset linux-fuzz -j "${QVN_JOBS:-$(nproc)}" --target "${targets[@]}" >/dev/null

limit=(-max_total_time="$seconds")
[ -n "${QVN_FUZZ_RUNS:-}" ] && limit=(-runs="$QVN_FUZZ_RUNS")
# Leaks are reported at exit only; UBSan findings stop the run (the preset sets no recovery).
export ASAN_SYMBOLIZER_PATH=${ASAN_SYMBOLIZER_PATH:-/usr/lib/llvm-15/bin/llvm-symbolizer}
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

failed=0
printf '%-22s %14s %10s %8s  %s\n' target executions exec/s seconds result
for t in "${targets[@]}"; do
    work=build/linux-fuzz/fuzz/$t
    rm -rf "$work/crash-"* "$work/leak-"* "$work/timeout-"* "$work/oom-"*
    mkdir -p "$work/corpus"
    start=$(date +%s)
    rc=0
    "build/linux-fuzz/bin/$t" "$work/corpus" "tests/fuzz/corpus/$t" "${limit[@]}" \
        -timeout=25 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$work/" >"$work/log" 2>&1 || rc=$?
    runs=$(awk '/^stat::number_of_executed_units/ {print $2; exit}' "$work/log")
    [ -n "$runs" ] || runs=$(grep -oE '^#[0-9]+' "$work/log" | tail -1 | tr -d '#' || true)
    rate=$(awk '/^stat::average_exec_per_sec/ {print $2; exit}' "$work/log")
    took=$(( $(date +%s) - start ))
    found=$(ls "$work" | grep -cE '^(crash|leak|timeout|oom)-' || true)
    result="no crash"
    if [ "$rc" -ne 0 ] || [ "$found" -ne 0 ]; then
        result="CRASH (exit $rc, $found input(s) saved in $work; see $work/log)"
        failed=1
    fi
    printf '%-22s %14s %10s %8s  %s\n' "$t" "${runs:-?}" "${rate:-?}" "$took" "$result"
done
exit $failed
