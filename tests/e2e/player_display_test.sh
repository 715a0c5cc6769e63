#!/usr/bin/env bash
# kelvorinsaa-play's status display under a pseudo-terminal (script): the row moves, keys act,
# and the terminal's settings and cursor are given back, on q and on Ctrl-C alike.
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
in_terminal() {
  local keys=$1 name=$2
  eval "$keys" | SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=/dev/null SDL_DISKAUDIODELAY=23 \
    timeout 60 script -qfec "trap : INT; stty -g >'$work/$name.before'; '$build/kelvorinsaa-play' \
      --song '$song'; echo status \$? >'$work/$name.status'; stty -g >'$work/$name.after'" \
    "$work/$name.typescript" >/dev/null
  cmp -s "$work/$name.before" "$work/$name.after" || fail "$name: the terminal was not restored"
  tail -c 400 "$work/$name.typescript" | grep -q $'\033\[?25h' || fail "$name: the cursor stays hidden"
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
