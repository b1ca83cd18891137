# Sourced with `build` set to a Windows build tree: the Wine that tree's tests run with
# (the route its configuration chose, cmake/WineRoute.cmake) as the functions `wine`
# and `wineserver` (also as the arrays WINE and WINESERVER, for setsid and such),
# WINE_FONTS (the folder of that Wine's own fonts) and WINE_ROUTE. Returns 1, saying
# why, for a 32-bit tree that has no 32-bit Wine.
#
# A 64-bit tree runs with Wine's 64-bit loader itself, so that it needs nothing 32-bit
# from the machine (some kernels run no 32-bit code at all). A 32-bit tree runs with
# the host's Wine, or with the Wine of the 32-bit root (scripts/wine32root.sh): its
# wine and wineserver then run in that root with the build tree bound in at the same
# path (the X server's and the wineserver's sockets are reached through the shared /tmp).
wine_cached() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt" 2>/dev/null; }
WINE_ROUTE=$(wine_cached QVN_WINE_ROUTE)
WINE_FONTS=/usr/share/wine/fonts
WINE=(/usr/bin/wine) WINESERVER=(/usr/bin/wineserver)
if grep -q '^CMAKE_C_COMPILER_AR:.*x86_64-w64-mingw32' "$build/CMakeCache.txt" 2>/dev/null &&
   [ -x /usr/lib/wine/wine64 ]; then
    export WINELOADER=/usr/lib/wine/wine64
    WINE=(/usr/lib/wine/wine64)
elif [ "$WINE_ROUTE" = root ]; then
    wine_root=$(wine_cached QVN_WINE32_ROOT)
    wine_in_root=(env "QVN_WINE32_ROOT=$wine_root"
                  "QVN_WINE_SHARED=$build${QVN_WINE_SHARED:+:$QVN_WINE_SHARED}"
                  "$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/scripts/wine32root.sh" run)
    WINE=("${wine_in_root[@]}" wine) WINESERVER=("${wine_in_root[@]}" wineserver)
    WINE_FONTS=$wine_root/usr/share/wine/fonts
elif [ "$WINE_ROUTE" = none ]; then
    echo "wine: no 32-bit Wine for $build: neither the host's (wine32:i386) nor the root of" \
         "scripts/wine32root.sh was there when it was configured" >&2
    return 1
fi
wine() { "${WINE[@]}" "$@"; }
wineserver() { "${WINESERVER[@]}" "$@"; }
