#!/usr/bin/env bash
# Takes a picture of every wizard page under a virtual X display, as each
# page is first shown: OUT/page-1.png .. OUT/page-6.png (default
# build/screenshots). Needs the built wizard (build/wizard/quillogen), xvfb
# and xauth.
set -euo pipefail
cd "$(dirname "$0")/.."
out="${1:-build/screenshots}"
mkdir -p "$out"
xvfb-run -a -s '-screen 0 1024x768x24' build/wizard/quillogen --screenshot-dir "$out"
ls "$out"/page-*.png
