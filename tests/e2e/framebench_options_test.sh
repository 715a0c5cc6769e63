#!/usr/bin/env bash
# kelvorinsaa-framebench's command line: --help explains the options and the columns, and
# numbers that are not numbers, or out of range, are refused with status 2 before any window;
# under Xvfb, the --shots folder is made or refused in one line, and Ctrl-C or TERM end a run
# with 130 or 143.
# Usage: framebench_options_test.sh BUILD_DIR
set -u
set -m  # background jobs in their own groups, which, unlike those of a script, do not ignore INT
bench="$(cd "$1" && pwd)/kelvorinsaa-framebench"
source "$(dirname "$0")/xvfb_lib.sh"

help=$("$bench" --help) || fail "--help failed"
for words in "--frames N" "--level L" "--shots DIR" "Columns" "+swap ms" "21 x (N + 20) frames"; do
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

message=$(DISPLAY= "$bench" --frames 1 2>&1 >/dev/null)
[ $? -eq 1 ] && [ "$message" = "kelvorinsaa-framebench: no X display: DISPLAY is not set (start one, such as Xvfb :1 & DISPLAY=:1)" ] ||
  fail "without a display: $message"
start_display || exit 1
touch "$work/a_file"
while IFS='|' read -r expected dir; do
  message=$("$bench" --frames 1 --shots "$dir" 2>&1 >/dev/null)
  status=$?
  [ "$status" -eq 1 ] || fail "--shots $dir gave status $status"
  [ "$message" = "kelvorinsaa-framebench: ${expected//@/$work}" ] || fail "--shots $dir: got '$message'"
done <<CASES
@/a_file is not a folder|$work/a_file
cannot make the folder @/a_file/shots: Not a directory|$work/a_file/shots
CASES
echo "ok: a --shots folder that cannot be made is refused in one line"

# A missing folder is made; a run stopped before its first shot leaves it empty.
for case in "INT 130" "TERM 143"; do
  read -r signal expected <<<"$case"
  rm -rf "$work/new"
  "$bench" --frames 100000 --shots "$work/new/shots" >"$work/out" 2>"$work/err" &
  pid=$!
  started_pids+=("$pid")
  for _ in $(seq 1 100); do grep -q '^scene' "$work/out" && break; sleep 0.1; done
  kill "-$signal" "$pid"
  wait_for_exit "$pid" 20
  status=$?
  [ "$status" -eq "$expected" ] || fail "framebench stopped by $signal gave status $status"
  [ "$(cat "$work/err")" = "kelvorinsaa-framebench: interrupted" ] || fail "on $signal: $(cat "$work/err")"
  [ -d "$work/new/shots" ] && [ -z "$(ls -A "$work/new/shots")" ] || fail "--shots folder not made, or not empty"
done
echo "ok: --shots makes its folder; Ctrl-C and TERM end a run with 130 and 143"
