#!/usr/bin/env bash
# Installs what is missing, builds the show and starts it in a window.
set -euo pipefail
cd "$(dirname "$0")"
bash scripts/install_deps.sh run
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target kelvorinsaa
exec build/kelvorinsaa -w
