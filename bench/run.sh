#!/usr/bin/env bash
# Benchmark of complete runs: bash bench/run.sh [path/to/quillopro.exe]
# Needs root (the sink listens on 127.0.0.90:25) and a built program.
set -euo pipefail
cd "$(dirname "$0")/.."
program=$(realpath "${1:-build/cgi/quillopro.exe}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$program" "$work/quillopro.exe"
# MX lookups go to a loopback address nothing answers on, never elsewhere.
printf 'nameserver 127.0.0.254\noptions timeout:1 attempts:1\n' > "$work/resolv.conf"
exec unshare --mount --propagation private bash -c \
  'mount --bind "$1" /etc/resolv.conf && exec /usr/bin/python3 bench/bench_run.py "$2"' \
  bench "$work/resolv.conf" "$work/quillopro.exe"
