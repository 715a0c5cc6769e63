#!/usr/bin/env bash
# The installation as a packager makes it: `cmake --install` into a scratch DESTDIR under another
# prefix must put exactly the show, kelvorinsaaw, the tools a user runs, their manual pages, the
# desktop entries, the icons, the metainfo, the web pages (when the build found them) and the
# documents in the GNU layout, and nothing else (no bench or test program). The desktop entries,
# the metainfo and the manual pages must pass their validators, and every installed tool must
# answer --version. A missing validator skips its check; the test then ends as skipped (77),
# naming it, once everything else has passed.
# Usage: install_test.sh BUILD_DIR VERSION APP_ID MAN(ON|OFF) "TOOL..." "PAGE..."
set -u
build=$(cd "$1" && pwd)
version=$2 app_id=$3 man=$4
read -r -a tools <<<"$5"
read -r -a pages <<<"${6:-}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
missing_validators=()
have() { command -v "$1" >/dev/null 2>&1 || { missing_validators+=("$1"); return 1; }; }

prefix=/opt/kelvorinsaa-test
root=$work/root
DESTDIR=$root cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 ||
  fail "cmake --install failed: $(tail -n 5 "$work/install.log")"
[ -d "$root$prefix" ] || fail "nothing was installed under the prefix $prefix"
outside=$(cd "$root" && find . -mindepth 1 \( -type f -o -type l \) ! -path ".$prefix/*")
[ -z "$outside" ] || fail "installed outside the prefix: $outside"
cd "$root$prefix" || fail "no $root$prefix"

# Exactly these files: the layout a package is made from.
expected=(bin/kelvorinsaa bin/kelvorinsaaw "share/applications/$app_id.desktop"
          "share/metainfo/$app_id.metainfo.xml" share/doc/kelvorinsaa/LICENSE
          share/doc/kelvorinsaa/README.md share/doc/kelvorinsaa/CHANGELOG.md)
for tool in "${tools[@]}"; do expected+=("bin/$tool"); done
for size in 16 32 48 64 128 256; do
  expected+=("share/icons/hicolor/${size}x$size/apps/kelvorinsaa.png")
done
if [ "$man" = ON ]; then
  expected+=(share/man/man1/kelvorinsaa.1 share/man/man1/kelvorinsaaw.1
             share/man/man5/kelvorinsaa-song.5)
  for tool in "${tools[@]}"; do expected+=("share/man/man1/$tool.1"); done
fi
for page in "${pages[@]}"; do expected+=("share/kelvorinsaa/$page"); done
[[ " ${pages[*]} " == *" kelvorinsaa-studio.html "* ]] &&
  expected+=("share/applications/$app_id.studio.desktop")
diff <(printf '%s\n' "${expected[@]}" | sort) <(find . \( -type f -o -type l \) | sed 's|^\./||' | sort) \
  >"$work/layout.diff" || fail "the installed files differ (< expected, > installed):
$(cat "$work/layout.diff")"
[ "$(readlink bin/kelvorinsaaw)" = kelvorinsaa ] || fail "bin/kelvorinsaaw is no link to kelvorinsaa"
echo "ok: ${#expected[@]} files in the GNU layout under $prefix, nothing else"

# The programs the desktop and the software centre name are those installed.
metainfo=share/metainfo/$app_id.metainfo.xml
provided=$(sed -n 's|.*<binary>\(.*\)</binary>.*|\1|p' "$metainfo" | sort)
[ "$provided" = "$(ls bin | sort)" ] || fail "the metainfo's binaries ($provided) are not bin's"
grep -q "<launchable type=\"desktop-id\">$app_id.desktop</launchable>" "$metainfo" ||
  fail "the metainfo launches no $app_id.desktop"
grep -q "<release version=\"$version\"" "$metainfo" || fail "the metainfo has no release $version"
while read -r command; do
  [ -x "bin/${command%% *}" ] || fail "the desktop entry runs ${command%% *}, which is not installed"
done < <(sed -n 's/^Exec=//p' "share/applications/$app_id.desktop")
if [ -e "share/applications/$app_id.studio.desktop" ]; then
  grep -qx "Exec=xdg-open $prefix/share/kelvorinsaa/kelvorinsaa-studio.html" \
    "share/applications/$app_id.studio.desktop" || fail "the studio's entry opens another file"
fi

for tool in "${tools[@]}"; do
  out=$(DISPLAY= "bin/$tool" --version) || fail "$tool --version gave status $?"
  [ "$(head -n 1 <<<"$out")" = "$tool $version" ] || fail "$tool --version says: $out"
done
echo "ok: every tool answers --version with its name and $version"

if have desktop-file-validate; then
  for entry in share/applications/*.desktop; do
    messages=$(desktop-file-validate "$entry" 2>&1) && [ -z "$messages" ] ||
      fail "desktop-file-validate $entry: $messages"
  done
  echo "ok: desktop-file-validate"
fi
if have appstreamcli; then
  messages=$(appstreamcli validate --no-net --pedantic "$metainfo" 2>&1) ||
    fail "appstreamcli validate: $messages"
  # The metainfo names its developer both ways, for AppStream before 1.0 and from 1.0 on; each
  # version's one info about the other way is expected, anything else is not.
  unexpected=$(grep -E '^[EWI]:' <<<"$messages" |
    grep -vE '^I: [^ ]+ (unknown-tag developer|developer-name-tag-deprecated)$' || true)
  [ -z "$unexpected" ] || fail "appstreamcli validate: $messages"
  echo "ok: appstreamcli validate --no-net"
fi
if [ "$man" = ON ] && have mandoc; then
  for page in share/man/man*/*; do
    messages=$(mandoc -Tlint -W warning "$page" 2>&1) || fail "mandoc -Tlint $page: $messages"
    [ -z "$messages" ] || fail "mandoc -Tlint $page: $messages"
  done
  echo "ok: mandoc -Tlint -W warning on every manual page"
fi

if [ ${#missing_validators[@]} -gt 0 ]; then
  echo "skipped: not installed: ${missing_validators[*]}"
  exit 77
fi
