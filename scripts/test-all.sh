#!/usr/bin/env bash
# Installs every missing build and test dependency (Debian 12, as root),
# checks the format of every C++ file, builds the project three times (plain; with AddressSanitizer and
# UndefinedBehaviorSanitizer; the fuzz targets with clang), warnings as
# errors each time, and runs the tests of all three builds; then builds
# quillogen.exe with mingw-w64 and walks its pages under wine, where the
# cross compiler and wine are installed.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

echo "== every C++ file as clang-format writes it"
git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror

jobs=2
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLO_WERROR=ON -DQUILLO_BUILD_TESTS=ON
cmake --build build -j "$jobs"
cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DQUILLO_WERROR=ON -DQUILLO_SANITIZE=ON -DQUILLO_BUILD_TESTS=ON \
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

# The wizard for Windows: its own target only, so that this stage stays short
# whatever else the Windows build holds; skipped where the cross compiler,
# wine or Xvfb is missing.
if command -v x86_64-w64-mingw32-g++-posix >/dev/null && command -v wine >/dev/null && command -v Xvfb >/dev/null; then
  echo "== quillogen.exe under wine"
  cmake -S . -B build-windows --toolchain cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLO_WERROR=ON
  cmake --build build-windows -j "$jobs" --target quillogen
  bash tests/wizard/windows/walk_under_wine.sh build-windows build
else
  echo "== quillogen.exe under wine: skipped (needs x86_64-w64-mingw32-g++-posix, wine and Xvfb)"
fi
