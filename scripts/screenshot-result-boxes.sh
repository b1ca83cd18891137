#!/bin/bash
# Screenshots of the box that ends a rebuild in the window, taken right after the
# progress window has closed and before anything is touched: a success and a
# wrong password, against the private server through the fbclient bridge.
#   screenshot-result-boxes.sh [BUILD_DIR] [OUT_DIR]
# Writes result-box-success.png and result-box-wrong-password.png (the whole
# desktop, so that what stands in front shows) to OUT_DIR (default docs/).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/win32}
out=${2:-docs}
mkdir -p "$out"
preset=$(basename "$build")
eval "$(cmake/wine-run.sh --env "$build" 2>/dev/null)"
export LC_ALL=C.UTF-8 LANG=C.UTF-8  # for the tools here; Wine has its settings

# The test announces each moment (QVN_SCREENSHOT_DIR) and waits while the picture
# is taken.
markers=$(mktemp -d)
QVN_SCREENSHOT_DIR="Z:${markers//\//\\}" ctest --preset "$preset" \
    -R 'RealServer.TheResultBoxComesToTheFrontAndTakesTheKeyboard' >"$markers/tests.log" 2>&1 &
tests=$!
while kill -0 "$tests" 2>/dev/null; do
    for marker in "$markers"/*.ready; do
        [ -e "$marker" ] || continue
        name=$(basename "$marker" .ready)
        import -window root "$out/$name.png"
        rm -f "$marker"
        echo "$out/$name.png"
    done
    sleep 0.02
done
wait "$tests" || { cat "$markers/tests.log"; echo "the test failed" >&2; }
rm -rf "$markers"
