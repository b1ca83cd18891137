#!/bin/bash
# The 32-bit Wine the i686 Windows tests run under where the host cannot install its
# own (a Debian 12 mirror whose i386 lists lag behind leaves wine32:i386 uninstallable):
# Debian 13's Wine (wine32 beside wine64, as on a 64-bit Windows), its 32-bit Firebird
# client and the tools the fbclient bridge is built with (winegcc -m32), in a minimal
# Debian 13 root made by debootstrap. Built once per machine (about 2.6 GB and two
# to three minutes here) and reused; rebuilt when missing or incomplete. Needs root.
#
#   wine32root.sh             build it unless it is there; prints its path
#   wine32root.sh --check     exit 0 when it is there and complete
#   wine32root.sh --version   the Debian version of the Wine it holds
#   wine32root.sh run CMD...  run CMD in it (never builds it)
#
# `run` gives CMD a mount namespace of its own in which the temporary folder, this
# project and the colon-separated QVN_WINE_SHARED are bound at
# the same paths inside the root as outside, with /dev, /sys and /proc (CMD starts in
# the caller's folder when that is bound in): a path names
# the same file for the root's Wine, the host's tools and the private Firebird server,
# and the X server's socket and the wineserver's (both under /tmp) are reached from
# either side. The environment is the caller's; the binds vanish with CMD's last
# process. The network is the host's, so the root's client reaches the host's
# server on the loopback.
#
# QVN_WINE32_ROOT moves it (default /var/cache/qvn/wine32-root, outside any work tree
# so that every clone on the machine shares it); QVN_DEBIAN_MIRROR names the mirror
# (default: the one the host's apt sources use).
set -euo pipefail

ROOT=${QVN_WINE32_ROOT:-/var/cache/qvn/wine32-root}
SUITE=trixie
# Wine and its 32-bit loader, the 32-bit client the bridge forwards to, what winegcc
# builds a 32-bit builtin with (it wants g++ beside gcc), Wine's fonts (as the host's set-up installs them), the
# X extensions the host's Wine finds there, and the Russian locale the tests run in.
PACKAGES="wine wine32:i386 wine64 libwine-dev:i386 wine64-tools g++-multilib libfbclient2:i386
  fonts-wine locales libxrender1:i386 libxrandr2:i386 libxi6:i386 libxcursor1:i386
  libxfixes3:i386 libxinerama1:i386 libxcomposite1:i386 libxxf86vm1:i386"
STAMP=$ROOT/.qvn-wine32-root
here=$(cd "$(dirname "$0")" && pwd)
project=$(dirname "$here")
# shellcheck source=scripts/debian-root.sh
. "$here/debian-root.sh"

complete() {
    [ -f "$STAMP" ] && [ -x "$ROOT/usr/lib/wine/wine" ] && [ -x "$ROOT/usr/bin/winegcc" ] &&
        [ -x "$ROOT/usr/bin/g++" ] && [ -e "$ROOT/usr/lib/i386-linux-gnu/libfbclient.so.2" ] &&
        [ -f "$ROOT/usr/lib/i386-linux-gnu/wine/i386-unix/libwinecrt0.a" ]
}

run_in_root() {
    complete || { echo "wine32root: no complete root in $ROOT (scripts/wine32root.sh builds it)" >&2; exit 1; }
    local extra
    IFS=: read -r -a extra <<<"${QVN_WINE_SHARED:-}"
    enter_root "$ROOT" "$(shared_folders "${TMPDIR:-/tmp}" /tmp "$project" "${extra[@]}")" "$@"
}

case "${1:-}" in
--check) complete; exit ;;
--version)
    complete || exit 1
    awk '$1 == "wine" { print $2 }' "$STAMP"
    exit 0 ;;
run)
    shift
    [ $# -gt 0 ] || { echo "usage: $0 run CMD..." >&2; exit 2; }
    run_in_root "$@" ;;
"") ;;
*) echo "usage: $0 [--check|--version|run CMD...]" >&2; exit 2 ;;
esac

if complete; then echo "$ROOT"; exit 0; fi
[ "$(id -u)" -eq 0 ] || { echo "wine32root: building the 32-bit Wine root needs root" >&2; exit 1; }

begin_root_build wine32root

echo "wine32root: installing" $PACKAGES >&2
in_new() { chroot "$new" /usr/bin/env DEBIAN_FRONTEND=noninteractive "$@" >>"$log" 2>&1; }
in_new dpkg --add-architecture i386 &&
    in_new apt-get update -q &&
    in_new apt-get install -y -q --no-install-recommends $PACKAGES ||
    { tail -30 "$log" >&2; exit 1; }
in_new apt-get clean || true
# Wine names files with Cyrillic letters only in a locale the C library knows.
sed -i 's/^# *ru_RU.UTF-8 UTF-8/ru_RU.UTF-8 UTF-8/' "$new/etc/locale.gen"
in_new locale-gen || { tail -30 "$log" >&2; exit 1; }
umount "$new/proc"

{
    date -u +%FT%TZ
    chroot "$new" dpkg-query -W wine libfbclient2:i386
} >"$new/.qvn-wine32-root"

# Only a complete root takes the final name.
release_mounts "$ROOT"
rm -rf "$ROOT"
mv "$new" "$ROOT"
trap - EXIT
echo "wine32root: built in $(( $(date +%s) - started )) s ($(du -sh "$ROOT" | cut -f1))" >&2
echo "$ROOT"
