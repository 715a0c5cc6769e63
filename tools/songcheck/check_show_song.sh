#!/usr/bin/env bash
# The build's check of the show's song: the song check with --show, whose first fault stops the
# build on one line (SONG:LINE: reason), after any warnings. The stamp says the song passed; a
# song with a fault leaves none, so the next build checks it again.
# Usage: check_show_song.sh STAMP CHECKER... SONG  (CHECKER: the program, with node before it
# in the web build)
set -u
stamp=$1
shift
rm -f "$stamp"
"${@:1:$#-1}" --show "${@: -1}" || exit 1
touch "$stamp"
