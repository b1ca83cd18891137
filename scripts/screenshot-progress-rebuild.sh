#!/bin/bash
# Screenshots of the progress window while the window program rebuilds a database of
# the real private server under Wine (RealServer.TheProgressWindowShowsHowFarTheRebuildIs):
# during the backup, while the restore reads the data back and while it builds the
# indices, with the Wine session set to 96, 120 and 144 pixels per inch (its
# LogPixels setting, put back afterwards). Each picture is the whole desktop:
# OUT_DIR/progress-backup.png, progress-restore-data.png, progress-restore-indices.png
# and the same with -120 and -144.
#
#   scripts/screenshot-progress-rebuild.sh [BUILD_DIR [OUT_DIR]]   (build/win32, docs)
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/screenshot-moments.sh
build=${1:-build/win32}
out=${2:-docs}
mkdir -p "$out"
preset=$(basename "$build")
WINE=wine
/usr/lib/wine/wine --version >/dev/null 2>&1 || { WINE=/usr/lib/wine/wine64; export WINELOADER=$WINE; }

# The session (Wine's server, the X display) is set up anew where the last run of the
# tests has ended it, so that the setting reaches the programs and the picture the screen.
resolution() {
    eval "$(cmake/wine-run.sh --env "$build" 2>/dev/null)"
    export LC_ALL=C.UTF-8 LANG=C.UTF-8  # for the tools here; Wine has its settings
    if [ "$1" = 96 ]; then
        "$WINE" reg delete 'HKCU\Control Panel\Desktop' /v LogPixels /f
    else
        "$WINE" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f
    fi </dev/null >/dev/null 2>&1 || true
}
trap 'resolution 96; cmake/wine-run.sh --stop "$build"' EXIT

for ppi in 96 120 144; do
    resolution "$ppi"
    suffix=$ppi
    [ "$ppi" = 96 ] && suffix=""
    QVN_SCREENSHOT_PPI=$suffix take_announced_shots "$out" ctest --preset "$preset" \
        -R 'RealServer.TheProgressWindowShowsHowFarTheRebuildIs'
done
