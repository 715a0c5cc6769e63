#!/usr/bin/env bash
# Makes the release folder: the intro, its party text and a screenshot of the show.
# Usage: release.sh SOURCE_DIR INTRO OUT_DIR
set -euo pipefail
source_dir=$1 intro=$2 out=$3
mkdir -p "$out"
cp "$intro" "$out/kelvorinsaa-intro"
cp "$source_dir/docs/scene_text_and_rings.png" "$out/kelvorinsaa-intro.png"
size=$(stat -c %s "$intro")
sed "s/@SIZE@/$size/" "$source_dir/party/release.txt.in" >"$out/kelvorinsaa-intro.txt"
