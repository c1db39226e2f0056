#!/usr/bin/env bash
# Rewrites cgi/start_order.ld from traced runs of build/cgi/quillopro.exe
# (see scripts/start_order.py). Run it after a change that moves much of
# what a short run executes, then rebuild.
#
#   bash scripts/start-order.sh
set -euo pipefail
cd "$(dirname "$0")/.."
if ! command -v valgrind >/dev/null 2>&1; then
  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq valgrind >/dev/null
fi
[ -f build/CMakeCache.txt ] || cmake --preset plain >/dev/null
cmake --build build -j2 --target quillopro >/dev/null
unshare --net --mount --propagation private bash -c '
  ip link set lo up &&
  exec /usr/bin/python3 scripts/start_order.py build/cgi/quillopro.exe build/cgi/quillopro.map cgi/start_order.ld'
cmake --build build -j2 --target quillopro >/dev/null
