#!/usr/bin/env bash
# Installs the Debian packages that are missing for running the show ("run") or for building
# and testing everything ("test"). Uses sudo when not root; does nothing when all are there.
# Without root and without sudo it names the one command to run as root, and fails.
set -euo pipefail

run_packages=(g++ cmake make pkg-config libsdl1.2-dev libgl-dev libgl1-mesa-dri libsndfile1-dev libebur128-dev
              libpng-dev scdoc)
test_packages=(libgtest-dev libx11-dev libbenchmark-dev xvfb xdotool x11-utils x11-apps imagemagick clang-format
               clang libclang-rt-14-dev ffmpeg python3 emscripten zopfli chromium libsdl1.2-compat pulseaudio
               pulseaudio-utils firefox-esr gir1.2-webkit2-4.1 libwebkit2gtk-4.1-0 webkit2gtk-driver python3-gi
               openbox gstreamer1.0-pulseaudio gstreamer1.0-plugins-base gstreamer1.0-plugins-good
               desktop-file-utils appstream mandoc python3-mido
               debhelper dpkg-dev lintian patchelf diffoscope-minimal debootstrap)

want=${1:-run}
packages=("${run_packages[@]}")
[ "$want" = test ] && packages+=("${test_packages[@]}")
# Debian's nodejs comes without npm, which is a package of its own; a nodejs from elsewhere
# brings its own npm, which Debian's would fight, so npm is asked for only when there is none.
[ "$want" = test ] && ! command -v npm >/dev/null 2>&1 && packages+=(npm)

# Elsewhere the names are Debian's: say what is needed and let the build find out the rest.
if ! command -v apt-get >/dev/null 2>&1 || ! command -v dpkg-query >/dev/null 2>&1; then
  echo "No apt-get here: install these (Debian's names; yours may differ), then the build goes on:"
  echo "  ${packages[*]}"
  exit 0
fi

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
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [ "$status" = "install ok installed" ] || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && { install_npm_packages; exit 0; }

as_root=()
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null 2>&1; then
    again=./play.sh
    [ "$want" = test ] && again=./check.sh
    echo "Missing Debian packages and no sudo to install them: run  su -c 'apt-get update &&" \
      "apt-get install -y --no-install-recommends ${missing[*]}'  (it asks for root's" \
      "password), then $again again." >&2
    exit 1
  fi
  as_root=(sudo)
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -q
"${as_root[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
install_npm_packages
