#!/usr/bin/env bash
# The build's check of the show's song (tools/songcheck/check_show_song.sh), as the build runs it:
# a song with a fault stops it with that fault alone, on one line, and leaves no stamp; a good
# song passes and is stamped.
# Usage: show_song_check_test.sh SONGCHECK SOURCE_DIR
set -u
songcheck=$1 source=$2
step=$source/tools/songcheck/check_show_song.sh
fail() { echo "FAIL: $*" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Two faults; the first is reported. The picture's tempo is kept, so --show finds nothing else.
printf 'bpm:125\ni1:saha,2,6,1,2000,0\np1000:c4\nt1:p1,loop\nt2:p1000\n' >"$work/bad.txt"
touch "$work/stamp"
if bash "$step" "$work/stamp" "$songcheck" "$work/bad.txt" 2>"$work/err"; then
  fail "a song with a fault passed the check"
fi
[ "$(wc -l <"$work/err")" -eq 1 ] || fail "not one line: $(cat "$work/err")"
grep -q "^$work/bad.txt:3: " "$work/err" || fail "not the first fault with its line: $(cat "$work/err")"
[ ! -e "$work/stamp" ] || fail "a song with a fault left the stamp"

# A song the parser takes but the show cannot play is a fault too.
sed 's/bpm:125/bpm:128/; /p1000/d; /t2/d' "$work/bad.txt" >"$work/tempo.txt"
bash "$step" "$work/stamp" "$songcheck" "$work/tempo.txt" 2>"$work/err" && fail "tempo 128 passed"
grep -q "^$work/tempo.txt: rows of 5188 frames" "$work/err" || fail "tempo 128: $(cat "$work/err")"

bash "$step" "$work/stamp" "$songcheck" "$source/tests/music/golden/test_song.txt" ||
  fail "a good song failed the check"
[ -e "$work/stamp" ] || fail "a good song was not stamped"
echo "ok: a song's first fault stops the check on one line; a good song passes"
