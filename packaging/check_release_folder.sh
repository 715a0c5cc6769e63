#!/usr/bin/env bash
# Checks that an unpacked release folder runs from wherever it lies on any x86-64 distribution
# with glibc 2.36 and the libraries its README names: every program and bundled library needs
# only the system libraries of packaging/release_libraries.txt and the ones in its own lib/,
# finds those through a RUNPATH inside the folder ($ORIGIN/../lib for bin/, $ORIGIN for lib/;
# no RPATH, no absolute path), and asks glibc for no symbol version newer than 2.36.
# With --needs, the build's own programs are checked only for what they need, less the C++
# runtime, which the release links in: a new library fails here before it reaches a release.
# Usage: check_release_folder.sh FOLDER
#        check_release_folder.sh --needs PROGRAM...
set -euo pipefail
[ $# -ge 1 ] || { sed -n '2,10p' "$0" | sed 's/^# \{0,1\}//'; exit 2; }
lists=$(dirname "$0")/release_libraries.txt
newest_glibc=2.36
problems=0
problem() { echo "$1: $2" >&2; problems=$((problems + 1)); }

mapfile -t system < <(sed -n 's/^system //p' "$lists")
mapfile -t bundle < <(sed -n 's/^bundle //p' "$lists")
in_list() { # in_list NAME LIST...
  local name=$1 entry
  for entry in "${@:2}"; do [ "$entry" = "$name" ] && return 0; done
  return 1
}

if [ "$1" = --needs ]; then
  for program in "${@:2}"; do
    while read -r needed; do
      in_list "$needed" "${system[@]}" "${bundle[@]}" libstdc++.so.6 libgcc_s.so.1 ||
        problem "$program" "needs $needed: add it to $lists as a system or a bundled library"
    done < <(readelf -d "$program" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
  done
  [ "$problems" -eq 0 ] && echo "ok: $(($# - 1)) programs need only the release's libraries"
  exit "$((problems > 0))"
fi

folder=$1
checked=0
for file in "$folder"/bin/* "$folder"/lib/*; do
  [ -f "$file" ] && [ ! -L "$file" ] && readelf -h "$file" >/dev/null 2>&1 || continue
  checked=$((checked + 1))
  name=${file#"$folder"/}
  dynamic=$(readelf -d "$file")
  case $name in
    bin/*) want_runpath='$ORIGIN/../lib' ;;
    lib/*) want_runpath='$ORIGIN'
           in_list "${name#lib/}" "${bundle[@]}" || problem "$name" "is not a bundled library of $lists" ;;
  esac
  grep -q '(RPATH)' <<<"$dynamic" && problem "$name" "has an RPATH, which reaches other objects"
  runpath=$(sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p' <<<"$dynamic")
  [ -z "$runpath" ] || [ "$runpath" = "$want_runpath" ] ||
    problem "$name" "RUNPATH $runpath is not $want_runpath"
  while read -r needed; do
    if in_list "$needed" "${system[@]}"; then
      continue
    elif in_list "$needed" "${bundle[@]}"; then
      [ -f "$folder/lib/$needed" ] || problem "$name" "needs $needed, which lib/ lacks"
      [ -n "$runpath" ] || problem "$name" "needs the bundled $needed but has no RUNPATH"
    else
      problem "$name" "needs $needed, which is neither a system nor a bundled library"
    fi
  done < <(sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' <<<"$dynamic")
  newest=$(readelf -V "$file" | grep -o 'GLIBC_[0-9.]*' | sed 's/GLIBC_//' | sort -V | tail -n 1)
  [ -z "$newest" ] || [ "$(printf '%s\n%s\n' "$newest" "$newest_glibc" | sort -V | tail -n 1)" = "$newest_glibc" ] ||
    problem "$name" "asks for GLIBC_$newest, newer than $newest_glibc"
done
[ "$checked" -gt 0 ] || problem "$folder" "holds no programs"
[ "$problems" -eq 0 ] && echo "ok: $checked programs and libraries need only the listed libraries, through RUNPATHs inside the folder"
[ "$problems" -eq 0 ]
