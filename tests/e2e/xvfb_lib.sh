# Helpers for end-to-end tests: a private Xvfb display, started and stopped by the test itself.
# Usage: source this file; start_display; ... Processes listed in started_pids and the scratch
# folder $work are cleaned up on exit.

started_pids=()
work=$(mktemp -d)

stop_started() {
  local pid
  for pid in "${started_pids[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${started_pids[@]}"; do wait "$pid" 2>/dev/null; done
  started_pids=()
}
trap 'stop_started; rm -rf "$work"' EXIT

# Starts Xvfb on a display number that Xvfb itself picks (-displayfd), so that tests running at
# the same time never race for one, and exports DISPLAY.
start_display() {
  local number_file="$work/display_number.$$.${#started_pids[@]}" tries n
  Xvfb -displayfd 3 -screen 0 1024x768x24 +extension GLX -noreset 3>"$number_file" >/dev/null 2>&1 &
  started_pids+=($!)
  for tries in $(seq 1 100); do
    # Xvfb writes the number and a line feed once it listens.
    n=$(head -n 1 "$number_file" 2>/dev/null | tr -dc 0-9)
    if [ -n "$n" ] && [ "$(wc -l <"$number_file")" -ge 1 ]; then
      export DISPLAY=":$n"
      # The number is read; the file goes, so a test's scratch folder holds only its own files.
      xdpyinfo >/dev/null 2>&1 && rm -f "$number_file" && return 0
    fi
    sleep 0.1
  done
  echo "Xvfb did not come up" >&2
  return 1
}

# Waits up to $2 seconds (default 20) for a window titled $1; prints its id.
wait_for_window() {
  local title=$1 limit=${2:-20} i id
  for i in $(seq 1 $((limit * 10))); do
    id=$(xdotool search --name "^$title\$" 2>/dev/null | head -n 1)
    if [ -n "$id" ]; then echo "$id"; return 0; fi
    sleep 0.1
  done
  return 1
}

# Waits up to $2 seconds for process $1 to end; returns its status, or 124 if it still runs.
wait_for_exit() {
  local pid=$1 limit=${2:-10} i
  for i in $(seq 1 $((limit * 10))); do
    if ! kill -0 "$pid" 2>/dev/null; then wait "$pid"; return $?; fi
    sleep 0.1
  done
  return 124
}

# Counts the visible windows as large as the whole screen: full-screen windows and the desktop.
screen_sized_windows() {
  local id count=0
  for id in $(xdotool search --onlyvisible --name '' 2>/dev/null); do
    xdotool getwindowgeometry "$id" | grep -q 'Geometry: 1024x768' && count=$((count + 1))
  done
  echo "$count"
}

# Checks that the stream a program handed SDL's disk driver ($2) holds, after the buffers of
# silence written while the device was paused, exactly the render's first $4 bytes ($3).
# $1 names the program in the messages.
expect_stream_equals_render() {
  local who=$1 stream=$2 render=$3 bytes=$4 stream_start render_start paused_bytes
  leading_zero_bytes() { cmp "$1" /dev/zero 2>/dev/null | sed -n 's/.*byte \([0-9]*\).*/\1/p' | tr -d '\n'; }
  stream_start=$(($(leading_zero_bytes "$stream") - 1))
  render_start=$(($(leading_zero_bytes "$render") - 1))
  paused_bytes=$((stream_start - render_start))
  [ "$render_start" -gt 0 ] || fail "the render is silent"
  [ $((paused_bytes % 4096)) -eq 0 ] || fail "$who's sound starts $paused_bytes bytes off a buffer"
  [ "$(stat -c %s "$stream")" -ge $((paused_bytes + bytes)) ] ||
    fail "$who mixed fewer than the render's $((bytes / 4)) frames"
  cmp -n "$bytes" -i "$paused_bytes:0" "$stream" "$render" || fail "$who's stream differs from the render"
}

fail() { echo "FAIL: $*" >&2; exit 1; }
