# Sourced by the screenshot scripts. take_announced_shots OUT_DIR COMMAND...: runs
# COMMAND (window tests) with QVN_SCREENSHOT_DIR set; each time a test announces a
# moment it waits while the whole desktop is taken as OUT_DIR/<moment>.png.
take_announced_shots() {
    local out=$1 markers tests marker name
    shift
    markers=$(mktemp -d)
    QVN_SCREENSHOT_DIR="Z:${markers//\//\\}" "$@" >"$markers/tests.log" 2>&1 &
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
    wait "$tests" || { cat "$markers/tests.log"; echo "the window tests failed" >&2; }
    rm -rf "$markers"
}
