#!/usr/bin/env bash
# The show and the player through a real sound server: a PulseAudio of the test's own plays into
# a null sink whose monitor parec records. What the server played must be the render's frames
# value for value from the first sound on: no gap, no repeat, no resampling, no drift. While the
# show plays, its song clock is read beside the recording's growth to measure how far the mixer
# runs ahead of what the server plays, against the lag the picture assumes.
# Usage: sound_server_test.sh BUILD_DIR
set -u
build=$(cd "$1" && pwd)
source "$(dirname "$0")/xvfb_lib.sh"
source "$(dirname "$0")/sound_server_lib.sh"
start_display || exit 1

row=5292
checked_frames=$((20 * rate + rate / 2))  # at least 20 s of sound must be compared
assumed_lag_frames=4096                   # the frame driver draws frames_mixed - 4096

start_sound_server

# First byte of sound in a file of frames, as a frame number.
first_sound_frame() {
  local byte
  byte=$(cmp "$1" /dev/zero 2>/dev/null | sed -n 's/.*byte \([0-9]*\).*/\1/p')
  [ -n "$byte" ] || fail "$1 is silent"
  echo $(((byte - 1) / 4))
}

# Waits until recording $1 holds $2 frames after its first sound (up to 60 s).
wait_for_recorded() {
  local tries first
  for tries in $(seq 1 600); do
    if first=$(first_sound_frame "$1" 2>/dev/null) &&
      [ $(($(stat -c %s "$1") / 4 - first)) -ge "$2" ]; then
      return 0
    fi
    sleep 0.1
  done
  fail "the server did not record $2 frames of sound in time"
}

# Frames of the expected sound $2 missing before the first sound of recording $1: a stream that
# starts while its server is short of time may lose its first frames, fewer than a buffer of
# 1024, as under sdl12-compat (SDL 2's own buffer). Prints nothing when the first sound is not
# found so near the expected one.
start_loss() {
  local at from lost
  at=$(first_sound_frame "$1")
  from=$(first_sound_frame "$2")
  for lost in $(seq 0 1023); do
    cmp -s -n 4096 -i "$((at * 4)):$(((from + lost) * 4))" "$1" "$2" && echo "$lost" && return
  done
}

# First frame (after the first sound) where recording $1 leaves the expected frames $2, within
# $3 frames; nothing when they agree.
first_departure() {
  local at from lost byte
  lost=$(start_loss "$1" "$2")
  [ -n "$lost" ] || { echo 0; return; }
  at=$(first_sound_frame "$1")
  from=$(($(first_sound_frame "$2") + lost))
  byte=$(cmp -n $(($3 * 4)) -i "$((at * 4)):$((from * 4))" "$1" "$2" 2>&1 | sed -n 's/.*byte \([0-9]*\).*/\1/p')
  [ -z "$byte" ] || echo $(((byte - 1) / 4))
}

# Longest time in ms between two advances of the program's clock in probe log $1: how long its
# audio thread went without being scheduled.
longest_clock_stall_ms() {
  awk '$1 != "#" && $2 > 0 { if (seen && $2 != clock && $1 - at > longest) longest = $1 - at
                             if (!seen || $2 != clock) { clock = $2; at = $1; seen = 1 } }
       END { printf "%d", longest / 1000 }' "$1"
}

# The picture shows row (frames_mixed - 4096) / 5292. The recording's growth stands for what the
# server plays: the frame it holds last is the frame heard. From 1 s after the first sound up to
# frame $3 (the checked span, or where the recording departed), lag = clock - frame heard; it must
# stay positive (the mixer is ahead of the speaker) and steady (no drift). Prints the figures and
# sets samples, mean, low, high and drift (in frames).
measure_lag() {
  local log=$1 recorded=$2 to=$3 recorded_first render_first
  recorded_first=$(first_sound_frame "$recorded")
  render_first=$(first_sound_frame "$work/render.raw")
  samples='' mean='' low='' high='' drift=''
  read -r samples mean low high drift < <(awk -v first="$recorded_first" -v song_first="$render_first" \
    -v from="$rate" -v to="$to" '
    $1 == "#" { next }
    { heard = $3 / 4 - first + song_first }
    heard >= song_first + from && heard < song_first + to {
      lag = $2 - heard; n++; sum += lag
      if (n == 1 || lag < low) low = lag
      if (n == 1 || lag > high) high = lag
      if (heard < song_first + from + 5 * 44100) { early += lag; early_n++ }
      if (heard >= song_first + to - 5 * 44100) { late += lag; late_n++ }
    }
    END { if (n && early_n && late_n) printf "%d %.0f %d %d %.0f\n", n, sum / n, low, high, late / late_n - early / early_n }
    ' "$log")
  [ -n "$samples" ] || return 1
  echo "measured: the mixer runs $(ms "$mean") ms ahead of the server (from $(ms "$low") to $(ms "$high")" \
    "over $samples readings; drift $(ms "$drift") ms); the picture assumes $(ms $assumed_lag_frames) ms" \
    "and so shows the sound $(ms $((assumed_lag_frames - mean))) ms late (${buffer_ms:-default} buffers)"
}
ms() { awk -v f="$1" 'BEGIN { printf "%.1f", f * 1000 / 44100 }'; }

# Plays through the server with the probe watching: $1 names the program for the messages, $2
# the recording, $3 the expected frames, $4 the frames to compare, $5 the frames to wait for;
# then the command. The first attempt uses the buffers the program and server choose. Only when
# the recording departs while the program's own clock stood still for 29 ms or more (its audio
# thread, due every 12 or 23 ms, ran more than a quarter of a buffer late: a busy host; sdl12-compat
# over PulseAudio keeps about one buffer of slack) is it tried again, up to twice, with 1000 ms of
# buffer asked of the server (PULSE_LATENCY_MSEC); any other departure fails at once.
# Sets program, probe_log and buffer_ms.
play_and_compare() {
  local who=$1 recorded=$2 expected=$3 frames=$4 wait_frames=$5 attempt departure stall symbol
  shift 5
  symbol=$(nm "$1" | awk '$3 == "frames_mixed" { print $1 }')
  [ -n "$symbol" ] || fail "no frames_mixed among the symbols of $1"
  buffer_ms=''
  for attempt in 1 2 3; do
    start_recording "$recorded"
    wait_for_silence "$recorded"
    env ${buffer_ms:+PULSE_LATENCY_MSEC=$buffer_ms} SDL_AUDIODRIVER=pulse nice -n -15 "$@" </dev/null 2>"$work/stderr" &
    program=$!
    started_pids+=("$program")
    probe_log="$work/clock.log"
    chrt -f 10 "$build/clock_probe" "$program" "$1" "$symbol" "$recorded" >"$probe_log" &
    probe=$!
    started_pids+=("$probe")
    expect_test_sdl "$program"
    wait_for_recorded "$recorded" "$wait_frames"
    stop_program
    wait "$probe"
    stop_recording
    # Under sdl12-compat SDL 2 may print its own CRITICAL notices; the programs print nothing.
    grep -v '^CRITICAL: ' "$work/stderr" && fail "$who wrote to stderr"
    departure=$(first_departure "$recorded" "$expected" "$frames")
    [ "$who" = "the show" ] && measure_lag "$probe_log" "$recorded" "${departure:-$frames}"
    [ -z "$departure" ] && break
    stall=$(longest_clock_stall_ms "$probe_log")
    [ "$stall" -ge 29 ] && [ "$attempt" -lt 3 ] ||
      fail "$who: the recording leaves the render at frame $departure after the first sound (the program's clock stood still for $stall ms at most)"
    echo "again: $who's recording left the render at frame $departure; its clock stood still for $stall ms"
    buffer_ms=1000
  done
  echo "ok: $who: $frames frames recorded from the server equal the render, value for value" \
    "(${buffer_ms:-default} buffers; $(start_loss "$recorded" "$expected") frames lost at the start)"
}

# 1. The show: its recording against the render, and its clock against the recording.
"$build/kelvorinsaa-render" --frames 2000000 "$work/render.raw" || fail "the renderer failed"
stop_program() {
  local window
  window=$(wait_for_window Kelvorinsaa) || fail "no window titled Kelvorinsaa"
  xdotool mousemove --window "$window" 320 240 key space
  wait_for_exit "$program" 10 || fail "the show did not end on a key"
}
play_and_compare "the show" "$work/show.raw" "$work/render.raw" "$checked_frames" \
  $((checked_frames + rate)) "$build/kelvorinsaa" -w
[ -n "$samples" ] || fail "the probe saw no clock during the checked span: $(head -n 3 "$probe_log")"

[ "$low" -gt 0 ] || fail "the mixer fell behind what the server played (lag $low frames)"
[ "$high" -lt $((4 * assumed_lag_frames + ${buffer_ms:-0} * rate / 1000)) ] ||
  fail "the mixer ran $high frames ahead of the server"
[ "${drift#-}" -lt 1024 ] || fail "the lag drifted by $drift frames in 20 s"

# 2. The player in a loop: pass after pass, each seamless, as the render of the same rows.
from_row=16 to_row=64
pass_frames=$(((to_row - from_row) * row))
"$build/kelvorinsaa-render" --from $from_row --to $to_row "$work/pass.raw" || fail "the renderer failed"
for pass in 1 2 3 4 5; do cat "$work/pass.raw"; done >"$work/passes.raw"
stop_program() {
  local status
  kill -INT "$program"
  wait_for_exit "$program" 10
  status=$?
  [ "$status" -eq 130 ] || fail "the interrupted player gave status $status"
}
play_and_compare "the player's loop, 3 seams" "$work/loop.raw" "$work/passes.raw" \
  $((3 * pass_frames + rate / 2)) $((3 * pass_frames + rate)) \
  "$build/kelvorinsaa-play" --quiet --loop --from $from_row --to $to_row
