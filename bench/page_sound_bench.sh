#!/usr/bin/env bash
# Measures the show's page sound in each browser engine, quiet and with one core busy, through a
# sound server of its own (page_sound_bench.js prints the rows). Not a test: figures for the
# README. Needs the web build and the native build (kelvorinsaa-render).
# Usage: bench/page_sound_bench.sh [SECONDS [ENGINES [WAYS]]]
#   SECONDS recorded from the first sound (default 60); ENGINES "chromium firefox webkit";
#   WAYS "page" (the page's own choice), or e.g. "worklet worklet@0.3 scheduled-nopicture page=1 tone"
#   (page_sound_bench.js says what they mean). LOADS="busy" plays with one core busy only.
set -u
here=$(cd "$(dirname "$0")" && pwd)
root=$here/..
seconds=${1:-60}
engines=${2:-chromium firefox webkit}
ways=${3:-worklet page}
page=${KELVORINSAA_PAGE:-$root/build-web/kelvorinsaa.html}
render=${KELVORINSAA_RENDER:-$root/build/kelvorinsaa-render}
echo "| engine | way | machine | load before | what the server received |"
echo "|---|---|---|---|---|"
status=0
for engine in $engines; do
  # shellcheck disable=SC2086
  bash "$root/tests/web/run_page_test.sh" "$engine" "$page" \
    node "$here/page_sound_bench.js" "$page" "$render" "$seconds" $ways || status=1
done
exit $status
