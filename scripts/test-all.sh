#!/usr/bin/env bash
# Installs every missing build and test dependency (Debian 12, as root),
# builds the project twice (plain, and with AddressSanitizer and
# UndefinedBehaviorSanitizer, warnings as errors both times) and runs all
# tests of both builds.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  build-essential cmake pkg-config libgtest-dev
  qt6-base-dev qt6-base-dev-tools libgl-dev xvfb xauth imagemagick
  python3 python3-pytest python3-aiosmtpd python3-dnslib
  lighttpd apache2 util-linux procps
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

jobs=2
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLO_WERROR=ON
cmake --build build -j "$jobs"
cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DQUILLO_WERROR=ON -DQUILLO_SANITIZE=ON \
  -DQUILLO_BUILD_WIZARD=OFF -DQUILLO_BUILD_BENCH=OFF
cmake --build build-sanitize -j "$jobs"

echo "== tests under AddressSanitizer and UndefinedBehaviorSanitizer"
ctest --test-dir build-sanitize --output-on-failure -j "$jobs"
echo "== all tests"
ctest --test-dir build --output-on-failure -j "$jobs"
