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

# The release's version, from project() in CMakeLists.txt.
project_version() {
  sed -n 's/^project(kelvorinsaa VERSION \([0-9.]*\).*/\1/p' "$1/CMakeLists.txt"
}

# build_web_pages REPO SOURCE_DIR: the web build's two pages in SOURCE_DIR/build-web, where
# emscripten, node and the npm packages of package-lock.json (npm ci in REPO) are found; only a
# note where they are not. A failing web build fails.
build_web_pages() {
  local repo=$1 source_dir=$2
  if ! command -v emcmake >/dev/null || ! command -v node >/dev/null ||
    [ ! -x "$repo/node_modules/.bin/esbuild" ]; then
    echo "No emscripten, node or npm packages (npm ci): the web pages are left out"
    return 0
  fi
  echo "Building the web pages with emscripten"
  ln -s "$repo/node_modules" "$source_dir/node_modules"
  (cd "$source_dir" && emcmake cmake -S . -B build-web -DCMAKE_BUILD_TYPE=Release >/dev/null &&
    cmake --build build-web --target kelvorinsaa_web kelvorinsaa_studio_page -j2 >/dev/null)
}

default_source_date_epoch() {
  git -C "$1" log -1 --format=%ct
}
