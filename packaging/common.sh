# What the package and release scripts share; sourced, not run.

# copy_tracked_sources REPO DEST: the repository's tracked files as they stand in the working
# tree, and nothing a build left behind, so that both builds start from the same clean tree.
copy_tracked_sources() {
  local repo=$1 dest=$2
  mkdir -p "$dest"
  git -C "$repo" ls-files -z |
    (cd "$repo" && xargs -0 sh -c 'for f; do [ -e "$f" ] && printf "%s\0" "$f"; done' sh) |
    tar -C "$repo" --null -T - -cf - | tar -C "$dest" -xf -
}

# require_programs NAME...: each program is on the PATH, or one line names the first that is not
# and the script ends with status 1.
require_programs() {
  local program
  for program in "$@"; do
    command -v "$program" >/dev/null ||
      { echo "No $program: scripts/install_deps.sh test installs it" >&2; exit 1; }
  done
}

# The release's version, from project() in CMakeLists.txt.
project_version() {
  sed -n 's/^project(kelvorinsaa VERSION \([0-9.]*\).*/\1/p' "$1/CMakeLists.txt"
}

# build_web_pages SOURCE_DIR: the web build's two pages in SOURCE_DIR/build-web, with the npm
# packages of package-lock.json installed there by npm ci: from npm's cache when it holds them all
# (no network), else from the registry. Their install scripts are not run: esbuild's only checks
# its binary. Where a program or the packages are missing the pages are left out, and one line
# says why; a web build that fails, fails.
build_web_pages() {
  local source_dir=$1 log_dir program missing=()
  log_dir=$(dirname "$source_dir")
  for program in emcmake node npm zopfli; do
    command -v "$program" >/dev/null || missing+=("$program")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "The web pages are left out: no ${missing[*]} (scripts/install_deps.sh test installs them)"
    return 0
  fi
  local npm_ci=(npm ci --ignore-scripts --no-audit --no-fund --loglevel=error)
  if (cd "$source_dir" && "${npm_ci[@]}" --offline >/dev/null 2>&1); then
    echo "The npm packages of package-lock.json: from npm's cache"
  elif (cd "$source_dir" && "${npm_ci[@]}" >"$log_dir/npm-ci.log" 2>&1); then
    echo "The npm packages of package-lock.json: from the registry"
  else
    echo "The web pages are left out: npm ci could not install package-lock.json's packages" \
      "($(grep -m 1 'npm error' "$log_dir/npm-ci.log" | cut -c1-120))"
    return 0
  fi
  echo "Building the web pages with emscripten"
  # emcc's own JavaScript tools find Debian's node modules there.
  export NODE_PATH=${NODE_PATH:-/usr/share/nodejs}
  (cd "$source_dir" && emcmake cmake -S . -B build-web -DCMAKE_BUILD_TYPE=Release >"$log_dir/build-web.log" 2>&1 &&
    cmake --build build-web --target kelvorinsaa_web kelvorinsaa_studio_page -j2 >>"$log_dir/build-web.log" 2>&1) ||
    { tail -n 30 "$log_dir/build-web.log"; echo "The web build failed" >&2; return 1; }
}

default_source_date_epoch() {
  git -C "$1" log -1 --format=%ct
}
