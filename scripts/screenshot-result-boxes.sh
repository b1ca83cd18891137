#!/bin/bash
# Screenshots of the box that ends a rebuild in the window, taken right after the
# progress window has closed and before anything is touched: a success and a
# wrong password, against the private server through the fbclient bridge.
#   screenshot-result-boxes.sh [BUILD_DIR] [OUT_DIR]
# Writes result-box-success.png and result-box-wrong-password.png (the whole
# desktop, so that what stands in front shows) to OUT_DIR (default docs/).
set -euo pipefail
cd "$(dirname "$0")/.."
# shellcheck source=scripts/screenshot-moments.sh
. scripts/screenshot-moments.sh
build=${1:-build/win32}
out=${2:-docs}
mkdir -p "$out"
preset=$(basename "$build")
eval "$(cmake/wine-run.sh --env "$build" 2>/dev/null)"
export LC_ALL=C.UTF-8 LANG=C.UTF-8  # for the tools here; Wine has its settings

# The test announces each moment (QVN_SCREENSHOT_DIR) and waits while the picture
# is taken.
take_announced_shots "$out" ctest --preset "$preset" \
    -R 'RealServer.TheResultBoxComesToTheFrontAndTakesTheKeyboard'
