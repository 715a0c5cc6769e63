#!/usr/bin/env bash
# Makes the portable release: OUTDIR/kelvorinsaa-VERSION-linux-x86_64.tar.gz, one folder that
# runs from wherever it is unpacked on an x86-64 distribution with glibc 2.36 or later, SDL 1.2
# (libSDL-1.2.so.0) and libGL.so.1. It holds the show, the tools, their manual pages, the web
# pages (when emscripten, node, npm and zopfli are here), the README and the licence, in
# the GNU layout, so that it can also be unpacked as a prefix such as ~/.local. The C++ runtime is
# linked in; the tools' other libraries (libsndfile and its codecs, libpng, libebur128) are
# copied from this machine into lib/ with their licences, found through RUNPATH $ORIGIN/../lib.
# The same commit and SOURCE_DATE_EPOCH (default: the last commit's time) give the same bytes.
# Usage: scripts/package_release.sh [--no-web] OUTDIR
set -euo pipefail
umask 022

web=auto
[ "${1:-}" = --no-web ] && { web=no; shift; }
[ $# -eq 1 ] || { sed -n '2,10p' "$0" | sed 's/^# \{0,1\}//'; exit 2; }
mkdir -p "$1"
outdir=$(cd "$1" && pwd)
repo=$(cd "$(dirname "$0")/.." && pwd)
source "$repo/packaging/common.sh"
require_programs cmake scdoc patchelf dpkg-query
version=$(project_version "$repo")
name=kelvorinsaa-$version-linux-x86_64
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(default_source_date_epoch "$repo")}
[ -z "$(git -C "$repo" status --porcelain --untracked-files=no)" ] ||
  echo "Note: the working tree has uncommitted changes; they are packed as they are" >&2

scratch=$(mktemp -d /tmp/kelvorinsaa-release.XXXXXX)
tarball=$outdir/$name.tar.gz
trap 'rm -rf "$scratch" "$tarball.part"' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
source_dir=$scratch/source
stage=$scratch/stage/$name
copy_tracked_sources "$repo" "$source_dir"
started=$SECONDS
web_dir=$source_dir/build-web
if [ "$web" = auto ]; then
  build_web_pages "$source_dir"
else
  echo "--no-web: the web pages are left out"
fi

# The file names in the debug information and assertions are made relative, so that the build
# folder's path leaves no trace in the programs.
echo "Building in $scratch (SOURCE_DATE_EPOCH=$SOURCE_DATE_EPOCH)"
cmake -S "$source_dir" -B "$scratch/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF \
  -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON -DKELVORINSAA_WEB_BUILD_DIR="$web_dir" \
  -DCMAKE_CXX_FLAGS="-ffile-prefix-map=$scratch=." \
  -DCMAKE_EXE_LINKER_FLAGS="-static-libstdc++ -static-libgcc" \
  -DCMAKE_INSTALL_RPATH='$ORIGIN/../lib' >"$scratch/configure.log" ||
  { cat "$scratch/configure.log"; exit 1; }
cmake --build "$scratch/build" --target kelvorinsaa_installed_files -j2 >"$scratch/build.log" 2>&1 ||
  { tail -n 40 "$scratch/build.log"; exit 1; }
cmake --install "$scratch/build" --prefix "$stage" --strip >/dev/null
# The studio's desktop entry names its page by an absolute path, which here would be this build's
# scratch folder: a folder unpacked anywhere has none, and its README says how to open the page.
rm -f "$stage/share/applications/org.example.kelvorinsaa.studio.desktop"

# The bundled libraries: what the programs need from the list's "bundle" names, and what those
# need in turn, each found where this machine's loader finds it.
lists=$repo/packaging/release_libraries.txt
mapfile -t bundle < <(sed -n 's/^bundle //p' "$lists")
is_bundled() { local entry; for entry in "${bundle[@]}"; do [ "$entry" = "$1" ] && return 0; done; return 1; }
needed_of() { readelf -d "$1" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'; }
mkdir -p "$stage/lib"
pending=("$stage"/bin/*)
while [ ${#pending[@]} -gt 0 ]; do
  object=${pending[0]}
  pending=("${pending[@]:1}")
  [ -L "$object" ] && continue
  for library in $(needed_of "$object"); do
    is_bundled "$library" && [ ! -e "$stage/lib/$library" ] || continue
    path=$(ldd "$object" | awk -v n="$library" '$1 == n { print $3 }')
    [ -f "$path" ] || { echo "The loader finds no $library for $object" >&2; exit 1; }
    cp -L "$path" "$stage/lib/$library"
    chmod 644 "$stage/lib/$library"
    # Their own bundled neighbours are found beside them, and nothing else is changed.
    patchelf --set-rpath '$ORIGIN' "$stage/lib/$library"
    pending+=("$stage/lib/$library")
  done
done

# Each bundled library's Debian package: its copyright file goes with it, and the README names it
# with the source package to fetch its sources from.
licences=$stage/share/doc/kelvorinsaa/libraries
mkdir -p "$licences"
library_table=
for library in $(ls "$stage/lib"); do
  path=$(readlink -f "$(ldconfig -p | awk -v n="$library" '$1 == n && /x86-64/ { print $NF; exit }')")
  package=$(dpkg-query -S "$path" 2>/dev/null | head -n 1 | cut -d: -f1) ||
    { echo "No Debian package owns $path" >&2; exit 1; }
  read -r source_package source_version < <(dpkg-query -W -f='${source:Package} ${source:Version}\n' "$package:amd64")
  cp -L "/usr/share/doc/$package/copyright" "$licences/$package.copyright"
  licence=$(grep -m 1 '^License:' "/usr/share/doc/$package/copyright" | cut -d' ' -f2- || true)
  library_table+=$(printf '  %-20s %-16s %-22s %s' "$library" "$source_package" "$source_version" "${licence:-see its copyright file}")$'\n'
done

cp "$source_dir/LICENSE" "$stage/LICENSE"
pages="(the web pages are not in this build)"
ls "$stage/share/kelvorinsaa/"*.html >/dev/null 2>&1 &&
  pages="xdg-open share/kelvorinsaa/kelvorinsaa-studio.html   the studio (kelvorinsaa.html: the show) in a browser"
sed -e "s|@VERSION@|$version|g" -e "s|@PAGES@|$pages|" "$repo/packaging/release_readme.in" |
  awk -v table="$library_table" '/^@LIBRARIES@$/ { printf "%s", table; next } { print }' >"$stage/README"

bash "$repo/packaging/check_release_folder.sh" "$stage"

# Reproducible bytes: names sorted, times clamped to SOURCE_DATE_EPOCH, no owners, no gzip time.
find "$stage" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
tar -C "$scratch/stage" --sort=name --owner=0 --group=0 --numeric-owner --format=gnu \
  --mtime="@$SOURCE_DATE_EPOCH" -cf - "$name" | gzip -9 -n >"$tarball.part"
mv "$tarball.part" "$tarball"
echo "$tarball: $(stat -c %s "$tarball") bytes, $(tar -tzf "$tarball" | wc -l) entries, sha256" \
  "$(sha256sum <"$tarball" | cut -c1-16), made in $((SECONDS - started)) s"
