#!/bin/bash
# The private server answers its service manager on its own port, takes its own
# SYSDBA password and refuses another one.
set -eu
eval "$("$1" env "$2")"
svc=$QVN_FB_HOST/$QVN_FB_PORT:service_mgr
version=$(fbsvcmgr "$svc" -user SYSDBA -password "$QVN_FB_PASSWORD" -info_server_version)
echo "$version"
# The version the run asked for (scripts/fbserver.sh: QVN_FB_SERVER).
case $QVN_FB_SERVER in fb4-*) want="Firebird 4" ;; *) want="Firebird 3" ;; esac
case $version in *"$want"*) ;; *) echo "unexpected answer, want $want ($QVN_FB_SERVER)" >&2; exit 1 ;; esac
if fbsvcmgr "$svc" -user SYSDBA -password "not-$QVN_FB_PASSWORD" -info_server_version 2>/dev/null; then
    echo "a wrong password was accepted" >&2
    exit 1
fi
echo "wrong password refused"
