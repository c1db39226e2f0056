"""The mail as receivers judge it: SpamAssassin with its local tests only
(spamassassin -L -t), and Python's email package with the strict policy.
Each mail of the sample form (the built-in layouts, text only, the sample
site's template) gets the Received line its receiving server would write,
with the greeting the program really sent, and is scored without settings,
with the settings the sample site recommends, and with those and
reply_to = off. A site with settings must score at most 1.0 with the
visitor's address in Reply-To and nothing without."""

import email
import email.policy
import email.utils
import os
import re
import shutil
import subprocess
import tempfile

import pytest

from cgi_site import WINDOWS, Site, form
from mail_servers import smtp_server
from addresses import INBOX_SERVER as SERVER

SAMPLE = os.path.join(os.path.dirname(__file__), "..", "..", "examples", "site", "cgi-bin")
RECOMMENDED = "[site]\nsender = forms@example.com\ncharset = utf-8\n[smtp]\nhelo = www.example.com\n"
SETTINGS = {"no settings": None, "sender, Reply-To": RECOMMENDED, "sender, reply_to = off":
            RECOMMENDED.replace("[smtp]", "reply_to = off\n[smtp]")}
LAYOUTS = {"built-in": [], "text only": [("QUILLO_FORMAT", "TEXT")], "template": [("QUILLO_TEMPLATE", "mail.tpl")]}

pytestmark = pytest.mark.skipif(not shutil.which("spamassassin"), reason="needs Debian's spamassassin")


def sample_post(layout, visitor):
    return form(("QUILLO_TO", "info@example.com"), ("QUILLO_SERVER", SERVER), ("QUILLO_SUCCESS", "thanks.htm"),
                ("QUILLO_ERROR", "error.htm"), ("QUILLO_SUBJECT", "Contact form: ##FirstName## ##Name##"),
                *LAYOUTS[layout], ("_FE_Email", visitor), ("_R_Name", "Doe"), ("_R_FirstName", "Jane"),
                ("Company", "Doe & Daughters"), ("_R_Street", "12 High Street"), ("_R_City", "Springfield"),
                ("_R_Zip", "12345"), ("_R_Country", "Utopia"),
                ("Comments", "Hello,\r\nwhen are you open on Saturdays?\r\nThanks, Jane"))


def mail_of(settings, layout, visitor):
    """The main mail of one post, as the receiving server stores it."""
    site = Site(nameserver=SERVER)
    try:
        for name in ("thanks.htm", "error.htm", "mail.tpl"):
            with open(os.path.join(SAMPLE, name), "rb") as f:
                site.write(name, f.read())
        if settings:
            site.write("quillopro.ini", settings)
        with smtp_server(SERVER) as received:
            site.run(sample_post(layout, visitor), env={"SERVER_NAME": "www.example.com"})
        (mail,) = received
    finally:
        site.close()
    # What a receiving server writes: the greeting it was given, the address
    # the connection came from (a public one), its own name and the time.
    line = ("Received: from %s (www.example.com [93.184.216.34])\r\n\tby mx.example.com (Postfix) with ESMTPS id "
            "4Q1abc0XyZz9\r\n\tfor <info@example.com>; %s\r\n" % (mail.helo, email.utils.formatdate()))
    return line.encode() + mail.raw


def spamassassin(message):
    """The score and the rules that fired."""
    home = tempfile.mkdtemp(prefix="quillo-sa-")
    try:
        out = subprocess.run(["spamassassin", "-L", "-t"], input=message, stdout=subprocess.PIPE,
                             stderr=subprocess.DEVNULL, env=dict(os.environ, HOME=home), timeout=120).stdout
    finally:
        shutil.rmtree(home, ignore_errors=True)
    status = email.message_from_bytes(out)["X-Spam-Status"]
    score = float(re.search(r"score=(-?[\d.]+)", status).group(1))
    rules = re.search(r"tests=(.*?)(?:autolearn|version|$)", " ".join(status.split()), re.S).group(1)
    return score, [r for r in re.split(r"[,\s]+", rules) if r and r != "none"]


def defects(message):
    parsed = email.message_from_bytes(message, policy=email.policy.strict)
    return [(part.get_content_type(), d) for part in parsed.walk() for d in part.defects]


@pytest.mark.skipif(WINDOWS, reason="the Linux program's mail; the Windows program writes the same bytes")
def test_a_site_with_settings_sends_mail_inboxes_take():
    rows = []
    for visitor in ("jane@example.org", "jane.doe@gmail.com"):
        for settings_name, settings in SETTINGS.items():
            for layout in LAYOUTS:
                message = mail_of(settings, layout, visitor)
                score, rules = spamassassin(message)
                rows.append((visitor, settings_name, layout, score, rules, defects(message)))
    print("\n| visitor | settings | layout | score | rules |\n|---|---|---|---:|---|")
    for visitor, settings_name, layout, score, rules, _ in rows:
        print("| %s | %s | %s | %.1f | %s |" % (visitor, settings_name, layout, score, " ".join(rules)))
    for visitor, settings_name, layout, score, rules, found in rows:
        if settings_name != "no settings":
            assert found == [], (settings_name, layout, found)
        if visitor == "jane@example.org" and settings_name == "sender, Reply-To":
            assert score <= 1.0, (layout, rules)
        if settings_name == "sender, reply_to = off":
            assert score < 0.05, (visitor, layout, rules)
