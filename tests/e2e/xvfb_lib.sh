# Helpers for end-to-end tests: a private Xvfb display, started and stopped by the test itself.
# Usage: source this file; start_display; ... Processes listed in started_pids and the scratch
# folder $work are cleaned up on exit (KEEP_WORK=1 keeps the folder, to look at after a failure).

started_pids=()
work=$(mktemp -d)

stop_started() {
  local pid
  for pid in "${started_pids[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${started_pids[@]}"; do wait "$pid" 2>/dev/null; done
  started_pids=()
}
trap 'stop_started; [ -n "${KEEP_WORK:-}" ] || rm -rf "$work"' EXIT

# The SDL 1.2 the programs run on, chosen per run. Unset or "classic": the system's
# libSDL-1.2.so.0, which is classic SDL 1.2 on Debian 12 but sdl12-compat (SDL 1.2 over SDL 2)
# itself where a release ships that in its place (Debian 13, Ubuntu). "compat": sdl12-compat from
# its own folder, put first on the library path; where the system's SDL 1.2 is sdl12-compat
# already, or there is none, that run would test nothing the first did not, and is skipped (77).
lib_dir=/usr/lib/x86_64-linux-gnu
sdl12_compat_dir=$lib_dir/sdl12-compat
system_sdl12=$(readlink -f "$lib_dir/libSDL-1.2.so.0")
compat_sdl12=$(readlink -f "$sdl12_compat_dir/libSDL-1.2.so.0")
# Only sdl12-compat reads settings named SDL12COMPAT_*.
is_sdl12_compat() { [ -f "$1" ] && grep -q SDL12COMPAT_ "$1"; }
test_sdl=${KELVORINSAA_TEST_SDL:-classic}
case "$test_sdl" in
  classic)
    expected_sdl12=$system_sdl12
    is_sdl12_compat "$system_sdl12" && over_sdl2=1 || over_sdl2=0 ;;
  compat)
    if is_sdl12_compat "$system_sdl12"; then
      echo "SKIP: the system's SDL 1.2 ($system_sdl12) is sdl12-compat itself, which the run" \
        "without KELVORINSAA_TEST_SDL tests"
      exit 77
    fi
    is_sdl12_compat "$compat_sdl12" || { echo "SKIP: no sdl12-compat in $sdl12_compat_dir"; exit 77; }
    expected_sdl12=$compat_sdl12 over_sdl2=1
    export LD_LIBRARY_PATH=$sdl12_compat_dir${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH} ;;
  *) echo "FAIL: KELVORINSAA_TEST_SDL=$test_sdl: expected classic or compat" >&2; exit 1 ;;
esac

# Starts Xvfb on a display number that Xvfb itself picks (-displayfd), so that tests running at
# the same time never race for one, and exports DISPLAY. Where display numbers are shared out
# among people, KELVORINSAA_TEST_DISPLAYS="43 44" names the ones to try, the first free one taken.
start_display() {
  local number_file="$work/display_number.$$.${#started_pids[@]}" tries n
  [ -n "${KELVORINSAA_TEST_DISPLAYS:-}" ] && { start_display_among $KELVORINSAA_TEST_DISPLAYS; return; }
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

start_display_among() {
  local n tries pid
  for n in "$@"; do
    [ -e "/tmp/.X11-unix/X$n" ] && continue
    Xvfb ":$n" -screen 0 1024x768x24 +extension GLX -noreset >/dev/null 2>&1 &
    pid=$!
    for tries in $(seq 1 50); do
      kill -0 "$pid" 2>/dev/null || break
      if xdpyinfo -display ":$n" >/dev/null 2>&1; then
        started_pids+=("$pid")
        export DISPLAY=":$n"
        return 0
      fi
      sleep 0.1
    done
    kill "$pid" 2>/dev/null
  done
  echo "no free display among $*" >&2
  return 1
}

# A window manager on the display, so that full screen is real.
start_window_manager() {
  openbox --sm-disable >/dev/null 2>&1 &
  started_pids+=($!)
  sleep 0.5
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
# SDL 2 (under sdl12-compat) leaves the sizing of a full-screen window to the window manager,
# which Xvfb lacks: there a window counts that asks for it, placed at 0,0 with no size limits,
# where a window of fixed size is what -w makes.
screen_sized_windows() {
  local id count=0 hints
  for id in $(xdotool search --onlyvisible --name '' 2>/dev/null); do
    if xdotool getwindowgeometry "$id" | grep -q 'Geometry: 1024x768'; then
      count=$((count + 1))
    elif [ "$over_sdl2" -eq 1 ]; then
      hints=$(xprop -id "$id" WM_NORMAL_HINTS 2>/dev/null)
      grep -q 'user specified location: 0, 0' <<<"$hints" && ! grep -q 'maximum size' <<<"$hints" &&
        count=$((count + 1))
    fi
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

# Prints process $1 and all its descendants.
process_tree() {
  # A line of /proc/PID/stat starts with the PID; the parent is the second field after the
  # command name's last ")". Processes may end while the files are read.
  cat /proc/[0-9]*/stat 2>/dev/null | awk -v root="$1" '
    { line = $0; sub(/.*\) /, "", line); split(line, field, " "); parent[$1] = field[2] }
    END { tree[root] = 1
          do { grown = 0
               for (p in parent) if (!(p in tree) && (parent[p] in tree)) { tree[p] = 1; grown = 1 }
          } while (grown)
          for (p in tree) print p }'
}

# Checks that the program started as process $1 (or run by it, as timeout does) has the SDL 1.2
# this run asked for mapped, and no other: sdl12-compat from its own folder together with SDL 2,
# or the classic library without SDL 2. Waits up to 10 s for a program that is still starting.
expect_test_sdl() {
  local pid=$1 tries process maps sdl12='' sdl2=''
  for tries in $(seq 1 100); do
    kill -0 "$pid" 2>/dev/null || fail "process $pid ended before its libraries were seen"
    for process in $(process_tree "$pid"); do
      maps=$(awk '$6 ~ /\/libSDL(-1\.2|2-2\.0)\.so/ { print $6 }' "/proc/$process/maps" 2>/dev/null | sort -u)
      sdl12=$(grep -F /libSDL-1.2.so <<<"$maps")
      sdl2=$(grep -F /libSDL2-2.0.so <<<"$maps")
      [ -n "$sdl12" ] && break
    done
    [ -n "$sdl12" ] && { [ "$over_sdl2" -eq 0 ] || [ -n "$sdl2" ]; } && break
    sleep 0.1
  done
  [ -n "$sdl12" ] && [ "$(wc -l <<<"$sdl12")" -eq 1 ] || fail "process $pid maps SDL 1.2 as: ${sdl12:-nothing}"
  [ "$sdl12" = "$expected_sdl12" ] || fail "asked for $expected_sdl12 ($test_sdl), process $pid runs $sdl12"
  if [ "$over_sdl2" -eq 1 ]; then
    [ -n "$sdl2" ] || fail "sdl12-compat in process $pid runs without SDL 2"
  else
    [ -z "$sdl2" ] || fail "classic SDL 1.2 in process $pid, yet SDL 2 is loaded: $sdl2"
  fi
  if [ "$test_sdl" = classic ] && [ "$over_sdl2" -eq 1 ]; then
    echo "ok: process $pid runs $sdl12, the system's SDL 1.2, which is sdl12-compat here (over $sdl2)"
  else
    echo "ok: process $pid runs $sdl12"
  fi
}

# Prints the lines of stderr file $1 that are not the notices SDL's disk driver prints (SDL 1.2's,
# or SDL 2's CRITICAL ones under sdl12-compat): what a program itself wrote.
without_disk_driver_notices() {
  grep -v -e "^WARNING: You are using the SDL disk writer audio driver!\$" -e "^ Writing to file \[" \
    -e "^CRITICAL: You are using the SDL disk i/o audio driver!\$" \
    -e "^CRITICAL: *Writing to file \[" "$1"
}
