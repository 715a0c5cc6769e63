#!/usr/bin/env bash
# The page's exact frame mode against kelvorinsaa-capture under Xvfb: one span of each layer
# kind, 10 frames at 10 fps from both, compared frame by frame in the browser.
# Usage: page_frames_test.sh BUILD_DIR PAGE.html
set -u
build=$(cd "$1" && pwd)
page=$2
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../e2e/xvfb_lib.sh"
start_display || exit 1
# rings; text ring and spirals; spirals and fan; fan; rings and spirals
spans="4 18 40 56 94.5"
for from in $spans; do
  to=$(awk "BEGIN { print $from + 1 }")
  "$build/kelvorinsaa-capture" --fps 10 --from "$from" --to "$to" "$work/span_$from/" 2>"$work/log" ||
    fail "capture from $from s: $(cat "$work/log")"
done
node "$here/page_frames_test.js" "$page" "$work" $spans
