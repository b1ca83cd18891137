#!/bin/bash
# The release package as a technician gets it: packed by scripts/release.sh from this
# build tree, unpacked into a fresh Wine prefix as C:\QORD\, checked against its
# SHA256SUMS, its programs' imports checked against the allowed list, its console
# program run from there to rebuild a database of the real private server (through
# the fbclient bridge in place of the site's client), and its window program
# rebuilding one through the window (the real-server window test, with the
# package's programs). Runs under the Wine the build tree's tests run with.
#
#   release-test.sh SOURCE_DIR BUILD_DIR PRESET FB_DIR OBJDUMP
set -euo pipefail
source_dir=$1 build=$2 preset=$3 fb_dir=$4 objdump=$5
work=$build/release-test
rm -rf "$work"
mkdir -p "$work"

export WINEPREFIX=$work/prefix WINEDEBUG=-all LANG=ru_RU.UTF-8
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
# shellcheck source=cmake/wine-route.sh
. "$source_dir/cmake/wine-route.sh"
cleanup() {
    wineserver -k 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

zip=$(QVN_RELEASE_NO_BUILD=1 QVN_RELEASE_BUILD_DIR=$build "$source_dir/scripts/release.sh" "$preset" "$work/dist")
version=$(tr -d '[:space:]' <"$build/version.txt")
[ "$(basename "$zip")" = "QVNOptimizeDB-$version-$preset.zip" ] || { echo "FAIL: package named $zip"; exit 1; }
# The zip's own checksum stands beside it and fits it.
(cd "$(dirname "$zip")" && sha256sum --quiet -c "$(basename "$zip").sha256") ||
    { echo "FAIL: the zip's checksum file"; exit 1; }
listed=$(unzip -Z1 "$zip" | LC_ALL=C sort | tr '\n' ' ')
[ "$listed" = "INSTALL.txt OPERATOR-RU.txt QVNOptimizeDB.exe SHA256SUMS qvnoptimize.exe " ] ||
    { echo "FAIL: the package holds: $listed"; exit 1; }

wine wineboot -i >"$work/wineboot.log" 2>&1 </dev/null
# wineboot returns before the new prefix's first start is over; a window program
# started meanwhile may not show its window within the test's wait (Wine 8 and 10).
wineserver -w
site=$WINEPREFIX/drive_c/QORD
mkdir -p "$site/DB"
unzip -q "$zip" -d "$site"
(cd "$site" && sha256sum --quiet -c SHA256SUMS) || { echo "FAIL: checksums"; exit 1; }
# The programs as they ship (stripped) import only what every supported Windows has.
"$source_dir/tests/release/imports-test.sh" "$objdump" "$source_dir/tests/release/allowed-imports.txt" \
    "$site/QVNOptimizeDB.exe" "$site/qvnoptimize.exe"

# What the site has and the package does not bring: the utility library with the
# server's settings, and a Firebird client (here the bridge to the native one).
eval "$("$source_dir/scripts/fbserver.sh" env "$fb_dir")"
cp "$build/bin/fbUtils.dll" "$site/"
printf '[Firebird]\r\nPassword=%s\r\nPort=%s\r\n' "$QVN_FB_PASSWORD" "$QVN_FB_PORT" >"$site/fbUtils.ini"
cp "$build/bin/bridge/fbclient.dll" "$site/fbclient.dll"

database=$(cd "$site/DB" && pwd -P)/ZARVO.FDB
isql() { isql-fb -q -bail -user SYSDBA -password "$QVN_FB_PASSWORD" "$@"; }
isql <<SQL
create database '127.0.0.1/$QVN_FB_PORT:$database' page_size 4096;
create table SALES (ID integer not null primary key, LITERS numeric(12,3));
commit;
set term ^ ;
execute block as declare i integer = 0; begin while (i < 5000) do begin
  insert into SALES values (:i, mod(:i * 7, 600) / 10.0); i = i + 1; end end^
set term ; ^
commit;
SQL
facts() {
    isql "127.0.0.1/$QVN_FB_PORT:$database" <<'SQL' | awk 'NF == 2 { printf "%s=%s ", $1, $2 }'
set list on;
select mon$page_size as page_size from mon$database;
select count(*) as rows_, sum(LITERS) as liters from SALES;
SQL
}
before=$(facts)

# Text for people comes in the console's code page: 866 for this Russian prefix.
output=$(wine 'C:\QORD\qvnoptimize.exe' optimize 2>&1 </dev/null | iconv -f CP866 -t UTF-8 |
         tr -d '\r') || {
    echo "FAIL: qvnoptimize.exe ended with $?"; echo "$output"; exit 1; }
# The success line, then the before-and-after record.
printf '%s\n' "$output" | grep -qx "ОПТИМИЗАЦИЯ БАЗЫ ДАННЫХ УСПЕШНО ЗАВЕРШЕНА!" &&
    printf '%s\n' "$output" | grep -q "^Размер страницы: 4096 -> 16384 байт$" ||
    { echo "FAIL: the console program said:"; echo "$output"; exit 1; }

after=$(facts)
expected=${before/PAGE_SIZE=4096/PAGE_SIZE=16384}
[ "$after" = "$expected" ] || { printf 'FAIL: before\n%s\nafter\n%s\n' "$before" "$after"; exit 1; }
[ "$(ls "$site/DB")" = "ZARVO.FDB" ] || { echo "FAIL: left in DB: $(ls "$site/DB")"; exit 1; }

# The window program of the package, pressed by the real-server window test (which
# makes its own databases, in C:\QORD\DB and a Cyrillic folder) on the display of
# the build tree's Wine session.
export DISPLAY=:$(tr -d '\n' <"$build/wine/display")
QVN_PROGRAMS_DIR='C:\QORD\' wine "$build/bin/gui_real_server_tests.exe" \
    --gtest_filter=RealServer.TheWindowRebuildsTheDatabaseKeepingItsData </dev/null 2>&1 |
    tr -d '\r' >"$work/window-test.txt" ||
    { cat "$work/window-test.txt"; echo "FAIL: the package's window program"; exit 1; }
grep -q '^\[  PASSED  \] 1 test' "$work/window-test.txt" ||
    { cat "$work/window-test.txt"; echo "FAIL: the window test did not run"; exit 1; }
echo "release package $(basename "$zip") rebuilt databases from a fresh prefix, with its console and its window program"
