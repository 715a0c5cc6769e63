#!/usr/bin/env bash
# The captures the page's exact frame mode is compared with, made once for every engine's frame
# test: kelvorinsaa-capture under Xvfb, one span of each layer kind, 10 frames at 10 fps, into
# OUT/span_S/. Usage: page_frames_captures.sh BUILD_DIR OUT
set -u
build=$(cd "$1" && pwd)
out=$2
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../e2e/xvfb_lib.sh"
start_display || exit 1
rm -rf "$out"
mkdir -p "$out"
# rings; text ring and spirals; spirals and fan; fan; rings and spirals
for from in 4 18 40 56 94.5; do
  to=$(awk "BEGIN { print $from + 1 }")
  "$build/kelvorinsaa-capture" --fps 10 --from "$from" --to "$to" "$out/span_$from/" 2>"$work/log" ||
    fail "capture from $from s: $(cat "$work/log")"
done
echo "ok: captured $(ls "$out" | wc -l) spans into $out"
