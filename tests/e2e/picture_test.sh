#!/usr/bin/env bash
# The whole show end to end under Xvfb: it plays to its last row and ends by itself with status
# 0, and while it runs in real time its window shows a plausible picture (features, not pixels).
# Usage: picture_test.sh BUILD_DIR
set -u
build=$(cd "$1" && pwd)
source "$(dirname "$0")/xvfb_lib.sh"
start_display || exit 1

# The real ImageMagick; a convert earlier on PATH may be a stand-in.
if [ -x /usr/bin/magick ]; then
  magick=(/usr/bin/magick) compare=(/usr/bin/magick compare)
elif [ -x /usr/bin/convert ] && [ -x /usr/bin/compare ]; then
  magick=(/usr/bin/convert) compare=(/usr/bin/compare)
else
  fail "ImageMagick is not installed"
fi

# Prints an fx expression evaluated over a whole image.
image_stat() { "${magick[@]}" "$1" -format "%[fx:$2]" info:; }

check() { awk "BEGIN { exit !($1) }" || fail "$2 ($1)"; }

# 1. With the disk writer and no delay the song is mixed as fast as the machine can: the
#    frame driver must see the last row and end the show without any input.
SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/fast.raw" SDL_DISKAUDIODELAY=0 \
  "$build/kelvorinsaa" -w >"$work/fast.out" 2>&1 &
pid=$!
started_pids+=("$pid")
wait_for_exit "$pid" 300
status=$?
[ "$status" -eq 0 ] || fail "the show did not end by itself with 0 (status $status; 124: still running)"
echo "ok: the whole show plays and ends by itself with status 0"

# 2. In real time (the dummy driver consumes sound at its playing rate), look at the window
#    during the ring sphere (about 5 s) and during the text ring with spirals (about 20 s).
SDL_AUDIODRIVER=dummy "$build/kelvorinsaa" -w >"$work/live.out" 2>&1 &
pid=$!
started_pids+=("$pid")
window=$(wait_for_window Kelvorinsaa) || fail "no window titled Kelvorinsaa"
expect_test_sdl "$pid"
shots=()
for wait_s in 5 15; do
  sleep "$wait_s"
  kill -0 "$pid" 2>/dev/null || fail "the real-time show ended early"
  shot="$work/shot_${#shots[@]}.png"
  import -window "$window" "$shot" 2>/dev/null || fail "no screenshot of the window"
  shots+=("$shot")
done
xdotool key --window "$window" space 2>/dev/null
wait_for_exit "$pid" 10
status=$?
[ "$status" -eq 0 ] || fail "a key did not end the real-time show with 0 (status $status)"

for shot in "${shots[@]}"; do
  size=$("${magick[@]}" "$shot" -format "%wx%h" info:)
  [ "$size" = 640x480 ] || fail "screenshot is $size"
  mean=$(image_stat "$shot" mean)
  check "$mean > 0.02 && $mean < 0.85" "mean brightness out of range"
  check "$(image_stat "$shot" maxima) > 0.5" "picture has no bright pixel"
  # Warm palette: the fade tint and the layers' colours favour red over blue.
  check "$(image_stat "$shot" mean.r) > $(image_stat "$shot" mean.b)" "picture is not warm"
  # The show is centred: a good share of the middle of the screen is lit.
  lit=$("${magick[@]}" "$shot" -gravity center -crop 320x240+0+0 +repage -channel R -separate \
    -threshold 40% -format "%[fx:mean]" info:)
  check "$lit > 0.05" "too little light near the centre"
  echo "ok: $(basename "$shot"): mean $mean, centre lit share $lit"
done
difference=$("${compare[@]}" -metric RMSE "${shots[0]}" "${shots[1]}" null: 2>&1 |
  sed 's/.*(\(.*\))/\1/')
check "$difference > 0.02" "the picture did not change between the two scenes"
echo "ok: the picture changes from scene to scene (RMSE $difference)"
