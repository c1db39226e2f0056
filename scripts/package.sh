#!/usr/bin/env bash
# Makes the Debian packages build-package/quillo_<version>_<arch>.deb (the
# CGI program, its settings, examples, the manual) and
# build-package/quillo-wizard_<version>_<arch>.deb (the desktop wizard) on
# Debian 12, as root, installing what building them needs first: both
# programs built RelWithDebInfo like the tested build, the CGI program a
# static program, stripped in the package. An optional argument names another
# build folder.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-package}

bash scripts/install-packages.sh build-essential cmake pkg-config libssl-dev libcli11-dev qt6-base-dev libgl-dev \
  dpkg-dev file

# The wizard and the static program are asked for, not defaulted.
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
  -DQUILLO_BUILD_WIZARD=ON -DQUILLO_STATIC_PROGRAM=ON -DQUILLO_BUILD_TESTS=OFF -DQUILLO_BUILD_BENCH=OFF
cmake --build "$build" -j 2
(cd "$build" && cpack -G DEB)
