"""End-to-end delivery: the driver calls sendMail and MxResolver as the
program does, with its own resolver configuration pointing at a DNS server
this test runs on 127.0.0.190, and delivers to real SMTP servers (aiosmtpd)
on 127.0.0.191 and 127.0.0.192. Nobody listens on 127.0.0.193. The machine's
own resolver is never asked.
"""
import email
import email.policy
import os
import re
import subprocess
import sys

import pytest
from aiosmtpd.controller import Controller
from dnslib import CNAME, MX, QTYPE, RCODE, RR, A
from dnslib.server import BaseResolver, DNSLogger, DNSServer

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "blackbox"))
from addresses import END_TO_END_DNS as DNS  # noqa: E402  the one table of test addresses
from addresses import END_TO_END_NOBODY as NOBODY  # noqa: E402
from addresses import END_TO_END_SMTP_BACKUP as SMTP_BACKUP  # noqa: E402
from addresses import END_TO_END_SMTP_MAIN as SMTP_MAIN  # noqa: E402

DRIVER = os.environ.get("SMTP_DRIVER", "")
# What starts the driver where it cannot start itself: wine for a Windows build.
DRIVER_RUNNER = [word.encode() for word in os.environ.get("SMTP_DRIVER_RUNNER", "").split()]
# wine turns a command line into Windows text through the Unix locale: 8-bit
# arguments do not reach a Windows driver as the bytes they were.
eight_bit_arguments = pytest.mark.skipif(bool(DRIVER_RUNNER), reason="8-bit arguments do not pass through wine")
DATE = "Mon, 01 Jan 2024 10:00:00 +0100"

# name -> list of (type, data); anything else does not exist.
ZONE = {
    "mail.quillo.test.": [("MX", (20, "backup.quillo.test.")), ("MX", (10, "mx.quillo.test."))],
    "alias.quillo.test.": [("CNAME", "mail.quillo.test."),
                           ("MX", (20, "backup.quillo.test.")), ("MX", (10, "mx.quillo.test."))],
    "other.quillo.test.": [("MX", (5, "backup.quillo.test."))],
    "mx.quillo.test.": [("A", SMTP_MAIN)],
    "backup.quillo.test.": [("A", SMTP_BACKUP)],
    "nomx.quillo.test.": [("A", SMTP_MAIN)],
}


class ZoneResolver(BaseResolver):
    def resolve(self, request, handler):
        reply = request.reply()
        name = str(request.q.qname).lower()
        wanted = QTYPE[request.q.qtype]
        if name not in ZONE:
            reply.header.rcode = RCODE.NXDOMAIN
            return reply
        for kind, data in ZONE[name]:
            if kind == "CNAME":
                reply.add_answer(RR(name, QTYPE.CNAME, rdata=CNAME(data), ttl=60))
            elif kind == wanted == "MX":
                reply.add_answer(RR(name, QTYPE.MX, rdata=MX(data[1], data[0]), ttl=60))
            elif kind == wanted == "A":
                reply.add_answer(RR(name, QTYPE.A, rdata=A(data), ttl=60))
        return reply


class Collector:
    def __init__(self):
        self.received = []

    async def handle_DATA(self, server, session, envelope):
        self.received.append((envelope.mail_from, list(envelope.rcpt_tos), envelope.original_content))
        return "250 OK queued"


@pytest.fixture(scope="module")
def servers(tmp_path_factory):
    if not DRIVER:
        pytest.skip("SMTP_DRIVER is not set")
    dns = DNSServer(ZoneResolver(), address=DNS, port=53, logger=DNSLogger(logf=lambda text: None))
    dns.start_thread()
    main, backup = Collector(), Collector()
    controllers = [Controller(main, hostname=SMTP_MAIN, port=25), Controller(backup, hostname=SMTP_BACKUP, port=25)]
    for controller in controllers:
        controller.start()
    resolv = tmp_path_factory.mktemp("resolver") / "resolv.conf"
    resolv.write_text(f"nameserver {DNS}\noptions timeout:1 attempts:1\n")
    probe = subprocess.run(["unshare", "--mount", "--propagation", "private", "sh", "-c",
                            'mount --bind "$0" /etc/resolv.conf && cat /etc/resolv.conf', str(resolv)],
                           capture_output=True)
    try:
        if DNS not in probe.stdout.decode(errors="replace"):
            pytest.skip("cannot give the driver its own resolv.conf: " + probe.stderr.decode(errors="replace"))
        yield {"resolv": str(resolv), "main": main, "backup": backup}
    finally:
        for controller in controllers:
            controller.stop()
        dns.stop()


def run_driver(servers, *args):
    """Runs the driver with the test's resolver configuration; its stdout lines."""
    encoded = [a.encode("latin-1") if isinstance(a, str) else a for a in args]
    command = [b"unshare", b"--mount", b"--propagation", b"private", b"sh", b"-c",
               b'mount --bind "$0" /etc/resolv.conf && exec "$@"', servers["resolv"].encode(),
               *DRIVER_RUNNER, DRIVER.encode()] + encoded
    done = subprocess.run(command, capture_output=True, timeout=60)
    assert done.returncode == 0, done.stderr
    return done.stdout.decode("latin-1").split("\n")[:-1]


def take(collector):
    received = list(collector.received)
    collector.received.clear()
    return received


def test_mx_lookup_through_the_system_resolver(servers):
    assert run_driver(servers, "mx", "user@mail.quillo.test") == ["true", "mx.quillo.test", "backup.quillo.test"]
    # An alias before the MX records: the choice starts at the first MX record.
    assert run_driver(servers, "mx", "user@alias.quillo.test") == ["true", "mx.quillo.test", "backup.quillo.test"]
    assert run_driver(servers, "mx", "a@b@mail.quillo.test") == ["false", "", ""]
    assert run_driver(servers, "mx", "user@nomx.quillo.test") == ["false", "", ""]
    assert run_driver(servers, "mx", "user@missing.quillo.test") == ["false", "", ""]
    assert run_driver(servers, "mx", "user@") == ["false", "", ""]


TEXT = "  Gr\xfc\xdfe aus K\xf6ln, ##name##!\r\nA = B\r\n.\r\n" + "x" * 69 + ".\r\n" + "\xe9" * 40 + "\r\nend  "
HTML = "<p>Gr\xfc\xdfe, <b>##name##</b></p>\n" + "<i>\xe4</i>" * 20


@eight_bit_arguments
def test_multipart_mail_reaches_a_real_server_intact(servers):
    answer = run_driver(servers, "send", "--first", "nolocal.quillo.test", "--second", "127.0.0.1",
                        "--from", "form@site.test", "--name", "J\xfcrgen M\xfcller", "--high",
                        "--subject", "Anfrage von ##name## \xfcber das Formular", "--date", DATE,
                        "--field", "name=J\xfcrgen", "--to", "owner@mail.quillo.test",
                        "--text", TEXT, "--html", HTML)
    assert answer == ["OK"]
    [(sender, recipients, content)] = take(servers["main"])
    assert take(servers["backup"]) == []
    assert sender == "form@site.test"
    assert recipients == ["owner@mail.quillo.test"]
    assert not re.search(rb"\r(?!\n)|(?<!\r)\n", content), "every line ends in CR LF"

    message = email.message_from_bytes(content, policy=email.policy.default)
    assert str(message["Subject"]) == "Anfrage von J\xfcrgen \xfcber das Formular"
    assert message["From"].addresses[0].display_name == "J\xfcrgen M\xfcller"
    assert message["From"].addresses[0].addr_spec == "form@site.test"
    assert message["To"].addresses[0].addr_spec == "owner@mail.quillo.test"
    assert message["Date"] == DATE
    assert message["X-Priority"] == "1"
    assert message["X-Mailer"] == "Tessik Quillo!Pro v4"
    assert message["MIME-Version"] == "1.0"
    assert message.get_content_type() == "multipart/alternative"
    plain, html = message.get_payload()
    for part, body in ((plain, TEXT), (html, HTML)):
        assert part["Content-Transfer-Encoding"] == "quoted-printable"
        assert part.get_content_charset() == "iso-8859-1"
        decoded = part.get_payload(decode=True).replace(b"\r\n", b"\n").rstrip(b"\n")
        assert decoded == body.strip().replace("\r\n", "\n").encode("latin-1")
    assert plain.get_content_type() == "text/plain"
    assert html.get_content_type() == "text/html"
    assert all(len(line) <= 76 for line in content.split(b"\r\n")), "no line past 76 characters"


@eight_bit_arguments
def test_refusing_server_falls_back_and_8_bit_text_only_goes_out_quoted_printable(servers):
    answer = run_driver(servers, "send", "--server", NOBODY, "--from", "v@site.test",
                        "--name", "Eve\r\nBcc: victim@site.test", "--subject", "Hi\r\nBcc: x@site.test",
                        "--date", DATE, "--to", "owner@mail.quillo.test",
                        "--text", "Gr\xfc\xdfe\r\n.\r\nbare\rCR\r\ntrailing   \r\nlast")
    assert answer == ["OK"]
    [(sender, recipients, content)] = take(servers["main"])
    assert recipients == ["owner@mail.quillo.test"]
    assert content == (b"From: \"Eve  Bcc: victim@site.test\" <v@site.test>\r\n"
                       b"To: <owner@mail.quillo.test>\r\n"
                       b"Subject: Hi  Bcc: x@site.test\r\n"
                       b"Date: " + DATE.encode() + b"\r\n"
                       b"X-Mailer: Tessik Quillo!Pro v4\r\n"
                       b"X-Priority: 3\r\n"
                       b"Content-Transfer-Encoding: quoted-printable\r\n"
                       b"Content-Type: text/plain;\r\n"
                       b"\tcharset=\"iso-8859-1\"\r\n"
                       b"\r\n"
                       b"Gr=FC=DFe\r\n"
                       b".\r\n"
                       b"bareCR\r\n"
                       b"trailing\r\n"
                       b"last\r\n"
                       b"\r\n")
    message = email.message_from_bytes(content, policy=email.policy.default)
    assert message["Bcc"] is None


def test_every_recipient_gets_the_same_message(servers):
    answer = run_driver(servers, "send", "--from", "form@site.test", "--subject", "Two", "--date", DATE,
                        "--to", "one@mail.quillo.test", "--to", "two@other.quillo.test", "--html", "<p>hi</p>")
    assert answer == ["OK"]
    [(_, to_main, main_content)] = take(servers["main"])
    [(_, to_backup, backup_content)] = take(servers["backup"])
    assert (to_main, to_backup) == (["one@mail.quillo.test"], ["two@other.quillo.test"])
    assert main_content == backup_content
    message = email.message_from_bytes(main_content, policy=email.policy.default)
    assert [a.addr_spec for a in message["To"].addresses] == ["one@mail.quillo.test", "two@other.quillo.test"]
    assert message.get_content_type() == "text/html"
    assert message["MIME-Version"] is None


def test_no_exchanger_and_no_server_answers_no(servers):
    assert run_driver(servers, "send", "--from", "f@site.test", "--to", "u@missing.quillo.test",
                      "--text", "x") == ["NO"]
    assert run_driver(servers, "send", "--from", "f@site.test", "--to", "u@nomx.quillo.test",
                      "--text", "x") == ["NO"]
    assert take(servers["main"]) == [] and take(servers["backup"]) == []
