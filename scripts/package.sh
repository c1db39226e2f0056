#!/usr/bin/env bash
# Makes the Debian package build-package/quillo_<version>_<arch>.deb (Debian
# 12, with the build dependencies and dpkg-dev installed; see
# scripts/install-deps.sh): the CGI program as a static PIE, the wizard, the
# manual, built RelWithDebInfo like the tested build and stripped in the
# package. An optional argument names another build folder.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-package}

# The prefix is the package's, so that any path compiled in is where dpkg puts
# the file; the wizard and the static program are asked for, not defaulted.
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
  -DQUILLO_BUILD_WIZARD=ON -DQUILLO_STATIC_PROGRAM=ON -DQUILLO_BUILD_TESTS=OFF -DQUILLO_BUILD_BENCH=OFF
cmake --build "$build" -j 2
(cd "$build" && cpack -G DEB)
