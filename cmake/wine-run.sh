#!/bin/bash
# Runs a Windows program of the build under Wine: CMAKE_CROSSCOMPILING_EMULATOR of
# the Windows presets. Each build tree gets one private prefix (build/<preset>/wine),
# one persistent wineserver and one Xvfb display, set up by the first run and
# shared by all later ones, so a test process starts in a fraction of a second.
#
#   wine-run.sh PROGRAM.exe ARGS...   run a program (its output is passed through, CR removed)
#   wine-run.sh --start BUILD_DIR     set the session up now (prefix, wineserver, Xvfb)
#   wine-run.sh --stop BUILD_DIR      end the session's wineserver and Xvfb
#   wine-run.sh --env BUILD_DIR       print the settings to reach the session from a shell
set -u

find_build_dir() {
    local d
    d=$(cd "$(dirname "$1")" 2>/dev/null && pwd) || return 1
    while [ "$d" != "/" ]; do
        [ -f "$d/CMakeCache.txt" ] && { echo "$d"; return 0; }
        d=$(dirname "$d")
    done
    return 1
}

mode=run
case "${1:-}" in
    --start|--stop|--env) mode=${1#--}; build=$(cd "$2" && pwd) ;;
    "") echo "usage: $0 PROGRAM.exe ARGS... | --start|--stop|--env BUILD_DIR" >&2; exit 2 ;;
    *) build=$(find_build_dir "$1") || { echo "wine-run: no build tree above $1" >&2; exit 2; } ;;
esac

state=$build/wine
mkdir -p "$state"
# wine and wineserver of the Wine this tree runs with.
# shellcheck source=cmake/wine-route.sh
. "$(dirname "$0")/wine-route.sh" || exit 1
export WINEPREFIX=$state/prefix
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
# A Russian site: the console (OEM) code page is 866, the ANSI one 1251.
# (Wine reads these names itself; the C library need not have the locale.)
export LANG=ru_RU.UTF-8
export LC_ALL=ru_RU.UTF-8 2>/dev/null

server_alive() {
    [ -f "$state/xvfb.pid" ] && kill -0 "$(cat "$state/xvfb.pid")" 2>/dev/null
}

start_session() {
    (
        flock 9
        if ! server_alive; then
            rm -f "$state/display"
            # -displayfd picks a free display and prints its number when ready.
            setsid Xvfb -displayfd 3 -nolisten tcp -screen 0 1280x1024x24 \
                3>"$state/display" </dev/null >>"$state/xvfb.log" 2>&1 9>&- &
            echo $! >"$state/xvfb.pid"
            for _ in $(seq 1 200); do
                [ -s "$state/display" ] && break
                sleep 0.05
            done
            [ -s "$state/display" ] || { echo "wine-run: Xvfb did not start" >&2; exit 1; }
        fi
        export DISPLAY=:$(tr -d '\n' <"$state/display")
        # A prefix is kept only for the Wine that made it (another would convert it).
        version=$(wine --version 2>/dev/null)
        if [ -f "$state/prefix-ready" ] && [ "$(cat "$state/prefix-ready")" != "$version" ]; then
            wineserver -k 9>&- 2>/dev/null
            rm -rf "$WINEPREFIX" "$state/prefix-ready"
        fi
        if [ ! -f "$state/prefix-ready" ]; then
            t0=$(date +%s)
            mkdir -p "$WINEPREFIX"
            wine wineboot -i </dev/null >>"$state/wineboot.log" 2>&1 9>&-
            # Wine draws the whole desktop itself (frames and captions as on Windows)
            # instead of leaving window decoration to an X window manager we lack.
            wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f \
                </dev/null >>"$state/wineboot.log" 2>&1 9>&-
            wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1280x1024 /f \
                </dev/null >>"$state/wineboot.log" 2>&1 9>&-
            # Wine's own stand-ins for the Windows fonts (Tahoma, MS Sans Serif, Marlett
            # for the caption buttons), where Wine looks for installed fonts.
            if [ -d "$WINE_FONTS" ]; then
                cp -n "$WINE_FONTS"/* "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
            fi
            wineserver -k 9>&- 2>/dev/null
            wineserver -w 9>&- 2>/dev/null
            echo "wine-run: new prefix ready in $(( $(date +%s) - t0 )) s" >&2
            echo "$version" >"$state/prefix-ready"
        fi
        # A persistent server keeps the prefix warm between test processes. Its
        # output and that of every helper process Wine starts go to log files, so
        # nothing long-lived holds the caller's pipes open.
        setsid "${WINESERVER[@]}" -p </dev/null >>"$state/wineserver.log" 2>&1 9>&- &
        wait $! 2>/dev/null || true  # one may be running already
    ) 9>"$state/lock"
}

case $mode in
    start)
        start_session || exit 1
        exit 0 ;;
    stop)
        wineserver -k 2>/dev/null
        if [ -f "$state/xvfb.pid" ]; then
            kill "$(cat "$state/xvfb.pid")" 2>/dev/null
            rm -f "$state/xvfb.pid" "$state/display"
        fi
        exit 0 ;;
    env)
        start_session || exit 1
        echo "export WINEPREFIX=$WINEPREFIX WINEDEBUG=$WINEDEBUG DISPLAY=:$(tr -d '\n' <"$state/display") LANG=$LANG LC_ALL=$LC_ALL"
        exit 0 ;;
esac

if [ ! -f "$state/prefix-ready" ] || ! server_alive; then
    start_session || exit 1
fi
export DISPLAY=:$(tr -d '\n' <"$state/display")

# Output goes through files rather than straight to the caller: a helper process
# that Wine starts on demand (the desktop window, services) inherits the standard
# handles and lives on, and must not keep a test runner's pipe open.
out=$(mktemp "$state/out.XXXXXX")
err=$(mktemp "$state/err.XXXXXX")
wine "$@" </dev/null >"$out" 2>"$err"
rc=$?
tr -d '\r' <"$out"
tr -d '\r' <"$err" >&2
rm -f "$out" "$err"
exit $rc
