# A PulseAudio of the test's own, for tests that play through a real sound server: a null sink
# "recorder" whose monitor parec records. Usage: source xvfb_lib.sh, then this file;
# start_sound_server; start_recording FILE; ...; stop_recording. Programs started afterwards
# play through it (PULSE_SERVER, XDG_RUNTIME_DIR and HOME are exported).
#
# The server keeps every value as it comes: the null sink runs at the programs' own format
# (s16le, 44100 Hz, 2 channels), so nothing is resampled or converted; the sink and the streams
# stay at 100 % volume, where the server copies samples unchanged, and flat volumes are off so
# that no stream's volume is ever raised to the sink's or moved by another.

rate=44100

start_sound_server() {
  local tries
  server="$work/pulse"
  mkdir -p "$server/runtime" "$server/home"
  chmod 700 "$server/runtime"
  cat >"$server/daemon.conf" <<'CONF'
default-sample-format = s16le
default-sample-rate = 44100
alternate-sample-rate = 44100
default-sample-channels = 2
avoid-resampling = yes
flat-volumes = no
CONF
  cat >"$server/server.pa" <<PA
load-module module-native-protocol-unix socket=$server/runtime/native auth-anonymous=1
load-module module-null-sink sink_name=recorder format=s16le rate=44100 channels=2
set-default-sink recorder
set-sink-volume recorder 65536
PA
  export HOME="$server/home" XDG_RUNTIME_DIR="$server/runtime" PULSE_RUNTIME_PATH="$server/runtime"
  export PULSE_CONFIG="$server/daemon.conf" PULSE_SERVER="unix:$server/runtime/native"
  # -n: no system script, only ours; as root a per-user server needs --system=no spelled out.
  # Real-time, as the recorder and the probe are: the server's main thread carries the programs'
  # sound in and the recording out, and where it stood still on a busy host, sound was lost
  # without the program's clock standing still for long, a failure by chance. Its sink's thread
  # makes itself real-time anyway.
  chrt -f 10 pulseaudio -n -F "$server/server.pa" --daemonize=no --system=no --exit-idle-time=-1 \
    --use-pid-file=no --disable-shm=yes --log-target=file:"$server/log" >/dev/null 2>&1 &
  started_pids+=($!)
  for tries in $(seq 1 100); do
    pactl info >/dev/null 2>&1 && break
    sleep 0.1
  done
  pactl info >/dev/null 2>&1 || fail "the sound server did not start: $(tail -n 3 "$server/log")"
  [ "$(pactl get-sink-volume recorder | grep -c '100%')" -eq 1 ] || fail "the sink is not at 100 %"
}

# Records the sink's monitor into $1 in the programs' own format.
start_recording() {
  chrt -f 10 parec -d recorder.monitor --format=s16le --rate=$rate --channels=2 --raw --latency-msec=5 >"$1" &
  recorder=$!
  started_pids+=("$recorder")
}
stop_recording() { kill "$recorder"; wait "$recorder" 2>/dev/null; }
# Waits until the recorder has received its first silence from the idle sink, so that the
# program's first sound is surely recorded.
wait_for_silence() {
  local tries
  for tries in $(seq 1 100); do
    [ "$(stat -c %s "$1")" -gt 0 ] && return 0
    sleep 0.1
  done
  fail "parec recorded nothing from the idle sink"
}
