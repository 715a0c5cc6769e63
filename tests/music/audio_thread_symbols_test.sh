#!/usr/bin/env bash
# The audio thread's code (the mixer and the sequencer) must call no library function: every
# symbol their objects leave undefined must be their own code, data of the engine, or a hook of
# a sanitizer the build asked for. Usage: audio_thread_symbols_test.sh MUSIC_LIB SHARED_LIB
set -euo pipefail
music_lib=$1
shared_lib=$2
audio_objects=(mixer.cpp.o sequencer.cpp.o)

members_symbols() {  # nm output of the given archive, tagged with the member's name
  nm -P -A "$@" 2>/dev/null | sed -E 's/^[^[]*\[([^]]*)\]: /\1 /'
}

all=$(members_symbols "$music_lib" "$shared_lib")
is_audio_object() {
  local member=$1
  for object in "${audio_objects[@]}"; do [ "$member" = "$object" ] && return 0; done
  return 1
}

own_code=()  # anything the audio objects define themselves
engine_data=()  # data objects defined anywhere in the engine's libraries
while read -r member symbol type _; do
  if is_audio_object "$member" && [ "$type" != U ] && [ "$type" != w ]; then own_code+=("$symbol"); fi
  case $type in B | b | D | d | R | r | V | v | u) engine_data+=("$symbol") ;; esac
done <<<"$all"
for object in "${audio_objects[@]}"; do
  grep -q "^$object " <<<"$all" || { echo "no $object in $music_lib"; exit 1; }
done
defined=$(printf '%s\n' "${own_code[@]}" "${engine_data[@]}" | sort -u)
bad=$(awk -v objects="${audio_objects[*]}" '
  BEGIN { n = split(objects, list, " "); for (i = 1; i <= n; ++i) wanted[list[i]] = 1 }
  ($1 in wanted) && ($3 == "U" || $3 == "w") { print $2 }' <<<"$all" | sort -u |
  grep -v -E '^(__asan_|__ubsan_|__sanitizer_|__tsan_|__sancov_|__odr_asan|_GLOBAL_OFFSET_TABLE_$)' |
  comm -23 - <(echo "$defined") || true)
if [ -n "$bad" ]; then
  echo "the audio thread's objects call outside the engine:"
  c++filt <<<"$bad" | sed 's/^/  /'
  exit 1
fi
echo "mixer and sequencer call no library function"
