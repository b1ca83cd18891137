#!/bin/bash
# A private Firebird server for tests and the demo, run as our child with its own
# root directory, lock directory, configuration, security database, loopback port and
# SYSDBA password. It never touches a system-wide instance, and any number of them can
# run side by side.
#
#   fbserver.sh start DIR   set up DIR and start the server; prints its settings
#   fbserver.sh stop DIR    stop it and every process it started (and wait until gone)
#   fbserver.sh env DIR     print its settings as shell assignments (QVN_FB_*)
#   fbserver.sh status DIR  exit 0 when it runs
#
# QVN_FB_SERVER picks the server (read by start; default fb3-super):
#   fb3-super, fb3-superclassic, fb3-classic   Debian 12's Firebird 3 (/usr/sbin/firebird)
#   fb4-super, fb4-superclassic, fb4-classic   Debian 13's Firebird 4, from the root that
#                                              scripts/fb4root.sh builds once per machine
# In Classic mode the listener forks one process per connection; they all stay in the
# server's process group, which stop ends as a whole.
#
# Firebird 4 runs chrooted in that root, in a mount namespace of its own: the folders
# our programs name databases in (the temporary folder, this project, DIR and the
# colon-separated QVN_FB_SHARED) are bound at the same paths inside, so a path names
# the same file for the server and for the host's programs. The binds belong to the
# server's namespace and vanish with its last process, so a crash leaves none behind.
set -eu

FB3_HOME=/usr/lib/x86_64-linux-gnu/firebird/3.0
FB3_SECURITY_DB=/var/lib/firebird/3.0/system/security3.fdb
FB4_HOME=/usr/lib/x86_64-linux-gnu/firebird/4.0
FB4_SECURITY_DB=/var/lib/firebird/4.0/system/security4.fdb
# Debian's /usr/bin tools are wrappers that set FIREBIRD themselves: the programs.
FB4_BIN=/usr/lib/firebird/4.0/bin
here=$(cd "$(dirname "$0")" && pwd)
project=$(dirname "$here")
# shellcheck source=scripts/debian-root.sh
. "$here/debian-root.sh"

usage() { echo "usage: $0 start|stop|env|status DIR" >&2; exit 2; }
[ $# -eq 2 ] || usage
cmd=$1
mkdir -p "$2"
dir=$(cd "$2" && pwd)
root=$dir/root

running() {
    [ -f "$dir/server.pid" ] && kill -0 "$(cat "$dir/server.pid")" 2>/dev/null
}

print_env() {
    # shellcheck disable=SC1091
    . "$dir/settings"
    echo "QVN_FB_HOST=127.0.0.1"
    echo "QVN_FB_PORT=$QVN_FB_PORT"
    echo "QVN_FB_USER=SYSDBA"
    echo "QVN_FB_PASSWORD=$QVN_FB_PASSWORD"
    echo "QVN_FB_ROOT=$root"
    echo "QVN_FB_DATA=$dir/data"
    echo "QVN_FB_SERVER=$QVN_FB_SERVER"
}

port_free() {
    # A port is taken when something accepts connections on it.
    ! (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

pick_port() {
    local p tries=0
    p=$(( 20000 + (RANDOM * 7 + $$) % 30000 ))
    while ! port_free "$p"; do
        p=$(( p + 1 )); tries=$(( tries + 1 ))
        [ $tries -lt 500 ] || { echo "fbserver: no free port" >&2; exit 1; }
    done
    echo "$p"
}

# The server kind: version and mode.
kind=${QVN_FB_SERVER:-fb3-super}
case $kind in
fb3-super|fb4-super) mode=Super ;;
fb3-superclassic|fb4-superclassic) mode=SuperClassic ;;
fb3-classic|fb4-classic) mode=Classic ;;
*) echo "fbserver: unknown server '$kind' (fb3-super, fb3-superclassic, fb3-classic, fb4-super, fb4-superclassic, fb4-classic)" >&2; exit 2 ;;
esac
version=${kind%%-*}

fb4_system() { "$here/fb4root.sh"; }

# Runs a command inside Firebird 4's root, in a new mount namespace into which the
# folders our programs name databases in (the temporary folder, this project, the
# server's folder and QVN_FB_SHARED), /dev, /sys and /proc are bound, as the leader of a
# session and process group of its own (stop ends that group). The command's
# environment is the caller's.
in_fb4_root() {
    local system=$1 extra
    shift
    IFS=: read -r -a extra <<<"${QVN_FB_SHARED:-}"
    enter_root "$system" "$(shared_folders "${TMPDIR:-/tmp}" /tmp "$project" "$dir" "${extra[@]}")" \
        /usr/bin/setsid "$@"
}

# The root directory of the server: its configuration and security database, and the
# packages' engine, messages and libraries. The international module is loaded only
# from a real intl/ folder (a link to Debian's leaves the character sets beyond the
# built-in ones "not installed"); Firebird 4 also wants a real plugins/ folder (through
# a link it refuses its engine: "Actual module name does not match requested").
setup_root() {
    rm -rf "$root"
    mkdir -p "$root" "$dir/lock" "$dir/data" "$root/intl"
    chmod 0777 "$dir/data"
    case $version in
    fb3)
        for item in plugins lib UDF firebird.msg; do
            ln -sfn "$FB3_HOME/$item" "$root/$item"
        done
        cp "$FB3_HOME/plugins.conf" "$root/plugins.conf"
        cp "$FB3_SECURITY_DB" "$root/security.fdb"
        cp "$FB3_HOME/intl/libfbintl.so" "$root/intl/libfbintl.so"
        cp /etc/firebird/3.0/fbintl.conf "$root/intl/fbintl.conf"
        ;;
    fb4)
        local system=$1 item
        # Hard links where the file system allows them: still a real folder.
        cp -r --link "$system$FB4_HOME/plugins" "$root/plugins" 2>/dev/null ||
            { rm -rf "$root/plugins"; cp -r "$system$FB4_HOME/plugins" "$root/plugins"; }
        for item in lib UDF firebird.msg; do
            [ -e "$system$FB4_HOME/$item" ] && ln -sfn "$FB4_HOME/$item" "$root/$item"
        done
        cp "$system/etc/firebird/4.0/plugins.conf" "$root/plugins.conf"
        cp "$system$FB4_SECURITY_DB" "$root/security.fdb"
        cp "$system$FB4_HOME/intl/libfbintl.so" "$root/intl/libfbintl.so"
        cp "$system/etc/firebird/4.0/fbintl.conf" "$root/intl/fbintl.conf"
        ;;
    esac
    chmod 0660 "$root/security.fdb"
    echo "security.db = $root/security.fdb" >"$root/databases.conf"
    echo "$kind" >"$root/kind"
}

write_conf() {
    local port=$1
    {
        echo "# private test instance: $kind"
        echo "RemoteServicePort = $port"
        echo "RemoteBindAddress = 127.0.0.1"
        echo "IpcName = qvn_fb_$port"
        echo "SecurityDatabase = $root/security.fdb"
        echo "ServerMode = $mode"
        echo "GuardianOption = 0"
        echo "RemoteAuxPort = 0"
        # Firebird 3 is told what Debian 12's client and the tests use; Firebird 4
        # keeps its own defaults (Srp256, wire encryption required), which accept
        # that client as it is.
        if [ "$version" = fb3 ]; then
            echo "AuthServer = Srp, Legacy_Auth"
            echo "AuthClient = Srp, Legacy_Auth"
            echo "UserManager = Srp"
            echo "WireCrypt = Enabled"
        fi
    } >"$root/firebird.conf"
}

fb_env() {
    export FIREBIRD=$root
    export FIREBIRD_LOCK=$dir/lock
    export FIREBIRD_MSG=$root
    export FIREBIRD_TMP=$dir/tmp
    mkdir -p "$FIREBIRD_TMP"
    unset ISC_USER ISC_PASSWORD
}

# Ends the server's whole process group (the listener and, in Classic, a process per
# connection) and waits until none is left: also when the listener itself is gone
# and only processes serving connections remain.
stop_server() {
    [ -f "$dir/server.pid" ] || return 0
    local pid member ours=no
    pid=$(cat "$dir/server.pid")
    # A group left by a server that died long ago is ours only while a Firebird
    # program is in it (its number may have been given to someone else since).
    for member in $(pgrep -g "$pid" 2>/dev/null); do
        case $(readlink "/proc/$member/exe" 2>/dev/null) in */firebird) ours=yes ;; esac
    done
    if [ $ours = no ]; then rm -f "$dir/server.pid"; return 0; fi
    kill -TERM -- "-$pid" 2>/dev/null || kill -TERM "$pid" 2>/dev/null || true
    for _ in $(seq 1 200); do
        kill -0 -- "-$pid" 2>/dev/null || break
        sleep 0.05
    done
    kill -KILL -- "-$pid" 2>/dev/null || true
    for _ in $(seq 1 100); do
        kill -0 -- "-$pid" 2>/dev/null || break
        sleep 0.05
    done
    rm -f "$dir/server.pid"
}

case $cmd in
start)
    if ! running; then stop_server; fi  # what a listener that died may have left
    if running; then
        # shellcheck disable=SC1091
        if (. "$dir/settings"; [ "${QVN_FB_SERVER:-fb3-super}" = "$kind" ]); then
            print_env
            exit 0
        fi
        stop_server  # another kind of server: replaced by the one asked for
    fi
    system=""
    if [ "$version" = fb4 ]; then system=$(fb4_system); fi
    if [ "$(cat "$root/kind" 2>/dev/null)" != "$kind" ]; then setup_root "$system"; fi
    port=$(pick_port)
    password=${QVN_FB_PASSWORD:-qvn$(( RANDOM % 90000 + 10000 ))t}
    write_conf "$port"
    fb_env
    # The SYSDBA password goes into our own security database through the embedded
    # engine, before the server is up.
    sql="create or alter user SYSDBA password '$password' using plugin Srp;
commit;"
    if [ "$version" = fb3 ]; then
        isql-fb -q -user SYSDBA "$root/security.fdb" <<<"$sql" >"$dir/isql.log" 2>&1 ||
            { cat "$dir/isql.log" >&2; exit 1; }
    else
        (in_fb4_root "$system" "$FB4_BIN/isql-fb" -q -user SYSDBA "$root/security.fdb") \
            <<<"$sql" >"$dir/isql.log" 2>&1 || { cat "$dir/isql.log" >&2; exit 1; }
    fi
    printf 'QVN_FB_PORT=%s\nQVN_FB_PASSWORD=%s\nQVN_FB_SERVER=%s\n' "$port" "$password" "$kind" \
        >"$dir/settings"
    # Its own session and process group: stop ends them all.
    if [ "$version" = fb3 ]; then
        setsid /usr/sbin/firebird </dev/null >>"$dir/server.log" 2>&1 &
    else
        (in_fb4_root "$system" "$FB4_BIN/firebird") </dev/null >>"$dir/server.log" 2>&1 &
    fi
    echo $! >"$dir/server.pid"
    # Ready when the service port accepts connections (a loaded machine may take
    # tens of seconds to start a chrooted server).
    for _ in $(seq 1 1200); do
        if ! port_free "$port"; then
            print_env
            exit 0
        fi
        running || break
        sleep 0.05
    done
    echo "fbserver: $kind did not come up on port $port" >&2
    cat "$dir/server.log" >&2 || true
    stop_server
    exit 1
    ;;
stop)
    stop_server
    ;;
env)
    running || { echo "fbserver: not running in $dir" >&2; exit 1; }
    print_env
    ;;
status)
    running
    ;;
*) usage ;;
esac
