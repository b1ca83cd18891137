#!/bin/bash
# Builds and runs every test: Linux native (with the private Firebird server),
# Linux under ASan+UBSan, the threaded modules (logger, progress viewer) under TSan,
# a short run of every fuzz target (QVN_FUZZ_SECONDS each, default 10),
# Windows i686 under Wine; and checks that the Windows x86_64 build compiles. Installs what it needs first. Prints what each phase costs.
#
# The native tests that need a database server (label `fbserver`) run once per server
# a site may run: Firebird 3 as SuperServer, SuperClassic and Classic, and Firebird 4
# (Debian 13's, from a root scripts/fb4root.sh builds once per machine) likewise; the
# summary gives each server's pass count. The sanitizer presets and the Windows tests
# run on Firebird 3 SuperServer.
#
#   scripts/test-all.sh            everything
#   scripts/test-all.sh linux      only some presets (linux, linux-asan, linux-tsan, linux-fuzz, win32, win64)
#   QVN_FB_SERVERS="fb3-super fb4-super" scripts/test-all.sh linux   fewer servers
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

servers=(${QVN_FB_SERVERS:-fb3-super fb3-superclassic fb3-classic fb4-super fb4-superclassic fb4-classic})
if [[ " ${presets[*]} " == *" linux "* ]] && [[ " ${servers[*]} " == *" fb4-"* ]]; then
    phase "Firebird 4 root (built once per machine)"
    ./scripts/fb4root.sh
    phase_end "Firebird 4 root"
fi

# "100% tests passed, 0 tests failed out of 57" -> "57 of 57 passed"
ctest_count() {
    sed -n 's/^[0-9]*% tests passed, \([0-9]*\) tests\? failed out of \([0-9]*\).*/\1 \2/p' "$1" |
        tail -1 | awk '{printf "%d of %d passed", $2 - $1, $2}'
}
failed=()

# Some kernels cannot run 32-bit programs at all (no ia32 emulation), and Wine
# cannot run the i686 build there: it is still built, and the Windows tests then
# run on the x86_64 build, the same code and the same tests.
# Likewise where the 32-bit Wine packages could not be installed (set-up says why).
run_32bit=yes
why_not_32bit=""
if [ ! -x /usr/lib/wine/wine ]; then
    run_32bit=no why_not_32bit="32-bit Wine is not installed"
elif ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
    run_32bit=no why_not_32bit="no 32-bit programs on this kernel"
fi
test_win64=no

for ((i = 0; i < ${#presets[@]}; i++)); do
    p=${presets[i]}
    phase "$p: configure and build"
    cmake --preset "$p" >/dev/null
    cmake --build --preset "$p" -j "$jobs"
    phase_end "$p build"
    if [ "$p" = win32 ] && [ "$run_32bit" = no ]; then
        echo "=== win32: built; its tests cannot run here ($why_not_32bit)."
        echo "=== The Windows tests run on the x86_64 build instead. ==="
        summary+=("win32 tests: not run ($why_not_32bit; run on win64)")
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
    if [ "$p" = linux ]; then
        # The tests without a server once, then the server's tests on every server.
        phase "$p: tests without a database server"
        ctest --preset "$p" -j "$jobs" -LE fbserver | tee "build/$p/ctest-noserver.txt" || failed+=("$p without a server")
        summary+=("$p tests without a server: $(ctest_count "build/$p/ctest-noserver.txt")")
        phase_end "$p tests without a server"
        for s in "${servers[@]}"; do
            phase "$p: server tests on $s"
            out=build/$p/ctest-$s.txt
            QVN_FB_SERVER=$s ctest --preset "$p" -j "$jobs" -L fbserver | tee "$out" || failed+=("$p on $s")
            grep -A12 'Test: fbserver_start' "build/$p/Testing/Temporary/LastTest.log" | grep -m1 QVN_FB_PORT || true
            phase_end "$p on $s"
            summary+=("$p server tests on $s: $(ctest_count "$out")")
        done
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
if [ ${#failed[@]} -gt 0 ]; then
    echo "=== FAILED: ${failed[*]} ==="
    exit 1
fi
