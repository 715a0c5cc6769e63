#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test: unit tests, end-to-end runs
# of the real programs under Xvfb, and the music tests again under ASan and UBSan.
set -euo pipefail
cd "$(dirname "$0")"
bash scripts/install_deps.sh test
jobs=$(nproc)

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs"
(cd build && ctest --output-on-failure -j"$jobs")

# The parser and the mixer must never touch memory outside their tables, whatever the song.
cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DKELVORINSAA_SANITIZE=ON >/dev/null
cmake --build build-sanitize -j"$jobs" --target test_music song_parse_fuzz
(cd build-sanitize && ctest --output-on-failure -j"$jobs" -L 'music|fuzz')
