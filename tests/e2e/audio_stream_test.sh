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
wait_for_exit "$show_pid" 300
status=$?
[ "$status" -eq 0 ] || fail "the show ended with status $status (124: still running after 300 s)"
# SDL's disk driver announces itself on stderr; nothing else may be there.
grep -v -e "disk writer audio driver" -e "Writing to file" "$work/stderr" && fail "the show wrote to stderr"

"$build/kelvorinsaa-render" "$work/render.raw" || fail "the renderer failed"
[ "$(stat -c %s "$work/render.raw")" -eq "$bytes" ] || fail "the renderer wrote the wrong length"

# While the device is paused during start-up SDL writes whole buffers of silence to the file, so
# the callback's stream begins after them. Both streams are aligned at their first sound.
leading_zero_bytes() { cmp "$1" /dev/zero 2>/dev/null | sed -n 's/.*byte \([0-9]*\).*/\1/p' | tr -d '\n'; }
show_start=$(( $(leading_zero_bytes "$work/show.raw") - 1 ))
render_start=$(( $(leading_zero_bytes "$work/render.raw") - 1 ))
paused_bytes=$((show_start - render_start))
[ "$render_start" -gt 0 ] || fail "the render is silent"
[ $((paused_bytes % 4096)) -eq 0 ] || fail "the show's sound starts $paused_bytes bytes off a buffer"
size=$(stat -c %s "$work/show.raw")
[ "$size" -ge $((paused_bytes + bytes)) ] || fail "the show mixed fewer than its $show_frames frames"
cmp -n "$bytes" -i "$paused_bytes:0" "$work/show.raw" "$work/render.raw" ||
  fail "the show's stream differs from the render"
echo "ok: the show played to its end; its first $show_frames frames equal the render"
