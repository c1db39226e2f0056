#!/usr/bin/env bash
# Installs the Debian packages named that are missing (Debian 12, as root):
#
#   install-packages.sh PACKAGE...
#
# Postfix, when named, is for tests, which run instances of their own on
# loopback addresses: the system's stays unconfigured (no main.cf) and is
# not started at boot, where it would take port 25 on every address.
set -euo pipefail
missing=()
for p in "$@"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
echo "postfix postfix/main_mailer_type select No configuration" | debconf-set-selections
apt-get update -qq
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
case " ${missing[*]} " in
  *" postfix "*) systemctl disable --now postfix.service >/dev/null 2>&1 || true ;;
esac
