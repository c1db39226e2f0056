#!/usr/bin/env bash
# Runs a command on the web host of a network of two hosts, as site owners
# run the program: the web host and the mail host are network namespaces of
# their own, joined by a veth pair, with nothing on loopback in between.
#
#   two_hosts.sh COMMAND...
#
# The web host is 10.N.0.1 (N picked at random), its host name "webhost",
# which its /etc/hosts maps to 127.0.1.1 as stock Debian writes it, and its
# resolver asks the mail host. The mail host carries 10.N.0.2 and 10.N.0.3.
# COMMAND runs on the web host in a mount namespace of its own, with
#   QUILLO_MAIL_HOST  the command prefix that runs a command on the mail host
#   QUILLO_WEB_IP, QUILLO_MAIL_IP, QUILLO_RELAY_IP  the addresses
#   QUILLO_WEB_RESOLV_CONF  the web host's resolver configuration
# Both namespaces are removed when it ends. Needs root.
set -euo pipefail

id=$$
web="quillo-web-$id"
mail="quillo-mail-$id"
n=$((RANDOM % 200 + 30))
work=$(mktemp -d)
cleanup() {
  ip netns del "$web" 2>/dev/null || true
  ip netns del "$mail" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

ip netns add "$web"
ip netns add "$mail"
ip link add "qw$id" type veth peer name "qm$id"
ip link set "qw$id" netns "$web"
ip link set "qm$id" netns "$mail"
ip -n "$web" addr add "10.$n.0.1/24" dev "qw$id"
ip -n "$mail" addr add "10.$n.0.2/24" dev "qm$id"
ip -n "$mail" addr add "10.$n.0.3/24" dev "qm$id"
for ns in "$web" "$mail"; do ip -n "$ns" link set lo up; done
ip -n "$web" link set "qw$id" up
ip -n "$mail" link set "qm$id" up

# What Debian's installer writes for a machine named webhost.
printf '127.0.0.1\tlocalhost\n127.0.1.1\twebhost\n\n::1     localhost ip6-localhost ip6-loopback\nff02::1 ip6-allnodes\nff02::2 ip6-allrouters\n' \
  > "$work/hosts"
printf 'nameserver 10.%d.0.2\noptions timeout:1 attempts:1\n' "$n" > "$work/resolv.conf"
chmod 644 "$work/hosts" "$work/resolv.conf"
chmod 755 "$work"

export QUILLO_MAIL_HOST="ip netns exec $mail"
export QUILLO_WEB_IP="10.$n.0.1" QUILLO_MAIL_IP="10.$n.0.2" QUILLO_RELAY_IP="10.$n.0.3"
export QUILLO_WEB_RESOLV_CONF="$work/resolv.conf"
ip netns exec "$web" unshare --mount --uts --propagation private bash -c '
  hostname webhost &&
  mount --bind "$1" /etc/hosts &&
  mount --bind "$2" /etc/resolv.conf &&
  shift 2 && "$@"' two-hosts "$work/hosts" "$work/resolv.conf" "$@"
