#!/usr/bin/env bash
# Installs every missing build and test dependency (Debian 12, as root),
# checks the format of every C++ file, builds the project three times (plain; with AddressSanitizer and
# UndefinedBehaviorSanitizer; the fuzz targets with clang), warnings as
# errors each time, and runs the tests of all three builds; then cross-builds
# both programs for Windows, runs the CGI program's tests under wine and
# walks the wizard's pages there.
#
# With --quick, the everyday loop: the format and layer checks, the plain
# build and its unit tier (ctest -L unit), as any user, nothing installed
# (run the full command once first, as root, for the tools).
set -euo pipefail
cd "$(dirname "$0")/.."

quick=false
[ "${1:-}" = "--quick" ] && quick=true
$quick || bash scripts/install-deps.sh

echo "== every C++ file as clang-format writes it"
git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror

# The builds are the presets of CMakePresets.json, two jobs each.
cmake --preset plain
cmake --build --preset plain
if $quick; then
  echo "== the unit tier"
  exec ctest --preset unit
fi
cmake --preset sanitize
cmake --build --preset sanitize
cmake --preset fuzz
cmake --build --preset fuzz

echo "== fuzz targets, a bounded run each"
ctest --preset fuzz

echo "== tests under AddressSanitizer and UndefinedBehaviorSanitizer"
ctest --preset sanitize
echo "== all tests"
ctest --preset plain

echo "== the Windows build, its unit and black-box tests under wine"
cmake --preset windows
cmake --build --preset windows
imports=$(x86_64-w64-mingw32-objdump -p build-windows/cgi/quillopro.exe | sed -n 's/^\tDLL Name: //p' | LC_ALL=C sort | tr '\n' ' ')
[ "$imports" = "ADVAPI32.dll CRYPT32.dll DNSAPI.dll KERNEL32.dll Secur32.dll WS2_32.dll msvcrt.dll " ] || { echo "quillopro.exe imports $imports" >&2; exit 1; }
bash scripts/wine-session.sh build-windows ctest --test-dir build-windows --output-on-failure -j 2
# The release zip holds what its README.txt names.
zip_out=$(mktemp -d)
(cd build-windows && cpack -G ZIP -B "$zip_out" >/dev/null)
listed=$(unzip -Z1 "$zip_out"/quillo-*-win64.zip | sed 's|^[^/]*/||' | grep -v '/$' | LC_ALL=C sort | tr '\n' ' ')
rm -rf "$zip_out"
[ "$listed" = "README.txt manual-en-us.html quillopro.exe tools/wiz/sample.template web.config " ] || { echo "the zip holds $listed" >&2; exit 1; }

# The wizard for Windows in a build of its own target: its pages walked
# under wine on a private X display, Finish's bytes against the Linux batch.
echo "== quillogen.exe under wine"
cmake --preset windows-wizard
cmake --build --preset windows-wizard
imports=$(x86_64-w64-mingw32-objdump -p build-windows-wizard/wizard/quillogen.exe | sed -n 's/^\tDLL Name: //p' | LC_ALL=C sort -f | tr '\n' ' ')
echo "quillogen.exe imports $imports"
bash tests/wizard/windows/walk_under_wine.sh build-windows-wizard build
