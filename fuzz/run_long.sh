#!/usr/bin/env bash
# Runs every fuzz target (fuzz/*_fuzz.cpp) under libFuzzer and keeps what they find: inputs that
# reach new code are merged, minimized, into fuzz/corpus/TARGET; crashes go to
# build-fuzz/findings/TARGET/.
# Builds build-fuzz/ with clang first. Runs at the lowest priority.
#
# Usage: fuzz/run_long.sh [--parallel N] HOURS [TARGET...]
#        fuzz/run_long.sh --ci SECONDS     SECONDS in all, shared out, on throw-away copies of
#                                          the corpora; stops a target at its first finding
#
# HOURS (fractions work) is the wall time of the whole run, shared out evenly: each target gets
# HOURS x N / targets, N (default 1) of them running at a time. A target that crashes starts
# again for the rest of its time. The last lines give each target's inputs tried, coverage
# (libFuzzer's cov: edges, ft: features), new inputs kept and findings; the status is 1 when
# something was found.
set -euo pipefail
cd "$(dirname "$0")/.."

parallel=1
ci_seconds=""
while [[ $# -gt 0 && $1 == --* ]]; do
  case $1 in
    --parallel) parallel=$2; shift 2 ;;
    --ci) ci_seconds=$2; shift 2 ;;
    *) echo "run_long.sh: unknown option $1" >&2; exit 2 ;;
  esac
done
if [[ -z $ci_seconds && $# -lt 1 ]]; then
  sed -n '7,9p' "$0" >&2
  exit 2
fi
hours=${1:-0}
[[ $# -gt 0 ]] && shift

build=build-fuzz
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKELVORINSAA_FUZZ=ON \
  -DCMAKE_CXX_COMPILER=clang++ -DBUILD_TESTING=OFF >/dev/null
if [[ $# -gt 0 ]]; then
  targets=("$@")
else
  targets=()
  for source in fuzz/*_fuzz.cpp; do
    name=$(basename "$source" .cpp)
    targets+=("${name%_fuzz}")
  done
fi
cmake --build "$build" -j"$(nproc)" --target "${targets[@]/%/_fuzz}" >/dev/null

if [[ -n $ci_seconds ]]; then
  seconds=$((ci_seconds / ${#targets[@]}))
else
  seconds=$(awk -v h="$hours" -v n="$parallel" -v t="${#targets[@]}" \
    'BEGIN { s = int(h * 3600 * n / t); print (s < 1 ? 1 : s) }')
fi

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# The seeds and limits of a target: songs are long texts, command lines short ones.
target_flags() {
  case $1 in
    options) echo "-max_len=512 -dict=fuzz/options.dict" ;;
    render | player) echo "-max_len=2048 -dict=fuzz/song.dict" ;;
    import) echo "-max_len=4096 -dict=fuzz/midi.dict" ;;
    *) echo "-max_len=6000 -dict=fuzz/song.dict" ;;
  esac
}
target_seeds() {
  echo "fuzz/corpus/$1"
  if [[ $1 == song_parse ]]; then echo "$build/fuzz-seeds"; fi
}

# The corpus kept in the tree is small: the named inputs (*.txt and *.mid, regression inputs and
# seeds) stay whole, and beside them libFuzzer keeps the fewest of the rest and of the run's finds
# that reach every edge they reach (hit counts aside). build-fuzz/fuzz-work keeps everything.
keep_minimized() {
  local target=$1 work=$2 log=$3 minimized=$scratch/minimized-$1 named
  mkdir -p "$minimized"
  # shellcheck disable=SC2046
  nice -n 19 "$build/${target}_fuzz" -merge=1 -use_counters=0 $(target_flags "$target") \
    "$minimized" "fuzz/corpus/$target" "$work" >"$log" 2>&1 || return 1
  for named in "fuzz/corpus/$target"/*.txt "fuzz/corpus/$target"/*.mid; do
    [[ -e $named ]] || continue
    rm -f "$minimized/$(sha1sum <"$named" | cut -c1-40)"
  done
  find "fuzz/corpus/$target" -type f ! -name '*.txt' ! -name '*.mid' -delete
  cp "$minimized"/* "fuzz/corpus/$target"/ 2>/dev/null || true
}

# One target for its share of the time; writes its summary line to $scratch/TARGET.summary.
run_target() {
  local target=$1 work findings log deadline left runs=0 found=0 kept=0 cov=0 ft=0
  if [[ -n $ci_seconds ]]; then
    work=$scratch/work-$target
    findings=$scratch/findings-$target
  else
    work=$build/fuzz-work/$target
    findings=$build/findings/$target
  fi
  mkdir -p "$work" "$findings"
  log=$scratch/$target.log
  deadline=$((SECONDS + seconds))
  while (( (left = deadline - SECONDS) > 0 )); do
    # shellcheck disable=SC2046
    if ! nice -n 19 "$build/${target}_fuzz" -max_total_time="$left" -timeout=20 \
        -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$findings/" \
        $(target_flags "$target") "$work" $(target_seeds "$target") >"$log" 2>&1; then
      found=$((found + 1))
      grep -E '^(==[0-9]+==ERROR|SUMMARY|artifact_prefix)|runtime error' "$log" | head -n 5 >&2
      [[ -n $ci_seconds ]] && break
    fi
    runs=$((runs + $(awk -F: '/^stat::number_of_executed_units/ { n = $NF } END { print n + 0 }' \
      "$log")))
    read -r cov ft < <(awk '/ cov: / { for (i = 1; i <= NF; ++i) { if ($i == "cov:") c = $(i + 1);
      if ($i == "ft:") f = $(i + 1) } } END { print c + 0, f + 0 }' "$log")
  done
  if [[ -z $ci_seconds ]]; then
    keep_minimized "$target" "$work" "$log.merge" || echo "merge of $target failed" >&2
    kept=$(find "fuzz/corpus/$target" -type f ! -name '*.txt' ! -name '*.mid' | wc -l)
  fi
  printf '%-12s %10d inputs in %5d s  cov %5d  ft %6d  corpus %4d  findings %d\n' \
    "$target" "$runs" "$seconds" "$cov" "$ft" "$kept" "$found" >"$scratch/$target.summary"
}

running=0
for target in "${targets[@]}"; do
  if (( running >= parallel )); then
    wait -n || true
    running=$((running - 1))
  fi
  run_target "$target" &
  running=$((running + 1))
done
wait

cat "$scratch"/*.summary
! grep -q 'findings [1-9]' "$scratch"/*.summary
