#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test: unit tests, end-to-end runs
# of the real programs under Xvfb, all of it again under ASan and UBSan, the fuzzers for 100 s and
# the whole show under ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")"
bash scripts/install_deps.sh test
jobs=$(nproc)

# The web build, where emscripten is installed (CI installs it): the engine and the page compiled
# for WebAssembly, which the native tests compare with the native programs. It goes first, so
# that the native build finds it. emcc's JavaScript tools find their node modules in NODE_PATH.
if command -v emcmake >/dev/null 2>&1; then
  export NODE_PATH=${NODE_PATH:-/usr/share/nodejs}
  emcmake cmake -S . -B build-web >/dev/null
  cmake --build build-web -j"$jobs"
fi

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs"
(cd build && ctest --output-on-failure -j"$jobs")

# The whole suite again under AddressSanitizer and UndefinedBehaviorSanitizer. Leaks are not
# looked for: SDL, X and Mesa keep what they allocate until the process ends.
cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DKELVORINSAA_SANITIZE=ON >/dev/null
cmake --build build-sanitize -j"$jobs"
(cd build-sanitize && ASAN_OPTIONS=detect_leaks=0 ctest --output-on-failure -j"$jobs")

# Every fuzz target under clang, 100 s in all (tens of thousands of inputs), from its corpus and
# the built-in song; nothing is kept, and a finding fails the check.
bash fuzz/run_long.sh --ci 100

# The whole show, threads and all, under ThreadSanitizer.
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKELVORINSAA_TSAN=ON \
  -DBUILD_TESTING=OFF >/dev/null
cmake --build build-tsan -j"$jobs" --target kelvorinsaa
bash tests/e2e/tsan_show_run.sh build-tsan
