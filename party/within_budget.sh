#!/usr/bin/env bash
# Holds the packed intro to the party budget. A song of the builder's own can push it past: then
# the intro is removed (with its copy in the release folder, which would no longer match the
# song), the reason is left in over_budget.txt for the intro's tests, and one line says by how
# much and what the song takes of it.
# Usage: within_budget.sh INTRO BUDGET SONG SQUEEZE RELEASE_DIR
set -euo pipefail
intro=$1 budget=$2 song=$3 squeeze=$4 release=$5
work=$(dirname "$intro")/intro
rm -f "$work/over_budget.txt"
size=$(stat -c %s "$intro")
[ "$size" -gt "$budget" ] || exit 0
# The song's share: its text squeezed on its own by the intro's packer, without the 4-byte size.
"$squeeze" "$song" "$work/song_alone.cm" >/dev/null
packed=$(($(stat -c %s "$work/song_alone.cm") - 4))
rm -f "$work/song_alone.cm" "$intro" "$release/kelvorinsaa-intro"
reason="kelvorinsaa-intro is $size bytes, $((size - budget)) over the party budget of $budget:"
reason+=" its song $song, $(stat -c %s "$song") bytes of text, packs to $packed of them"
echo "$reason" >"$work/over_budget.txt"
echo "$reason" >&2
exit 1
