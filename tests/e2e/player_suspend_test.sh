#!/usr/bin/env bash
# kelvorinsaa-play stopped by Ctrl-Z (SIGTSTP) under a pseudo-terminal: while it is stopped the
# terminal is as it was before the player took it, once continued the player has it raw again
# and takes keys at once, and at the end all is as before.
# Usage: player_suspend_test.sh BUILD_DIR
set -u
build=$(cd "$1" && pwd)
source "$(dirname "$0")/xvfb_lib.sh"
song="$(cd "$(dirname "$0")/../music/golden" && pwd)/test_song.txt"

SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/sound.raw" SDL_DISKAUDIODELAY=23 \
  timeout 60 python3 - "$build/kelvorinsaa-play" "$song" >"$work/out" 2>&1 <<'PY'
import os, signal, sys, termios, time

player, song = sys.argv[1], sys.argv[2]
master, slave = os.openpty()
slave_name = os.ttyname(slave)
before = termios.tcgetattr(slave)

# A session of its own with the terminal, and the player in a process group of its own under
# it, as a shell with job control runs a foreground job: stop signals then stop it.
leader = os.fork()
if leader == 0:
    os.close(master)
    os.setsid()
    os.close(os.open(slave_name, os.O_RDWR))  # the controlling terminal
    child = os.fork()
    if child == 0:
        os.setpgid(0, 0)
        signal.signal(signal.SIGTTOU, signal.SIG_IGN)  # taking the foreground from the back
        os.tcsetpgrp(slave, os.getpgrp())
        signal.signal(signal.SIGTTOU, signal.SIG_DFL)
        for fd in (0, 1, 2):
            os.dup2(slave, fd)
        os.execv(player, [player, "--song", song])
    os.setpgid(child, child)
    signal.signal(signal.SIGTTOU, signal.SIG_IGN)
    _, status = os.waitpid(child, 0)
    os._exit(os.waitstatus_to_exitcode(status) & 0xff)

seen = b""

def read_until(text, seconds=20):
    global seen
    end = time.time() + seconds
    while time.time() < end:
        try:
            os.set_blocking(master, False)
            seen += os.read(master, 65536)
        except BlockingIOError:
            time.sleep(0.05)
        if text in seen:
            return True
    return False

def fail(message):
    print(message)
    os.kill(leader, signal.SIGKILL)
    sys.exit(1)

def state(pid):
    with open("/proc/%d/stat" % pid) as f:
        return f.read().rsplit(")", 1)[1].split()[0]

if not read_until(b"of 1088"):
    fail("no display: %r" % seen[-300:])
player_pid = int(open("/proc/%d/task/%d/children" % (leader, leader)).read().split()[0])
raw = termios.tcgetattr(slave)
if raw[3] & termios.ICANON:
    fail("the player did not take the terminal")

os.kill(player_pid, signal.SIGTSTP)
for _ in range(100):
    if state(player_pid) == "T":
        break
    time.sleep(0.05)
else:
    fail("SIGTSTP did not stop the player")
if termios.tcgetattr(slave) != before:
    fail("while stopped the terminal is not as before")

os.kill(player_pid, signal.SIGCONT)
time.sleep(0.5)
if termios.tcgetattr(slave)[3] & termios.ICANON:
    fail("continued, the player did not take the terminal again")
os.write(master, b"q")  # no line feed: only a raw terminal passes it on at once
_, status = os.waitpid(leader, 0)
if os.waitstatus_to_exitcode(status) != 0:
    fail("q after continuing gave status %d" % os.waitstatus_to_exitcode(status))
if termios.tcgetattr(slave) != before:
    fail("at the end the terminal is not as before")
print("ok")
PY
status=$?
[ "$status" -eq 0 ] && grep -q '^ok$' "$work/out" || fail "$(cat "$work/out")"
echo "ok: Ctrl-Z gave the terminal back while stopped; continued, the player took it again"
