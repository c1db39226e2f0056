#!/usr/bin/env bash
# Runs a command in a network of its own, its loopback all its own, so that
# the servers a suite starts can never meet another suite's, whatever runs
# beside it:
#
#   own_network.sh COMMAND...
#
# A mount namespace of its own too, so that what the command mounts (a
# private /etc/hosts, a resolver configuration) ends with it. Needs root;
# a Windows build's tests run in the network wine-session.sh gives them.
set -euo pipefail
if [ -z "${QUILLO_OWN_NETWORK:-}" ]; then
  exec unshare --net --mount --propagation private env QUILLO_OWN_NETWORK=1 bash "$0" "$@"
fi
ip link set lo up
exec "$@"
