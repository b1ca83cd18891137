#!/bin/bash
# Ends a Windows program under Wine many times right after it started the threads of
# the progress viewer or the deferred writer, and counts the runs that did not end
# cleanly (exit code other than 0, or output other than its one line). Prints
# figures; asserts nothing.
#
#   scripts/exit-stress.sh [RUNS [MODE...]]     RUNS per mode (default 300)
#   QVN_BUILD=build/win64                        the built tree (default)
# Modes: see tests/exit/ExitWithThreads.cpp (default: all of them).
set -u
cd "$(dirname "$0")/.."
build=${QVN_BUILD:-build/win64}
runs=${1:-300}
shift $(( $# > 0 ? 1 : 0 ))
modes=("$@")
[ ${#modes[@]} -gt 0 ] || modes=(viewer viewer-work viewer-forgotten writer writer-library)
program=$build/bin/exit_with_threads.exe
[ -f "$program" ] || { echo "exit-stress: build $program first" >&2; exit 2; }
keep=$(mktemp -d)
build=$(cd "$build" && pwd)
# shellcheck source=cmake/wine-route.sh
. cmake/wine-route.sh || exit 2
echo "exit-stress: $runs runs per mode of $program ($(wine --version))"
total=0
for mode in "${modes[@]}"; do
    failed=0
    declare -A codes=()
    start=$(date +%s)
    for ((i = 1; i <= runs; i++)); do
        out=$(cmake/wine-run.sh "$program" "$mode" 2>&1)
        rc=$?
        if [ $rc -ne 0 ] || [ "$out" != "main returns" ]; then
            failed=$((failed + 1))
            codes[$rc]=$(( ${codes[$rc]:-0} + 1 ))
            printf 'exit code %s\n%s\n' "$rc" "$out" >"$keep/$mode-$i.txt"
        fi
    done
    seen=""
    for c in "${!codes[@]}"; do seen+=" $c:${codes[$c]}"; done
    printf '%-18s runs %d, not clean %d%s (%d s)\n' "$mode" "$runs" "$failed" \
        "${seen:+, exit codes$seen}" $(( $(date +%s) - start ))
    unset codes
    total=$((total + failed))
done
if [ "$total" -gt 0 ]; then
    echo "the output of every run that did not end cleanly: $keep"
else
    rm -rf "$keep"
fi
