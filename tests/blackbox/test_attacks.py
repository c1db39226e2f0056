"""Posts an attacker would send: each must end in one of the program's
defined answers, within seconds, and put nothing on the wire that the form
did not ask for."""

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
