#!/usr/bin/env bash
# kelvorinsaa-render's OUT.mid as mido (python3-mido) reads it: format 1, the tempo of four rows a
# beat, and each channel's notes on the rows --trace dispatches them, from --from on, with the
# muted channel left out. Skipped (77) where no python3 has mido.
# Usage: midi_mido_test.sh KELVORINSAA_RENDER SOURCE_DIR
set -euo pipefail
render=$1
source_dir=$2
python=""
for candidate in /usr/bin/python3 python3; do
  if "$candidate" -c 'import mido' 2>/dev/null; then
    python=$candidate
    break
  fi
done
if [[ -z $python ]]; then
  echo "skipped: no python3 with mido (Debian's python3-mido)"
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Tempo 128: rows of 5188 frames, a beat of 470566.9 microseconds, which the file rounds.
"$render" --song "$source_dir/tests/music/golden/engine_a.txt" --from 8 --to 120 --mute 2 \
  --trace "$work/trace.txt" "$work/song.mid"
"$python" - "$work/song.mid" "$work/trace.txt" <<'PY'
import re, sys
import mido

midi = mido.MidiFile(sys.argv[1])
assert midi.type == 1, midi.type
assert midi.ticks_per_beat == 480, midi.ticks_per_beat
tempos = [m.tempo for m in midi.tracks[0] if m.type == 'set_tempo']
assert tempos == [470567], tempos
names = 'c C d D e f F g G a A b'.split()
expected = {}  # channel -> [(tick, key)]
for line in open(sys.argv[2]):
    fields = line.split()
    row = int(fields[0]) - 8
    for field in fields[1:]:
        parts = field.split(':')
        if len(parts) == 5 and re.fullmatch(r'[cCdDefFgGaAb][1-6]', parts[4]):
            key = 24 + 12 * (int(parts[4][1]) - 1) + names.index(parts[4][0])
            expected.setdefault(int(parts[0]), []).append((row * 120, key))
expected.pop(2, None)
found = {}
for track in midi.tracks[1:]:
    channel = int(re.match(r'channel (\d+): ', track.name).group(1))
    tick = 0
    notes = []
    for message in track:
        tick += message.time
        if message.type == 'note_on' and message.velocity > 0:
            notes.append((tick, message.note))
    found[channel] = notes
assert found == expected, (sorted(found), sorted(expected))
assert sum(len(n) for n in found.values()) > 20
print('mido read', len(midi.tracks), 'tracks,', sum(len(n) for n in found.values()), 'notes')
PY
