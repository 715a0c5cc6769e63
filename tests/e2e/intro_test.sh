#!/usr/bin/env bash
# The packed party intro end to end under Xvfb: it plays to its own end with status 0 and hands
# SDL exactly the renderer's stream; -w, the name ending in w and a key press work as in the
# show; and it unpacks without leaving a file behind.
# Usage: intro_test.sh BUILD_DIR
set -u
build=$(cd "$1" && pwd)
source "$(dirname "$0")/xvfb_lib.sh"
intro=$build/kelvorinsaa-intro
# A song of the builder's own that does not fit makes no intro, and the build said so.
[ -f "$build/intro/over_budget.txt" ] && { echo "skipped: $(cat "$build/intro/over_budget.txt")"; exit 77; }
[ -x "$intro" ] || fail "no $intro"
start_display || exit 1

show_frames=5762048
bytes=$((show_frames * 4))

SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/intro.raw" SDL_DISKAUDIODELAY=0 \
  TMPDIR="$work/tmp" "$intro" -w 2>"$work/stderr" &
show_pid=$!
started_pids+=("$show_pid")
mkdir -p "$work/tmp"
expect_test_sdl "$show_pid"
wait_for_exit "$show_pid" 300
status=$?
[ "$status" -eq 0 ] || fail "the intro ended with status $status (124: still running after 300 s)"
without_disk_driver_notices "$work/stderr" && fail "the intro wrote to stderr"
[ -z "$(ls -A "$work/tmp")" ] || fail "the intro left files in TMPDIR: $(ls "$work/tmp")"

"$build/kelvorinsaa-render" "$work/render.raw" || fail "the renderer failed"
expect_stream_equals_render "the intro" "$work/intro.raw" "$work/render.raw" "$bytes"
echo "ok: the intro played to its end; its first $show_frames frames equal the render"

export SDL_AUDIODRIVER=dummy
desktop_windows=$(screen_sized_windows)

# Starts the intro as given, expects a 640 x 480 window ($1 = window) or the full screen
# ($1 = full), then ends it with a key press and expects status 0.
expect_mode_and_key() {
  local mode=$1 window geometry status
  shift
  "$@" &
  show_pid=$!
  started_pids+=("$show_pid")
  window=$(wait_for_window Kelvorinsaa) || fail "$* opened no window titled Kelvorinsaa"
  sleep 0.5
  if [ "$mode" = window ]; then
    geometry=$(xdotool getwindowgeometry "$window" | sed -n 's/.*Geometry: //p')
    [ "$geometry" = 640x480 ] || fail "$*: window is $geometry, not 640x480"
    [ "$(screen_sized_windows)" -eq "$desktop_windows" ] || fail "$* went full screen"
  else
    [ "$(screen_sized_windows)" -gt "$desktop_windows" ] || fail "$* did not go full screen"
  fi
  xdotool mousemove --window "$window" 320 240 key space
  wait_for_exit "$show_pid" 5
  status=$?
  [ "$status" -eq 0 ] || fail "$*: a key press gave status $status (124: still running)"
}

expect_mode_and_key window "$intro" -w
expect_mode_and_key full "$intro"
expect_mode_and_key window "$build/kelvorinsaa-introw"
expect_mode_and_key full "$build/kelvorinsaa-introw" -w
echo "ok: -w and the name ending in w choose the window as in the show; a key ends it with 0"
