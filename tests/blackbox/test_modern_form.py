"""The wizard's HTML5 page judged by real tools, on every page the wizard can
write in that style and on the sample site's: axe-core in Chromium at WCAG
2.1 A and AA, html-validate's recommended rules, a phone's width (375 x 812
CSS pixels: no sideways scrolling, no touch target under 44 px); then filled
in and sent through lighttpd with its script and without, the mail in UTF-8.

QUILLO_SCREENSHOT_DIR keeps the phone and desktop pictures of the full page."""

import email.header
import itertools
import json
import os
import shutil
import subprocess
import tempfile

import pytest

from mail_servers import smtp_server
from web_servers import lighttpd
from addresses import MODERN_FORM_SERVER

QUILLOGEN = os.environ.get("QUILLOGEN_EXE", "")
BROWSER_DIR = os.path.join(os.path.dirname(__file__), "..", "browser")
SITE = os.path.join(os.path.dirname(__file__), "..", "..", "examples", "site")
ENTRIES = ["--url", "/cgi-bin/quillopro.exe", "--to", "info@example.com", "--success", "ok.htm", "--error",
           "err.htm", "--style", "html5"]
# Every section alone and all together, each spam check, files, and the
# page that goes with its settings file (honeypot and script).
VARIANTS = {
    "email only": [],
    "everything": ["--email-verify", "--address", "--misc", "--comments", "--sample-fields"],
    "no email, comments": ["--no-email", "--comments"],
    "sample fields": ["--sample-fields", "--no-email-from"],
    "altcha, files, settings": ["--captcha", "altcha", "--uploads", "--comments", "--settings", "SETTINGS"],
    "turnstile": ["--captcha", "turnstile", "--captcha-site-key", "1x00000000000000000000AA"],
    "hcaptcha": ["--captcha", "hcaptcha", "--captcha-site-key", "10000000-ffff-ffff-ffff-000000000001"],
    "recaptcha": ["--captcha", "recaptcha", "--captcha-site-key", "6LeIxAcTAAAAAJcZVRqyHh71UMIEGNQ_MXjiZKhI"],
}


def node(script, *arguments):
    done = subprocess.run(["node", script, *arguments], cwd=BROWSER_DIR, capture_output=True, timeout=240)
    assert done.returncode == 0, done.stderr.decode(errors="replace")
    return json.loads(done.stdout)


@pytest.fixture(scope="module")
def pages():
    """Every variant's page, and the sample site's HTML5 pages, as files."""
    work = tempfile.mkdtemp(prefix="quillo-modern-")
    written = {}
    for name, options in VARIANTS.items():
        path = os.path.join(work, name.replace(" ", "-").replace(",", "") + ".htm")
        options = [os.path.join(work, "quillopro.ini") if o == "SETTINGS" else o for o in options]
        subprocess.run([QUILLOGEN, "--batch", "-o", path, *ENTRIES, *options], check=True)
        written[name] = path
    written["sample form"] = os.path.join(SITE, "htdocs", "contact-html5.htm")
    for document in sorted(os.listdir(os.path.join(SITE, "cgi-bin"))):
        if document.endswith("-html5.htm"):
            written["sample " + document] = os.path.join(SITE, "cgi-bin", document)
    yield written
    shutil.rmtree(work, ignore_errors=True)


@pytest.mark.skipif(not QUILLOGEN, reason="the wizard is not built")
def test_every_html5_page_passes_axe_html_validate_and_a_phone(pages):
    assert node("validate_html.mjs", *pages.values()) == {path: [] for path in pages.values()}
    shots = os.environ.get("QUILLO_SCREENSHOT_DIR", "")
    checks = [{"url": "file://" + os.path.abspath(path)} for path in pages.values()]
    if shots:
        checks[1].update(phone=os.path.join(shots, "phone.png"), desktop=os.path.join(shots, "desktop.png"))
    for name, result in zip(pages, node("page_check.mjs", json.dumps(checks))):
        assert (result["axe"], result["small"]) == ([], []), name
        assert result["scrollWidth"] == result["viewport"] == 375, name


def decoded(value):
    return str(email.header.make_header(email.header.decode_header(value)))


@pytest.mark.skipif(not QUILLOGEN, reason="the wizard is not built")
@pytest.mark.parametrize("scripts", ["on", "off"])
def test_a_browser_sends_the_html5_page_with_its_script_and_without(site, scripts):
    docs = tempfile.mkdtemp(prefix="quillo-docs-")
    try:
        os.chmod(docs, 0o755)
        site.write("ok.htm", "<!DOCTYPE html><html lang=\"en\"><title>Thanks</title><p>Thank you!</p></html>\r\n")
        site.write("err.htm", "<!DOCTYPE html><html lang=\"en\"><title>Sorry</title><p>Sorry.</p></html>\r\n")
        subprocess.run([QUILLOGEN, "--batch", "-o", os.path.join(docs, "form.htm"), *ENTRIES, "--server",
                        MODERN_FORM_SERVER, "--subject", "Anfrage von ##Name##", "--address", "--comments",
                        "--settings", site.path("quillopro.ini")], check=True)
        typed = {"_F_Email": "jo@example.org", "_R_FirstName": "Jürgen", "_R_Name": "Łódź", "_R_Street": "Hauptstr. 1",
                 "_R_City": "東京", "_R_Zip": "10115", "_R_Country": "Deutschland", "Comments": "Grüße\nund mehr"}
        with smtp_server(MODERN_FORM_SERVER) as received, lighttpd(site.dir, site.resolv_conf, docs) as port:
            answer = node("send_page.mjs", "http://127.0.0.1:%d/form.htm" % port, json.dumps(typed), scripts)
            # A robot that fills the hidden field is answered as a visitor, and no mail goes out.
            trapped = node("send_page.mjs", "http://127.0.0.1:%d/form.htm" % port,
                           json.dumps(dict(typed, website="http://spam.example")), "off")
        if scripts == "on":
            assert answer["url"].endswith("/form.htm") and answer["status"] == "Thank you: your message was sent."
        else:
            assert answer["url"].endswith("/cgi-bin/quillopro.exe") and answer["text"] == "Thank you!"
        assert trapped["text"] == "Thank you!"
        (mail,) = received
        assert decoded(mail.message["Subject"]) == "Anfrage von Łódź"
        for part in mail.message.get_payload():
            assert part.get_content_charset() == "utf-8"
            text = part.get_payload(decode=True).decode("utf-8")
            assert "Jürgen" in text and "東京" in text and "Grüße" in text
    finally:
        shutil.rmtree(docs, ignore_errors=True)
