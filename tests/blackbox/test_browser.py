"""The whole way a visitor goes: a form the wizard wrote, served by lighttpd,
filled in and sent by Chromium, mailed by quillopro.exe to an SMTP server,
answered with the site's own page."""

import email.header
import json
import os
import re
import shutil
import subprocess
import tempfile

import pytest

from mail_servers import smtp_server
from web_servers import lighttpd
from addresses import (BROWSER_MAIL_SERVER, CHALLENGE_WIDGET_SERVER, JSON_ANSWER_SERVER, REDIRECT_SERVER,
                       UTF8_PAGE_SERVER)

QUILLOGEN = os.environ.get("QUILLOGEN_EXE", "")
BROWSER_DIR = os.path.join(os.path.dirname(__file__), "..", "browser")


def write_form(path, *options):
    subprocess.run([QUILLOGEN, "--batch", "-o", path, *options], check=True)


@pytest.fixture
def docs():
    """A document root for the form pages."""
    folder = tempfile.mkdtemp(prefix="quillo-docs-")
    os.chmod(folder, 0o755)
    yield folder
    shutil.rmtree(folder, ignore_errors=True)


def submit_in_browser(url, fields):
    done = subprocess.run(["node", "submit_form.mjs", url, json.dumps(fields)], cwd=BROWSER_DIR,
                          capture_output=True, timeout=120)
    assert done.returncode == 0, done.stderr.decode(errors="replace")
    return json.loads(done.stdout)


def test_a_visitor_sends_a_wizard_form_from_a_real_browser(site):
    docs = tempfile.mkdtemp(prefix="quillo-docs-")
    try:
        os.chmod(docs, 0o755)
        site.write("thanks.htm", "<html><body><p>Thank you, ##Email##!</p></body></html>\r\n")
        site.write("error.htm", "<html><body><p>Sorry.</p></body></html>\r\n")
        write_form(os.path.join(docs, "form.htm"), "--url", "/cgi-bin/quillopro.exe", "--to", "info@example.com",
                   "--server", BROWSER_MAIL_SERVER, "--subject", 'Order "Deluxe" & more', "--success", "thanks.htm",
                   "--error", "error.htm", "--email-verify", "--comments")
        with smtp_server(BROWSER_MAIL_SERVER) as received, lighttpd(site.dir, site.resolv_conf, docs) as port:
            answer = submit_in_browser("http://127.0.0.1:%d/form.htm" % port,
                                       {"_FE_Email": "jo@example.org", "Comments": "Two lines,\nplease & thanks"})
        assert answer["url"] == "http://127.0.0.1:%d/cgi-bin/quillopro.exe" % port
        assert "<p>Thank you, jo@example.org!</p>" in answer["html"]
        (mail,) = received
        assert (mail.mail_from, mail.rcpt_tos) == ("jo@example.org", ["info@example.com"])
        assert mail.message["Subject"] == 'Order "Deluxe" & more'
        text = mail.message.get_payload()[0].get_payload(decode=True).decode("latin-1")
        assert text.replace("\r\n", "\n") == "Email: jo@example.org\nComments: Two lines,\nplease & thanks\n"
    finally:
        shutil.rmtree(docs, ignore_errors=True)


def visit(steps):
    done = subprocess.run(["node", "visit.mjs", json.dumps(steps)], cwd=BROWSER_DIR, capture_output=True,
                          timeout=120)
    assert done.returncode == 0, done.stderr.decode(errors="replace")
    return json.loads(done.stdout)


def decoded_header(value):
    return str(email.header.make_header(email.header.decode_header(value)))


def test_a_utf8_page_mails_every_character_in_utf8(site, docs):
    site.write("thanks.htm", "<html><body><p>Thank you!</p></body></html>\r\n")
    site.write("error.htm", "<html><body><p>Sorry.</p></body></html>\r\n")
    write_form(os.path.join(docs, "form.htm"), "--url", "/cgi-bin/quillopro.exe", "--to", "info@example.com",
               "--server", UTF8_PAGE_SERVER, "--subject", "Anfrage aus Łódź: ##Comments##", "--success", "thanks.htm",
               "--error", "error.htm", "--email-verify", "--comments", "--charset", "utf-8",
               "--settings", site.path("quillopro.ini"))
    name = "Jürgen Łódź 東京"
    with smtp_server(UTF8_PAGE_SERVER) as received, lighttpd(site.dir, site.resolv_conf, docs) as port:
        answer = submit_in_browser("http://127.0.0.1:%d/form.htm" % port,
                                   {"_FE_Email": "jo@example.org", "Comments": name})
    assert "<p>Thank you!</p>" in answer["html"]
    (mail,) = received
    assert mail.rcpt_tos == ["info@example.com"]
    assert decoded_header(mail.message["Subject"]) == "Anfrage aus Łódź: " + name
    text, html = mail.message.get_payload()
    assert [part.get_content_charset() for part in (text, html)] == ["utf-8", "utf-8"]
    # With settings the text part says what the HTML part says, From to Date first.
    assert re.fullmatch(r"From: jo@example\.org\nTo: form\nSubject: Anfrage aus Łódź: %s\nDate: [^\n]+\n\n"
                        r"Email: jo@example\.org\nComments: %s\n" % (name, name),
                        text.get_payload(decode=True).decode("utf-8").replace("\r\n", "\n"))
    assert name in html.get_payload(decode=True).decode("utf-8")


def test_a_reload_after_the_redirect_sends_nothing_more(site, docs):
    site.write("quillopro.ini", "[site]\nsuccess_redirect = /thanks.html\n")
    site.write("ok.htm", "unused\n")
    with open(os.path.join(docs, "thanks.html"), "w") as f:
        f.write("<html><body><p>Thanks, really.</p></body></html>\n")
    write_form(os.path.join(docs, "form.htm"), "--url", "/cgi-bin/quillopro.exe", "--to", "info@example.com",
               "--server", REDIRECT_SERVER, "--success", "ok.htm", "--error", "err.htm", "--comments")
    with smtp_server(REDIRECT_SERVER) as received, lighttpd(site.dir, site.resolv_conf, docs) as port:
        page = visit([["goto", "http://127.0.0.1:%d/form.htm" % port], ["fill", "Comments", "Once"], ["submit"],
                      ["reload"], ["reload"]])
    assert page["url"] == "http://127.0.0.1:%d/thanks.html" % port
    assert "<p>Thanks, really.</p>" in page["html"]
    assert len(received) == 1


def test_a_script_gets_json_with_the_status_of_each_outcome(site, docs):
    site.write("quillopro.ini", "[site]\njson = on\n[aliases]\ninfo = info@example.com\n")
    with open(os.path.join(docs, "form.htm"), "w") as f:
        f.write("<html><body>a form sent by script</body></html>\n")
    base = "QUILLO_SUCCESS=ok.htm&QUILLO_ERROR=err.htm&QUILLO_SERVER=%s&QUILLO_TO=" % JSON_ANSWER_SERVER
    json_type = "application/json"
    with smtp_server(JSON_ANSWER_SERVER, refused=["nobody@example.com"]) as received, \
            lighttpd(site.dir, site.resolv_conf, docs) as port:
        page = visit([["goto", "http://127.0.0.1:%d/form.htm" % port],
                      ["fetch", "/cgi-bin/quillopro.exe", base + "info", json_type],
                      ["fetch", "/cgi-bin/quillopro.exe", base, json_type],
                      ["fetch", "/cgi-bin/quillopro.exe", base + "victim%40other.test", json_type],
                      ["fetch", "/cgi-bin/quillopro.exe", base + "info&_R_Name=", json_type],
                      ["fetch", "/cgi-bin/quillopro.exe", base + "info", "*/*"]])
        site.write("quillopro.ini", "[site]\njson = on\n[aliases]\ninfo = nobody@example.com\n")
        failed = visit([["goto", "http://127.0.0.1:%d/form.htm" % port],
                        ["fetch", "/cgi-bin/quillopro.exe", base + "info", json_type]])
    not_allowed = "QUILLO! ERROR 900 - recipient not allowed victim@other.test QUILLO_TO must name an alias of quillopro.ini"
    assert [(f["status"], f["type"], f["body"]) for f in page["fetches"] + failed["fetches"]] == [
        (200, json_type, '{"ok":true}'),
        (400, json_type, '{"ok":false,"error":"QUILLO! ERROR 300 - QUILLO_TO UNDEFINED","code":300}'),
        (403, json_type, '{"ok":false,"error":"%s","code":900}' % not_allowed),
        (400, json_type, '{"ok":false,"error":"a required field is empty","code":307}'),
        (200, "text/html", "<p>Thanks ##Name##</p>\r\n<p>info</p>\r\n"),
        (502, json_type, '{"ok":false,"error":"the mail could not be sent","code":500}'),
    ]
    assert len(received) == 2


def widget(steps):
    done = subprocess.run(["node", "widget.mjs", json.dumps(steps)], cwd=BROWSER_DIR, capture_output=True,
                          timeout=180)
    assert done.returncode == 0, done.stderr.decode(errors="replace")
    return json.loads(done.stdout)


def test_the_challenge_widget_solves_the_programs_challenge_once(site, docs):
    """The unmodified widget, from the site's own copy, on the form the wizard wrote: the visitor's post
    goes through; without the widget's field, replayed, expired, or signed by another key it does not."""
    site.write("thanks.htm", "<html><body><p>Thank you!</p></body></html>\r\n")
    site.write("error.htm", "<html><body><p>Sorry.</p></body></html>\r\n")
    state = tempfile.mkdtemp(prefix="quillo-state-")
    os.chmod(state, 0o777)
    settings = site.path("quillopro.ini")
    write_form(os.path.join(docs, "form.htm"), "--url", "/cgi-bin/quillopro.exe", "--to", "info@example.com",
               "--server", CHALLENGE_WIDGET_SERVER, "--success", "thanks.htm", "--error", "error.htm",
               "--comments", "--captcha", "altcha", "--settings", settings)
    shutil.copy(os.path.join(BROWSER_DIR, "node_modules", "altcha", "dist", "altcha.js"), docs)
    with open(settings, "rb") as f:
        written = f.read().replace(b"state_dir = /var/lib/quillo", b"state_dir = " + state.encode())
    short_lived = written.replace(b"altcha_expires = 10 minutes", b"altcha_expires = 2 seconds")
    other_key = re.sub(rb"secret = [0-9a-f]{64}", b"secret = " + b"9" * 64, written)
    site.write("quillopro.ini", written)
    refused = "QUILLO! ERROR 903 - spam check failed"
    try:
        with smtp_server(CHALLENGE_WIDGET_SERVER) as received, \
                lighttpd(site.dir, site.resolv_conf, docs) as port:
            url = "http://127.0.0.1:%d/form.htm" % port
            sent = widget([["goto", url], ["fill", "Comments", "Solved by the widget"], ["solve"], ["submit"]])
            replayed = widget([["goto", url], ["solve"], ["post", {"Comments": "first"}],
                               ["post", {"Comments": "again"}]])
            removed = widget([["goto", url], ["fill", "Comments", "No widget"], ["remove", "altcha-widget"],
                              ["submit"]])
            site.write("quillopro.ini", short_lived)
            expired = widget([["goto", url], ["solve"], ["sleep", 3500], ["post", {"Comments": "late"}]])
            site.write("quillopro.ini", written)
            solved = widget([["goto", url], ["solve"]])
            site.write("quillopro.ini", other_key)
            forged = widget([["goto", url], ["post", {"Comments": "other key",
                                                      "altcha": solved["solved"][0]["payload"]}]])
        assert sent["errors"] == [] and "<p>Thank you!</p>" in sent["html"]
        assert [p["status"] for p in replayed["posts"]] == [200, 403]
        assert refused in replayed["posts"][1]["body"]
        assert refused in removed["html"]
        assert expired["posts"][0]["status"] == 403 and refused in expired["posts"][0]["body"]
        assert forged["posts"][0]["status"] == 403
        bodies = [m.message.get_payload()[0].get_payload(decode=True).decode("latin-1") for m in received]
        assert [b.replace("\r\n", "\n").split("\n\n", 1)[1] for b in bodies] == [
            "Email:\nComments: Solved by the widget\n", "Email:\nComments: first\n"]
        assert all(b"altcha" not in m.raw for m in received)
        # What a robot pays per post at the default difficulty, on this machine.
        print("widget solve at altcha_max_number = 100000: %d ms" % sent["solved"][0]["ms"])
    finally:
        shutil.rmtree(state, ignore_errors=True)
