#!/usr/bin/env bash
# Installs the Debian packages that are missing for running the show ("run") or for building
# and testing everything ("test"), on Debian 12 or 13 (or a release like them). Uses sudo when
# not root; does nothing when all are there. Without root and without sudo it names the one
# command to run as root, and fails. A name the release lacks is said in one sentence.
set -euo pipefail

# A slot "a|b" is the first of its names that the release has; "CLANG" stands for the version of
# the clang that is installed, or else of the one apt would install, so that the fuzzers'
# runtime always matches their compiler.
run_packages=(g++ cmake make pkg-config libsdl1.2-dev libgl-dev libgl1-mesa-dri libsndfile1-dev libebur128-dev
              libpng-dev scdoc)
test_packages=(libgtest-dev libx11-dev libbenchmark-dev xvfb xdotool x11-utils x11-apps imagemagick clang-format
               clang "libclang-rt-dev|libclang-rt-CLANG-dev" ffmpeg python3 emscripten zopfli chromium
               libsdl1.2-compat pulseaudio pulseaudio-utils firefox-esr gir1.2-webkit2-4.1
               libwebkit2gtk-4.1-0 webkit2gtk-driver python3-gi openbox gstreamer1.0-pulseaudio
               gstreamer1.0-plugins-base gstreamer1.0-plugins-good desktop-file-utils appstream mandoc
               python3-mido debhelper dpkg-dev lintian patchelf diffoscope-minimal debootstrap)

want=${1:-run}
case "$want" in
  run | test) ;;
  *) echo "Usage: install_deps.sh [run|test]" >&2; exit 2 ;;
esac
slots=("${run_packages[@]}")
[ "$want" = test ] && slots+=("${test_packages[@]}")
# Debian's nodejs comes without npm, which is a package of its own; a nodejs from elsewhere
# brings its own npm, which Debian's would fight, so npm is asked for only when there is none.
[ "$want" = test ] && ! command -v npm >/dev/null 2>&1 && slots+=(npm)

# Elsewhere the names are Debian's: say what is needed and let the build find out the rest.
if ! command -v apt-get >/dev/null 2>&1 || ! command -v dpkg-query >/dev/null 2>&1; then
  echo "No apt-get here: install these (Debian's names; yours may differ), then the build goes on:"
  echo "  ${slots[*]//|*/}"
  exit 0
fi

installed() { [ "$(dpkg-query -W -f='${Status}' "$1" 2>/dev/null)" = "install ok installed" ]; }
available() {
  local candidate
  candidate=$(apt-cache policy "$1" 2>/dev/null | sed -n 's/^ *Candidate: *//p')
  [ -n "$candidate" ] && [ "$candidate" != "(none)" ]
}

# The major version of the installed clang, or else of the one the package clang would bring.
clang_major() {
  local depends
  if installed clang; then
    depends=$(dpkg-query -W -f='${Depends}' clang 2>/dev/null)
  else
    depends=$(apt-cache depends clang 2>/dev/null | sed -n 's/^ *Depends: //p')
  fi
  grep -o 'clang-[0-9][0-9]*' <<<"$depends" | head -n 1 | sed 's/clang-//'
}

# The names a slot stands for, one a line, CLANG replaced (a name with an unknown version goes).
slot_names() {
  local name major=
  [[ $1 == *CLANG* ]] && major=$(clang_major)
  for name in ${1//|/ }; do
    if [[ $name == *CLANG* ]]; then
      [ -n "$major" ] || continue
      name=${name//CLANG/$major}
    fi
    echo "$name"
  done
}

slot_installed() {
  local name
  for name in $(slot_names "$1"); do installed "$name" && return 0; done
  return 1
}

# The first name of the slot the release has; nothing when it has none.
slot_choice() {
  local name
  for name in $(slot_names "$1"); do available "$name" && { echo "$name"; return 0; }; done
  return 0
}

# The web pages' build and their browser tests take npm packages at the versions of the lock
# file; installed again only when the lock file changed since the last install.
install_npm_packages() {
  [ "$want" = test ] && command -v npm >/dev/null 2>&1 || return 0
  local root stamp
  root=$(cd "$(dirname "$0")/.." && pwd)
  stamp=$root/node_modules/.installed-package-lock.json
  cmp -s "$root/package-lock.json" "$stamp" 2>/dev/null && return 0
  echo "Installing the npm packages of package-lock.json"
  (cd "$root" && npm ci --no-audit --no-fund --loglevel=error && cp package-lock.json "$stamp")
}

missing=()
for slot in "${slots[@]}"; do
  slot_installed "$slot" || missing+=("$slot")
done
[ ${#missing[@]} -eq 0 ] && { install_npm_packages; exit 0; }

# The names to ask for, as this release's package lists stand.
choose_names() {
  local slot name
  names=() absent=()
  for slot in "${missing[@]}"; do
    name=$(slot_choice "$slot")
    if [ -n "$name" ]; then names+=("$name"); else absent+=("${slot//|/ or }"); fi
  done
}

as_root=()
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null 2>&1; then
    again=./play.sh
    [ "$want" = test ] && again=./check.sh
    # Without fresh package lists a slot's choice may be unknown: its first name stands.
    names=()
    for slot in "${missing[@]}"; do
      name=$(slot_choice "$slot")
      names+=("${name:-${slot%%|*}}")
    done
    echo "Missing Debian packages and no sudo to install them: run  su -c 'apt-get update &&" \
      "apt-get install -y --no-install-recommends ${names[*]}'  (it asks for root's" \
      "password), then $again again." >&2
    exit 1
  fi
  as_root=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -q
choose_names
if [ ${#absent[@]} -ne 0 ]; then
  release=$(. /etc/os-release 2>/dev/null && echo "${PRETTY_NAME:-}")
  echo "This system's package lists (${release:-an unknown release}) have no package" \
    "${absent[*]//CLANG/N}, which $([ "$want" = test ] && echo ./check.sh || echo ./play.sh)" \
    "needs: add the release's main archive to apt's sources, or install it by hand." >&2
  exit 1
fi
echo "Installing: ${names[*]}"
"${as_root[@]}" apt-get install -y -q --no-install-recommends "${names[@]}"
install_npm_packages
