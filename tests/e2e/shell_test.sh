#!/usr/bin/env bash
# The show's shell end to end under Xvfb: window, caption, input that ends the show and input
# that does not, the signals that end it, the windowed program name, and the one-line reports of
# a missing display or audio device.
# Usage: shell_test.sh BUILD_DIR
set -u
build=$(cd "$1" && pwd)
source "$(dirname "$0")/xvfb_lib.sh"
start_display || exit 1
export SDL_AUDIODRIVER=dummy

# Starts a program in the background with its stderr captured; sets show_pid.
start_show() {
  "$@" 2>"$work/stderr" &
  show_pid=$!
  started_pids+=("$show_pid")
}

desktop_windows=$(screen_sized_windows)

expect_quiet_stderr() {
  [ ! -s "$work/stderr" ] || fail "$1 wrote to stderr: $(cat "$work/stderr")"
}

# -w: a 640 x 480 window titled Kelvorinsaa that a close request does not end but a key does.
start_show "$build/kelvorinsaa" -w
window=$(wait_for_window Kelvorinsaa) || fail "no window titled Kelvorinsaa"
expect_test_sdl "$show_pid"
geometry=$(xdotool getwindowgeometry "$window" | sed -n 's/.*Geometry: //p')
[ "$geometry" = 640x480 ] || fail "window is $geometry, not 640x480"
[ "$(screen_sized_windows)" -eq "$desktop_windows" ] || fail "-w went full screen"
"$build/send_close_request" "$window"
sleep 1.5
kill -0 "$show_pid" 2>/dev/null || fail "a close request ended the show"
xdotool mousemove --window "$window" 320 240 key space
wait_for_exit "$show_pid" 5
status=$?
[ "$status" -eq 0 ] || fail "a key press gave status $status (124: still running)"
expect_quiet_stderr "kelvorinsaa -w"
echo "ok: -w window, close request ignored, key ends the show with 0"

# INT, TERM and HUP end it through its shut-down, with 128 + the signal (within a second on an
# idle machine; a busy one is given ten, as a show still running then has hung). Job control
# keeps the background show from starting with INT ignored, as a script's jobs do.
for signal_name in INT TERM HUP; do
  set -m
  start_show "$build/kelvorinsaa" -w
  set +m
  wait_for_window Kelvorinsaa >/dev/null || fail "no window before SIG$signal_name"
  sleep 0.5
  kill -s "$signal_name" "$show_pid"
  wait_for_exit "$show_pid" 10
  status=$?
  expected=$((128 + $(kill -l "$signal_name")))
  [ "$status" -eq "$expected" ] || fail "SIG$signal_name gave status $status, not $expected (124: running)"
  expect_quiet_stderr "kelvorinsaa -w ended by SIG$signal_name"
done
echo "ok: INT, TERM and HUP end the show with 130, 143 and 129"

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
[ "$(screen_sized_windows)" -eq "$desktop_windows" ] || fail "kelvorinsaaw went full screen"
xdotool mousemove --window "$window" 320 240 key Escape
wait_for_exit "$show_pid" 5 || fail "kelvorinsaaw did not end on a key"
echo "ok: kelvorinsaaw opens a window"

# Without arguments the show covers the screen, and so does kelvorinsaaw -w.
for command in "$build/kelvorinsaa" "$build/kelvorinsaaw -w"; do
  start_show $command
  window=$(wait_for_window Kelvorinsaa) || fail "$command opened nothing"
  sleep 0.5
  [ "$(screen_sized_windows)" -gt "$desktop_windows" ] || fail "$command did not go full screen"
  xdotool mousemove --window "$window" 320 240 key space
  wait_for_exit "$show_pid" 5 || fail "$command did not end on a key"
done
echo "ok: full screen without -w, and for kelvorinsaaw -w"

# Without an audio device the show still runs, after one warning line.
SDL_AUDIODRIVER=no-such-driver start_show "$build/kelvorinsaa" -w
window=$(wait_for_window Kelvorinsaa) || fail "no window without audio"
sleep 0.5
kill -0 "$show_pid" 2>/dev/null || fail "the show ended without audio"
xdotool mousemove --window "$window" 320 240 key space
wait_for_exit "$show_pid" 5 || fail "the silent show did not end on a key"
[ "$(wc -l <"$work/stderr")" -eq 1 ] || fail "expected one warning line, got: $(cat "$work/stderr")"
echo "ok: no audio device: one warning, the show runs"

# Without a display it says why in one line and fails, without SDL's text-mode fallback taking
# the terminal: also when no driver is chosen, and when DISPLAY is not set at all.
expect_no_display() {  # $1: what the line must name; the rest: the environment
  local expected=$1
  shift
  env -u SDL_VIDEODRIVER -u DISPLAY "$@" "$build/kelvorinsaa" -w 2>"$work/stderr" </dev/null
  status=$?
  [ "$status" -ne 0 ] || fail "no display but status 0"
  [ "$(wc -l <"$work/stderr")" -eq 1 ] || fail "expected one error line, got: $(cat "$work/stderr")"
  grep -q "^kelvorinsaa: no display could be opened ($expected)" "$work/stderr" ||
    fail "the line does not say which display was tried: $(cat "$work/stderr")"
  echo "ok: no display: status $status, $(cat "$work/stderr")"
}
expect_no_display "DISPLAY=:9999" SDL_VIDEODRIVER=x11 DISPLAY=:9999
expect_no_display "DISPLAY=:9999" DISPLAY=:9999
expect_no_display "DISPLAY is not set"
