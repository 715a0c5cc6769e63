#!/usr/bin/env bash
# The engine compiled for WebAssembly and run under node must write the native renderer's bytes:
# the whole built-in show and each golden song, as far as the golden test plays them, and a start
# late in the show. Its long is 32 bits wide, so it must also refuse the numbers the native
# parser refuses.
# Usage: engine_matches_native.sh KELVORINSAA_RENDER NODE_RENDER_JS SOURCE_DIR
set -euo pipefail
render=$1 harness=$2 source=$3
fail() { echo "FAIL: $*" >&2; exit 1; }
[ -f "$harness" ] || fail "no $harness: build the web build first (emcmake cmake -S . -B build-web)"
node_program=${NODE:-node}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The web build carries the song it was configured with, which need not be this build's: the
# native side plays its copy of it as a song file.
web_song=$(dirname "$harness")/generated/show_song.txt
[ -f "$web_song" ] || fail "no $web_song: build the web build again"
native_song=(--song "$web_song")

# Renders NAME both ways with the given options and compares the streams byte for byte.
compare() {
  local name=$1
  shift
  "$render" "${native_song[@]}" "$@" "$work/native.raw" || fail "$name: kelvorinsaa-render failed"
  "$node_program" "$harness" "$@" "$work/web.raw" || fail "$name: the web engine failed"
  local native_size web_size
  native_size=$(stat -c %s "$work/native.raw")
  web_size=$(stat -c %s "$work/web.raw")
  if ! difference=$(cmp "$work/native.raw" "$work/web.raw" 2>&1); then
    fail "$name: the web engine's stream differs ($difference; $native_size and $web_size bytes;" \
      "a frame is 4 bytes)"
  fi
  echo "ok: $name, $((native_size / 4)) frames alike"
}

compare "built-in show" --frames 5762048
# A start late in the song, brought there channel by channel, is the same on both.
compare "built-in show from row 1000" --from 1000 --frames 100000
native_song=()
for song in "$source"/tests/music/golden/*.txt; do
  compare "$(basename "$song")" --song "$song" --frames 1500003
done

# Under a 32-bit long a reader that clamps to it would take 2147483648 as 2147483647.
for number in 2147483648 -2147483649 9223372036854775808; do
  printf 'bpm:125\np1:vol,%s\n' "$number" >"$work/wide.txt"
  for program in "$render" "$node_program $harness"; do
    # shellcheck disable=SC2086  # the node command is two words
    if $program --song "$work/wide.txt" --frames 1 "$work/wide.raw" 2>"$work/error.txt"; then
      fail "$program accepted the number $number"
    fi
    grep -q "line 2: number \"$number\" is outside the 32-bit range" "$work/error.txt" ||
      fail "$program: $(cat "$work/error.txt")"
  done
done
echo "ok: numbers beyond 32 bits refused alike"
