#!/usr/bin/env bash
# Installs the Debian packages that are missing for running the show ("run") or for building
# and testing everything ("test"). Uses sudo when not root; does nothing when all are there.
set -euo pipefail

run_packages=(g++ cmake make pkg-config libsdl1.2-dev libx11-dev libgl-dev libgl1-mesa-dri libsndfile1-dev libebur128-dev
              libgtest-dev zopfli)
test_packages=(libbenchmark-dev xvfb xdotool x11-utils x11-apps imagemagick clang-format)

packages=("${run_packages[@]}")
[ "${1:-run}" = test ] && packages+=("${test_packages[@]}")

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
