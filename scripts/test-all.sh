#!/usr/bin/env bash
# Installs every missing build and test dependency (Debian 12, as root),
# builds the project three times (plain; with AddressSanitizer and
# UndefinedBehaviorSanitizer; the fuzz targets with clang), warnings as
# errors each time, and runs the tests of all three builds.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  build-essential cmake pkg-config libgtest-dev clang libclang-rt-14-dev
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
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=Debug -DQUILLO_WERROR=ON -DQUILLO_FUZZ=ON \
  -DQUILLO_BUILD_TESTS=OFF -DQUILLO_BUILD_WIZARD=OFF -DQUILLO_BUILD_BENCH=OFF
cmake --build build-fuzz -j "$jobs"

echo "== fuzz targets, a bounded run each"
ctest --test-dir build-fuzz --output-on-failure

echo "== tests under AddressSanitizer and UndefinedBehaviorSanitizer"
ctest --test-dir build-sanitize --output-on-failure -j "$jobs"
echo "== all tests"
ctest --test-dir build --output-on-failure -j "$jobs"
