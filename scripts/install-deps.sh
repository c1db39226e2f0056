#!/usr/bin/env bash
# Installs what building, testing and the demo need on Debian 12, as root:
# Debian packages that are missing, and the browser driver from npm.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  build-essential cmake pkg-config libgtest-dev libssl-dev libcli11-dev nlohmann-json3-dev libsqlite3-dev sqlite3 clang clang-format libclang-rt-14-dev git
  qt6-base-dev qt6-base-dev-tools libgl-dev xvfb xauth imagemagick fonts-urw-base35
  python3 python3-pytest python3-aiosmtpd python3-dnslib python3-dkim msmtp time openssl curl postfix spamassassin iproute2
  lighttpd apache2 nginx fcgiwrap spawn-fcgi util-linux procps chromium faketime
  dpkg-dev file desktop-file-utils lintian debootstrap
  g++-mingw-w64-x86-64-posix wine wine64 fonts-wine zip unzip
)
command -v node >/dev/null 2>&1 || packages+=(nodejs)
command -v npm >/dev/null 2>&1 || packages+=(npm)

bash scripts/install-packages.sh "${packages[@]}"

# The browser tests drive the system's Chromium; the driver, the challenge
# widget and its reference library come from npm,
# at the version the lock file names.
if [ ! -d tests/browser/node_modules/playwright-core ] || [ ! -d tests/browser/node_modules/altcha-lib ]; then
  (cd tests/browser && npm ci --no-audit --no-fund --loglevel=error)
fi
