#!/usr/bin/env bash
# Proves the README's two commands on a fresh Debian 13 or 12: makes a minbase root of that
# release with debootstrap in a temporary folder, clones this repository into it, and there runs
# ./play.sh as a user without sudo (it must refuse in one sentence naming what to run),
# ./check.sh as root, and ./play.sh again as that user, which must now build and start the show,
# and end it on SIGTERM. Not a CTest test: it downloads about 1.5 GB and takes an hour. Runs as root, alone in
# its shell; prints each stage's time, the disk used and the result; logs stay in a folder.
set -euo pipefail

usage() {
  cat <<'EOF'
Usage: tests/e2e/debian_setup_check.sh [--release trixie|bookworm] [--keep] [--skip-check]
                                      [--play-ref REF] [REF]
Builds a minbase Debian root in a temporary folder and runs the README's commands there on
commit REF of this repository (default HEAD): ./play.sh as a user without sudo (expects the
refusal), ./check.sh as root, then ./play.sh as that user (expects the show to start and to end
on SIGTERM with status 143).
  --release NAME  the Debian release: trixie (13, the default) or bookworm (12)
  --keep          keep the root afterwards (its path is printed)
  --skip-check    leave out ./check.sh; the packages are then installed with scripts/install_deps.sh
  --play-ref REF  the commit for the last ./play.sh, resolved when that stage starts (default REF)
Needs root, debootstrap and network access. Status 0 when every stage passed, 1 otherwise.
EOF
}

keep=0 skip_check=0 ref=HEAD play_ref= release=trixie
while [ $# -gt 0 ]; do
  case "$1" in
    --help | -h) usage; exit 0 ;;
    --release) [ $# -ge 2 ] || { echo "--release needs a name (see --help)" >&2; exit 2; }
               release=$2; shift ;;
    --keep) keep=1 ;;
    --skip-check) skip_check=1 ;;
    --play-ref) [ $# -ge 2 ] || { echo "--play-ref needs a commit (see --help)" >&2; exit 2; }
                play_ref=$2; shift ;;
    -*) echo "Unknown option $1 (see --help)" >&2; exit 2 ;;
    *) ref=$1 ;;
  esac
  shift
done
case "$release" in
  bookworm | trixie) ;;
  *) echo "Unknown release $release: trixie or bookworm (see --help)" >&2; exit 2 ;;
esac
[ "$(id -u)" -eq 0 ] || { echo "debootstrap and chroot need root: run this as root" >&2; exit 1; }
command -v debootstrap >/dev/null ||
  { echo "No debootstrap: apt-get install debootstrap" >&2; exit 1; }

source_repo=$(cd "$(dirname "$0")/../.." && pwd)
commit=$(git -C "$source_repo" rev-parse --verify "$ref^{commit}") ||
  { echo "No commit $ref in $source_repo" >&2; exit 1; }
scratch=$(mktemp -d "/var/tmp/debian-$release-check.XXXXXX")
root=$scratch/root
logs=$(mktemp -d "/var/tmp/debian-$release-check-logs.XXXXXX")
mounted=()
display_pid=
failures=0

# Processes left inside the root (a show, a server) hold its mounts: they go first, by pid.
stop_processes_in_root() {
  local proc pid
  for proc in /proc/[0-9]*; do
    [ "$(readlink "$proc/root" 2>/dev/null)" = "$root" ] || continue
    pid=${proc#/proc/}
    kill -KILL "$pid" 2>/dev/null || true
  done
}

clean_up() {
  local i
  set +e
  [ -n "$display_pid" ] && kill "$display_pid" 2>/dev/null
  stop_processes_in_root
  sleep 0.5
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
    umount "${mounted[i]}" 2>/dev/null || umount -l "${mounted[i]}" || true
  done
  if [ "$keep" -eq 1 ]; then
    echo "The root is kept in $root"
  elif findmnt -rn -o TARGET | grep -q "^$root"; then
    echo "Something is still mounted under $root: left in place" >&2
  else
    rm -rf --one-file-system "$scratch"
  fi
  echo "Logs: $logs"
}
trap clean_up EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

mount_in_root() { # mount_in_root TARGET ARGS...
  local target=$root$1
  shift
  mkdir -p "$target"
  mount "$@" "$target"
  mounted+=("$target")
}

# Runs a command in the root as root, with a login's bare environment; the CA file the host's
# network needs is named as on the host.
in_root() {
  chroot "$root" /usr/bin/env -i HOME=/root USER=root LANG=C.UTF-8 TERM=dumb \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin "${ca_env[@]}" "$@"
}

# The same as the user "player", who has no sudo. The words are kept in player_command, so that
# a run in the background is a plain command, whose pid becomes the show's.
player_prefix() {
  player_command=(chroot "$root" /usr/bin/setpriv --reuid=player --regid=player --init-groups
    /usr/bin/env -i HOME=/home/player USER=player LANG=C.UTF-8 TERM=dumb
    PATH=/usr/local/bin:/usr/bin:/bin "${ca_env[@]}")
}

as_player() {
  player_prefix
  "${player_command[@]}" "$@"
}

stage() { echo "== $(date -u +%H:%M:%S) $*"; }
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# Some networks are reached only through a CA of their own, which the host names in these.
ca_env=()
copy_host_ca_files() {
  local name file
  for name in NODE_EXTRA_CA_CERTS SSL_CERT_FILE; do
    file=${!name:-}
    [ -n "$file" ] && [ -f "$file" ] || continue
    mkdir -p "$root$(dirname "$file")" "$root/usr/local/share/ca-certificates"
    cp "$file" "$root$file"
    # Kept here too, so that a later update-ca-certificates in the root keeps the host's CAs.
    cp "$file" "$root/usr/local/share/ca-certificates/host-$name.crt"
    ca_env+=("$name=$file")
  done
}

# A bare copy of the repository as it is now, which clones in the root take from.
offer_repository() { # offer_repository NAME
  rm -rf "$root/srv/$1"
  git clone -q --bare --no-local "$source_repo" "$root/srv/$1"
  # Owned by root, cloned by the user too.
  in_root git config --system --add safe.directory "/srv/$1"
}

make_root() {
  stage "debootstrap --variant=minbase $release $root"
  debootstrap --variant=minbase "$release" "$root" http://deb.debian.org/debian \
    >"$logs/debootstrap.log" 2>&1 || { tail -n 20 "$logs/debootstrap.log"; return 1; }
  cp /etc/resolv.conf "$root/etc/resolv.conf"
  copy_host_ca_files
  mount_in_root /proc -t proc proc
  mount_in_root /sys -t sysfs sysfs
  mount_in_root /dev --bind /dev
  mount_in_root /dev/pts --bind /dev/pts
  mount_in_root /dev/shm -t tmpfs -o mode=1777 tmpfs
  stage "git and ca-certificates, and a user without sudo"
  in_root bash -c 'export DEBIAN_FRONTEND=noninteractive; apt-get update -q &&
    apt-get install -y -q --no-install-recommends git ca-certificates' >"$logs/base.log" 2>&1 ||
    { tail -n 20 "$logs/base.log"; return 1; }
  copy_host_ca_files
  in_root useradd -m -s /bin/bash player
  offer_repository kelvorinsaa.git
  offer_repository kelvorinsaa-play.git
}

# ./play.sh without the packages and without sudo: status 1 and one sentence naming su -c.
check_refusal() {
  stage "./play.sh as player, before the packages"
  as_player bash -c "git clone -q /srv/kelvorinsaa.git ~/kelvorinsaa && cd ~/kelvorinsaa &&
    git checkout -q $commit && ./play.sh" >"$logs/play_refused.log" 2>&1 && status=0 || status=$?
  cat "$logs/play_refused.log"
  [ "$status" -eq 1 ] || fail "./play.sh without sudo ended with status $status, expected 1"
  [ "$(wc -l <"$logs/play_refused.log")" -eq 1 ] && grep -q "su -c '" "$logs/play_refused.log" ||
    fail "./play.sh without sudo did not refuse in one line naming su -c"
}

run_check() {
  local start=$SECONDS
  if [ "$skip_check" -eq 1 ]; then
    stage "scripts/install_deps.sh test as root (./check.sh left out)"
    in_root bash -c "git clone -q /srv/kelvorinsaa.git /root/kelvorinsaa && cd /root/kelvorinsaa &&
      git checkout -q $commit && bash scripts/install_deps.sh test" >"$logs/check.log" 2>&1 ||
      fail "scripts/install_deps.sh test as root"
    return
  fi
  stage "./check.sh as root on $commit (log: $logs/check.log)"
  if in_root bash -c "git clone -q /srv/kelvorinsaa.git /root/kelvorinsaa && cd /root/kelvorinsaa &&
      git checkout -q $commit && ./check.sh" >"$logs/check.log" 2>&1; then
    echo "./check.sh passed in $((SECONDS - start)) s"
  else
    tail -n 40 "$logs/check.log"
    fail "./check.sh as root, after $((SECONDS - start)) s"
  fi
  grep -E "tests passed|tests failed" "$logs/check.log" || true
}

start_display() {
  local number_file=$root/tmp/display_number tries
  chroot "$root" Xvfb -displayfd 3 -screen 0 1024x768x24 +extension GLX -noreset 3>"$number_file" \
    >/dev/null 2>&1 &
  display_pid=$!
  for tries in $(seq 1 100); do
    display=$(head -n 1 "$number_file" 2>/dev/null | tr -dc 0-9)
    [ -n "$display" ] && return 0
    sleep 0.1
  done
  fail "Xvfb did not come up in the root"
  return 1
}

# ./play.sh with the packages there: it builds, the show starts, and SIGTERM ends it.
check_play() {
  local play_commit=$commit pid tries status
  if [ -n "$play_ref" ]; then
    play_commit=$(git -C "$source_repo" rev-parse --verify "$play_ref^{commit}")
    offer_repository kelvorinsaa-play.git
  fi
  stage "./play.sh as player on $play_commit, with the packages there"
  start_display || return 0
  player_prefix
  "${player_command[@]}" bash -c "cd ~/kelvorinsaa &&
    git fetch -q /srv/kelvorinsaa-play.git '+refs/heads/*:refs/remotes/play/*' &&
    git checkout -q $play_commit && DISPLAY=:$display SDL_AUDIODRIVER=dummy exec ./play.sh" \
    >"$logs/play.log" 2>&1 &
  pid=$!
  # play.sh ends by becoming the show: wait for that, through a build of a few minutes.
  for tries in $(seq 1 1800); do
    [[ "$(readlink "/proc/$pid/exe" 2>/dev/null)" == */kelvorinsaa ]] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.5
  done
  if ! kill -0 "$pid" 2>/dev/null; then
    wait "$pid" && status=0 || status=$?
    tail -n 20 "$logs/play.log"
    fail "./play.sh ended with status $status before the show ran"
    return 0
  fi
  sleep 3
  kill -0 "$pid" 2>/dev/null || { fail "the show ended by itself within 3 s"; return 0; }
  kill -TERM "$pid" || true
  for tries in $(seq 1 20); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$pid" 2>/dev/null; then
    kill -KILL "$pid"
    fail "the show was still running 2 s after SIGTERM"
  fi
  wait "$pid" && status=0 || status=$?
  echo "The show started and ended on SIGTERM with status $status"
  [ "$status" -eq 143 ] || fail "the show ended on SIGTERM with status $status, expected 143"
  kill "$display_pid" 2>/dev/null || true
}

begin=$SECONDS
make_root
echo "The root with git took $((SECONDS - begin)) s"
check_refusal
run_check
check_play
echo "Disk used by the root: $(du -sxh "$root" | cut -f1)"
echo "In all $((SECONDS - begin)) s, $failures failures"
[ "$failures" -eq 0 ]
