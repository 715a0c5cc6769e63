#!/usr/bin/env bash
# Tries a built artefact on a bare Debian: restores a minbase root from its tar file (made once
# with debootstrap --variant=minbase), installs there only what the artefact says it needs, and
# runs it against an Xvfb of this host, whose socket is lent to the root, so that the root itself
# holds no X server or Mesa the artefact did not ask for.
#   deb FILE.deb      apt-get install ./FILE.deb; the show starts and ends on SIGTERM (143), the
#                     man page opens, the renderer writes the built-in song; apt-get purge leaves
#                     the root's file list as it was
#   tar FILE.tar.gz   the release unpacked in a folder with a space in its name, with only
#                     libsdl1.2debian and libgl1 installed (no recommendations, no compiler):
#                     the same checks, and the renderer's compressed kinds
#   party FOLDER      the party build's release folder with only the packages its text names
#                     (without their recommendations): the intro plays to its end and hands SDL
#                     the renderer's stream
# Usage: check_in_root.sh ROOT_TAR ROOT_DIR DISPLAY MODE ARTEFACT REFERENCE_RAW
# REFERENCE_RAW is the built-in song rendered to .raw by a build of the same sources. Needs root.
# Status 0 when every check passed.
set -euo pipefail
[ $# -eq 6 ] || { sed -n '2,16p' "$0" | sed 's/^# \{0,1\}//'; exit 2; }
root_tar=$1 root=$2 display=$3 mode=$4 artefact=$(realpath "$5") reference=$(realpath "$6")
display_number=${display#:}
failures=0
mounted=()
xvfb_pid=

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
stage() { echo "== $(date -u +%H:%M:%S) $*"; }

stop_processes_in_root() {
  local proc
  for proc in /proc/[0-9]*; do
    [ "$(readlink "$proc/root" 2>/dev/null)" = "$root" ] && kill -KILL "${proc#/proc/}" 2>/dev/null
  done
  return 0
}

clean_up() {
  local i
  set +e
  stop_processes_in_root
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
    umount "${mounted[i]}" 2>/dev/null || umount -l "${mounted[i]}"
  done
}
trap clean_up EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

mount_in_root() { # mount_in_root TARGET ARGS...
  mkdir -p "$root$1"
  mount "${@:2}" "$root$1"
  mounted+=("$root$1")
}

in_root() {
  chroot "$root" /usr/bin/env -i HOME=/root USER=root LANG=C.UTF-8 TERM=dumb \
    DEBIAN_FRONTEND=noninteractive DISPLAY="$display" \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin "$@"
}

restore_root() {
  if findmnt -rn -o TARGET | grep -q "^$root/"; then
    echo "Something is mounted under $root: not touching it" >&2
    exit 1
  fi
  rm -rf --one-file-system "$root"
  mkdir -p "$root"
  tar -C "$root" -xf "$root_tar"
  cp /etc/resolv.conf "$root/etc/resolv.conf"
  mount_in_root /proc -t proc proc
  mount_in_root /dev --bind /dev
  mount_in_root /dev/shm -t tmpfs -o mode=1777 tmpfs
  mkdir -p /tmp/.X11-unix
  chmod 1777 /tmp/.X11-unix
  mount_in_root /tmp/.X11-unix --bind /tmp/.X11-unix
  in_root apt-get update -q >/dev/null
  echo "root: $(in_root sh -c '. /etc/os-release; echo $PRETTY_NAME'), glibc $(in_root ldd --version | head -n 1 | awk '{print $NF}')"
}

start_display() {
  rm -f "/tmp/.X11-unix/X$display_number"
  Xvfb "$display" -screen 0 1024x768x24 +extension GLX -noreset >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 1 100); do
    [ -S "/tmp/.X11-unix/X$display_number" ] && return 0
    sleep 0.1
  done
  fail "Xvfb $display did not come up"
  exit 1
}

# The root's files, less the ones apt and the kernel change by themselves, and the home folders,
# where the programs' libraries keep a user's state (PulseAudio's ~/.config/pulse), which is the
# user's to remove, not the package's.
file_list() {
  (cd "$root" && find . -xdev \( -path ./proc -o -path ./dev -o -path ./tmp -o -path ./var/lib/apt/lists \
    -o -path ./root -o -path ./home \
    -o -path ./var/cache -o -path ./var/log -o -path ./run \) -prune -o -print) | sort
}

# check_show COMMAND...: the show in a window stays up 3 s and ends on SIGTERM with status 143.
check_show() {
  local pid status
  in_root env SDL_AUDIODRIVER=dummy "$@" -w >"$root/tmp/show.log" 2>&1 &
  pid=$!
  sleep 3
  if ! kill -0 "$pid" 2>/dev/null; then
    wait "$pid" && status=0 || status=$?
    fail "$* -w ended by itself within 3 s with status $status: $(cat "$root/tmp/show.log")"
    return
  fi
  kill -TERM "$pid"
  wait "$pid" && status=0 || status=$?
  # env passed the signal's status on: 128 + 15.
  [ "$status" -eq 143 ] || fail "$* -w ended on SIGTERM with status $status, not 143"
  [ "$status" -eq 143 ] && echo "ok: $* -w ran 3 s and ended on SIGTERM with 143"
}

# check_render RENDER_COMMAND...: the built-in song rendered in the root equals the reference.
check_render() {
  in_root "$@" /tmp/render.raw || { fail "$* /tmp/render.raw failed"; return; }
  if cmp -s "$root/tmp/render.raw" "$reference"; then
    echo "ok: $* writes the built-in song as the build's render ($(sha256sum <"$reference" | cut -c1-16))"
  else
    fail "$* wrote a different stream"
  fi
}

check_versions() {
  local program line
  for program in "$@"; do
    line=$(in_root "$program" --version | head -n 1) || fail "$program --version failed"
    echo "ok: $line"
  done
}

check_libraries() { # check_libraries PROGRAM...: ldd finds every library
  local program
  for program in "$@"; do
    if in_root ldd "$program" | grep -q 'not found'; then
      fail "$program misses libraries: $(in_root ldd "$program" | grep 'not found' | tr -s ' \t' ' ')"
    fi
  done
}

tools=(kelvorinsaa-play kelvorinsaa-render kelvorinsaa-songcheck kelvorinsaa-capture kelvorinsaa-import)

# check_pages DATADIR: says which web pages and desktop entries an artefact holds (a build
# without emscripten has none, which is not a fault of the artefact).
check_pages() {
  local pages entries
  pages=$(cd "$root$1" && ls kelvorinsaa/*.html 2>/dev/null | tr '\n' ' ')
  entries=$(cd "$root$1" && ls applications/*.desktop 2>/dev/null | tr '\n' ' ')
  echo "  web pages: ${pages:-none}; desktop entries: ${entries:-none}"
}

check_deb() {
  local before after
  stage "man-db for the man page check, then the file list"
  in_root apt-get install -y -q --no-install-recommends man-db >/dev/null
  before=$(file_list)
  stage "apt-get install ./$(basename "$artefact")"
  cp "$artefact" "$root/tmp/"
  in_root apt-get install -y -q --no-install-recommends "/tmp/$(basename "$artefact")" \
    >"$root/tmp/install.log" 2>&1 || { cat "$root/tmp/install.log"; fail "apt-get install"; return; }
  grep -E '^(Get|Setting up)' "$root/tmp/install.log" | sed -n 's/^Setting up \([^ ]*\).*/\1/p' |
    tr '\n' ' ' | fold -s -w 100 | sed 's/^/  installed: /'
  echo "  the root now takes $(($(du -sk -x "$root" | cut -f1) / 1024)) MB"
  check_libraries /usr/bin/kelvorinsaa "${tools[@]/#/\/usr\/bin\/}"
  check_versions "${tools[@]}"
  check_show kelvorinsaa
  check_show kelvorinsaaw
  if in_root sh -c 'MANPAGER=cat MANWIDTH=80 man kelvorinsaa-render' >"$root/tmp/man.txt" 2>&1 &&
    grep -q -- '--song' "$root/tmp/man.txt"; then
    echo "ok: man kelvorinsaa-render opens ($(wc -l <"$root/tmp/man.txt") lines)"
  else
    fail "man kelvorinsaa-render: $(head -n 3 "$root/tmp/man.txt")"
  fi
  check_render kelvorinsaa-render
  check_pages /usr/share
  stage "apt-get purge kelvorinsaa and what came with it"
  in_root apt-get purge -y -q --autoremove kelvorinsaa >/dev/null
  rm -f "$root/tmp/$(basename "$artefact")"
  after=$(file_list)
  if [ "$before" = "$after" ]; then
    echo "ok: after the purge the root holds the same $(wc -l <<<"$after") files as before"
  else
    fail "the purge left the file list changed:"
    diff <(echo "$before") <(echo "$after") | head -n 30
  fi
}

check_tar() {
  local folder='/opt/unpacked here' top bin
  stage "the two libraries the release's README names: libsdl1.2debian libgl1, no more"
  in_root apt-get install -y -q --no-install-recommends libsdl1.2debian libgl1 >/dev/null 2>&1
  mkdir -p "$root$folder"
  tar -C "$root$folder" -xzf "$artefact"
  top=$(ls "$root$folder")
  bin="$folder/$top/bin"
  if in_root sh -c 'command -v cc || command -v gcc || command -v g++' >/dev/null; then
    fail "the root has a compiler"
  fi
  check_libraries "$bin/kelvorinsaa" "${tools[@]/#/$bin/}"
  check_versions "${tools[@]/#/$bin/}"
  check_show "$bin/kelvorinsaa"
  check_show "$bin/kelvorinsaaw"
  check_render "$bin/kelvorinsaa-render"
  check_pages "$folder/$top/share"
  in_root "$bin/kelvorinsaa-render" --frames 44100 /tmp/second.flac &&
    in_root "$bin/kelvorinsaa-render" --frames 44100 /tmp/second.mp3 &&
    in_root "$bin/kelvorinsaa-render" --frames 44100 /tmp/second.ogg &&
    echo "ok: the renderer writes .flac, .mp3 and .ogg with the bundled libsndfile" ||
    fail "the renderer's compressed kinds"
}

check_party() {
  local packages pid status skip bytes=$((5762048 * 4))
  packages=$(sed -n 's/.*apt[- ]get install \(.*\)/\1/p; s/.*sudo apt install \(.*\)/\1/p' \
    "$artefact/kelvorinsaa-intro.txt" | head -n 1)
  [ -n "$packages" ] || { fail "kelvorinsaa-intro.txt names no apt command"; return; }
  stage "the packages the party text names: $packages"
  # shellcheck disable=SC2086
  in_root apt-get install -y -q --no-install-recommends $packages >/dev/null 2>&1
  mkdir -p "$root/opt/party"
  cp -a "$artefact"/. "$root/opt/party/"
  stage "the intro to its end"
  in_root env SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=/tmp/intro.raw SDL_DISKAUDIODELAY=0 \
    /opt/party/kelvorinsaa-intro -w >"$root/tmp/intro.log" 2>&1 &
  pid=$!
  for _ in $(seq 1 3000); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$pid" 2>/dev/null && { kill "$pid"; fail "the intro still ran after 300 s"; }
  wait "$pid" && status=0 || status=$?
  [ "$status" -eq 0 ] || fail "the intro ended with status $status: $(head -c 300 "$root/tmp/intro.log")"
  # SDL 2 under sdl12-compat writes silence to the file while the device is paused: the
  # stream is compared from the buffer where the sound starts.
  leading_zero_bytes() { { cmp "$1" /dev/zero 2>/dev/null || true; } | sed -n 's/.*byte \([0-9]*\).*/\1/p'; }
  skip=$(($(leading_zero_bytes "$root/tmp/intro.raw") - $(leading_zero_bytes "$reference")))
  if [ $((skip % 4096)) -eq 0 ] && cmp -s -n "$bytes" -i "$skip:0" "$root/tmp/intro.raw" "$reference" &&
    [ "$(stat -c %s "$root/tmp/intro.raw")" -ge $((skip + bytes)) ]; then
    echo "ok: the intro played to its end with 0; its 5762048 frames after $((skip / 4)) paused equal the render"
  else
    fail "the intro's stream differs from the render ($(stat -c %s "$root/tmp/intro.raw") bytes)"
  fi
  check_show /opt/party/kelvorinsaa-intro
}

[ "$(id -u)" -eq 0 ] || { echo "chroot needs root" >&2; exit 1; }
stage "restore $root from $root_tar"
restore_root
start_display
case $mode in
  deb) check_deb ;;
  tar) check_tar ;;
  party) check_party ;;
  *) echo "unknown mode $mode" >&2; exit 2 ;;
esac
[ "$failures" -eq 0 ] && echo "PASS: $mode on $(basename "$root")" || echo "FAILED: $failures checks"
[ "$failures" -eq 0 ]
