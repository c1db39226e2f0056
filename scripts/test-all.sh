#!/usr/bin/env bash
# Installs every missing build and test dependency (Debian 12, as root),
# checks the format of every C++ file, builds the project three times (plain; with AddressSanitizer and
# UndefinedBehaviorSanitizer; the fuzz targets with clang), warnings as
# errors each time, and runs the tests of all three builds; then cross-builds
# both programs for Windows, runs the CGI program's tests under wine and
# walks the wizard's pages there.
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

echo "== the Windows build, its unit and black-box tests under wine"
cmake -S . -B build-windows --toolchain cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUILLO_WERROR=ON -DQUILLO_BUILD_TESTS=ON -DQUILLO_BUILD_WIZARD=OFF -DQUILLO_BUILD_BENCH=OFF
cmake --build build-windows -j "$jobs"
imports=$(x86_64-w64-mingw32-objdump -p build-windows/cgi/quillopro.exe | sed -n 's/^\tDLL Name: //p' | LC_ALL=C sort | tr '\n' ' ')
[ "$imports" = "DNSAPI.dll KERNEL32.dll WS2_32.dll msvcrt.dll " ] || { echo "quillopro.exe imports $imports" >&2; exit 1; }
bash scripts/wine-session.sh build-windows ctest --test-dir build-windows --output-on-failure -j "$jobs"

# The wizard for Windows in a build of its own target: its pages walked
# under wine on a private X display, Finish's bytes against the Linux batch.
echo "== quillogen.exe under wine"
cmake -S . -B build-windows-wizard --toolchain cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUILLO_WERROR=ON -DQUILLO_BUILD_TESTS=OFF -DQUILLO_BUILD_BENCH=OFF
cmake --build build-windows-wizard -j "$jobs" --target quillogen
imports=$(x86_64-w64-mingw32-objdump -p build-windows-wizard/wizard/quillogen.exe | sed -n 's/^\tDLL Name: //p' | LC_ALL=C sort -f | tr '\n' ' ')
echo "quillogen.exe imports $imports"
bash tests/wizard/windows/walk_under_wine.sh build-windows-wizard build
