#!/usr/bin/env bash
# kelvorinsaa-framebench's command line: --help explains the options and the columns, and
# numbers that are not numbers, or out of range, are refused with status 2 before any window.
# Usage: framebench_options_test.sh BUILD_DIR
set -u
bench="$1/kelvorinsaa-framebench"
fail() { echo "FAIL: $*" >&2; exit 1; }

help=$("$bench" --help) || fail "--help failed"
for words in "--frames N" "--level L" "--shots DIR" "Columns" "+swap ms" "a minute or two"; do
  grep -q -F -- "$words" <<<"$help" || fail "--help does not mention $words"
done
while read -r expected args; do
  # shellcheck disable=SC2086
  message=$(DISPLAY= "$bench" $args 2>&1 >/dev/null)
  status=$?
  [ "$status" -eq 2 ] || fail "'$args' gave status $status"
  grep -q -F -- "$expected" <<<"$message" || fail "'$args': expected '$expected', got '$message'"
done <<'CASES'
--frames --frames 0
--frames --frames 12x
--frames --frames 99999999999
--level --level 1.5
--level --level nan
value --level
unknown --fast
CASES
echo "ok: framebench --help and its checked numbers"
