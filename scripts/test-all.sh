#!/bin/bash
# Builds and runs every test: Linux native (with the private Firebird server),
# Linux under ASan+UBSan, the threaded modules (logger, progress viewer) under TSan,
# a short run of every fuzz target (QVN_FUZZ_SECONDS each, default 10), and the
# Windows builds under Wine: i686 (the release target) and x86_64. Installs what it
# needs first. Prints what each phase costs, and which Wine ran which build.
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

started=$(date +%s)
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

# The i686 build is the release target: its tests run under a 32-bit Wine, the
# host's own where it is installed, else Debian 13's from a root scripts/wine32root.sh
# builds once per machine (a Debian 12 mirror whose i386 lists lag behind cannot
# install the host's). Only a kernel that cannot run 32-bit programs at all (no ia32
# emulation) leaves them out, and says so; anything else that keeps them from running
# fails the test command. The x86_64 build's tests run under the host's 64-bit Wine.
kernel_runs_32bit() {
    local probe rc
    probe=$(mktemp -d)
    if ! printf 'int main(void) { return 0; }\n' | gcc -m32 -x c - -o "$probe/p" 2>/dev/null; then
        rm -rf "$probe"; return 0  # no 32-bit compiler to ask with: the root's Wine will tell
    fi
    "$probe/p" 2>/dev/null; rc=$?
    rm -rf "$probe"
    return $rc
}
wine32=""          # host or root: where the i686 tests' Wine comes from
why_not_32bit=""   # why they do not run
if [[ " ${presets[*]} " == *" win32 "* ]]; then
    if [ -x /usr/lib/wine/wine ] && /usr/lib/wine/wine --version >/dev/null 2>&1; then
        wine32=host
    elif ! kernel_runs_32bit; then
        why_not_32bit="no 32-bit programs on this kernel"
    else
        phase "32-bit Wine root (built once per machine)"
        if ! ./scripts/wine32root.sh; then
            why_not_32bit="neither the host's 32-bit Wine (wine32:i386) nor the root of scripts/wine32root.sh could be had"
        elif ./scripts/wine32root.sh run /usr/lib/wine/wine --version >/dev/null; then
            wine32=root
        elif ./scripts/wine32root.sh run /usr/lib/wine/wine64 --version >/dev/null; then
            why_not_32bit="no 32-bit programs on this kernel"  # the root's 64-bit Wine runs
        else
            why_not_32bit="the Wine of the root of scripts/wine32root.sh does not run"
        fi
        phase_end "32-bit Wine root"
    fi
fi
# "wine-10.0 (Debian 10.0~repack-6) of the Debian 13 root /var/cache/qvn/wine32-root"
wine_of() {
    case $1 in
    win64) echo "$(/usr/lib/wine/wine64 --version) of the host ($(. /etc/os-release; echo "$PRETTY_NAME"))" ;;
    host) echo "$(/usr/lib/wine/wine --version) of the host ($(. /etc/os-release; echo "$PRETTY_NAME"))" ;;
    root) echo "$(./scripts/wine32root.sh run wine --version) of the Debian 13 root $(./scripts/wine32root.sh)" ;;
    esac
}

for ((i = 0; i < ${#presets[@]}; i++)); do
    p=${presets[i]}
    phase "$p: configure and build"
    if [ "$p" = win32 ] && [ -n "$wine32" ]; then
        QVN_WINE32=$wine32 cmake --preset "$p" >/dev/null
    else
        cmake --preset "$p" >/dev/null
    fi
    cmake --build --preset "$p" -j "$jobs"
    phase_end "$p build"
    if [ "$p" = win32 ] && [ -z "$wine32" ]; then
        if [ "$why_not_32bit" = "no 32-bit programs on this kernel" ]; then
            echo "=== win32: built; its tests cannot run here ($why_not_32bit)."
            summary+=("win32 tests: not run ($why_not_32bit)")
        else
            echo "=== FAIL: win32: built; its tests cannot run: $why_not_32bit ==="
            summary+=("win32 tests: NOT RUN: $why_not_32bit")
            failed+=("win32 (no 32-bit Wine)")
        fi
        continue
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
    out=build/$p/ctest.txt
    ctest --preset "$p" -j "$jobs" | tee "$out" || failed+=("$p")
    log=build/$p/Testing/Temporary/LastTest.log
    if [[ "$p" == win* ]]; then
        wine=$(wine_of "$([ "$p" = win64 ] && echo win64 || echo "$wine32")")
        echo "test commands run through the Wine runner: $(grep -c '^Command: .*wine-run.sh' "$log") ($wine)"
        summary+=("$p tests under $wine: $(ctest_count "$out")")
    else
        if grep -q 'Test: fbserver_start' "$log"; then
            echo "private Firebird server of this run: $(grep -A12 'Test: fbserver_start' "$log" | grep -m1 QVN_FB_PORT)"
        fi
        summary+=("$p tests: $(ctest_count "$out")")
    fi
    phase_end "$p tests"
done

echo
echo "=== summary ==="
printf '  %s\n' "${summary[@]}"
echo "  the whole test command: $(( $(date +%s) - started )) s"
if [ ${#failed[@]} -gt 0 ]; then
    echo "=== FAILED: ${failed[*]} ==="
    exit 1
fi
