#!/bin/bash
# The Firebird 4 system the private test server runs from: Debian 13's Firebird 4.0
# packages in a minimal Debian 13 root made by debootstrap, on this Debian 12 machine.
# Built once per machine (about 250 MB, a few minutes) and reused; rebuilt when
# missing or incomplete. Needs root. Prints the root's path.
#
#   fb4root.sh            build it unless it is there
#   fb4root.sh --check    exit 0 when it is there and complete
#
# QVN_FB4_ROOT moves it (default /var/cache/qvn/fb4-root, outside any work tree so
# that every clone on the machine shares it); QVN_DEBIAN_MIRROR names the mirror
# (default: the one the host's apt sources use).
set -euo pipefail

ROOT=${QVN_FB4_ROOT:-/var/cache/qvn/fb4-root}
SUITE=trixie
PACKAGES="firebird4.0-server firebird4.0-utils"
STAMP=$ROOT/.qvn-fb4-root
FB4_BIN=/usr/lib/firebird/4.0/bin
# shellcheck source=scripts/debian-root.sh
. "$(dirname "$0")/debian-root.sh"

complete() {
    [ -f "$STAMP" ] && [ -x "$ROOT$FB4_BIN/firebird" ] && [ -x "$ROOT$FB4_BIN/isql-fb" ] &&
        [ -x "$ROOT$FB4_BIN/fbsvcmgr" ] && [ -x "$ROOT$FB4_BIN/fbstat" ]
}

if [ "${1:-}" = --check ]; then complete; exit; fi
if complete; then echo "$ROOT"; exit 0; fi

[ "$(id -u)" -eq 0 ] || { echo "fb4root: building the Firebird 4 root needs root" >&2; exit 1; }

begin_root_build fb4root

echo "fb4root: installing $PACKAGES" >&2
chroot "$new" /usr/bin/env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -q --no-install-recommends $PACKAGES >>"$log" 2>&1 ||
    { tail -30 "$log" >&2; exit 1; }
chroot "$new" apt-get clean >>"$log" 2>&1 || true
umount "$new/proc"

# Places the host's folders are bound to at start (the same paths inside as outside).
mkdir -p "$new/work" "$new/var/cache/qvn"
date -u +%FT%TZ >"$new/.qvn-fb4-root"
chroot "$new" dpkg-query -W $PACKAGES >>"$new/.qvn-fb4-root"

# Only a complete root takes the final name.
release_mounts "$ROOT"
rm -rf "$ROOT"
mv "$new" "$ROOT"
trap - EXIT
echo "fb4root: built in $(( $(date +%s) - started )) s ($(du -sh "$ROOT" | cut -f1))" >&2
echo "$ROOT"
