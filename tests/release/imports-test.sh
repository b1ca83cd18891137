#!/bin/bash
# The system functions the Windows programs import, against the list of those every
# supported Windows has (allowed-imports.txt: Windows Vista and later). A function
# that a newer Windows brings cannot slip in unnoticed: a program importing it would
# not start on an older one at all ("entry point not found").
#
#   imports-test.sh OBJDUMP ALLOWED_LIST PROGRAM.exe...
set -euo pipefail
objdump=$1 allowed=$2
shift 2

# "dll!Function" per import, the DLL's name in lower case (from objdump's untranslated
# listing: in a Russian locale its headings are Russian).
imports() {
    LC_ALL=C "$objdump" -p "$1" | LC_ALL=C awk '
        /DLL Name:/ { dll = tolower($3); next }
        dll != "" && /^\t[0-9a-f]+\t +[0-9]+ +[A-Za-z_]/ { print dll "!" $3 }'
}

known=$(grep -v '^#' "$allowed" | awk 'NF { print $1 }' | sort -u)
failed=0
for program in "$@"; do
    list=$(imports "$program" | sort -u)
    [ -n "$list" ] || { echo "FAIL: no imports read from $program"; failed=1; continue; }
    extra=$(comm -23 <(printf '%s\n' "$list") <(printf '%s\n' "$known"))
    if [ -n "$extra" ]; then
        echo "FAIL: $(basename "$program") imports what the list does not allow:"
        printf '  %s\n' $extra
        failed=1
    else
        echo "$(basename "$program"): $(printf '%s\n' "$list" | wc -l) imports, all allowed"
    fi
done
exit $failed
