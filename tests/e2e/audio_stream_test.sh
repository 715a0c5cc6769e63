#!/usr/bin/env bash
# The real show, with SDL writing its sound to a file as fast as it can mix: it must play to its
# own end and hand SDL exactly the stream that the offline renderer writes.
# Usage: audio_stream_test.sh BUILD_DIR
set -u
build=$(cd "$1" && pwd)
source "$(dirname "$0")/xvfb_lib.sh"
start_display || exit 1

show_frames=5762048
bytes=$((show_frames * 4))

SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/show.raw" SDL_DISKAUDIODELAY=0 \
  "$build/kelvorinsaa" -w 2>"$work/stderr" &
show_pid=$!
started_pids+=("$show_pid")
expect_test_sdl "$show_pid"
wait_for_exit "$show_pid" 300
status=$?
[ "$status" -eq 0 ] || fail "the show ended with status $status (124: still running after 300 s)"
# SDL's disk driver announces itself on stderr; nothing else may be there.
without_disk_driver_notices "$work/stderr" && fail "the show wrote to stderr"

"$build/kelvorinsaa-render" "$work/render.raw" || fail "the renderer failed"
[ "$(stat -c %s "$work/render.raw")" -eq "$bytes" ] || fail "the renderer wrote the wrong length"

expect_stream_equals_render "the show" "$work/show.raw" "$work/render.raw" "$bytes"
echo "ok: the show played to its end; its first $show_frames frames equal the render"
