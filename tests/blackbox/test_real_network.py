"""Mail that leaves a real server: run under two_hosts.sh, the web server and
quillopro.exe on the web host (Debian's /etc/hosts, which maps the host name
to 127.0.1.1, and a web server name that is on no network card), the mail
servers and the DNS server on the mail host, nothing on loopback between
them. Every transport, behind every web server: without settings to the
form's QUILLO_SERVER and to the domain's MX, with [smtp] to the site's
relay, and through the local mail system."""

import contextlib
import email
import email.policy
import glob
import json
import os
import shutil
import subprocess
import tempfile
import time
from urllib.parse import urlencode

import pytest

import debian_servers
import web_servers
from cgi_site import WINDOWS, Site, document_page, form
from postfix_server import postfix
from addresses import LOCAL_POSTFIX

MAIL_HOST = os.environ.get("QUILLO_MAIL_HOST", "").split()
WEB_IP = os.environ.get("QUILLO_WEB_IP", "")
MAIL_IP = os.environ.get("QUILLO_MAIL_IP", "")
RELAY_IP = os.environ.get("QUILLO_RELAY_IP", "")
RESOLV_CONF = os.environ.get("QUILLO_WEB_RESOLV_CONF", "")

pytestmark = [pytest.mark.skipif(not MAIL_HOST, reason="runs on the web host of tests/blackbox/two_hosts.sh"),
              pytest.mark.skipif(WINDOWS, reason="Debian's servers with the Linux program")]

# The site's public name resolves to an address of a router in front of the
# web host, on none of its cards.
ZONE = {"mx": {"example.com": [[10, "mx.example.com"]]},
        "a": {"mx.example.com": MAIL_IP, "relay.example.net": RELAY_IP, "www.example.com": "93.184.216.34"}}
THANKS = debian_servers.sample_page("thanks.htm", FirstName="Jo", Name="Doe", QUILLO_TO="info@example.com",
                                     Email="webmaster@example.com")
SETTINGS = "[site]\nsender = forms@example.com\n[smtp]\nhost = relay.example.net\n"


class MailHost:
    """The mail host: Postfix for example.com on MAIL_IP, a relay on RELAY_IP."""

    def __init__(self, mta, relay_folder):
        self.mta = mta
        self.relay_folder = relay_folder

    def relayed(self, count, seconds=30):
        deadline = time.monotonic() + seconds
        while len(glob.glob(os.path.join(self.relay_folder, "*.json"))) < count and time.monotonic() < deadline:
            time.sleep(0.05)
        found = []
        for path in sorted(glob.glob(os.path.join(self.relay_folder, "*.json")), key=os.path.getmtime):
            with open(path) as f, open(path[:-5] + ".eml", "rb") as raw:
                found.append((json.load(f), email.message_from_bytes(raw.read(), policy=email.policy.default)))
        return found


@pytest.fixture
def mail_host():
    folder = tempfile.mkdtemp(prefix="quillo-relay-")
    server = subprocess.Popen(MAIL_HOST + ["/usr/bin/python3", os.path.join(os.path.dirname(__file__), "mail_host.py"),
                                           MAIL_IP, RELAY_IP, folder, json.dumps(ZONE)],
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    try:
        assert server.stdout.readline().strip() == "ready", server.stderr.read()
        with postfix(MAIL_IP, domain="example.com", on_host=MAIL_HOST) as mta:
            yield MailHost(mta, folder)
    finally:
        server.terminate()
        server.wait(timeout=10)
        shutil.rmtree(folder, ignore_errors=True)


def sample_post(server):
    """The sample form as a visitor fills it, the mail server field as given."""
    with open(os.path.join(debian_servers.SITE, "htdocs", "contact.htm"), encoding="latin-1") as f:
        fields = debian_servers.form_fields(f.read())
    typed = {"_FE_Email": "webmaster@example.com", "_R_Name": "Doe", "_R_FirstName": "Jo", "_R_Street": "1 Main St",
             "_R_City": "Springfield", "_R_Zip": "12345", "_R_Country": "Utopia"}
    return urlencode([(n, server if n == "QUILLO_SERVER" else typed.get(n, v)) for n, v in fields])


def received_from(message):
    """The HELO name and address of the first Received line: the mail host's
    word for where the mail came from."""
    line = " ".join(message.get_all("Received")[0].split())
    return line


SERVERS = {"apache mod_cgid": debian_servers.apache, "lighttpd": debian_servers.lighttpd,
           "nginx + fcgiwrap": debian_servers.nginx}
TRANSPORTS = {
    "QUILLO_SERVER": ("mx.example.com", None),
    "MX lookup": ("", None),
    "[smtp] relay": ("", SETTINGS),
}
MATRIX = []


@pytest.mark.parametrize("transport", sorted(TRANSPORTS))
@pytest.mark.parametrize("server", sorted(SERVERS))
def test_mail_leaves_the_web_host_by_every_transport(mail_host, server, transport):
    smtp_server, settings = TRANSPORTS[transport]
    with debian_servers.debian_site(resolv=RESOLV_CONF) as site:
        if settings:
            path = os.path.join(debian_servers.cgi_folder(site), "quillopro.ini")
            with open(path, "w") as f:
                f.write(settings)
            os.chmod(path, 0o644)
        with SERVERS[server](site) as port:
            status, _, page = web_servers.post(port, "/cgi-bin/quillopro.exe", sample_post(smtp_server),
                                               {"Host": "www.example.com"})
    if settings:
        messages = [message for _, message in mail_host.relayed(2, seconds=10)]
    else:
        messages = mail_host.mta.messages(2, seconds=10)
    MATRIX.append("%s, %s: %d %s, %d mails" % (server, transport, status, page[:12], len(messages)))
    assert (status, page) == (200, THANKS)
    assert sorted(m["Subject"] for m in messages) == ["Contact form: Jo Doe", "Thank you for your message"]
    if not settings:
        # Received by the mail host from the web host's own address.
        assert all("[%s]" % WEB_IP in received_from(m) for m in messages), [received_from(m) for m in messages]


def test_the_local_mail_system_hands_it_on(mail_host):
    # The sendmail command of a Postfix instance takes its folder from root
    # only, so the program runs under the root lighttpd of the other tests.
    site = Site(nameserver=MAIL_IP)
    with postfix(LOCAL_POSTFIX, relay=MAIL_IP, domain="example.org") as local, contextlib.closing(site):
        site.write("ok.htm", "SENT\n")
        site.write("err.htm", "NOT SENT\n")
        site.write("quillopro.ini", "[site]\nsender = forms@example.com\n[smtp]\ntransport = sendmail\n"
                                    "sendmail_path = %s\n" % local.sendmail_path)
        body = form(("QUILLO_TO", "info@example.com"), ("QUILLO_SUCCESS", "ok.htm"), ("QUILLO_ERROR", "err.htm"),
                    ("_F_Email", "jo@example.org"), ("Comment", "Hello"))
        with web_servers.lighttpd(site.dir, RESOLV_CONF) as port:
            status, _, page = web_servers.post(port, "/cgi-bin/quillopro.exe", body)
        messages = mail_host.mta.messages(1)
    MATRIX.append("lighttpd (root), sendmail: %d %s, %d mails" % (status, page[:12], len(messages)))
    assert (status, page) == (200, b"SENT\r\n")
    (message,) = messages
    assert message["From"] == "<forms@example.com>" and message["Reply-To"] == "<jo@example.org>"


def test_zz_the_matrix():
    print("\n".join(MATRIX))
