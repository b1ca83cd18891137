#!/bin/bash
# Screenshot of the rebuild's progress viewer ("Velmora - ZARVO", "ОПТИМИЗАЦИЯ БАЗЫ
# ДАННЫХ", the green stage line) on the Wine session of a Windows build tree.
#
#   scripts/screenshot-progress.sh BUILD_DIR [OUTPUT.png [PPI]]
#
# BUILD_DIR is a Windows build with the progress module (it has bin/progress_demo.exe).
# With PPI (120, 144) the window is made for that resolution (fonts and width), as
# on a screen set to it; the session's own stays at 96. The whole Xvfb screen is
# taken with ImageMagick's import and cropped to the window.
set -eu

here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:?usage: $0 BUILD_DIR [OUTPUT.png]}" && pwd)
out=${2:-$here/docs/progress-window.png}
ppi=${3:-}
mkdir -p "$(dirname "$out")"

eval "$("$here/cmake/wine-run.sh" --env "$build")"
[ -n "$ppi" ] && export QVN_PROGRESS_PPI=$ppi
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
convert "$out" -fuzz 1% -trim +repage "$out"
wait "$demo"
rm -f "$ready"
echo "screenshot-progress: $out"
