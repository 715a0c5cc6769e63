#!/usr/bin/env bash
# Runs one test of the web page in headless Chromium when the web build's page and Chromium
# are there; otherwise the test is skipped (status 77), except in CI, where both must be.
# Usage: run_page_test.sh PAGE.html COMMAND...
page=$1
shift
missing=""
[ -f "$page" ] || missing="the web page $page (emcmake cmake -S . -B build-web && cmake --build build-web)"
command -v "${CHROMIUM:-chromium}" >/dev/null || missing="Chromium (Debian's chromium package)"
if [ -n "$missing" ]; then
  if [ "${CI:-}" = true ]; then
    echo "FAIL: no $missing"
    exit 1
  fi
  echo "skipped: no $missing"
  exit 77
fi
exec "$@"
