#!/usr/bin/env bash
# Installs what building, testing and the demo need on Debian 12, as root:
# Debian packages that are missing, and the browser driver from npm.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  build-essential cmake pkg-config libgtest-dev libssl-dev libcli11-dev clang clang-format libclang-rt-14-dev git
  qt6-base-dev qt6-base-dev-tools libgl-dev xvfb xauth imagemagick fonts-urw-base35
  python3 python3-pytest python3-aiosmtpd python3-dnslib python3-dkim msmtp time openssl postfix spamassassin iproute2
  lighttpd apache2 nginx fcgiwrap spawn-fcgi util-linux procps chromium faketime
  dpkg-dev file desktop-file-utils lintian debootstrap
  g++-mingw-w64-x86-64-posix wine wine64 fonts-wine zip
)
command -v node >/dev/null 2>&1 || packages+=(nodejs)
command -v npm >/dev/null 2>&1 || packages+=(npm)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  # Postfix is here for tests, which run instances of their own on loopback
  # addresses: the system's stays unconfigured (no main.cf) and is not
  # started at boot, where it would take port 25 on every address.
  echo "postfix postfix/main_mailer_type select No configuration" | debconf-set-selections
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
  case " ${missing[*]} " in
    *" postfix "*) systemctl disable --now postfix.service >/dev/null 2>&1 || true ;;
  esac
fi

# The browser tests drive the system's Chromium; the driver comes from npm,
# at the version the lock file names.
if [ ! -d tests/browser/node_modules/playwright-core ]; then
  (cd tests/browser && npm ci --no-audit --no-fund --loglevel=error)
fi
