"""Posts an attacker would send: each must end in one of the program's
defined answers, within seconds, and put nothing on the wire that the form
did not ask for."""

import time

import pytest

from cgi_site import document_page, form
from mail_servers import smtp_server
from web_servers import lighttpd, post

DOCS = [("QUILLO_SUCCESS", "ok.htm"), ("QUILLO_ERROR", "err.htm")]
SMUGGLED = "MAIL FROM:<spammer@evil.test>\r\nRCPT TO:<victim@other.test>\r\nDATA\r\nSubject: spam\r\n"


@pytest.mark.parametrize("template, line_start", [
    (None, "\n\r.\n"), (None, "\r\n\r.\r\n"), (None, "\n\r\r.\n"), (None, "\n\r. \n"), (None, "\n\r.\r\n"),
    ("[QUILLO_TEMPLATE_TEXT]\n##Comment##\n", "\r.\r\n"),
])
def test_a_value_cannot_end_the_data_and_start_a_second_transaction(site, template, line_start):
    extra = [("QUILLO_TEMPLATE", site.write("mail.tpl", template) and "mail.tpl")] if template else []
    body = form(("QUILLO_TO", "info@example.com"), ("QUILLO_SERVER", "127.0.0.110"), *DOCS, *extra,
                ("QUILLO_FORMAT", "TEXT"), ("Comment", "hello" * (not template) + line_start + SMUGGLED))
    with smtp_server("127.0.0.110") as received:
        out, _ = site.run(body)
    assert out == document_page("<p>Thanks ##Name##</p>\n<p>info@example.com</p>\n")
    (mail,) = received
    assert mail.rcpt_tos == ["info@example.com"]
    # The lone "." went out stuffed and arrived as a line of the text.
    assert b"\r\n.\r\nMAIL FROM:<spammer@evil.test>\r\nRCPT TO:<victim@other.test>\r\n" in mail.raw


def test_the_smuggled_transaction_stays_text_through_a_web_server_and_an_allow_list(site):
    site.write("recipients.txt", "info@example.com\n")
    body = form(("QUILLO_TO", "info@example.com"), ("QUILLO_SERVER", "127.0.0.111"), *DOCS,
                ("QUILLO_FORMAT", "TEXT"), ("Comment", "hello\n\r.\n" + SMUGGLED))
    with smtp_server("127.0.0.111") as received, lighttpd(site.dir, site.resolv_conf) as port:
        assert post(port, "/cgi-bin/quillopro.exe", body)[0] == 200
    assert [m.rcpt_tos for m in received] == [["info@example.com"]]


def test_chained_placeholders_end_in_the_error_document_at_once(site):
    # A 1 KB post whose placeholders double with every field: 2^40 copies of a
    # field if nothing stopped them.
    chain = [("a%d" % i, "##a%d####a%d##" % (i + 1, i + 1)) for i in range(40)]
    body = form(("QUILLO_TO", "info@example.com"), ("QUILLO_SERVER", "127.0.0.112"), *DOCS,
                ("QUILLO_SUBJECT", "##a0##"), *chain)
    log = []
    with smtp_server("127.0.0.112") as received:
        started = time.monotonic()
        assert site.run(body, log=log) == (document_page("ERROR PAGE\n"), 0)
        assert time.monotonic() - started < 10
    assert received == []
    assert log == ["quillopro.exe: refused the post: placeholders make the text too large"]


def test_a_hundred_thousand_fields_are_mailed_in_seconds(site):
    fields = "&".join("field%d=value+%d" % (i, i) for i in range(100000))
    body = form(("QUILLO_TO", "info@example.com"), ("QUILLO_SERVER", "127.0.0.113"), *DOCS) + "&" + fields
    with smtp_server("127.0.0.113") as received:
        started = time.monotonic()
        assert site.run(body)[0].startswith(b"Content-Type: text/html\r\n\r\n<p>Thanks")
        assert time.monotonic() - started < 10
    text, html = received[0].message.get_payload()
    assert "field99999: value 99999" in text.get_payload(decode=True).decode()

