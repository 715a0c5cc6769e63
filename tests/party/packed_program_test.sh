#!/usr/bin/env bash
# The intro's packer and stub on programs other than the intro: each packed program runs as the
# original does (arguments, environment, output, exit status), and the packer refuses what it
# cannot pack or unpack with a one-line error.
# Usage: packed_program_test.sh BUILD_DIR
set -u
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
squeeze=$build/intro/intro_squeeze
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

pack() {  # pack PROGRAM NAME: the packed copy is $work/NAME
  mkdir -p "$work/$2.d"
  bash "$here/../../party/pack.sh" "$1" "$work/$2.d" "$squeeze" "$work/$2" ||
    fail "cannot pack $1"
}

# A program of the system: its arguments and environment come through the stub unchanged.
pack /usr/bin/printenv printenv
out=$(env -i STUB_CHECK='a b' "$work/printenv" STUB_CHECK) || fail "packed printenv failed"
[ "$out" = "a b" ] || fail "packed printenv printed '$out', not 'a b'"
env -i "$work/printenv" NOT_SET && fail "packed printenv found a variable that is not set"

# The renderer: ten times the intro's size, another mix of code and tables; same bytes out.
pack "$build/kelvorinsaa-render" render
"$build/kelvorinsaa-render" --frames 20000 - >"$work/plain.raw" || fail "the renderer failed"
"$work/render" --frames 20000 - >"$work/packed.raw" || fail "the packed renderer failed"
cmp -s "$work/plain.raw" "$work/packed.raw" || fail "the packed renderer wrote other bytes"
"$build/kelvorinsaa-render" --no-such-flag 2>/dev/null
expected=$?
"$work/render" --no-such-flag 2>/dev/null
[ $? -eq "$expected" ] || fail "the packed renderer did not end with the original's status $expected"
echo "ok: packed printenv and renderer run as the originals"

# Refusals: no input, a file that is no payload, a program too large for the stub.
"$squeeze" "$work/missing" "$work/out" 2>"$work/err" && fail "packing a missing file succeeded"
grep -q "cannot read" "$work/err" || fail "no reason for a missing file: $(cat "$work/err")"
printf '\377\377\377\377junk' >"$work/junk"
"$squeeze" -d "$work/junk" "$work/out" 2>"$work/err" && fail "unpacking junk succeeded"
grep -q "not a payload" "$work/err" || fail "no reason for junk: $(cat "$work/err")"
head -c $((5 << 20)) /dev/zero >"$work/large"
"$squeeze" "$work/large" "$work/out" 2>"$work/err" && fail "packing 5 MiB succeeded"
grep -q "larger than" "$work/err" || fail "no reason for a large file: $(cat "$work/err")"
[ -e "$work/out" ] && fail "a refusal left $work/out"
echo "ok: the packer refuses a missing file, junk and a program too large, with a reason"
