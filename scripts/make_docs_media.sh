#!/usr/bin/env bash
# Regenerates the README's screenshots and its animated preview with kelvorinsaa-capture.
# Needs an X display (Xvfb works) and ffmpeg. Usage: scripts/make_docs_media.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
frames=$(mktemp -d)
trap 'rm -rf "$frames"' EXIT

# The last of two seconds at 30 fps ending at each moment, so that the brightness and the
# trails have built up as in a run from the start: seconds into the show, the name under docs/.
while read -r second name; do
  "$build/kelvorinsaa-capture" --fps 30 --from "$((second - 2))" --to "$second" "$frames/$name/"
  cp "$frames/$name/frame_000060.png" "docs/$name.png"
done <<'SHOTS'
80 scene_text_and_rings
45 scene_spirals_and_fan
120 scene_ring_glow
SHOTS

# Four seconds of spirals (after one second of warming up) and fans at 20 frames per second, half size, as an animated WebP.
"$build/kelvorinsaa-capture" --fps 20 --from 40 --to 45 "$frames/preview/"
ffmpeg -hide_banner -loglevel error -y -framerate 20 -start_number 21 -i "$frames/preview/frame_%06d.png" \
  -vf scale=320:240:flags=lanczos -c:v libwebp_anim -quality 70 -loop 0 docs/preview.webp
ls -l docs/*.png docs/preview.webp
