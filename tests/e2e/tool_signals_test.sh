#!/usr/bin/env bash
# Ctrl-C and TERM end the command-line tools with the status a shell gives a program killed by
# the signal (130, 143), leaving nothing half-written: kelvorinsaa-render into a file and into a
# FIFO nobody reads, and kelvorinsaa-songcheck waiting on its standard input. (The capture and
# the frame timer have their own tests.)
# Usage: tool_signals_test.sh BUILD_DIR
set -u
set -m  # background jobs in their own groups, which, unlike those of a script, do not ignore INT
build=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# Runs the rest in the background, sends signal $1 after $2 seconds and checks for status $3.
stop_after() {
  local signal=$1 delay=$2 expected=$3 pid status i
  shift 3
  "$@" <&0 >/dev/null 2>"$work/err" &
  pid=$!
  sleep "$delay"
  kill "-$signal" "$pid" || fail "$1 ended before the $signal"
  for i in $(seq 1 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  if kill -0 "$pid" 2>/dev/null; then
    kill -KILL "$pid"
    fail "$* did not stop on $signal"
  fi
  wait "$pid"
  status=$?
  [ "$status" -eq "$expected" ] || fail "$* stopped by $signal: status $status, not $expected"
}

# A render of 30000 s takes a minute: stopped at once, it leaves no file and no temporary one.
stop_after INT 1 130 "$build/kelvorinsaa-render" --to-time 30000 "$work/long.wav"
[ -z "$(ls -A "$work" | grep -v -x err)" ] || fail "left behind: $(ls -A "$work")"
# Under nohup the hang-up is ignored, as asked; TERM still stops it.
(trap '' HUP; exec "$build/kelvorinsaa-render" --to-time 30000 "$work/long.wav") 2>"$work/err" &
pid=$!
sleep 1
kill -HUP "$pid"
sleep 0.5
kill -0 "$pid" 2>/dev/null || fail "an ignored HUP stopped the render"
kill -TERM "$pid"
wait "$pid"
status=$?
[ "$status" -eq 143 ] || fail "render stopped by TERM after an ignored HUP: status $status"
[ -z "$(ls -A "$work" | grep -v -x err)" ] || fail "left behind: $(ls -A "$work")"
# A write blocked on a full FIFO returns when the signal comes: this shell holds the FIFO open
# and never reads it.
mkfifo "$work/fifo.raw"
exec 3<>"$work/fifo.raw"
stop_after TERM 1 143 "$build/kelvorinsaa-render" --to-time 30000 "$work/fifo.raw"
[ "$(ls -A "$work" | tr '\n' ' ')" = "err fifo.raw " ] || fail "left behind: $(ls -A "$work")"
echo "ok: kelvorinsaa-render stopped by INT and TERM: 130 and 143, nothing left"

# The song check writes nothing: waiting for a song on its standard input, the signal ends it.
stop_after INT 1 130 "$build/kelvorinsaa-songcheck" - <&3
stop_after TERM 1 143 "$build/kelvorinsaa-songcheck" - <&3
exec 3<&-
echo "ok: kelvorinsaa-songcheck stopped by INT and TERM: 130 and 143"
