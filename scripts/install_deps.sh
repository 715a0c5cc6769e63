#!/usr/bin/env bash
# Installs the Debian packages that are missing for running the show ("run") or for building
# and testing everything ("test"). Uses sudo when not root; does nothing when all are there.
set -euo pipefail

run_packages=(g++ cmake make pkg-config libsdl1.2-dev libgl-dev libgl1-mesa-dri libsndfile1-dev libebur128-dev
              libpng-dev)
test_packages=(libgtest-dev libx11-dev libbenchmark-dev xvfb xdotool x11-utils x11-apps imagemagick clang-format
               clang libclang-rt-14-dev ffmpeg python3 emscripten chromium libsdl1.2-compat pulseaudio
               pulseaudio-utils)

packages=("${run_packages[@]}")
[ "${1:-run}" = test ] && packages+=("${test_packages[@]}")

# Elsewhere the names are Debian's: say what is needed and let the build find out the rest.
if ! command -v apt-get >/dev/null 2>&1 || ! command -v dpkg-query >/dev/null 2>&1; then
  echo "No apt-get here: install these (Debian's names; yours may differ), then the build goes on:"
  echo "  ${packages[*]}"
  exit 0
fi

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [ "$status" = "install ok installed" ] || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -q
"${as_root[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
