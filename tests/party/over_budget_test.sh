#!/usr/bin/env bash
# The intro's budget step (party/within_budget.sh) on a packed intro past the budget: one line
# with the bytes over and the song's share, no intro left in the build or its release folder,
# and the reason kept for the intro's tests; an intro of exactly the budget passes.
# Usage: over_budget_test.sh SQUEEZE SOURCE_DIR
set -u
squeeze=$1 source=$2
fail() { echo "FAIL: $*" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/intro" "$work/release"
song=$source/src/music/song.txt

head -c 9000 /dev/urandom >"$work/kelvorinsaa-intro"
cp "$work/kelvorinsaa-intro" "$work/release/"
if bash "$source/party/within_budget.sh" "$work/kelvorinsaa-intro" 8192 "$song" "$squeeze" \
  "$work/release" 2>"$work/err"; then
  fail "an intro of 9000 bytes passed a budget of 8192"
fi
[ "$(wc -l <"$work/err")" -eq 1 ] || fail "not one line: $(cat "$work/err")"
line=$(cat "$work/err")
# The song's text squeezes to less than its 4468 bytes, and to more than nothing.
[[ $line =~ ^"kelvorinsaa-intro is 9000 bytes, 808 over the party budget of 8192: its song $song, 4468 bytes of text, packs to "([0-9]+)" of them"$ ]] ||
  fail "the line: $line"
share=${BASH_REMATCH[1]}
[ "$share" -gt 0 ] && [ "$share" -lt 4468 ] || fail "the song's share: $share"
[ ! -e "$work/kelvorinsaa-intro" ] && [ ! -e "$work/release/kelvorinsaa-intro" ] ||
  fail "an intro past the budget was left"
cmp -s "$work/err" "$work/intro/over_budget.txt" || fail "the reason was not kept for the tests"

head -c 8192 /dev/urandom >"$work/kelvorinsaa-intro"
bash "$source/party/within_budget.sh" "$work/kelvorinsaa-intro" 8192 "$song" "$squeeze" \
  "$work/release" || fail "an intro of exactly the budget failed"
[ -e "$work/kelvorinsaa-intro" ] && [ ! -e "$work/intro/over_budget.txt" ] ||
  fail "an intro within the budget was removed, or the old reason kept"
echo "ok: an intro past the budget fails on one line with the song's share"
