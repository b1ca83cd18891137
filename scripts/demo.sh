#!/bin/bash
# The main job on a demo database: installs what is needed, builds the Linux
# programs, starts a private Firebird server, creates a fuel-station database with
# a few hundred thousand rows, rebuilds it with `qvnoptimize optimize` (progress on
# the terminal), shows its header page with `qvnoptimize stat`, and says where the
# log is. Everything lives under build/demo/ (a site tree QORD/ like /opt/QORD).
#
#   scripts/demo.sh [SALES_ROWS]      (default 300000)
#   QVN_FB_SERVER=fb4-super scripts/demo.sh     against another server (see scripts/fbserver.sh:
#                                               fb3-super (default), fb3-superclassic, fb3-classic,
#                                               fb4-super, fb4-superclassic, fb4-classic)
set -euo pipefail
cd "$(dirname "$0")/.."
rows=${1:-300000}

./scripts/setup.sh
cmake --preset linux >/dev/null
cmake --build --preset linux --target qvnoptimize fbUtils

demo=$PWD/build/demo
site=$demo/QORD
mkdir -p "$demo/bin" "$site/DB" "$site/LogFiles"
trap './scripts/fbserver.sh stop "$demo/fbserver"' EXIT
eval "$(./scripts/fbserver.sh start "$demo/fbserver")"
echo "== server: $QVN_FB_SERVER ($(fbsvcmgr "$QVN_FB_HOST/$QVN_FB_PORT:service_mgr" -user SYSDBA \
    -password "$QVN_FB_PASSWORD" -info_server_version | sed 's/^Server version: //'))"

# The site's programs: ours and the utility library with the server's settings.
cp build/linux/bin/qvnoptimize build/linux/bin/libfbUtils.so "$demo/bin/"
printf '[Firebird]\nPassword=%s\nPort=%s\n' "$QVN_FB_PASSWORD" "$QVN_FB_PORT" >"$demo/bin/fbUtils.ini"
export QVN_QORD_ROOT=$site

echo
echo "== creating the demo database"
./scripts/make-demo-db.sh "$demo/fbserver" "$site/DB/ZARVO.FDB" "$rows"
# The header through the server's statistics service (Debian 12's fbstat cannot read
# a Firebird 4 database).
before=$(fbsvcmgr "$QVN_FB_HOST/$QVN_FB_PORT:service_mgr" -user SYSDBA -password "$QVN_FB_PASSWORD" \
    -action_db_stats -dbname "$site/DB/ZARVO.FDB" -sts_hdr_pages | grep -E 'Page size|Next transaction')

echo
echo "== qvnoptimize optimize $site/DB/ZARVO.FDB"
started=$(date +%s.%N)
"$demo/bin/qvnoptimize" optimize
echo "rebuild on $QVN_FB_SERVER: $(printf '%.1f' "$(echo "$(date +%s.%N) - $started" | bc)") s"
echo
echo "== qvnoptimize stat"
"$demo/bin/qvnoptimize" stat
echo
echo "before the rebuild: $(echo "$before" | tr -s ' \t\n' ' ')"
echo "log: $site/LogFiles/QVNOptimizeDB.log (Windows-1251; iconv -f cp1251 to read it here)"
