#!/usr/bin/env bash
# kelvorinsaa-play headless: SDL's disk driver writes what the player's callback produced, which
# must be the renderer's frames for the same rows, mutes, seeks and reloads.
# Usage: player_test.sh BUILD_DIR
set -u
build=$(cd "$1" && pwd)
source "$(dirname "$0")/xvfb_lib.sh"
song="$(dirname "$0")/../music/golden/test_song.txt"
row=5292

# Plays with the disk driver into $1 (further arguments go to the player), input from stdin.
play() {
  local out=$1
  shift
  SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$out" SDL_DISKAUDIODELAY=${delay:-0} \
    timeout 60 "$build/kelvorinsaa-play" --quiet "$@" 2>"$work/play_stderr"
}
render() { "$build/kelvorinsaa-render" "$@" || fail "the renderer failed: $*"; }
first_sound() { cmp "$1" /dev/zero 2>/dev/null | sed -n 's/.*byte \([0-9]*\).*/\1/p'; }
# The bytes of silence SDL wrote while the device was still paused: whole buffers.
pause_bytes() {
  local skip=$(( $(first_sound "$1") - $(first_sound "$2") ))
  [ $((skip % 4096)) -eq 0 ] || fail "$1 starts $skip bytes off a buffer"
  echo "$skip"
}
# First byte where $1 (after $3 bytes) and $2 differ, as a frame counted in whole buffers.
first_difference() {
  local byte
  byte=$(cmp -i "$3:0" "$1" "$2" 2>/dev/null | sed -n 's/.*byte \([0-9]*\).*/\1/p')
  [ -n "$byte" ] || fail "$1 never leaves $2"
  echo $(( (byte - 1) / 4096 * 1024 ))
}

# Rows 3 to 40 are the renderer's rows 3 to 40.
play "$work/rows.raw" --song "$song" --from 3 --to 40 </dev/null || fail "the player failed"
render --song "$song" --from 3 --to 40 "$work/rows_ref.raw"
skip=$(pause_bytes "$work/rows.raw" "$work/rows_ref.raw")
cmp -n $((37 * row * 4)) -i "$skip:0" "$work/rows.raw" "$work/rows_ref.raw" ||
  fail "--from 3 --to 40 differs from the render"
echo "ok: --from and --to"

# Muted and soloed channels against the song without those instruments.
grep -v '^i2:' "$song" >"$work/without_two.txt"
play "$work/mute.raw" --song "$song" --to 30 --mute 2 </dev/null || fail "the player failed"
render --song "$work/without_two.txt" --to 30 "$work/mute_ref.raw"
skip=$(pause_bytes "$work/mute.raw" "$work/mute_ref.raw")
cmp -n $((30 * row * 4)) -i "$skip:0" "$work/mute.raw" "$work/mute_ref.raw" || fail "--mute 2 differs"
grep '^bpm' "$song" >"$work/only_five.txt"
grep '^i5:' "$song" >>"$work/only_five.txt"
grep -e '^p' -e '^t' "$song" >>"$work/only_five.txt"
play "$work/solo.raw" --song "$song" --to 30 --solo 5 </dev/null || fail "the player failed"
render --song "$work/only_five.txt" --to 30 "$work/solo_ref.raw"
skip=$(pause_bytes "$work/solo.raw" "$work/solo_ref.raw")
cmp -n $((30 * row * 4)) -i "$skip:0" "$work/solo.raw" "$work/solo_ref.raw" || fail "--solo 5 differs"
echo "ok: mute and solo"

# A seek of a bar lands where a play from the start is, 16 rows after the row it left.
mkfifo "$work/keys"
delay=5 play "$work/seek.raw" --song "$song" --to 300 <"$work/keys" &
player=$!
started_pids+=("$player")
exec 7>"$work/keys"
expect_test_sdl "$player"
sleep 1.5
printf '\033[C' >&7
wait_for_exit "$player" 60 || fail "the player did not end after a seek"
exec 7>&-
render --song "$song" --to 300 "$work/seek_ref.raw"
skip=$(pause_bytes "$work/seek.raw" "$work/seek_ref.raw")
left=$(first_difference "$work/seek.raw" "$work/seek_ref.raw" "$skip")
target=$(( left / row + 16 ))
length=$(( (300 - target) * row * 4 ))
cmp -n "$length" -i "$((skip + left * 4)):$((target * row * 4))" "$work/seek.raw" \
  "$work/seek_ref.raw" || fail "the seek from frame $left did not land on row $target"
echo "ok: a seek from frame $left lands on row $target"

# --watch: a changed file plays on from the same frame; a broken one keeps the last good song.
cp "$song" "$work/watched.txt"
sed 's/^i2:saha/i2:kantti/' "$song" >"$work/changed.txt"
delay=5 play "$work/watch.raw" --song "$work/watched.txt" --watch --to 300 </dev/null &
player=$!
started_pids+=("$player")
sleep 1.5
cp "$work/changed.txt" "$work/watched.txt.new" && mv "$work/watched.txt.new" "$work/watched.txt"
sleep 1
: >"$work/watched.txt"  # a save that truncates first: for a moment the song has no tempo line
sleep 1
printf 'bpm:125\np1000:c4\n' >"$work/watched.txt"
wait_for_exit "$player" 60 || fail "the watching player did not end"
render --song "$song" --to 300 "$work/watch_a.raw"
render --song "$work/changed.txt" --to 300 "$work/watch_b.raw"
skip=$(pause_bytes "$work/watch.raw" "$work/watch_a.raw")
left=$(first_difference "$work/watch.raw" "$work/watch_a.raw" "$skip")
[ "$left" -gt 0 ] || fail "the reload came before any sound"
cmp -n $((300 * row * 4 - left * 4)) -i "$((skip + left * 4)):$((left * 4))" "$work/watch.raw" \
  "$work/watch_b.raw" || fail "after the reload at frame $left the changed song did not play on"
echo "ok: --watch reloaded at frame $left and kept playing through an emptied and a broken save"

# No audio device: one line with the cause and a nonzero status.
SDL_AUDIODRIVER=no_such_driver "$build/kelvorinsaa-play" --quiet </dev/null 2>"$work/err"
status=$?
[ "$status" -ne 0 ] || fail "no audio device gave status 0"
[ "$(wc -l <"$work/err")" -eq 1 ] && grep -q "cannot .*audio" "$work/err" ||
  fail "no audio device: $(cat "$work/err")"
echo "ok: without an audio device: $(cat "$work/err")"
