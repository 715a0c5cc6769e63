#!/usr/bin/env bash
# kelvorinsaa-play's status display under a pseudo-terminal (script): the row moves, keys act,
# and the terminal's settings and cursor are given back on every way out: q, Ctrl-C, a signal
# that asks it to end, a fatal signal, and a song it refuses.
# Usage: player_display_test.sh BUILD_DIR
set -u
build=$(cd "$1" && pwd)
source "$(dirname "$0")/xvfb_lib.sh"
song="$(cd "$(dirname "$0")/../music/golden" && pwd)/test_song.txt"

# Waits (up to 20 s) until the player's display has been drawn into typescript $1, so that keys
# and Ctrl-C reach a player that has taken the terminal, however slowly the machine starts it.
display_drawn() {
  local tries=0
  until grep -aq 'of 1088' "$1" 2>/dev/null || [ $((tries += 1)) -gt 200 ]; do sleep 0.1; done
}

# Runs the player in a pseudo-terminal fed with $1 (a shell snippet that prints keys). Ctrl-C
# reaches the whole foreground group: the shell around the player traps it so that it outlives
# the player and records its status (dash, script's shell without $SHELL, would die of it).
# The player writes its process id to $work/NAME.pid (it is exec'd), so that a test can signal it.
# $3 is the song (default: the test song).
printf '#!/bin/sh\necho $$ >"$PID_FILE"\nexec "$@"\n' >"$work/exec_player.sh"
in_terminal() {
  local keys=$1 name=$2 song_file=${3:-$song}
  eval "$keys" | SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/$name.raw" SDL_DISKAUDIODELAY=23 \
    PID_FILE="$work/$name.pid" timeout 60 script -qfec "trap : INT; ulimit -c 0; stty -g >'$work/$name.before'; \
      sh '$work/exec_player.sh' '$build/kelvorinsaa-play' --song '$song_file'; \
      echo status \$? >'$work/$name.status'; stty -g >'$work/$name.after'" \
    "$work/$name.typescript" >/dev/null
  cmp -s "$work/$name.before" "$work/$name.after" || fail "$name: the terminal was not restored"
  if grep -aq $'\033\[?25l' "$work/$name.typescript"; then
    tail -c 400 "$work/$name.typescript" | grep -q $'\033\[?25h' || fail "$name: the cursor stays hidden"
  fi
}

in_terminal "display_drawn '$work/quit.typescript'; sleep 0.5; printf 2; sleep 1; printf q" quit
rows=$(grep -ao 'row *[0-9]* of 1088' "$work/quit.typescript" | awk '{print $2}' | sort -un | wc -l)
[ "$rows" -ge 3 ] || fail "the display showed $rows different rows"
grep -aq ' mute' "$work/quit.typescript" || fail "the key 2 did not mark channel 2 muted"
grep -aq '^ *1 .*p3 ' "$work/quit.typescript" || fail "no channel line for track 1's pattern 3"
grep -q 'status 0' "$work/quit.status" || fail "q did not end the player with status 0"
echo "ok: the display moved through $rows rows; q restored the terminal"

in_terminal "display_drawn '$work/interrupt.typescript'; sleep 0.3; printf '\003'" interrupt
grep -q "status 130" "$work/interrupt.status" || fail "Ctrl-C: $(cat "$work/interrupt.status"), not 130"
echo "ok: Ctrl-C restored the terminal and gave status 130"

# Signals sent to the player alone: it ends as the shell expects (128 + the signal's number),
# the fatal ones by the signal itself, and the terminal is as it was in every case.
for signal in TERM HUP SEGV FPE ABRT; do
  name=signal_$signal
  in_terminal "display_drawn '$work/$name.typescript'; sleep 0.3; kill -$signal \$(cat '$work/$name.pid')" \
    "$name"
  expected=$((128 + $(kill -l "$signal")))
  grep -q "status $expected" "$work/$name.status" ||
    fail "SIG$signal: $(cat "$work/$name.status"), not $expected"
done
echo "ok: TERM, HUP, SEGV, FPE and ABRT restored the terminal and ended the player as signals do"

# A song without a tempo line: one line, status 1, the terminal untouched.
: >"$work/empty.txt"
in_terminal "sleep 1" bad_song "$work/empty.txt"
grep -q "status 1" "$work/bad_song.status" || fail "a bad song: $(cat "$work/bad_song.status")"
grep -aq "empty.txt: no tempo line (bpm:N), nothing to play" "$work/bad_song.typescript" ||
  fail "a bad song: no reason given"
echo "ok: a song without a tempo line was refused with its reason"
