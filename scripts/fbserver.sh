#!/bin/bash
# A private Firebird 3 server for tests and the demo: Debian's /usr/sbin/firebird
# run as our child with its own root directory, lock directory, configuration,
# security database, loopback port and SYSDBA password. It never touches a
# system-wide instance, and any number of them can run side by side.
#
#   fbserver.sh start DIR   set up DIR (once) and start the server; prints its settings
#   fbserver.sh stop DIR    stop it (and wait until it is gone)
#   fbserver.sh env DIR     print its settings as shell assignments (QVN_FB_*)
#   fbserver.sh status DIR  exit 0 when it runs
set -eu

FB_HOME=/usr/lib/x86_64-linux-gnu/firebird/3.0
SYSTEM_SECURITY_DB=/var/lib/firebird/3.0/system/security3.fdb

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

setup_root() {
    mkdir -p "$root" "$dir/lock" "$dir/data"
    chmod 0777 "$dir/data"
    for item in plugins lib UDF firebird.msg; do
        ln -sfn "$FB_HOME/$item" "$root/$item"
    done
    cp "$FB_HOME/plugins.conf" "$root/plugins.conf"
    cp "$SYSTEM_SECURITY_DB" "$root/security3.fdb"
    chmod 0660 "$root/security3.fdb"
    : >"$root/databases.conf"
    echo "security.db = $root/security3.fdb" >>"$root/databases.conf"
}

# Character sets and collations beyond the few built into the engine (WIN1251 and
# PXW_CYRL among them) come from the international module, which the server loads only
# from a real intl/ directory in its root: a symbolic link to Debian's leaves them
# "not installed". Done on every start, so an older root is mended too.
setup_intl() {
    if [ -L "$root/intl" ]; then rm -f "$root/intl"; fi
    mkdir -p "$root/intl"
    cp "$FB_HOME/intl/libfbintl.so" "$root/intl/libfbintl.so"
    cp /etc/firebird/3.0/fbintl.conf "$root/intl/fbintl.conf"
}

write_conf() {
    local port=$1
    cat >"$root/firebird.conf" <<CONF
# private test instance
RemoteServicePort = $port
RemoteBindAddress = 127.0.0.1
IpcName = qvn_fb_$port
SecurityDatabase = $root/security3.fdb
AuthServer = Srp, Legacy_Auth
AuthClient = Srp, Legacy_Auth
UserManager = Srp
WireCrypt = Enabled
ServerMode = Super
GuardianOption = 0
RemoteAuxPort = 0
CONF
}

fb_env() {
    export FIREBIRD=$root
    export FIREBIRD_LOCK=$dir/lock
    export FIREBIRD_MSG=$root
    export FIREBIRD_TMP=$dir/tmp
    mkdir -p "$FIREBIRD_TMP"
    unset ISC_USER ISC_PASSWORD
}

case $cmd in
start)
    if running; then
        print_env
        exit 0
    fi
    [ -d "$root" ] || setup_root
    setup_intl
    port=$(pick_port)
    password=${QVN_FB_PASSWORD:-qvn$(( RANDOM % 90000 + 10000 ))t}
    write_conf "$port"
    fb_env
    # The SYSDBA password goes into our own security database through the embedded
    # engine, before the server is up.
    isql-fb -q -user SYSDBA "$root/security3.fdb" >"$dir/isql.log" 2>&1 <<SQL || { cat "$dir/isql.log" >&2; exit 1; }
create or alter user SYSDBA password '$password' using plugin Srp;
commit;
SQL
    printf 'QVN_FB_PORT=%s\nQVN_FB_PASSWORD=%s\n' "$port" "$password" >"$dir/settings"
    setsid /usr/sbin/firebird </dev/null >>"$dir/server.log" 2>&1 &
    echo $! >"$dir/server.pid"
    # Ready when the service port accepts connections.
    for _ in $(seq 1 200); do
        if ! port_free "$port"; then
            print_env
            exit 0
        fi
        running || break
        sleep 0.05
    done
    echo "fbserver: server did not come up on port $port" >&2
    cat "$dir/server.log" >&2 || true
    exit 1
    ;;
stop)
    if running; then
        pid=$(cat "$dir/server.pid")
        kill "$pid" 2>/dev/null || true
        for _ in $(seq 1 200); do
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.05
        done
        kill -9 "$pid" 2>/dev/null || true
    fi
    rm -f "$dir/server.pid"
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
