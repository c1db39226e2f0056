#!/usr/bin/env bash
# What complete runs of quillopro.exe cost, as ratios to two floors compiled
# here, then what TLS and AUTH add to a delivery; prints two Markdown tables
# (see bench/bench_run.py and bench/tls_cost.py).
#
#   bash bench/run.sh [path/to/quillopro.exe]
#
# Without a path it builds build/cgi/quillopro.exe first. QUILLO_BENCH_RUNS
# sets the runs per case (default 10), QUILLO_BENCH_SILENT_RUNS those of the
# silent-resolver case (default 3; each takes seconds). Needs root: the sink
# listens on port 25, in a network namespace of its own.
set -euo pipefail
cd "$(dirname "$0")/.."

missing=()
command -v msmtp >/dev/null 2>&1 || missing+=(msmtp)
[ -x /usr/bin/time ] || missing+=(time)
command -v cc >/dev/null 2>&1 || missing+=(build-essential)
command -v cmake >/dev/null 2>&1 || missing+=(cmake)
/usr/bin/python3 -c 'import aiosmtpd, dnslib, pytest' 2>/dev/null || missing+=(python3-aiosmtpd python3-dnslib python3-pytest)
command -v openssl >/dev/null 2>&1 || missing+=(openssl)
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}" >&2
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
fi

if [ $# -eq 0 ]; then
  if [ ! -f build/CMakeCache.txt ]; then
    cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLO_BUILD_TESTS=OFF \
      -DQUILLO_BUILD_WIZARD=OFF >/dev/null
  fi
  cmake --build build -j2 --target quillopro >/dev/null
fi
program=$(realpath "${1:-build/cgi/quillopro.exe}")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Static, so that neither floor pays for a dynamic loader.
for floor in cgi_floor smtp_floor; do
  cc -O2 -static -o "$work/$floor" "bench/floors/$floor.c"
done
# MX lookups go to a loopback address inside the namespace: nothing listens
# there (refused at once) except while the silent-resolver case runs.
printf 'nameserver 127.0.0.53\noptions timeout:1 attempts:1\n' > "$work/resolv.conf"

unshare --net --mount --propagation private bash -c '
  ip link set lo up &&
  mount --bind "$1/resolv.conf" /etc/resolv.conf &&
  /usr/bin/python3 bench/bench_run.py "$1" "$2" &&
  echo &&
  exec /usr/bin/python3 bench/tls_cost.py "$2"' bench "$work" "$program"
