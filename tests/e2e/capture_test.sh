#!/usr/bin/env bash
# kelvorinsaa-capture end to end under Xvfb: a short capture into a folder (frames, determinism,
# the renderer's sound), a short video checked with ffprobe, and every refusal leaving nothing.
# Usage: capture_test.sh BUILD_DIR
set -u
set -m  # background jobs in their own groups, which, unlike those of a script, do not ignore INT
build=$(cd "$1" && pwd)
capture="$build/kelvorinsaa-capture"
source "$(dirname "$0")/xvfb_lib.sh"
start_display || exit 1

# Nothing but the expected names may be left in the scratch folder after a run.
expect_only() {
  local left
  left=$(cd "$work" && ls -A | grep -v -x -e render.raw -e log -e bin -e a_file "$@" | tr '\n' ' ')
  [ -z "$left" ] || fail "left behind: $left"
}

# Runs the capture expecting failure with a message containing $1; the rest are its arguments.
expect_refusal() {
  local words=$1
  shift
  "$@" >"$work/log" 2>&1 && fail "accepted: $*"
  grep -q -F -- "$words" "$work/log" || fail "for '$*' expected '$words', got: $(cat "$work/log")"
  [ "$(wc -l <"$work/log")" -eq 1 ] || fail "more than one line: $(cat "$work/log")"
  expect_only
}

# 1. Two seconds at 10 fps from 20 s: 20 frames with a picture, twice the same bytes, and the
#    sound of frames 882000 ... 969999 of the renderer's stream.
"$capture" --fps 10 --from 20 --to 22 "$work/a/" 2>"$work/log" || fail "capture: $(cat "$work/log")"
[ ! -s "$work/log" ] || fail "wrote to stderr off a terminal: $(cat "$work/log")"
[ "$(ls "$work/a" | grep -c '^frame_0000[0-9][0-9]\.png$')" -eq 20 ] || fail "not 20 frames: $(ls "$work/a")"
[ -e "$work/a/frame_000020.png" ] && [ ! -e "$work/a/frame_000021.png" ] || fail "frames misnumbered"
for frame in 1 10 20; do
  python3 - "$work/a/frame_$(printf %06d $frame).png" <<'PY' || fail "frame $frame is black or not 640x480"
import sys, zlib, struct
data = open(sys.argv[1], 'rb').read()
width, height = struct.unpack('>II', data[16:24])
assert (width, height) == (640, 480)
pos, idat = 8, b''
while pos < len(data):
    length, kind = struct.unpack('>I4s', data[pos:pos + 8])
    if kind == b'IDAT': idat += data[pos + 8:pos + 8 + length]
    pos += 12 + length
raw = zlib.decompress(idat)
assert sum(1 for b in raw[1::7] if b > 40) > 1000  # a good number of lit pixels
PY
done
mkdir "$work/b"; "$capture" --fps 10 --from 20 --to 22 "$work/b" 2>"$work/log" || fail "second capture: $(cat "$work/log")"
diff -r "$work/a" "$work/b" >/dev/null || fail "two captures of the same span differ"
"$build/kelvorinsaa-render" --frames 970200 "$work/render.raw" || fail "the renderer failed"
data_bytes=$((2 * 44100 * 4))
header=$(($(stat -c %s "$work/a/audio.wav") - data_bytes))
[ "$header" -ge 44 ] && [ "$header" -lt 200 ] || fail "audio.wav has the wrong length"
cmp -n "$data_bytes" -i "$header:$((882000 * 4))" "$work/a/audio.wav" "$work/render.raw" ||
  fail "audio.wav differs from the renderer's stream for the span"
rm -rf "$work/a" "$work/b"
expect_only
echo "ok: 20 frames with a picture, deterministic, sound equal to the renderer's"

# A shorter capture into a used folder leaves its own frames and no stale ones of the first;
# links and other files stay.
"$capture" --fps 10 --to 1 "$work/ff/" 2>"$work/log" || fail "capture of 10 frames: $(cat "$work/log")"
echo mine >"$work/ff/notes.txt"
ln -s frame_000001.png "$work/ff/frame_000012.png"
"$capture" --fps 10 --to 0.5 "$work/ff" 2>"$work/log" || fail "capture of 5 frames: $(cat "$work/log")"
left=$(cd "$work/ff" && ls -A | tr '\n' ' ')
expected="audio.wav frame_000001.png frame_000002.png frame_000003.png frame_000004.png frame_000005.png frame_000012.png notes.txt "
[ "$left" = "$expected" ] || fail "the used folder holds: $left"
rm -rf "$work/ff"
expect_only
echo "ok: a capture into a used folder leaves no stale frames"

# 2. A span that starts mid-show starts from what a run from the start carries into it.
#    mean_error prints the mean absolute difference of two PNG frames' RGB values, 0 to 1.
mean_error() {
  python3 - "$1" "$2" <<'PY'
import subprocess, sys
def rgb(path):
    return subprocess.run(['ffmpeg', '-v', 'error', '-i', path, '-f', 'rawvideo', '-pix_fmt', 'rgb24', '-'],
                          capture_output=True, check=True).stdout
a, b = rgb(sys.argv[1]), rgb(sys.argv[2])
assert len(a) == len(b) == 640 * 480 * 3
print('%.4f' % (sum(abs(x - y) for x, y in zip(a, b)) / len(a) / 255))
PY
}
frame() { echo "$work/$1/frame_$(printf %06d "$2").png"; }
# --warm-up all: byte for byte the frames of a capture from 0 at the same moments.
"$capture" --fps 10 --to 2 "$work/whole/" 2>"$work/log" || fail "capture from 0: $(cat "$work/log")"
"$capture" --fps 10 --from 1.5 --to 2 --warm-up all "$work/all/" 2>"$work/log" ||
  fail "capture with --warm-up all: $(cat "$work/log")"
for k in 1 2 3 4 5; do
  cmp -s "$(frame all $k)" "$(frame whole $((k + 15)))" || fail "--warm-up all: frame $k differs from a whole run's"
done
# By default, the text ring's first scene at 5 fps: every frame within 0.03 of --warm-up all.
# Without a warm-up the first frame was 0.12 away and the next ones 0.07.
"$capture" --fps 5 --from 16 --to 18 --warm-up all "$work/all16/" 2>"$work/log" ||
  fail "capture with --warm-up all: $(cat "$work/log")"
"$capture" --fps 5 --from 16 --to 18 "$work/from16/" 2>"$work/log" || fail "capture: $(cat "$work/log")"
for k in 1 2 3 5 10; do
  error=$(mean_error "$(frame from16 $k)" "$(frame all16 $k)") || fail "cannot compare frame $k"
  awk "BEGIN { exit !($error <= 0.03) }" || fail "frame $k at 16 s is $error away from a whole run's"
done
rm -rf "$work/whole" "$work/all" "$work/all16" "$work/from16"
expect_only
echo "ok: a span from 16 s as a whole run draws it, exactly with --warm-up all"

# 3. A short scaled .mp4: H.264 at the asked size with an AAC stream of the span's length.
"$capture" --fps 30 --from 60 --to 61.5 --size 320x180 "$work/short.mp4" 2>"$work/log" ||
  fail "mp4 capture: $(cat "$work/log")"
probe() { ffprobe -v error -select_streams "$1" -show_entries "$2" -of csv=p=0 "$work/short.mp4"; }
[ "$(probe v stream=codec_name,width,height,nb_frames)" = "h264,320,180,45" ] ||
  fail "video stream: $(probe v stream=codec_name,width,height,nb_frames)"
[ "$(probe a stream=codec_name)" = aac ] || fail "no AAC stream"
duration=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$work/short.mp4")
awk "BEGIN { exit !($duration > 1.45 && $duration < 1.6) }" || fail "duration $duration"
rm "$work/short.mp4"
expect_only
echo "ok: a 1.5 s mp4 of 45 frames at 320x180 with AAC sound"

# 4. Refusals: one line naming the cause, a nonzero status, nothing left behind.
expect_refusal "unknown option --speed" "$capture" --speed 2 "$work/x/"
expect_refusal "--fps must be a whole number from 1 to 1000" "$capture" --fps 0 "$work/x/"
expect_refusal "--from must come before --to" "$capture" --from 30 --to 20 "$work/x/"
expect_refusal "past the end of the show" "$capture" --from 120 --to 200 "$work/x/"
expect_refusal "--size needs WxH" "$capture" --size big "$work/x.mp4"
expect_refusal "give a folder (ending in /) or a name ending in .mp4" "$capture" "$work/x.avi"
touch "$work/a_file"
expect_refusal "cannot write $work/a_file/x.mp4" "$capture" --to 1 "$work/a_file/x.mp4"
(unset DISPLAY; expect_refusal "no X display" "$capture" --to 1 "$work/x/")
mkdir -p "$work/bin"
expect_refusal "install the Debian package ffmpeg" env PATH="$work/bin" "$capture" --to 1 "$work/x.mp4"
# An encoder that fails at once, and one that quits after a little input.
printf '#!/bin/sh\necho "no such codec here" >&2\nexit 3\n' >"$work/bin/ffmpeg"
chmod +x "$work/bin/ffmpeg"
expect_refusal "no such codec here" env PATH="$work/bin:$PATH" "$capture" --to 1 "$work/x.mp4"
printf '#!/bin/sh\nhead -c 2000000 >/dev/null\necho "disk on fire" >&2\nexit 1\n' >"$work/bin/ffmpeg"
expect_refusal "the encoder quit (status 1: disk on fire)" env PATH="$work/bin:$PATH" "$capture" --to 2 "$work/x.mp4"
rm "$work/bin/ffmpeg"
echo "ok: bad arguments, an unwritable OUT, no display, no ffmpeg, a failing encoder"

# 5. An interrupt or a TERM removes what was made, in a folder and in a video alike, and ends
#    with the status a shell gives a program killed by that signal.
for case in "INT 130 $work/x/" "TERM 143 $work/x.mkv" "INT 130 $work/y/"; do
  read -r signal expected out <<<"$case"
  warm_up=()
  [ "$out" = "$work/y/" ] && warm_up=(--from 100 --warm-up all)  # stopped in the warm-up
  "$capture" --fps 30 "${warm_up[@]}" "$out" 2>"$work/log" &
  pid=$!
  started_pids+=("$pid")
  expect_test_sdl "$pid"
  sleep 2
  kill "-$signal" "$pid"
  wait_for_exit "$pid" 20
  status=$?
  [ "$status" -eq "$expected" ] || fail "capture stopped by $signal gave status $status, not $expected"
  grep -q interrupted "$work/log" || fail "no word on the interrupt: $(cat "$work/log")"
  expect_only
done
echo "ok: Ctrl-C and TERM leave nothing behind, with status 130 and 143"
