"""quillo, the site owner's command, as a site owner runs it in a shell: the
check of a site's setup, the probe of its relay and a test mail, against a
real SMTP server (aiosmtpd) in this suite's own network."""
import os
import re
import shutil
import subprocess

import pytest

from addresses import ADMIN_RELAY
from mail_servers import smtp_server

ADMIN = os.environ.get("QUILLO_ADMIN_EXE", "")
PROGRAM = os.environ.get("QUILLOPRO_EXE", "")


@pytest.fixture
def site(tmp_path):
    shutil.copy(PROGRAM, tmp_path / "quillopro.exe")
    (tmp_path / "ok.htm").write_text("ok\n")
    (tmp_path / "quillopro.ini").write_text(
        "[site]\nsender = forms@example.com\ndocuments = ok.htm\n[smtp]\nhost = %s\n" % ADMIN_RELAY)
    os.chmod(tmp_path / "quillopro.ini", 0o640)
    return tmp_path


def quillo(site, *arguments):
    run = subprocess.run([ADMIN, *arguments, "--program", str(site / "quillopro.exe"), "--user", "root"],
                         stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)
    return run.returncode, run.stdout.decode(), run.stderr.decode()


def test_check_reads_the_site_and_probes_the_relay_without_mail(site):
    with smtp_server(ADMIN_RELAY) as received:
        status, printed, errors = quillo(site, "check", "--connect")
    assert (status, errors, received) == (0, "", [])
    lines = printed.splitlines()
    assert lines[:3] == ["OK    settings %s read without a mistake" % (site / "quillopro.ini"),
                         "OK    settings %s: root may read it" % (site / "quillopro.ini"),
                         "OK    document %s: root may read it" % (site / "ok.htm")]
    assert lines[3] == "Connecting to %s:25" % ADMIN_RELAY
    assert re.fullmatch(r"  greeting    220 .*", lines[4]) and lines[5].startswith("  EHLO        250")
    assert lines[-1] == "OK    %s:25 greets the site (no TLS); no mail was sent" % ADMIN_RELAY


def test_a_mistake_and_a_dead_relay_are_failures(site):
    (site / "quillopro.ini").write_text("[site]\nsender = forms@example.com\n[smtp]\nhost = %s\nport = 2\n"
                                        % ADMIN_RELAY)
    status, printed, _ = quillo(site, "check", "--connect")
    assert status == 2
    assert printed.splitlines()[-1].startswith("FAIL  connect at %s:2: no connection: " % ADMIN_RELAY)
    (site / "quillopro.ini").write_text("[site]\nsender = forms\n")
    assert quillo(site, "check") == (
        2, "FAIL  settings %s line 2: 'forms' is not an e-mail address; every post gets error 604 until it is "
           "mended\n" % (site / "quillopro.ini"), "")


def test_send_test_delivers_one_mail_and_prints_each_reply(site):
    with smtp_server(ADMIN_RELAY) as received:
        status, printed, errors = quillo(site, "send-test", "owner@example.org")
    assert (status, errors) == (0, "")
    assert printed.splitlines()[0] == "Sending a test mail to owner@example.org from forms@example.com"
    assert [line.split()[0] for line in printed.splitlines()[1:-1] if not line.startswith("  EHLO")] == [
        "greeting", "MAIL", "RCPT", "DATA", "end"]
    assert printed.splitlines()[-1] == "OK    the mail was accepted"
    (mail,) = received
    assert (mail.mail_from, mail.rcpt_tos) == ("forms@example.com", ["owner@example.org"])
    assert mail.message["Subject"] == "quillo send-test"
