#!/usr/bin/env bash
# Cuts the show's icon from its own picture, the sphere of rings in the last glow scene
# (docs/scene_ring_glow.png, made by scripts/make_docs_media.sh): a square around the sphere in a
# round mask, written at every hicolor size into data/icons/SIZE/kelvorinsaa.png. The PNGs are
# committed, so that building and packaging need no ImageMagick; run this again (ImageMagick's
# convert) when the picture changes.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source=$root/docs/scene_ring_glow.png
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The sphere fills about 420 pixels around (330, 250) of the 640 x 480 frame.
convert "$source" -crop 420x420+120+40 +repage -resize 512x512 "$work/square.png"
convert -size 512x512 xc:black -fill white -draw "circle 255.5,255.5 255.5,2" "$work/mask.png"
convert "$work/square.png" "$work/mask.png" -alpha off -compose CopyOpacity -composite \
  "$work/round.png"
for size in 16 32 48 64 128 256; do
  mkdir -p "$root/data/icons/$size"
  # No time stamps or other chunks that change from one run to the next.
  convert "$work/round.png" -filter Lanczos -resize "${size}x${size}" -strip \
    -define png:exclude-chunks=date,time "PNG32:$root/data/icons/$size/kelvorinsaa.png"
done
