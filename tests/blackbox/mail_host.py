"""The mail host's servers, run on the mail host of tests/blackbox/two_hosts.sh
(through QUILLO_MAIL_HOST): a DNS server for the test's names and a relay
(aiosmtpd) that keeps what it takes as files.

    mail_host.py DNS_IP RELAY_IP FOLDER ZONE_JSON

ZONE_JSON: {"mx": {domain: [[preference, exchange], ...]}, "a": {name: ip}}.
Each message the relay takes becomes FOLDER/N.eml, the envelope and the
EHLO name in FOLDER/N.json. Prints "ready" when both serve; ends on SIGTERM."""

import json
import os
import signal
import sys

sys.path.insert(0, os.path.dirname(__file__))

from aiosmtpd.controller import Controller  # noqa: E402

from mail_servers import dns_server  # noqa: E402


class Keeper:
    def __init__(self, folder):
        self.folder = folder
        self.count = 0

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        base = os.path.join(self.folder, "%d" % self.count)
        with open(base + ".json.tmp", "w") as f:
            json.dump({"mail_from": envelope.mail_from, "rcpt_tos": list(envelope.rcpt_tos),
                       "helo": session.host_name, "peer": session.peer[0]}, f)
        with open(base + ".eml", "wb") as f:
            f.write(envelope.original_content)
        os.rename(base + ".json.tmp", base + ".json")
        return "250 Message accepted for delivery"


def main(dns_ip, relay_ip, folder, zone):
    zone = json.loads(zone)
    signal.pthread_sigmask(signal.SIG_BLOCK, {signal.SIGINT, signal.SIGTERM})
    controller = Controller(Keeper(folder), hostname=relay_ip, port=25)
    controller.start()
    with dns_server(dns_ip, mx={d: [tuple(x) for x in v] for d, v in zone["mx"].items()}, a=zone["a"]):
        print("ready", flush=True)
        signal.sigwait({signal.SIGINT, signal.SIGTERM})
    controller.stop()


if __name__ == "__main__":
    main(*sys.argv[1:])
