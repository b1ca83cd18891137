#!/bin/bash
# The rebuild against its floor, on generated databases of two sizes, same server,
# same disk, same run:
#   floor  = fbsvcmgr backup (no garbage collection) + fbsvcmgr restore (create,
#            page size 16384): the server's work alone, since the swap is a rename
#   ours   = qvnoptimize optimize, less its fixed one-second pause after the restore
# Also what our checks cost (the header reads of the statistics service, the
# restored file's checks, the locks), what the server's shutdown steps cost (single-
# user, full, online again), the gap between the backup's end and the full shutdown
# (the one moment another program could still slip in), the swap (flush + atomic
# replace; the flush of the rebuilt file is the price of durability and is shown on
# its own), and the peak memory of qvnoptimize. Prints the figures and the ratios.
#
#   scripts/bench-optimize.sh [ROWS_SMALL] [ROWS_LARGE]    (default 400000 1600000)
#   scripts/bench-optimize.sh --wide MB                     one database of about MB
#                                 megabytes of wide rows (quick to make at 1 GB)
set -euo pipefail
cd "$(dirname "$0")/.."
wide_mb=""
if [ "${1:-}" = --wide ]; then wide_mb=${2:?size in MB}; fi
small=${1:-400000}
large=${2:-1600000}

cmake --preset linux >/dev/null
cmake --build --preset linux --target qvnoptimize fbUtils >/dev/null

work=$PWD/build/bench-optimize
site=$work/QORD
rm -rf "$site"
mkdir -p "$work/bin" "$site/DB"
trap './scripts/fbserver.sh stop "$work/fbserver" >/dev/null' EXIT
eval "$(./scripts/fbserver.sh start "$work/fbserver")"
cp build/linux/bin/qvnoptimize build/linux/bin/libfbUtils.so "$work/bin/"
printf '[Firebird]\nPassword=%s\nPort=%s\n' "$QVN_FB_PASSWORD" "$QVN_FB_PORT" >"$work/bin/fbUtils.ini"
export QVN_QORD_ROOT=$site
svc="$QVN_FB_HOST/$QVN_FB_PORT:service_mgr"

now() { date +%s.%N; }
elapsed() { echo "$2 - $1" | bc -l | xargs printf '%.2f'; }

# A figure of the --json record: "name":value.
json_figure() { grep -o "\"$2\":[0-9.]*" <<<"$1" | cut -d: -f2; }

# A database of about $1 MB: rows of 1000 bytes with an index, made by the server.
make_wide() {
    local db=$1 rows=$(( $2 * 1000 ))
    isql-fb -q <<SQL >/dev/null
CREATE DATABASE '$QVN_FB_HOST/$QVN_FB_PORT:$db' USER 'SYSDBA' PASSWORD '$QVN_FB_PASSWORD' PAGE_SIZE 4096;
CREATE TABLE WIDE (ID INTEGER NOT NULL PRIMARY KEY, K INTEGER, T VARCHAR(1000));
CREATE INDEX WIDE_K ON WIDE (K);
SET TERM ^;
EXECUTE BLOCK AS DECLARE I INTEGER = 0; BEGIN WHILE (I < $rows) DO BEGIN
  INSERT INTO WIDE VALUES (:I, MOD(:I * 7919, 100003), RPAD(UUID_TO_CHAR(GEN_UUID()), 1000, UUID_TO_CHAR(GEN_UUID()))); I = I + 1; END END^
SET TERM ;^
COMMIT;
SQL
}

run_size() {
    local rows=$1 db=$site/DB/ZARVO.FDB
    rm -f "$db"
    if [ -n "$wide_mb" ]; then
        make_wide "$db" "$wide_mb"
        rows="${wide_mb}MB-wide"
    else
        ./scripts/make-demo-db.sh "$work/fbserver" "$db" "$rows" >/dev/null
    fi
    local size_mb
    size_mb=$(( $(stat -c %s "$db") / 1048576 ))
    sync

    # The floor, on a copy of the same database.
    local floor_db=$site/DB/FLOOR.FDB
    cp "$db" "$floor_db"; sync
    local t0 t1 t2
    t0=$(now)
    fbsvcmgr "$svc" -user SYSDBA -password "$QVN_FB_PASSWORD" action_backup \
        -dbname "$floor_db" -bkp_file "$site/DB/FLOOR.fbk" -bkp_no_garbage_collect -verbose >/dev/null
    t1=$(now)
    fbsvcmgr "$svc" -user SYSDBA -password "$QVN_FB_PASSWORD" action_restore \
        -bkp_file "$site/DB/FLOOR.fbk" -dbname "$site/DB/FLOOR.new" -res_create \
        -res_page_size 16384 -verbose >/dev/null
    t2=$(now)
    local floor floor_backup floor_restore backup_mb new_mb
    floor=$(elapsed "$t0" "$t2")
    floor_backup=$(elapsed "$t0" "$t1")
    floor_restore=$(elapsed "$t1" "$t2")
    backup_mb=$(( $(stat -c %s "$site/DB/FLOOR.fbk") / 1048576 ))
    new_mb=$(( $(stat -c %s "$site/DB/FLOOR.new") / 1048576 ))
    # What a flush of the rebuilt file costs by itself (fsync of that one file).
    t0=$(now)
    sync "$site/DB/FLOOR.new"
    local flush
    flush=$(elapsed "$t0" "$(now)")
    # The shutdown steps by themselves: single-user, full, online again.
    t0=$(now)
    for mode in "prp_shutdown_mode prp_sm_single" "prp_shutdown_mode prp_sm_full" "prp_online_mode prp_sm_normal"; do
        # shellcheck disable=SC2086
        fbsvcmgr "$svc" -user SYSDBA -password "$QVN_FB_PASSWORD" action_properties \
            -dbname "$site/DB/FLOOR.new" $mode -prp_attachments_shutdown 0 >/dev/null 2>&1 ||
        fbsvcmgr "$svc" -user SYSDBA -password "$QVN_FB_PASSWORD" action_properties \
            -dbname "$site/DB/FLOOR.new" $mode >/dev/null
    done
    local shutdown_steps
    shutdown_steps=$(elapsed "$t0" "$(now)")
    # One header read through the statistics service.
    t0=$(now)
    fbsvcmgr "$svc" -user SYSDBA -password "$QVN_FB_PASSWORD" action_db_stats \
        -dbname "$site/DB/FLOOR.new" -sts_hdr_pages >/dev/null
    local header_read
    header_read=$(elapsed "$t0" "$(now)")
    rm -f "$floor_db" "$site/DB/FLOOR."*

    # Ours, with its peak memory.
    t0=$(now)
    /usr/bin/time -f '%M' -o "$work/time.txt" "$work/bin/qvnoptimize" optimize --json "$db" \
        >"$work/record.json" 2>/dev/null
    t1=$(now)
    local ours peak_kb record backup restore swap rest
    ours=$(echo "$(elapsed "$t0" "$t1") - 1" | bc -l | xargs printf '%.2f')
    peak_kb=$(tail -1 "$work/time.txt")
    record=$(cat "$work/record.json")
    backup=$(json_figure "$record" backupSeconds)
    restore=$(json_figure "$record" restoreSeconds)
    swap=$(json_figure "$record" swapSeconds)
    rest=$(echo "$ours - $backup - $restore - $swap" | bc -l | xargs printf '%.2f')
    local gap
    gap=$(iconv -f CP1251 -t UTF-8 "$site/LogFiles/QVNOptimizeDB.log" |
          grep -o 'закрыта полностью через [0-9]* мс' | tail -1 | grep -o '[0-9]*')

    printf '%-8s %6s MB (backup %s MB, rebuilt %s MB)  floor %7ss  ours %7ss (without the 1 s pause)  ours/floor %5.3f  peak RSS %6s KB\n' \
        "$rows" "$size_mb" "$backup_mb" "$new_mb" "$floor" "$ours" "$(echo "$ours / $floor" | bc -l)" "$peak_kb"
    printf '         backup: fbsvcmgr %6ss ours %6ss (with two header reads)   restore: fbsvcmgr %6ss ours %6ss\n' \
        "$floor_backup" "$backup" "$floor_restore" "$restore"
    printf '         swap (flush + replace) %6ss, of it the flush alone ~%6ss   checks and the rest %6ss   one header read %6ss\n' \
        "$swap" "$flush" "$rest" "$header_read"
    printf '         shutdown steps (single, full, online) %6ss   gap from the backup'"'"'s end to the full shutdown %s ms\n' \
        "$shutdown_steps" "${gap:-?}"
    printf '         ours without the flush of the rebuilt file %6ss  ours/floor %5.3f\n' \
        "$(echo "$ours - $flush" | bc -l | xargs printf '%.2f')" "$(echo "($ours - $flush) / $floor" | bc -l)"
}

echo "rows     size        timings"
if [ -n "$wide_mb" ]; then
    run_size wide
else
    run_size "$small"
    run_size "$large"
fi
