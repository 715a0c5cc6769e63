#!/usr/bin/env bash
# Every tool's command line alike: --help starts with "usage:", a usage error ends with status 2
# and one line naming the word, a failure with status 1 and one line naming the cause. Nothing
# here needs a display or a sound device.
# Usage: tool_usage_test.sh BUILD_DIR
set -u
build=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# Runs a tool expecting status $1 and one line on standard error holding $2.
expect() {
  local status=$1 words=$2 got message
  shift 2
  message=$(DISPLAY= "$@" 2>&1 >/dev/null)
  got=$?
  [ "$got" -eq "$status" ] || fail "'$*' gave status $got, not $status: $message"
  [ "$(wc -l <<<"$message")" -eq 1 ] || fail "'$*' said more than one line: $message"
  grep -q -F -- "$words" <<<"$message" || fail "'$*': expected '$words', got '$message'"
}

for tool in render play capture framebench songcheck import; do
  program="$build/kelvorinsaa-$tool"
  first=$("$program" --help | head -n 1) || fail "kelvorinsaa-$tool --help failed"
  [[ "$first" == "usage: kelvorinsaa-$tool "* ]] || fail "kelvorinsaa-$tool --help starts: $first"
  expect 2 "kelvorinsaa-$tool: unknown" "$program" --no-such-option
done
expect 2 "--from-time needs seconds" "$build/kelvorinsaa-render" --from-time soon x.raw
expect 2 "give a name ending in .wav" "$build/kelvorinsaa-render" --frames 10 "$work/x.aiff"
expect 2 "--from needs a row number" "$build/kelvorinsaa-play" --from soon
expect 2 "--fps must be a whole number" "$build/kelvorinsaa-capture" --fps 0 "$work/x/"
expect 2 "--frames needs a whole number" "$build/kelvorinsaa-framebench" --frames 0
expect 2 "no song given (see --help)" "$build/kelvorinsaa-songcheck"
expect 2 "no output file given" "$build/kelvorinsaa-import" "$work/x.mid"
expect 1 "not a MIDI file" "$build/kelvorinsaa-import" "$0" "$work/x.txt"
echo "ok: --help starts with usage:, usage errors end with 2"

expect 1 "cannot open $work/none.txt" "$build/kelvorinsaa-render" --song "$work/none.txt" "$work/x.raw"
expect 1 "cannot open $work/none.txt" "$build/kelvorinsaa-play" --song "$work/none.txt"
expect 1 "no X display" "$build/kelvorinsaa-capture" --to 1 "$work/x/"
expect 1 "no X display" "$build/kelvorinsaa-framebench" --frames 1
expect 1 "$work/none.txt" "$build/kelvorinsaa-songcheck" "$work/none.txt"
expect 1 "--to needs a row from 0 to 333333 at this song's tempo (40000 s)" \
  "$build/kelvorinsaa-play" --to 333334
[ -z "$(ls -A "$work")" ] || fail "left behind: $(ls -A "$work")"
echo "ok: failures end with 1"
