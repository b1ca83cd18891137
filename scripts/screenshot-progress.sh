#!/bin/bash
# Screenshot of the rebuild's progress viewer ("Velmora - ZARVO", "ОПТИМИЗАЦИЯ БАЗЫ
# ДАННЫХ", the green stage line) on the Wine session of a Windows build tree.
#
#   scripts/screenshot-progress.sh BUILD_DIR [OUTPUT.png [PPI]]
#
# BUILD_DIR is a Windows build with the progress module (it has bin/progress_demo.exe).
# With PPI (120, 144) the session's screen resolution is set to it for the demo
# (Wine's LogPixels) and put back afterwards. The whole Xvfb screen is taken with
# ImageMagick's import.
set -eu

here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:?usage: $0 BUILD_DIR [OUTPUT.png]}" && pwd)
out=${2:-$here/docs/progress-window.png}
ppi=${3:-}
mkdir -p "$(dirname "$out")"

eval "$("$here/cmake/wine-run.sh" --env "$build")"
if [ -n "$ppi" ]; then
    wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$ppi" /f >/dev/null 2>&1
    trap "wine reg delete 'HKCU\\Control Panel\\Desktop' /v LogPixels /f >/dev/null 2>&1" EXIT
fi
ready=$build/wine/progress-demo-ready
rm -f "$ready"

# The demo shows the viewer for 8 s and creates the ready file once it has painted.
"$here/cmake/wine-run.sh" "$build/bin/progress_demo.exe" 8 "Z:$ready" &
demo=$!

for _ in $(seq 1 200); do
    [ -f "$ready" ] && break
    sleep 0.05
done
[ -f "$ready" ] || { echo "screenshot-progress: the viewer never showed" >&2; kill "$demo"; exit 1; }
# Let the elapsed time tick past zero and the bar move on.
sleep 2
import -window root "$out"
wait "$demo"
rm -f "$ready"
echo "screenshot-progress: $out"
