#!/usr/bin/env bash
# The whole show under ThreadSanitizer: Xvfb, disk audio written as fast as the mixer goes,
# every frame drawn until the show ends by itself. Passes when the show ends with status 0
# after the whole song and ThreadSanitizer reports nothing outside Mesa and SDL (tsan.supp).
# Usage: tsan_show_run.sh BUILD_DIR_OF_A_THREADSANITIZER_BUILD
here=$(cd "$(dirname "$0")" && pwd)
build=$1
source "$here/xvfb_lib.sh"
start_display || exit 1

export SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/audio.raw" SDL_DISKAUDIODELAY=0
export TSAN_OPTIONS="suppressions=$here/tsan.supp halt_on_error=0 exitcode=66 log_path=$work/tsan"
"$build/kelvorinsaa" -w 2>"$work/stderr" &
show_pid=$!
started_pids+=("$show_pid")
wait_for_exit "$show_pid" 600
status=$?
cat "$work"/tsan.* >"$work/reports" 2>/dev/null
reports=$(grep -c "WARNING: ThreadSanitizer" "$work/reports")
if [ "$reports" -ne 0 ]; then
  grep -A 30 "WARNING: ThreadSanitizer" "$work/reports" | head -n 120 >&2
  fail "ThreadSanitizer reported $reports problems"
fi
[ "$status" -eq 0 ] || fail "the show ended with status $status: $(cat "$work/stderr")"
bytes=$(stat -c %s "$work/audio.raw")
[ "$bytes" -ge $((4 * 5762048)) ] || fail "only $bytes bytes of sound: the show did not play whole"

echo "ok: the whole show under ThreadSanitizer, no report in our code ($bytes bytes of sound)"
