#!/usr/bin/env bash
# kelvorinsaa-play --loop: the frame after the last of a pass is the first of the next, so that
# what SDL's disk driver receives is the render of the pass again and again, value for value.
# Passes whose ends fall inside a buffer and on a buffer's edge, from the song's start and later.
# Usage: player_loop_test.sh BUILD_DIR
set -u
build=$(cd "$1" && pwd)
source "$(dirname "$0")/xvfb_lib.sh"
row=5292

first_sound_byte() { cmp "$1" /dev/zero 2>/dev/null | sed -n 's/.*byte \([0-9]*\).*/\1/p'; }

# Loops rows $1 to $2 for a moment and checks the first $3 passes against the render.
expect_seamless_loop() {
  local from=$1 to=$2 passes=$3 pass_bytes skip pass
  pass_bytes=$(((to - from) * row * 4))
  "$build/kelvorinsaa-render" --from "$from" --to "$to" "$work/pass.raw" || fail "the renderer failed"
  for pass in $(seq 1 "$passes"); do cat "$work/pass.raw"; done >"$work/passes.raw"
  SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/loop.raw" SDL_DISKAUDIODELAY=0 \
    "$build/kelvorinsaa-play" --quiet --loop --from "$from" --to "$to" </dev/null 2>/dev/null &
  player=$!
  started_pids+=("$player")
  until [ "$(stat -c %s "$work/loop.raw" 2>/dev/null || echo 0)" -gt $((passes * pass_bytes + 2000000)) ]; do
    kill -0 "$player" 2>/dev/null || fail "the looping player ended by itself"
    sleep 0.2
  done
  kill -INT "$player"
  wait_for_exit "$player" 10
  [ $? -eq 130 ] || fail "the interrupted player did not give status 130"
  skip=$(($(first_sound_byte "$work/loop.raw") - $(first_sound_byte "$work/pass.raw")))
  [ $((skip % 4096)) -eq 0 ] || fail "rows $from to $to: the sound starts $skip bytes off a buffer"
  cmp -n $((passes * pass_bytes)) -i "$skip:0" "$work/loop.raw" "$work/passes.raw" ||
    fail "rows $from to $to: $passes passes differ from the render's pass repeated"
  rm -f "$work/loop.raw"
  echo "ok: rows $from to $to loop seamlessly for $passes passes of $((pass_bytes / 4)) frames"
}

expect_seamless_loop 16 20 40      # 21168 frames: each seam falls inside a buffer, somewhere else
expect_seamless_loop 0 3 40        # from the first frame of the song
expect_seamless_loop 64 320 2      # 1354752 frames: 1323 whole buffers, the seam on an edge
