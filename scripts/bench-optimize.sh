#!/bin/bash
# The rebuild against its floor, on generated databases of two sizes, same server,
# same disk, same run:
#   floor  = fbsvcmgr backup (no garbage collection) + fbsvcmgr restore (create,
#            page size 16384) + cp of the result
#   ours   = qvnoptimize optimize (which also waits its fixed second after the restore)
# and our swap copy (from the log's stamps) against cp + sync of the same file, and
# the peak memory of qvnoptimize. Prints the figures and the ratios.
#
#   scripts/bench-optimize.sh [ROWS_SMALL] [ROWS_LARGE]    (default 400000 1600000)
set -euo pipefail
cd "$(dirname "$0")/.."
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

# Seconds between the stamps of two log lines (dd.mm.yyyy hh:nn:ss.zzz).
stamp_seconds() {
    local t=${1:11:12}
    echo "${t:0:2}*3600 + ${t:3:2}*60 + ${t:6:6}" | bc -l
}

run_size() {
    local rows=$1 db=$site/DB/ZARVO.FDB
    ./scripts/make-demo-db.sh "$work/fbserver" "$db" "$rows" >/dev/null
    local size_mb
    size_mb=$(( $(stat -c %s "$db") / 1048576 ))
    sync

    # The floor, on a copy of the same database.
    local floor_db=$site/DB/FLOOR.FDB
    cp "$db" "$floor_db"; sync
    local t0 t1 t2 t3
    t0=$(now)
    fbsvcmgr "$svc" -user SYSDBA -password "$QVN_FB_PASSWORD" action_backup \
        -dbname "$floor_db" -bkp_file "$site/DB/FLOOR.fbk" -bkp_no_garbage_collect -verbose >/dev/null
    t1=$(now)
    fbsvcmgr "$svc" -user SYSDBA -password "$QVN_FB_PASSWORD" action_restore \
        -bkp_file "$site/DB/FLOOR.fbk" -dbname "$site/DB/FLOOR.new" -res_create \
        -res_page_size 16384 -verbose >/dev/null
    t2=$(now)
    cp "$site/DB/FLOOR.new" "$site/DB/FLOOR.copy"; sync
    t3=$(now)
    local floor cp_time floor_backup floor_restore
    floor=$(elapsed "$t0" "$t3")
    floor_backup=$(elapsed "$t0" "$t1")
    floor_restore=$(elapsed "$t1" "$t2")
    cp_time=$(elapsed "$t2" "$t3")
    rm -f "$floor_db" "$site/DB/FLOOR."*

    # Ours, with its peak memory.
    rm -f "$site/LogFiles/QVNOptimizeDB.log"
    t0=$(now)
    /usr/bin/time -f '%M' -o "$work/time.txt" "$work/bin/qvnoptimize" optimize "$db" >/dev/null 2>&1
    t1=$(now)
    local ours peak_kb
    ours=$(elapsed "$t0" "$t1")
    peak_kb=$(tail -1 "$work/time.txt")
    local log
    log=$(iconv -f cp1251 -t utf-8 "$site/LogFiles/QVNOptimizeDB.log")
    local swap_start swap_end swap
    swap_start=$(stamp_seconds "$(grep 'Восстановление временной БД' <<<"$log")")
    swap_end=$(stamp_seconds "$(grep 'Восстановление из резервной копии завершено' <<<"$log")")
    swap=$(echo "$swap_end - $swap_start" | bc -l | xargs printf '%.2f')
    local b0 b1 r0 r1
    b0=$(stamp_seconds "$(grep 'Будет создана' <<<"$log")")
    b1=$(stamp_seconds "$(grep 'Создание резервной копии завершено' <<<"$log")")
    r0=$(stamp_seconds "$(grep 'будет восстановлена' <<<"$log")")
    r1=$swap_start

    printf '%-8s %6s MB  floor %7ss  ours %7ss (incl. 1 s pause)  ours-1s/floor %5.3f  ' \
        "$rows" "$size_mb" "$floor" "$ours" "$(echo "($ours - 1) / $floor" | bc -l)"
    printf 'swap %6ss  cp+sync %6ss  swap/cp %5.3f  peak RSS %6s KB\n' \
        "$swap" "$cp_time" "$(echo "$swap / $cp_time" | bc -l)" "$peak_kb"
    printf '         backup: fbsvcmgr %6ss ours %6.2fs   restore: fbsvcmgr %6ss ours %6.2fs (without the pause)\n' \
        "$floor_backup" "$(echo "$b1 - $b0" | bc -l)" "$floor_restore" "$(echo "$r1 - $r0 - 1" | bc -l)"
}

echo "rows     size        timings"
run_size "$small"
run_size "$large"
