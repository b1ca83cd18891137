#!/bin/bash
# How well the time left of the restore holds: `qvnoptimize optimize` rebuilds demo
# databases (scripts/make-demo-db.sh) of the given numbers of sale rows while its
# display is read through a terminal, each drawn row with the moment it was drawn.
# For each database it prints when the time left first showed (as a share of the
# restore), what it said at 25, 50 and 75 % of the restore against the time that
# really remained then, and the lowest and highest ratio from its first showing to
# the end (over the moments when at least 2 s remained: the display counts whole
# seconds). The restore runs from the stage line "ВОССТАНОВЛЕНИЕ ИЗ РЕЗЕРВНОЙ КОПИИ"
# to the success line.
#
#   scripts/bench-estimate.sh [ROWS...]           (default 300000 1500000)
#   QVN_FB_SERVER=fb4-super scripts/bench-estimate.sh 300000
#
# A database is made once per size and server and kept (build/bench-estimate/); each
# run rebuilds a copy of it. Figures only; nothing is asserted.
set -euo pipefail
cd "$(dirname "$0")/.."
[ $# -gt 0 ] || set -- 300000 1500000

cmake --preset linux >/dev/null
cmake --build --preset linux --target qvnoptimize fbUtils >/dev/null

work=$PWD/build/bench-estimate
site=$work/QORD
mkdir -p "$work/bin" "$site/DB" "$site/LogFiles"
trap './scripts/fbserver.sh stop "$work/fbserver" >/dev/null' EXIT
eval "$(./scripts/fbserver.sh start "$work/fbserver")"
cp build/linux/bin/qvnoptimize build/linux/bin/libfbUtils.so "$work/bin/"
printf '[Firebird]\nPassword=%s\nPort=%s\n' "$QVN_FB_PASSWORD" "$QVN_FB_PORT" >"$work/bin/fbUtils.ini"
export QVN_QORD_ROOT=$site

for rows in "$@"; do
    kept=$work/ZARVO-$QVN_FB_SERVER-$rows.FDB
    if [ ! -f "$kept" ]; then
        # Made under another name: a run cut short leaves nothing to be taken for it.
        ./scripts/make-demo-db.sh "$work/fbserver" "$kept.new" "$rows" >/dev/null
        mv "$kept.new" "$kept"
    fi
    db=$site/DB/ZARVO.FDB
    cp "$kept" "$db"
    # The display is redrawn in place only on a terminal: `script` gives it one.
    script -qfec "'$work/bin/qvnoptimize' optimize '$db'" /dev/null |
        perl -MTime::HiRes=time -ne 'printf "%.3f\t%s", time, $_' >"$work/display-$rows.txt"
    perl -CSD -Mutf8 -e '
        use strict;
        my ($rows, $server) = @ARGV[1, 2];
        open my $in, "<:encoding(UTF-8)", $ARGV[0] or die;
        my ($start, $end, @shown);
        while (<$in>) {
            my ($t, $text) = split /\t/, $_, 2;
            $text =~ s/\e\[[0-9;]*[A-Za-z]//g;
            $text =~ s/\r//g;
            $start //= $t if $text =~ /ВОССТАНОВЛЕНИЕ ИЗ РЕЗЕРВНОЙ КОПИИ/;
            $end = $t if $text =~ /УСПЕШНО ЗАВЕРШЕНА/;
            next unless defined $start && $text =~ /Осталось времени: ~(.*\S)/;
            my ($d, $s) = (0, $1);
            $d += $1 * 3600 if $s =~ /(\d+) ч/;
            $d += $1 * 60 if $s =~ /(\d+) мин/;
            $d += $1 if $s =~ /(\d+) с/;
            push @shown, [$t, $d];
        }
        die "no restore seen\n" unless defined $start && defined $end;
        my $length = $end - $start;
        printf "%s, %d sale rows: restore %.1f s", $server, $rows, $length;
        unless (@shown) { print "; the time left never showed\n"; exit; }
        printf "; time left first shown at %.0f %% of it\n", 100 * ($shown[0][0] - $start) / $length;
        # What stood on the display at a moment: the last row drawn before it.
        my $at = sub {
            my $when = shift;
            my $last;
            for (@shown) { last if $_->[0] > $when; $last = $_; }
            return $last;
        };
        for my $share (25, 50, 75) {
            my $when = $start + $length * $share / 100;
            my $row = $at->($when);
            my $left = $end - $when;
            if (!$row) { printf "  at %d %%: not shown yet (%.1f s remained)\n", $share, $left; next; }
            printf "  at %d %%: shown ~%d s, remained %.1f s (x%.2f)\n", $share, $row->[1], $left,
                   $row->[1] / $left;
        }
        my ($low, $high);
        for (my $when = $shown[0][0]; $end - $when >= 2; $when += 0.1) {
            my $ratio = $at->($when)->[1] / ($end - $when);
            $low = $ratio if !defined $low || $ratio < $low;
            $high = $ratio if !defined $high || $ratio > $high;
        }
        printf "  from first shown to 2 s before the end: x%.2f to x%.2f\n", $low, $high
            if defined $low;
    ' "$work/display-$rows.txt" "$rows" "$QVN_FB_SERVER"
done
