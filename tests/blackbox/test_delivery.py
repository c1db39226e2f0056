"""quillopro.exe delivering to a real SMTP server, directly or through the
recipient domain's mail exchanger, with its automatic reply."""

import email.header
import email.policy
import re

import pytest

from cgi_site import Site, document_page, form
from mail_servers import dns_server, smtp_server
from web_servers import apache, lighttpd, post
from addresses import (APACHE_MAIL_SERVER, ASCII_NAME_SERVER, AUTOMATIC_REPLY_SERVER, BUILT_IN_LAYOUT_SERVER,
    COMMAND_INJECTION_SERVER, DATE_ZONE_SERVER, FALLBACK_DNS_SERVER, FALLBACK_EXCHANGER,
    FALLBACK_REFUSING_SERVER, HEADER_INJECTION_SERVER, HOSTS_FILE_SERVER, LATIN1_NAME_SERVER,
    LIGHTTPD_MAIL_SERVER, LONG_RECIPIENT_LIST_SERVER, LONG_VALUE_SERVER, MX_BACKUP, MX_BEST, MX_DNS_SERVER,
    RECIPIENT_REFUSING_SERVER, REPLY_OUTCOME_SERVER, TEMPLATE_MAIL_SERVER)

# Each test uses its own loopback addresses, so that tests can run side by side.
DOCS = [("QUILLO_SUCCESS", "ok.htm"), ("QUILLO_ERROR", "err.htm")]


def crlf_lines(*lines):
    return "".join(line + "\r\n" for line in lines).encode("latin-1")


def date_of(raw):
    return re.search(rb"^Date: (.*)\r$", raw, re.M).group(1).decode()


def test_a_template_mail_arrives_byte_for_byte_and_the_visitor_sees_success(site):
    site.write("mail.tpl", "[QUILLO_TEMPLATE_TEXT]\nName: ##Name##\nMenge: 2 \xfcber=\n"
                           "[QUILLO_TEMPLATE_HTML]\n<html><p>##Name##</p></html>\n")
    body = form(("QUILLO_TO", "info@example.com"), ("QUILLO_SERVER", TEMPLATE_MAIL_SERVER), *DOCS,
                ("QUILLO_TEMPLATE", "mail.tpl"), ("QUILLO_SUBJECT", "Order ##Name##"),
                ("QUILLO_FROMFRIENDLY", "Web Form"), ("_F_Email", "jo@example.org"), ("Name", "Jo"))
    with smtp_server(TEMPLATE_MAIL_SERVER) as received:
        assert site.run(body) == (document_page("<p>Thanks Jo</p>\n<p>info@example.com</p>\n"), 0)
    assert len(received) == 1
    mail = received[0]
    assert (mail.mail_from, mail.rcpt_tos) == ("jo@example.org", ["info@example.com"])
    assert re.fullmatch(r"\w{3}, \d\d \w{3} \d{4} \d\d:\d\d:\d\d [+-]\d{4}", date_of(mail.raw))
    assert mail.raw == crlf_lines(
        "From: Web Form <jo@example.org>",
        "To: <info@example.com>",
        "Subject: Order Jo",
        "Date: " + date_of(mail.raw),
        "X-Mailer: Tessik Quillo!Pro v4",
        "X-Priority: 3",
        "MIME-Version: 1.0",
        "Content-Type: multipart/alternative;",
        '\tboundary="----=_NextPart_TESSIK_QUILLO_PRO"',
        "",
        "This is a multi-part message in MIME format.",
        "",
        "------=_NextPart_TESSIK_QUILLO_PRO",
        "Content-Transfer-Encoding: quoted-printable",
        "Content-Type: text/plain;",
        '\tcharset="iso-8859-1"',
        "",
        "Name: Jo",
        "Menge: 2 =FCber=3D",
        "",
        "------=_NextPart_TESSIK_QUILLO_PRO",
        "Content-Transfer-Encoding: quoted-printable",
        "Content-Type: text/html;",
        '\tcharset="iso-8859-1"',
        "",
        "<html><p>Jo</p></html>",
        "",
        "------=_NextPart_TESSIK_QUILLO_PRO--",
        "")


def test_the_built_in_layout_decodes_back_to_what_the_visitor_typed(site):
    comment = "Gr\xfc\xdfe aus K\xf6ln = 100% sch\xf6n.\r\n.a line with a dot\r\n" + "x" * 150
    body = form(("QUILLO_TO", "a@example.com, b@example.com"), ("QUILLO_SERVER", BUILT_IN_LAYOUT_SERVER), *DOCS,
                ("QUILLO_SUBJECT", "Gr\xfc\xdfe von ##Name##"), ("QUILLO_PRIORITY", "high"),
                ("_EF_Email", "visitor@example.org"), ("Name", "J\xfcrgen <b>"), ("Comment", comment))
    with smtp_server(BUILT_IN_LAYOUT_SERVER) as received:
        out, _ = site.run(body)
    assert out == document_page("<p>Thanks J\xfcrgen &lt;b&gt;</p>\n<p>a@example.com, b@example.com</p>\n")
    assert [m.rcpt_tos for m in received] == [["a@example.com"], ["b@example.com"]]
    assert received[0].raw == received[1].raw
    message = received[0].message
    assert message["To"] == "<a@example.com>,<b@example.com>"
    assert message["X-Priority"] == "1"
    decoded_subject = "".join(
        part.decode(charset or "ascii") if isinstance(part, bytes) else part
        for part, charset in email.header.decode_header(message["Subject"]))
    assert decoded_subject == "Gr\xfc\xdfe von J\xfcrgen <b>"
    assert message.get_content_type() == "multipart/alternative"
    text, html = message.get_payload()
    assert (text.get_content_type(), text.get_content_charset()) == ("text/plain", "iso-8859-1")
    assert text.get_payload(decode=True).decode("latin-1").replace("\r\n", "\n") == (
        "Email: visitor@example.org\nName: J\xfcrgen <b>\nComment: " + comment.replace("\r\n", "\n") + "\n")
    html_text = html.get_payload(decode=True).decode("latin-1")
    assert html.get_content_type() == "text/html"
    assert "J\xfcrgen &lt;b&gt;" in html_text and "<b>" not in html_text.replace("<br>", "")
    assert all(len(line) <= 76 for line in received[0].raw.split(b"\r\n"))


def test_without_a_server_the_mail_goes_to_the_domains_best_exchanger():
    site = Site(nameserver=MX_DNS_SERVER)
    try:
        site.write("ok.htm", "SENT\n")
        site.write("err.htm", "NOT SENT\n")
        zone = {"mx": {"example.net": [(20, "backup.example.net"), (10, "mx.example.net")]},
                "a": {"mx.example.net": MX_BEST, "backup.example.net": MX_BACKUP}}
        body = form(("QUILLO_TO", "team@example.net"), *DOCS, ("QUILLO_FORMAT", "text"), ("Line", "hello"))
        with dns_server(MX_DNS_SERVER, **zone), smtp_server(MX_BEST) as best, smtp_server(MX_BACKUP) as backup:
            assert site.run(body) == (document_page("SENT\n"), 0)
        assert [m.rcpt_tos for m in best] == [["team@example.net"]] and backup == []
        assert best[0].message.get_payload() == "Line: hello\r\n\r\n"
    finally:
        site.close()


def test_a_refusing_server_falls_back_to_the_exchanger_and_a_dead_end_shows_the_error_document():
    site = Site(nameserver=FALLBACK_DNS_SERVER)
    try:
        site.write("ok.htm", "SENT\n")
        site.write("err.htm", "NOT SENT\n")
        zone = {"mx": {"example.net": [(10, "mx.example.net")]}, "a": {"mx.example.net": FALLBACK_EXCHANGER}}
        body = form(("QUILLO_TO", "team@example.net"), ("QUILLO_SERVER", FALLBACK_REFUSING_SERVER), *DOCS)
        with dns_server(FALLBACK_DNS_SERVER, **zone), smtp_server(FALLBACK_EXCHANGER) as exchanger:
            assert site.run(body) == (document_page("SENT\n"), 0)
        assert len(exchanger) == 1
        # No server listens on either host now.
        with dns_server(FALLBACK_DNS_SERVER, **zone):
            assert site.run(body) == (document_page("NOT SENT\n"), 0)
    finally:
        site.close()


def test_a_server_that_refuses_the_recipient_shows_the_error_document(site):
    body = form(("QUILLO_TO", "nobody@example.com"), ("QUILLO_SERVER", RECIPIENT_REFUSING_SERVER), *DOCS)
    with smtp_server(RECIPIENT_REFUSING_SERVER, rcpt_reply="550 No such user") as received:
        assert site.run(body) == (document_page("ERROR PAGE\n"), 0)
    assert received == []


def test_the_automatic_reply_goes_to_the_visitor_from_its_template(site):
    site.write("reply.tpl", "[QUILLO_TEMPLATE_TEXT]\nDear ##Name##, thanks for writing to ##QUILLO_TO##.\n")
    body = form(("QUILLO_TO", "shop@example.com"), ("QUILLO_SERVER", AUTOMATIC_REPLY_SERVER), *DOCS,
                ("RESPOND_TEMPLATE", "reply.tpl"), ("RESPOND_FROMFRIENDLY", "The Shop"),
                ("_EF_Email", "jo@example.org"), ("Name", "Jo"))
    with smtp_server(AUTOMATIC_REPLY_SERVER) as received:
        out, _ = site.run(body)
    assert out == document_page("<p>Thanks Jo</p>\n<p>shop@example.com</p>\n")
    main, reply = received
    assert main.rcpt_tos == ["shop@example.com"] and main.mail_from == "jo@example.org"
    assert reply.rcpt_tos == ["jo@example.org"] and reply.mail_from == "shop@example.com"
    assert reply.message["From"] == "The Shop <shop@example.com>"
    assert reply.message["Subject"] == "AutoRe: Tessik Quillo! Pro Web-Form Message"
    assert reply.message.get_payload() == "Dear Jo, thanks for writing to shop@example.com.\r\n\r\n"


def test_the_answer_follows_the_main_mail_whatever_became_of_the_reply(site):
    site.write("reply.tpl", "[QUILLO_TEMPLATE_TEXT]\nThanks.\n")
    body = form(("QUILLO_TO", "gone@example.com"), ("QUILLO_SERVER", REPLY_OUTCOME_SERVER), *DOCS,
                ("RESPOND_TEMPLATE", "reply.tpl"), ("_EF_Email", "jo@example.org"))
    # The reply would confirm a mail that did not arrive: none goes out.
    with smtp_server(REPLY_OUTCOME_SERVER, refused={"gone@example.com"}) as received:
        assert site.run(body) == (document_page("ERROR PAGE\n"), 0)
    assert received == []
    assert " failed recipients=1 reply=skipped step=RCPT host=%s reply=\"550 " % REPLY_OUTCOME_SERVER in \
        site.last_log_line
    # A reply refused on its own does not change the answer, and the log says so.
    with smtp_server(REPLY_OUTCOME_SERVER, refused={"jo@example.org"}) as received:
        out, _ = site.run(body.replace("gone%40", "shop%40"))
    assert out.startswith(b"Content-Type: text/html\r\n\r\n<p>Thanks")
    assert [m.rcpt_tos for m in received] == [["shop@example.com"]]
    assert " sent recipients=1 reply=failed" in site.last_log_line
    # A reply template without a reply field sends no reply.
    body = form(("QUILLO_TO", "shop@example.com"), ("QUILLO_SERVER", REPLY_OUTCOME_SERVER), *DOCS,
                ("RESPOND_TEMPLATE", "reply.tpl"), ("_F_Email", "jo@example.org"))
    with smtp_server(REPLY_OUTCOME_SERVER) as received:
        assert site.run(body)[0].startswith(b"Content-Type: text/html\r\n\r\n<p>Thanks")
    assert [m.rcpt_tos for m in received] == [["shop@example.com"]]


def test_line_breaks_in_fields_cannot_add_headers(site):
    body = form(("QUILLO_TO", "info@example.com"), ("QUILLO_SERVER", HEADER_INJECTION_SERVER), *DOCS,
                ("QUILLO_FORMAT", "text"), ("QUILLO_SUBJECT", "Hi ##Name##"),
                ("QUILLO_FROMFRIENDLY", "Jo\r\nBcc: victim@example.net"), ("Name", "x\r\nBcc: victim@example.net"))
    with smtp_server(HEADER_INJECTION_SERVER) as received:
        out, _ = site.run(body)
    assert out == document_page("<p>Thanks x\nBcc: victim@example.net</p>\n<p>info@example.com</p>\n")
    (mail,) = received
    assert mail.rcpt_tos == ["info@example.com"]
    assert mail.message["Bcc"] is None
    assert mail.message["Subject"] == "Hi x  Bcc: victim@example.net"
    assert mail.message["From"] == '"Jo  Bcc: victim@example.net" <info@example.com>'
    assert b"\r" not in mail.raw.replace(b"\r\n", b"")


def test_line_breaks_in_the_sender_cannot_add_commands(site):
    body = form(("QUILLO_TO", "info@example.com"), ("QUILLO_SERVER", COMMAND_INJECTION_SERVER), *DOCS,
                ("_F_Email", "a@example.org>\r\nRCPT TO:<victim@example.net"))
    with smtp_server(COMMAND_INJECTION_SERVER) as received:
        out, _ = site.run(body)
    # The server refuses a sender address with blanks in it; no command was smuggled in.
    assert out == document_page("ERROR PAGE\n")
    assert received == []


@pytest.mark.parametrize("web_server, smtp_host", [(lighttpd, LIGHTTPD_MAIL_SERVER), (apache, APACHE_MAIL_SERVER)])
def test_a_form_posted_through_a_web_server_is_mailed(site, web_server, smtp_host):
    body = form(("QUILLO_TO", "info@example.com"), ("QUILLO_SERVER", smtp_host), *DOCS, ("Name", "Web"))
    with smtp_server(smtp_host) as received, web_server(site.dir, site.resolv_conf) as port:
        assert post(port, "/cgi-bin/quillopro.exe", body) == (
            200, "text/html", b"<p>Thanks Web</p>\r\n<p>info@example.com</p>\r\n")
    assert received[0].message.get_content_type() == "multipart/alternative"



def soft_broken(line):
    """An ASCII line without "=" as quoted-printable breaks it: 69 characters
    and a soft break at a time."""
    pieces = [line[i:i + 69] for i in range(0, len(line), 69)]
    return tuple(piece + "=" for piece in pieces[:-1]) + (pieces[-1],)


TEXT_PART = ("Content-Transfer-Encoding: quoted-printable", "Content-Type: text/plain;", '\tcharset="iso-8859-1"', "")
LONG_VALUE = "0123456789" * 200


@pytest.mark.parametrize("host, value, body_lines, charset", [
    (LATIN1_NAME_SERVER, "J\xfcrgen", TEXT_PART + ("Name: J=FCrgen",), "iso-8859-1"),
    (LONG_VALUE_SERVER, LONG_VALUE, TEXT_PART + soft_broken("Name: " + LONG_VALUE), "iso-8859-1"),
    (ASCII_NAME_SERVER, "Jurgen", ("", "Name: Jurgen"), None),
], ids=["8-bit", "a 2000-character line", "7-bit and short"])
def test_a_text_only_mail_declares_8_bit_text_and_long_lines(site, host, value, body_lines, charset):
    body = form(("QUILLO_TO", "info@example.com"), ("QUILLO_SERVER", host), *DOCS,
                ("QUILLO_FORMAT", "TEXT"), ("QUILLO_SUBJECT", "Text"), ("Name", value))
    with smtp_server(host) as received:
        assert site.run(body) == (document_page("<p>Thanks " + value + "</p>\n<p>info@example.com</p>\n"), 0)
    (mail,) = received
    assert mail.raw == crlf_lines(
        "From: <info@example.com>",
        "To: <info@example.com>",
        "Subject: Text",
        "Date: " + date_of(mail.raw),
        "X-Mailer: Tessik Quillo!Pro v4",
        "X-Priority: 3",
        *body_lines,
        "")
    message = email.message_from_bytes(mail.raw, policy=email.policy.default)
    assert (message.get_content_type(), message.get_content_charset()) == ("text/plain", charset)
    assert message.get_payload(decode=True) == ("Name: " + value + "\r\n\r\n").encode("latin-1")


def test_a_long_recipient_list_folds_the_to_line_within_998_characters(site):
    recipients = ["user%03d@example.com" % i for i in range(100)]
    listed = "".join("<%s>," % address for address in recipients)[:-1]
    body = form(("QUILLO_TO", ", ".join(recipients)), ("QUILLO_SERVER", LONG_RECIPIENT_LIST_SERVER), *DOCS,
                ("QUILLO_FORMAT", "TEXT"), ("QUILLO_SUBJECT", "Many"), ("Name", "Jo"))
    with smtp_server(LONG_RECIPIENT_LIST_SERVER) as received:
        assert site.run(body) == (document_page("<p>Thanks Jo</p>\n<p>" + ", ".join(recipients) + "</p>\n"), 0)
    assert [m.rcpt_tos for m in received] == [[address] for address in recipients]
    raw = received[0].raw
    assert all(m.raw == raw for m in received)
    # 22 characters an address with its comma: 45 of them after "To: " (994
    # characters), 45 after the blank of the next line (991), then the last 10.
    assert raw.startswith(crlf_lines(
        "From: <user000@example.com>",
        "To: " + listed[:22 * 45],
        " " + listed[22 * 45:22 * 90],
        " " + listed[22 * 90:],
        "Subject: Many",
        "Date: " + date_of(raw)))
    assert max(len(line) for line in raw.split(b"\r\n")) <= 998
    message = email.message_from_bytes(raw, policy=email.policy.default)
    assert [address.addr_spec for address in message["To"].addresses] == recipients


def test_a_mail_server_named_in_the_hosts_file_is_found(site):
    # The program is linked statically; its name lookups still go through
    # the system's files, here a hosts file of the test's own.
    hosts = site.write("hosts", "%s mail.site.test\n" % HOSTS_FILE_SERVER)
    wrapper = ["/bin/bash", "-c", 'mount --bind "$0" /etc/hosts && exec "$@"', hosts]
    body = form(("QUILLO_TO", "info@example.com"), ("QUILLO_SERVER", "mail.site.test"), *DOCS, ("Name", "Jo"))
    with smtp_server(HOSTS_FILE_SERVER) as received:
        assert site.run(body, wrapper=wrapper)[0] == document_page("<p>Thanks Jo</p>\n<p>info@example.com</p>\n")
    assert [m.rcpt_tos for m in received] == [["info@example.com"]]


@pytest.mark.parametrize("zone, offset", [("Asia/Kolkata", "+0530"), ("America/Bogota", "-0500"), ("UTC", "+0000")])
def test_the_date_carries_the_machines_zone(site, zone, offset):
    # The zone is the system's own (/etc/localtime), the one Windows reports
    # too under wine; zones without daylight time keep the offset fixed.
    wrapper = ["/bin/bash", "-c", 'mount --bind "$0" /etc/localtime && exec "$@"', "/usr/share/zoneinfo/" + zone]
    body = form(("QUILLO_TO", "info@example.com"), ("QUILLO_SERVER", DATE_ZONE_SERVER), *DOCS, ("Name", "Jo"))
    with smtp_server(DATE_ZONE_SERVER) as received:
        site.run(body, wrapper=wrapper)
    (mail,) = received
    (date,) = re.findall(rb"^Date: (.*)\r$", mail.raw, re.M)
    assert re.fullmatch(rb"\w{3}, \d\d \w{3} \d{4} \d\d:\d\d:\d\d " + re.escape(offset.encode()), date), date
