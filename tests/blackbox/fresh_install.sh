#!/usr/bin/env bash
# Runs a command beside a fresh Debian 12 root, as a new site owner's server
# would be: debootstrap's minbase with Apache, nginx and fcgiwrap added (and
# spawn-fcgi, which Debian's init script for fcgiwrap needs without
# systemd), no daemon started by the installs, and the server package made
# by cpack from this build, not yet installed:
#
#   fresh_install.sh CPACK BUILD_DIR COMMAND...
#
# COMMAND runs under two_hosts.sh (the web host and a mail host on a veth
# pair) with QUILLO_FRESH_ROOT, the root's folder, and QUILLO_FRESH_DEB, the
# package's path inside it. Needs root and Debian's mirror; the root is
# removed at the end.
set -euo pipefail
cpack=$1 build=$2
shift 2
root=$(mktemp -d /tmp/quillo-fresh-XXXXXX)
chmod 755 "$root"  # a root folder only root may enter locks the web server out
cleanup() {
  umount "$root/proc" 2>/dev/null || true
  umount "$root/dev" 2>/dev/null || true
  rm -rf "$root"
}
trap cleanup EXIT

mirror=$(sed -n 's/^URIs: *//p' /etc/apt/sources.list.d/debian.sources 2>/dev/null | head -n 1)
debootstrap --variant=minbase bookworm "$root" "${mirror:-http://deb.debian.org/debian}" >"$root.log" 2>&1 ||
  { cat "$root.log"; rm -f "$root.log"; exit 1; }
rm -f "$root.log"
printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
chmod 755 "$root/usr/sbin/policy-rc.d"
cp /etc/resolv.conf "$root/etc/resolv.conf"
mount --bind /dev "$root/dev"
mount -t proc proc "$root/proc"
chroot "$root" apt-get update -qq
DEBIAN_FRONTEND=noninteractive chroot "$root" apt-get install -y -qq --no-install-recommends \
  apache2 nginx fcgiwrap spawn-fcgi >/dev/null

"$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$root/tmp/packages" >"$root/tmp/cpack.log" 2>&1 ||
  { cat "$root/tmp/cpack.log"; exit 1; }
deb=$(cd "$root/tmp/packages" && ls quillo_*.deb)
umount "$root/proc" "$root/dev"
export QUILLO_FRESH_ROOT=$root QUILLO_FRESH_DEB=/tmp/packages/$deb
bash "$(dirname "$0")/two_hosts.sh" "$@"
