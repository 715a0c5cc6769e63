#!/usr/bin/env bash
# Builds the Debian package of the show and its tools: OUTDIR/kelvorinsaa_VERSION_amd64.deb, with
# debhelper from packaging/debian, in a clean copy of the repository's tracked files, and checks
# it with lintian (any error or warning fails). VERSION is the CMake project's; the package is
# native (the packaging lives with the sources), so it carries no Debian revision.
# The same commit and SOURCE_DATE_EPOCH (default: the last commit's time) give the same bytes.
# The web build's pages go in when emscripten, node, npm and zopfli are here (npm ci installs the
# lock file's packages in the copy); without them the package holds no web pages, and says so.
# Usage: scripts/package_deb.sh [--no-web] OUTDIR
set -euo pipefail

web=auto
[ "${1:-}" = --no-web ] && { web=no; shift; }
[ $# -eq 1 ] || { sed -n '2,9p' "$0" | sed 's/^# \{0,1\}//'; exit 2; }
mkdir -p "$1"
outdir=$(cd "$1" && pwd)
repo=$(cd "$(dirname "$0")/.." && pwd)
source "$repo/packaging/common.sh"
require_programs dpkg-buildpackage dh lintian cmake scdoc

version=$(project_version "$repo")
changelog_version=$(dpkg-parsechangelog -l "$repo/packaging/debian/changelog" -S Version)
[ "$version" = "$changelog_version" ] || {
  echo "packaging/debian/changelog is at $changelog_version, the CMake project at $version:" \
    "add an entry for $version (dch -v $version)" >&2
  exit 1
}
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(default_source_date_epoch "$repo")}
[ -z "$(git -C "$repo" status --porcelain --untracked-files=no)" ] ||
  echo "Note: the working tree has uncommitted changes; they are packaged as they are" >&2

scratch=$(mktemp -d /tmp/kelvorinsaa-deb.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
source_dir=$scratch/kelvorinsaa-$version
copy_tracked_sources "$repo" "$source_dir"
cp -a "$repo/packaging/debian" "$source_dir/debian"

started=$SECONDS
if [ "$web" = auto ]; then
  build_web_pages "$source_dir"
else
  echo "--no-web: the web pages are left out"
fi

echo "dpkg-buildpackage in $source_dir (SOURCE_DATE_EPOCH=$SOURCE_DATE_EPOCH)"
(cd "$source_dir" && dpkg-buildpackage -b -us -uc -j2) >"$scratch/build.log" 2>&1 || {
  tail -n 40 "$scratch/build.log"
  echo "dpkg-buildpackage failed" >&2
  exit 1
}
deb=kelvorinsaa_${version}_amd64.deb
echo "Built $deb in $((SECONDS - started)) s"

lintian_status=0
lintian --info --display-info --fail-on error,warning "$scratch/$deb" || lintian_status=$?
cp "$scratch/$deb" "$outdir/$deb"
echo "$outdir/$deb: $(stat -c %s "$outdir/$deb") bytes, sha256 $(sha256sum <"$outdir/$deb" | cut -c1-16)"
[ "$lintian_status" -eq 0 ] || { echo "lintian found errors or warnings" >&2; exit 1; }
