#!/usr/bin/env bash
# Runs a command beside Windows programs under wine, the way the Windows
# build's tests need it (as root, for the private network):
#
#   bash scripts/wine-session.sh BUILD-WINDOWS-DIR COMMAND...
#
# - a private network of its own (unshare --net): loopback all its own, so
#   that the tests' mail and DNS servers cannot collide with another run's;
# - a fresh wine prefix for this run alone, removed at the end (WINEPREFIX
#   is exported to COMMAND);
# - wineserver started inside that network: a Windows program's sockets are
#   made by the wineserver, in the network it runs in;
# - one resident Windows program for the whole run (wine_resident.exe of the
#   build), so that wine keeps its system processes and a program starts in
#   a fraction of a second instead of seconds;
# - the same for nobody, whom Apache runs CGI programs as: wine refuses a
#   prefix another user owns, so nobody gets a prefix of its own (its path
#   exported to COMMAND as QUILLO_NOBODY_WINEPREFIX), a wineserver in this
#   network and a resident program. Both prefixes are made side by side.
set -euo pipefail

if [ -z "${QUILLO_WINE_SESSION:-}" ]; then
  exec unshare --net --mount --propagation private env QUILLO_WINE_SESSION=1 bash "$0" "$@"
fi
build=$(cd "$1" && pwd)
shift
ip link set lo up

export WINEDEBUG=-all
# No .NET or HTML engine to offer to install while the prefix is made.
export WINEDLLOVERRIDES="mscoree,mshtml="
WINEPREFIX=$(mktemp -d /tmp/quillo-wine-XXXXXX)
export WINEPREFIX
# Under /tmp, where the user nobody can reach it; the prefix is its alone.
QUILLO_NOBODY_WINEPREFIX=$(mktemp -d /tmp/quillo-wine-nobody-XXXXXX)
export QUILLO_NOBODY_WINEPREFIX
chown nobody:nogroup "$QUILLO_NOBODY_WINEPREFIX"
as_nobody() {
  runuser -u nobody -- env WINEPREFIX="$QUILLO_NOBODY_WINEPREFIX" "$@"
}
residents=()
# The resident programs end first: one still starting when its wineserver
# is killed would start a new one and keep it alive.
cleanup() {
  if [ "${#residents[@]}" -gt 0 ]; then
    kill "${residents[@]}" 2>/dev/null || true
    wait "${residents[@]}" 2>/dev/null || true
  fi
  wineserver -k 2>/dev/null || true
  as_nobody wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  as_nobody wineserver -w 2>/dev/null || true
  rm -rf "$WINEPREFIX" "$QUILLO_NOBODY_WINEPREFIX"
}
trap cleanup EXIT

started=$(date +%s)
wineserver -p
as_nobody wineserver -p
wineboot -i >/dev/null 2>&1 &
root_boot=$!
as_nobody wineboot -i >/dev/null 2>&1 &
nobody_boot=$!
wait "$root_boot"
wait "$nobody_boot"
wine "$build/tests/support/wine_resident.exe" </dev/null >/dev/null 2>&1 &
residents+=($!)
as_nobody wine "$build/tests/support/wine_resident.exe" </dev/null >/dev/null 2>&1 &
residents+=($!)
echo "== wine prefixes $WINEPREFIX and $QUILLO_NOBODY_WINEPREFIX (nobody's) ready in $(($(date +%s) - started)) s"

"$@"
