#!/usr/bin/env bash
# Runs one test of the web page in one browser engine (chromium, firefox or webkit) when the web
# build's page, the browser and the npm packages that drive it are there; otherwise the test is
# skipped (status 77), except in CI, where all must be. The test gets a display of its own with
# a window manager (full screen is real) and a sound server of its own (tests/e2e), whose
# folder it finds in KELVORINSAA_SOUND_SERVER_DIR; ENGINE names the engine. A page of another
# song than KELVORINSAA_PAGE_SONG, when that is set, skips the test too, as does a reason given
# in KELVORINSAA_PAGE_TEST_SKIPPED.
# Usage: run_page_test.sh ENGINE PAGE.html COMMAND...
engine=$1
page=$2
shift 2
here=$(cd "$(dirname "$0")" && pwd)
modules=$here/../../node_modules
case "$engine" in
  chromium) browser=${CHROMIUM:-chromium} package="Chromium (Debian's chromium package)" driver=puppeteer-core ;;
  firefox) browser=${FIREFOX:-firefox-esr} package="Firefox ESR (Debian's firefox-esr package)" driver=puppeteer-core ;;
  webkit) browser=${WEBKIT_WEBDRIVER:-WebKitWebDriver} package="WebKitGTK's WebDriver (Debian's webkit2gtk-driver)"
          driver=selenium-webdriver ;;
  *) echo "FAIL: no browser engine $engine (chromium, firefox or webkit)"; exit 1 ;;
esac
missing=""
[ -f "$page" ] || missing="the web page $page (emcmake cmake -S . -B build-web && cmake --build build-web)"
command -v "$browser" >/dev/null || missing=$package
[ -d "$modules/$driver" ] || missing="npm package $driver (bash scripts/install_deps.sh test)"
if [ -n "$missing" ]; then
  if [ "${CI:-}" = true ]; then
    echo "FAIL: no $missing"
    exit 1
  fi
  echo "skipped: no $missing"
  exit 77
fi

# The page carries the song its build was made with, kept beside it in generated/show_song.txt;
# the test holds it to KELVORINSAA_PAGE_SONG (this build's song, or the one it was written for).
if [ -n "${KELVORINSAA_PAGE_TEST_SKIPPED:-}" ]; then
  echo "skipped: $KELVORINSAA_PAGE_TEST_SKIPPED"
  exit 77
fi
if [ -n "${KELVORINSAA_PAGE_SONG:-}" ] &&
  ! cmp -s "$(dirname "$page")/generated/show_song.txt" "$KELVORINSAA_PAGE_SONG"; then
  echo "skipped: the page's build carries another song than $KELVORINSAA_PAGE_SONG, which this" \
    "test holds it to (see generated/show_song.txt beside the page)"
  exit 77
fi

set -u
source "$here/../e2e/xvfb_lib.sh"
source "$here/../e2e/sound_server_lib.sh"
start_display || exit 1
start_window_manager
start_sound_server
export ENGINE=$engine KELVORINSAA_SOUND_SERVER_DIR=$server NODE_PATH=$modules
"$@"
