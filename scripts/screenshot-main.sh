#!/bin/bash
# Screenshots of the Windows program's main window under the build's Wine session:
#   screenshot-main.sh [BUILD_DIR] [OUT_DIR]
# Writes main-window.png (96 ppi), main-window-120.png (-DPI120) and
# main-window-144.png (-DPI144) to OUT_DIR
# (default docs/), each cropped to the window.
set -euo pipefail
cd "$(dirname "$0")/.."
# shellcheck source=scripts/screenshot-moments.sh
. scripts/screenshot-moments.sh
build=${1:-build/win32}
out=${2:-docs}
mkdir -p "$out"
eval "$(cmake/wine-run.sh --env "$build" 2>/dev/null)"
export LC_ALL=C.UTF-8 LANG=C.UTF-8  # for the tools here; Wine has its settings
# The Wine the build's tests run with (the host's, or the 32-bit root's).
build=$(cd "$build" && pwd)
# shellcheck source=cmake/wine-route.sh
. cmake/wine-route.sh
exe=$build/bin/QVNOptimizeDB.exe

shot() {
    local name=$1; shift
    WINEDEBUG=-all "${WINE[@]}" "$exe" "$@" >/dev/null 2>&1 &
    local pid=$!
    # The window is up when the desktop shows more than its own colour.
    for _ in $(seq 1 100); do
        sleep 0.1
        import -window root "$out/$name.full.png"
        colours=$(convert "$out/$name.full.png" -format '%k' info:)
        [ "$colours" -gt 50 ] && break
    done
    sleep 0.5  # let the last paint land
    import -window root "$out/$name.full.png"
    convert "$out/$name.full.png" -fuzz 1% -trim +repage "$out/$name.png"
    rm -f "$out/$name.full.png"
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    echo "$out/$name.png"
}

# As on a first run: no stored path.
WINEDEBUG=-all wine reg delete 'HKCU\Software\Velmora\ZARVO\OptimizeDB' /v FilenameEdit1.Text /f \
    >/dev/null 2>&1 || true
shot main-window
shot main-window-120 -DPI120
shot main-window-144 -DPI144

# The progress window during a rebuild and the statistics box: the window tests
# announce those moments (QVN_SCREENSHOT_DIR) and wait while the picture is taken.
take_announced_shots "$out" cmake/wine-run.sh "$build/bin/gui_main_window_tests.exe" \
    --gtest_filter='Work.StatisticsShow*:Work.OptimizeRebuilds*:Work.SideNames*'
