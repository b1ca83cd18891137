#!/bin/bash
# The private server knows every character set and collation the server ships: a
# Windows-1251 table with a PXW_CYRL index takes Cyrillic text and gives it back in
# that collation's order (Ё beside Е, not before А as in plain Windows-1251), through
# the index; and every collation the server lists can be used.
set -eu
eval "$("$1" env "$2")"
work=$(mktemp -d "$QVN_FB_DATA/charsets.XXXXXX")
trap 'rm -rf "$work"' EXIT
db="$QVN_FB_HOST/$QVN_FB_PORT:$work/charsets.fdb"

status=0
isql-fb -q -user SYSDBA -password "$QVN_FB_PASSWORD" >"$work/out.txt" 2>&1 <<SQL || status=$?
SET NAMES UTF8;
CREATE DATABASE '$db' DEFAULT CHARACTER SET WIN1251;
CREATE TABLE WORDS (NAME VARCHAR(20) CHARACTER SET WIN1251 NOT NULL COLLATE PXW_CYRL,
                    NOTE BLOB SUB_TYPE TEXT);
CREATE INDEX WORDS_NAME ON WORDS (NAME);
COMMIT;
INSERT INTO WORDS VALUES ('Жук', 'Заметка: жёлтый');
INSERT INTO WORDS VALUES ('Ёлка', NULL);
INSERT INTO WORDS VALUES ('Арбуз', NULL);
INSERT INTO WORDS VALUES ('Ель', NULL);
INSERT INTO WORDS VALUES ('яма', NULL);
COMMIT;
SET LIST ON;
SET PLAN ON;
SELECT NAME || ' ' || OCTET_LENGTH(NAME) || ' ' || COALESCE(CAST(NOTE AS VARCHAR(40)), '-') AS WORD
  FROM WORDS ORDER BY NAME;
SET PLAN OFF;
SET TERM ^;
EXECUTE BLOCK RETURNS (UNUSABLE VARCHAR(130)) AS
  DECLARE CS VARCHAR(63); DECLARE COLL VARCHAR(63); DECLARE X VARCHAR(4);
BEGIN
  FOR SELECT TRIM(S.RDB\$CHARACTER_SET_NAME), TRIM(C.RDB\$COLLATION_NAME)
        FROM RDB\$COLLATIONS C JOIN RDB\$CHARACTER_SETS S ON S.RDB\$CHARACTER_SET_ID = C.RDB\$CHARACTER_SET_ID
        INTO CS, COLL DO
  BEGIN
    EXECUTE STATEMENT 'SELECT CAST(''A'' AS VARCHAR(4) CHARACTER SET ' || CS || ') COLLATE ' || COLL ||
                      ' FROM RDB\$DATABASE' INTO X;
    WHEN ANY DO BEGIN UNUSABLE = CS || ' ' || COLL; SUSPEND; END
  END
END^
SET TERM ;^
SELECT COUNT(*) AS COLLATIONS FROM RDB\$COLLATIONS;
DROP DATABASE;
SQL
# Trailing blanks of isql's columns and its blank lines aside.
sed 's/ *$//' "$work/out.txt" | grep -v '^$' >"$work/got.txt"
cat "$work/got.txt"
cat >"$work/want.txt" <<'OUT'
PLAN (WORDS ORDER WORDS_NAME)
WORD                            Арбуз 5 -
WORD                            Ель 3 -
WORD                            Ёлка 4 -
WORD                            Жук 3 Заметка: жёлтый
WORD                            яма 3 -
OUT
[ $status -eq 0 ] || { echo "isql failed" >&2; exit 1; }
grep -v '^COLLATIONS' "$work/got.txt" | diff "$work/want.txt" - || { echo "unexpected answer" >&2; exit 1; }
grep -qE '^COLLATIONS +[0-9]{3}$' "$work/got.txt" || { echo "fewer collations than the server ships" >&2; exit 1; }
