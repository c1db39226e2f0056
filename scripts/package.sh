#!/usr/bin/env bash
# Makes the Debian packages build-package/quillo_<version>_<arch>.deb (the
# CGI program, its settings, examples, the manual) and
# build-package/quillo-wizard_<version>_<arch>.deb (the desktop wizard) on
# Debian 12, as root, installing what building them needs first: both
# programs built RelWithDebInfo like the tested build, the CGI program a
# static PIE, stripped in the package. An optional argument names another
# build folder.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-package}

needed=(build-essential cmake pkg-config libssl-dev libcli11-dev qt6-base-dev libgl-dev dpkg-dev file)
missing=()
for p in "${needed[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
fi

# The wizard and the static program are asked for, not defaulted.
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
  -DQUILLO_BUILD_WIZARD=ON -DQUILLO_STATIC_PROGRAM=ON -DQUILLO_BUILD_TESTS=OFF -DQUILLO_BUILD_BENCH=OFF
cmake --build "$build" -j 2
(cd "$build" && cpack -G DEB)
