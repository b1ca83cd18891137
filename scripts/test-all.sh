#!/bin/bash
# Builds and runs every test: Linux native (with the private Firebird server),
# Linux under ASan+UBSan, the threaded modules (logger, progress viewer) under TSan,
# a short run of every fuzz target (QVN_FUZZ_SECONDS each, default 10),
# Windows i686 under Wine; and checks that the Windows x86_64 build compiles. Installs what it needs first. Prints what each phase costs.
#
#   scripts/test-all.sh            everything
#   scripts/test-all.sh linux      only some presets (linux, linux-asan, linux-tsan, linux-fuzz, win32, win64)
set -euo pipefail
cd "$(dirname "$0")/.."

presets=("$@")
[ ${#presets[@]} -gt 0 ] || presets=(linux linux-asan linux-tsan linux-fuzz win32 win64)
jobs=${QVN_JOBS:-$(nproc)}

phase_start=0
phase() { phase_start=$(date +%s); echo; echo "=== $* ==="; }
phase_end() { echo "=== $1: $(( $(date +%s) - phase_start )) s ==="; summary+=("$1: $(( $(date +%s) - phase_start )) s"); }
summary=()

phase "set-up (Debian packages)"
./scripts/setup.sh
phase_end "set-up"

# Some kernels cannot run 32-bit programs at all (no ia32 emulation), and Wine
# cannot run the i686 build there: it is still built, and the Windows tests then
# run on the x86_64 build, the same code and the same tests.
run_32bit=yes
/usr/lib/wine/wine --version >/dev/null 2>&1 || run_32bit=no
test_win64=no

for ((i = 0; i < ${#presets[@]}; i++)); do
    p=${presets[i]}
    phase "$p: configure and build"
    cmake --preset "$p" >/dev/null
    cmake --build --preset "$p" -j "$jobs"
    phase_end "$p build"
    if [ "$p" = win32 ] && [ "$run_32bit" = no ]; then
        echo "=== win32: built; its tests cannot run here: this machine's kernel does not run"
        echo "=== 32-bit programs. The Windows tests run on the x86_64 build instead. ==="
        summary+=("win32 tests: not run (no 32-bit programs on this kernel; run on win64)")
        test_win64=yes
        [[ " ${presets[*]} " == *" win64 "* ]] || presets+=(win64)
        continue
    fi
    if [ "$p" = win64 ] && [ "$test_win64" = no ]; then
        continue  # compiled to prove it builds; the tested Windows target is i686
    fi
    if [ "$p" = linux-fuzz ]; then
        phase "$p: every fuzz target for ${QVN_FUZZ_SECONDS:-10} s"
        QVN_JOBS=$jobs ./scripts/fuzz.sh "${QVN_FUZZ_SECONDS:-10}"
        phase_end "$p runs"
        continue
    fi
    phase "$p: tests"
    ctest --preset "$p" -j "$jobs"
    log=build/$p/Testing/Temporary/LastTest.log
    if [[ "$p" == win* ]]; then
        echo "test commands run through the Wine runner: $(grep -c '^Command: .*wine-run.sh' "$log") ($(/usr/lib/wine/wine64 --version))"
    elif grep -q '^"fbserver_start"' "$log" 2>/dev/null || grep -q 'Test: fbserver_start' "$log"; then
        echo "private Firebird server of this run: $(grep -A12 'Test: fbserver_start' "$log" | grep -m1 QVN_FB_PORT)"
    fi
    phase_end "$p tests"
done

echo
echo "=== summary ==="
printf '  %s\n' "${summary[@]}"
