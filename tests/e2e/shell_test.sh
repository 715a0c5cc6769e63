#!/usr/bin/env bash
# The show's shell end to end under Xvfb: window, caption, input that ends the show and input
# that does not, the windowed program name, and the one-line reports of a missing display or
# audio device.
# Usage: shell_test.sh BUILD_DIR
set -u
build=$(cd "$1" && pwd)
source "$(dirname "$0")/xvfb_lib.sh"
start_display || exit 1
export SDL_AUDIODRIVER=dummy
work=$(mktemp -d)
trap 'stop_started; rm -rf "$work"' EXIT

# Starts a program in the background with its stderr captured; sets show_pid.
start_show() {
  "$@" 2>"$work/stderr" &
  show_pid=$!
  started_pids+=("$show_pid")
}

expect_quiet_stderr() {
  [ ! -s "$work/stderr" ] || fail "$1 wrote to stderr: $(cat "$work/stderr")"
}

# -w: a 640 x 480 window titled Kelvorinsaa that a close request does not end but a key does.
start_show "$build/kelvorinsaa" -w
window=$(wait_for_window Kelvorinsaa) || fail "no window titled Kelvorinsaa"
geometry=$(xdotool getwindowgeometry "$window" | sed -n 's/.*Geometry: //p')
[ "$geometry" = 640x480 ] || fail "window is $geometry, not 640x480"
"$build/send_close_request" "$window"
sleep 1.5
kill -0 "$show_pid" 2>/dev/null || fail "a close request ended the show"
xdotool mousemove --window "$window" 320 240 key space
wait_for_exit "$show_pid" 5
status=$?
[ "$status" -eq 0 ] || fail "a key press gave status $status (124: still running)"
expect_quiet_stderr "kelvorinsaa -w"
echo "ok: -w window, close request ignored, key ends the show with 0"

# A mouse click ends it too.
start_show "$build/kelvorinsaa" -w
window=$(wait_for_window Kelvorinsaa) || fail "no window on the second start"
sleep 0.5
xdotool mousemove --window "$window" 100 100 click 1
wait_for_exit "$show_pid" 5
status=$?
[ "$status" -eq 0 ] || fail "a mouse click gave status $status"
echo "ok: a mouse click ends the show with 0"

# The name ending in w gives a window without arguments.
start_show "$build/kelvorinsaaw"
window=$(wait_for_window Kelvorinsaa) || fail "kelvorinsaaw opened no window"
geometry=$(xdotool getwindowgeometry "$window" | sed -n 's/.*Geometry: //p')
[ "$geometry" = 640x480 ] || fail "kelvorinsaaw window is $geometry"
xdotool mousemove --window "$window" 320 240 key Escape
wait_for_exit "$show_pid" 5 || fail "kelvorinsaaw did not end on a key"
echo "ok: kelvorinsaaw opens a window"

# Without an audio device the show still runs, after one warning line.
SDL_AUDIODRIVER=no-such-driver start_show "$build/kelvorinsaa" -w
window=$(wait_for_window Kelvorinsaa) || fail "no window without audio"
sleep 0.5
kill -0 "$show_pid" 2>/dev/null || fail "the show ended without audio"
xdotool mousemove --window "$window" 320 240 key space
wait_for_exit "$show_pid" 5 || fail "the silent show did not end on a key"
[ "$(wc -l <"$work/stderr")" -eq 1 ] || fail "expected one warning line, got: $(cat "$work/stderr")"
echo "ok: no audio device: one warning, the show runs"

# Without a display it says why in one line and fails.
DISPLAY=:9999 "$build/kelvorinsaa" -w 2>"$work/stderr"
status=$?
[ "$status" -ne 0 ] || fail "no display but status 0"
[ "$(wc -l <"$work/stderr")" -eq 1 ] || fail "expected one error line, got: $(cat "$work/stderr")"
echo "ok: no display: status $status, $(cat "$work/stderr")"
