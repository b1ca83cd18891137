#!/bin/bash
# Stopping a private server ends every process it started, the ones that serve a
# connection too (Classic forks one per connection), and cuts the connection; the
# next start of the same folder comes up. A server of the kind the run tests, in a
# folder of its own.
set -eu
eval "$("$1" env "$2")"
export QVN_FB_SERVER
work=$(mktemp -d "$QVN_FB_DATA/stop.XXXXXX")
holder=""
trap '"$1" stop "$work/server" >/dev/null 2>&1 || true; [ -z "$holder" ] || kill -- "-$holder" 2>/dev/null || true; rm -rf "$work"' EXIT

eval "$("$1" start "$work/server")"
pid=$(cat "$work/server/server.pid")
db=$QVN_FB_HOST/$QVN_FB_PORT:$work/held.fdb
isql-fb -q -user SYSDBA -password "$QVN_FB_PASSWORD" <<<"CREATE DATABASE '$db';" >/dev/null
# A connection that stays until the server goes (in a process group of its own,
# which the end of the test removes).
printf "CONNECT '%s' USER SYSDBA PASSWORD '%s';\nSELECT 'HELD' FROM RDB\$DATABASE;\nSHELL sleep 60;\n" \
    "$db" "$QVN_FB_PASSWORD" >"$work/holder.sql"
setsid isql-fb -q -i "$work/holder.sql" >"$work/holder.txt" 2>&1 </dev/null &
holder=$!
for _ in $(seq 1 100); do grep -q HELD "$work/holder.txt" && break; sleep 0.05; done
grep -q HELD "$work/holder.txt" || { cat "$work/holder.txt" >&2; exit 1; }
before=$(pgrep -g "$pid" | wc -l)
echo "$QVN_FB_SERVER: $before server process(es) while a connection is held"
case $QVN_FB_SERVER in
*-classic) [ "$before" -ge 2 ] || { echo "Classic serves a connection in a process of its own" >&2; exit 1; } ;;
esac

"$1" stop "$work/server"
if pgrep -g "$pid" >/dev/null; then
    echo "left running after stop:" >&2; pgrep -a -g "$pid" >&2; exit 1
fi
"$1" start "$work/server" >/dev/null
"$1" stop "$work/server"
echo "stopped: no server process left; started again in the same folder"
