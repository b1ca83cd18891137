# Sourced by the scripts that build and enter the project's Debian 13 roots
# (scripts/fb4root.sh and scripts/fbserver.sh for Firebird 4, scripts/wine32root.sh
# for the 32-bit Wine): where a root comes from, and the way into one.

# The Debian mirror a root is made from: QVN_DEBIAN_MIRROR, else the host's own
# (deb822 sources first, then the one-line form).
debian_mirror() {
    if [ -n "${QVN_DEBIAN_MIRROR:-}" ]; then echo "$QVN_DEBIAN_MIRROR"; return; fi
    local uri
    uri=$(grep -hs '^URIs:' /etc/apt/sources.list.d/*.sources | awk '{print $2}' |
          grep -v -- '-security' | grep -m1 '/debian/\?$' || true)
    [ -n "$uri" ] || uri=$(grep -hs '^deb ' /etc/apt/sources.list /etc/apt/sources.list.d/*.list |
                          awk '{print $2}' | grep -v -- '-security' | grep -m1 '/debian/\?$' || true)
    echo "${uri:-http://deb.debian.org/debian}"
}

# Lets go of whatever is mounted below DIR (what a broken earlier build left there).
release_mounts() {
    local m
    for m in $(awk -v r="$1/" 'index($2, r) == 1 {print $2}' /proc/self/mounts | sort -r); do
        umount -l "$m" 2>/dev/null || true
    done
}

# Starts a build of $ROOT, for a script with a `complete` test of its root: one builder
# at a time (a second one waits, then finds the root complete and prints its path),
# a fresh debootstrap of $SUITE in $new (what a broken earlier attempt left there gone
# first) in which nothing installed may start a service, /proc mounted. Sets new,
# started and log; NAME ($1) heads the script's messages.
begin_root_build() {
    mkdir -p "$(dirname "$ROOT")"
    exec 9>"$ROOT.lock"
    flock 9
    if complete; then echo "$ROOT"; exit 0; fi
    new=$ROOT.new
    release_mounts "$new"
    rm -rf "$new"
    trap 'release_mounts "$new"' EXIT
    started=$(date +%s)
    log=$ROOT.build.log
    local src
    src=$(debian_mirror)
    echo "$1: debootstrap $SUITE from $src into $new" >&2
    debootstrap --variant=minbase "$SUITE" "$new" "$src" >"$log" 2>&1 ||
        { tail -30 "$log" >&2; exit 1; }
    # Nothing the packages bring may start inside the root.
    printf '#!/bin/sh\nexit 101\n' >"$new/usr/sbin/policy-rc.d"
    chmod +x "$new/usr/sbin/policy-rc.d"
    mount -t proc proc "$new/proc"
}

# The folders given that exist, links resolved, each once and none inside another
# (never /): what is bound into a root.
shared_folders() {
    local list=() d other kept
    for d in "$@"; do
        [ -n "$d" ] && [ -d "$d" ] || continue
        d=$(cd "$d" && pwd -P)
        [ "$d" = / ] || list+=("$d")
    done
    for d in $(printf '%s\n' "${list[@]}" | sort -u); do
        kept=yes
        for other in "${list[@]}"; do
            case $d in "$other"/*) kept=no ;; esac
        done
        if [ $kept = yes ]; then echo "$d"; fi
    done
}

# enter_root ROOT FOLDERS CMD...: replaces this process by CMD chrooted in ROOT, in a
# mount namespace of its own into which FOLDERS (one a line, as shared_folders prints
# them), /dev, /sys and /proc are bound at the same paths. CMD starts in the caller's
# folder where that is bound in, else at the root's top; its environment is the
# caller's. The binds belong to the namespace and vanish with its last process.
enter_root() {
    local root=$1 binds
    binds=$(tr '\n' ':' <<<"$2")
    shift 2
    QVN_SYSTEM=$root QVN_BINDS=$binds QVN_CWD=$PWD exec unshare --mount --propagation private -- \
        /bin/bash -c '
        set -e
        IFS=: read -r -a binds <<<"$QVN_BINDS"
        for d in "${binds[@]}"; do
            [ -n "$d" ] || continue
            mkdir -p "$QVN_SYSTEM$d"
            mount --bind "$d" "$QVN_SYSTEM$d"
        done
        mount --rbind /dev "$QVN_SYSTEM/dev"
        mount --rbind /sys "$QVN_SYSTEM/sys"
        mount -t proc proc "$QVN_SYSTEM/proc"
        cwd=$QVN_CWD
        [ -d "$QVN_SYSTEM$cwd" ] || cwd=/
        exec chroot "$QVN_SYSTEM" /usr/bin/env -u QVN_SYSTEM -u QVN_BINDS -u QVN_CWD \
            --chdir="$cwd" "$@"' enter-root "$@"
}
