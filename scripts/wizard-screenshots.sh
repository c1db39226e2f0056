#!/usr/bin/env bash
# Takes a picture of every wizard page under a virtual X display, as each
# page is first shown: OUT/page-1.png .. OUT/page-6.png.
#
#   wizard-screenshots.sh [OUT]            the Qt build, build/wizard/quillogen
#                                          (default OUT build/screenshots); needs
#                                          xvfb and xauth
#   wizard-screenshots.sh --windows [OUT]  quillogen.exe of build-windows under
#                                          wine, in a desktop window with its
#                                          frame (default OUT
#                                          build-windows/screenshots); needs
#                                          wine, Xvfb and ImageMagick
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${1:-}" = "--windows" ]; then
  out="${2:-build-windows/screenshots}"
  mkdir -p "$out"
  out=$(cd "$out" && pwd)
  source scripts/wine-desktop.sh
  wine_session_start
  # The program saves BMP files; the pictures are kept as PNG like the Qt ones.
  shots="$WINE_SESSION_DIR/shots"
  timeout 120 "${wine_desktop[@]}" build-windows/wizard/quillogen.exe --screenshot-dir "$(wine_path "$shots")"
  for bmp in "$shots"/page-*.bmp; do
    convert "$bmp" "$out/$(basename "$bmp" .bmp).png"
  done
  ls "$out"/page-*.png
  exit 0
fi

out="${1:-build/screenshots}"
mkdir -p "$out"
xvfb-run -a -s '-screen 0 1024x768x24' build/wizard/quillogen --screenshot-dir "$out"
ls "$out"/page-*.png
