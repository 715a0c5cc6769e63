#!/usr/bin/env bash
# The packed intro's size and needs: at most the party budget, no library beyond SDL 1.2, libGL,
# libm and libc once unpacked, and only dlsym imported by name.
# Usage: check_intro.sh BUILD_DIR BUDGET
set -u
build=$1 budget=$2
fail() { echo "FAIL: $*" >&2; exit 1; }
# A song of the builder's own that does not fit makes no intro, and the build said so.
[ -f "$build/intro/over_budget.txt" ] && { echo "skipped: $(cat "$build/intro/over_budget.txt")"; exit 77; }
size=$(stat -c %s "$build/kelvorinsaa-intro") || fail "no packed intro"
echo "the intro is $size bytes, $((budget - size)) under the party budget of $budget"
[ "$size" -le "$budget" ] || fail "the intro grew to $size bytes, past the party budget of $budget"

needed=$(readelf -d "$build/intro/unpacked.elf" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | sort | tr '\n' ' ')
[ "$needed" = "libGL.so.1 libSDL-1.2.so.0 libc.so.6 libm.so.6 " ] ||
  fail "the unpacked intro needs $needed"
# Everything else comes through the import table: the program imports dlsym alone and exports
# nothing, or the libraries' own calls would bind to the intro's symbols.
imports=$(nm -D --undefined-only "$build/intro/linked.elf" | awk '{print $2}' | tr '\n' ' ')
[ "$imports" = "dlsym@GLIBC_2.34 " ] || fail "the intro imports $imports"
exports=$(nm -D --defined-only "$build/intro/linked.elf" | awk '{print $3}' | tr '\n' ' ')
[ -z "$exports" ] || fail "the intro exports $exports"
# What the packed file runs must be what was checked: its tail is the payload's coded bits (the
# stub has the size that heads them in the payload file), which unpack to those bytes.
coded_size=$(($(stat -c %s "$build/intro/payload.cm") - 4))
{ head -c 4 "$build/intro/payload.cm" && tail -c "$coded_size" "$build/kelvorinsaa-intro"; } \
  >"$build/intro/check_payload.cm"
"$build/intro/intro_squeeze" -d "$build/intro/check_payload.cm" "$build/intro/check_unpacked.elf" &&
  cmp -s "$build/intro/check_unpacked.elf" "$build/intro/unpacked.elf" ||
  fail "the payload does not unpack to intro/unpacked.elf"
echo "ok: the unpacked intro needs only $needed"
