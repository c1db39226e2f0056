"""quillopro.ini as a site owner uses it: the program behind lighttpd, mail to
aiosmtpd, each setting against the post that abuses the form without it."""

import concurrent.futures
import http.client
import os
import re
import tempfile

import pytest

from cgi_site import document_page, error_page, form
from mail_servers import smtp_server
from web_servers import lighttpd
from addresses import SITE_SETTINGS_SERVER as SERVER

DOCS = [("QUILLO_SUCCESS", "ok.htm"), ("QUILLO_ERROR", "err.htm"), ("QUILLO_SERVER", SERVER)]
BASE = [("QUILLO_TO", "info@example.com")] + DOCS
OK_PAGE = document_page("<p>Thanks ##Name##</p>\n<p>info@example.com</p>\n")


def http_post(port, body, headers=None):
    conn = http.client.HTTPConnection("127.0.0.1", port, timeout=60)
    try:
        conn.request("POST", "/cgi-bin/quillopro.exe", body=body,
                     headers={"Content-Type": "application/x-www-form-urlencoded", **(headers or {})})
        response = conn.getresponse()
        return response.status, response.getheader("Location"), response.read()
    finally:
        conn.close()


def page_body(page):
    return page.split(b"\r\n\r\n", 1)[1]


def log_words(path):
    with open(path) as f:
        return [line.split(" ")[2] for line in f.read().splitlines()]


@pytest.fixture
def log_path():
    fd, path = tempfile.mkstemp(prefix="quillo-log-")
    os.close(fd)
    os.unlink(path)
    yield path
    if os.path.exists(path):
        os.unlink(path)


VICTIM = [("RESPOND_SUBJECT", "You won"), ("_EF_Email", "victim@other.test")]
SALES = "[aliases]\nsales = sales@example.com, orders@example.com\n"


@pytest.mark.parametrize("what, settings, body, headers, status, page, mails, word", [
    ("a reply template the site does not list", "[site]\nautoreply_templates = thanks.txt\n",
     BASE + [("RESPOND_TEMPLATE", "ok.htm")] + VICTIM, {}, 200,
     error_page("QUILLO ERROR 706<br>Document not listed in quillopro.ini<br>ok.htm"), [], "error-706"),
    ("a listed reply template gets the site's subject",
     "[site]\nautoreply_templates = thanks.txt\nautoreply_subject = Thanks for writing\n",
     BASE + [("RESPOND_TEMPLATE", "thanks.txt")] + VICTIM, {}, 200, OK_PAGE,
     [("victim@other.test", ["info@example.com"], "Tessik Quillo! Pro Web-Form Message", None),
      ("info@example.com", ["victim@other.test"], "Thanks for writing", None)], "sent"),
    ("no reply at all", "[site]\nautoreply = off\n", BASE + [("RESPOND_TEMPLATE", "thanks.txt")] + VICTIM, {},
     200, OK_PAGE, [("victim@other.test", ["info@example.com"], "Tessik Quillo! Pro Web-Form Message", None)],
     "sent"),
    ("debug switched on by a visitor", "[site]\ndebug = off\n", BASE + [("QUILLO_DEBUG", "ON")], {}, 200, OK_PAGE,
     [("info@example.com", ["info@example.com"], "Tessik Quillo! Pro Web-Form Message", None)], "sent"),
    ("an address where aliases rule", SALES, [("QUILLO_TO", "victim@other.test")] + DOCS, {}, 200,
     error_page("QUILLO! ERROR 900 - recipient not allowed<br>victim@other.test<br><br>"
                "QUILLO_TO must name an alias of quillopro.ini"), [],
     "error-900"),
    ("an alias", SALES, [("QUILLO_TO", "Sales"), ("QUILLO_FROM", "jo@example.org")] + DOCS, {}, 200,
     document_page("<p>Thanks ##Name##</p>\n<p>Sales</p>\n"),
     [("jo@example.org", ["sales@example.com"], "Tessik Quillo! Pro Web-Form Message", None),
      ("jo@example.org", ["orders@example.com"], "Tessik Quillo! Pro Web-Form Message", None)], "sent"),
    ("a filled honeypot", "[site]\nhoneypot = website\n", BASE + [("Name", "Bot"), ("website", "http://spam.test")],
     {}, 200, document_page("<p>Thanks Bot</p>\n<p>info@example.com</p>\n"), [], "honeypot"),
    ("a post from another site", "[site]\nreferers = www.example.com\n", BASE,
     {"Referer": "https://evil.test/form.htm"}, 403,
     error_page("QUILLO! ERROR 901 - form posted from another site<br>https://evil.test/form.htm"), [],
     "error-901"),
    ("a post from the site", "[site]\nreferers = www.example.com\n", BASE,
     {"Referer": "https://www.example.com/form.htm"}, 200, OK_PAGE,
     [("info@example.com", ["info@example.com"], "Tessik Quillo! Pro Web-Form Message", None)], "sent"),
    ("the site's own sender", "[site]\nsender = forms@example.com\n", BASE + [("_FE_Email", "jo@example.org")], {},
     200, OK_PAGE, [("forms@example.com", ["info@example.com"], "Tessik Quillo! Pro Web-Form Message",
                     "<jo@example.org>")], "sent"),
    ("a domain entry matched by address", "[site]\nrecipients_match = address\n",
     [("QUILLO_TO", "x@example.com.evil.test")] + DOCS, {}, 200,
     error_page("QUILLO! ERROR 900 - recipient not allowed<br>x@example.com.evil.test<br><br>"
                "Add the target email address (QUILLO_TO) to allowed recipients -> recipients.txt"), [],
     "error-900"),
])
def test_each_setting_answers_the_post_that_abused_the_form(site, log_path, what, settings, body, headers, status,
                                                           page, mails, word):
    site.write("thanks.txt", "[QUILLO_TEMPLATE_TEXT]\nWe read every message.\n")
    site.write("recipients.txt", "@example.com\n")
    site.write("quillopro.ini", "[site]\nlog = %s\n%s" % (log_path, settings.replace("[site]\n", "")
                                                          if settings.startswith("[site]") else settings))
    with smtp_server(SERVER) as received, lighttpd(site.dir, site.resolv_conf) as port:
        got_status, _, got_page = http_post(port, form(*body), headers)
    assert (got_status, got_page) == (status, page_body(page)), what
    assert [(m.mail_from, m.rcpt_tos, m.message["Subject"], m.message["Reply-To"]) for m in received] == mails
    if mails and mails[0][0] == "forms@example.com":
        assert received[0].message["From"] == "<forms@example.com>"
    assert log_words(log_path) == [word]


def test_twenty_concurrent_posts_from_one_address_are_counted_exactly(site, log_path):
    state = tempfile.mkdtemp(prefix="quillo-state-")
    try:
        site.write("quillopro.ini", "[site]\nrate_limit = 5 per 10 minutes\nstate_dir = %s\nlog = %s\n"
                   % (state, log_path))
        with smtp_server(SERVER) as received, lighttpd(site.dir, site.resolv_conf) as port:
            with concurrent.futures.ThreadPoolExecutor(20) as pool:
                answers = list(pool.map(lambda _: http_post(port, form(*BASE)), range(20)))
        statuses = sorted(status for status, _, _ in answers)
        assert statuses == [200] * 5 + [429] * 15
        assert len(received) == 5
        assert sorted(log_words(log_path)) == ["rate-limited"] * 15 + ["sent"] * 5
        with open(os.path.join(state, "rate-limit")) as f:
            assert len(f.read().splitlines()) == 5
    finally:
        for name in os.listdir(state):
            os.unlink(os.path.join(state, name))
        os.rmdir(state)


def test_after_success_the_visitor_is_sent_on_and_an_unparsable_file_is_named(site):
    site.write("quillopro.ini", "[site]\nsuccess_redirect = /thanks.html\n")
    with smtp_server(SERVER) as received, lighttpd(site.dir, site.resolv_conf) as port:
        assert http_post(port, form(*BASE)) == (303, "/thanks.html", b"")
        site.write("quillopro.ini", "[site]\n\nsuccess_redirect = thanks.html\n")
        # The visitor sees the file and the line, not the line itself: it may hold a password.
        assert http_post(port, form(*BASE))[2] == page_body(error_page(
            "QUILLO! ERROR 604<br>SETTINGS FILE INVALID<br><br>quillopro.ini<br>line 3"))
    assert len(received) == 1


def test_a_settings_file_of_comments_changes_no_byte(site):
    posts = [form(*BASE, ("Name", "Jo"), ("Comment", "J\xfcrgen")), form(*BASE, ("QUILLO_DEBUG", "ON")),
             form(("QUILLO_TO", "a@b.test")), form(*BASE, ("QUILLO_SUCCESS", "../x.htm"))]
    outputs = []
    # The runs are seconds apart at times: their dates (the report's, the
    # mail's header and its HTML layout's) are masked.
    def masked(data):
        return re.sub(rb"\w{3}, \d\d \w{3} \d{4} \d\d:\d\d:\d\d [+-]\d{4}", b"DATE", data)

    for settings in (None, "; nothing set\n[site]\n# still nothing\n"):
        if settings:
            site.write("quillopro.ini", settings)
        with smtp_server(SERVER) as received:
            outputs.append(([masked(site.run(body)[0].replace(site.shown("").encode(), b"SITE/")) for body in posts],
                            [masked(m.raw) for m in received]))
    (pages, mails), (pages_with_file, mails_with_file) = outputs
    for page, page_with_file in zip(pages, pages_with_file):
        assert page.decode("latin-1") == page_with_file.decode("latin-1")
    assert len(mails) == len(mails_with_file) == 1
    assert mails[0].decode("latin-1") == mails_with_file[0].decode("latin-1")
