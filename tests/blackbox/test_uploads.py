"""[uploads]: files sent with a form as a browser sends them, through the
built program to aiosmtpd, the mail read by Python's strict parser and its
DKIM signature checked; raw multipart edge cases from a table; a relay's
SIZE and its 552; a stored post's files resent."""

import os
import re
import sqlite3
import subprocess
from urllib.parse import urlencode

import dkim
import pytest
from aiosmtpd.controller import Controller

from cgi_site import document_page, error_page, form, with_private_resolver
from mail_servers import RecordingHandler, smtp_server
from uploads import BOUNDARY, CONTENT_TYPE, attachments, digest, first_part, multipart, pdf, png, strict
from addresses import UPLOAD_RELAY, UPLOAD_SIZE_RELAY

ADMIN = os.environ.get("QUILLO_ADMIN_EXE", "")
DATA = os.path.join(os.path.dirname(__file__), "..", "delivery", "data")
FIELDS = [("QUILLO_TO", "info@example.com"), ("QUILLO_SUCCESS", "ok.htm"), ("QUILLO_ERROR", "err.htm"),
          ("QUILLO_SERVER", UPLOAD_RELAY), ("QUILLO_TEMPLATE", "mail.tpl"), ("Name", "J\u00fcrgen"),
          ("Comments", "Two lines,\r\nplease")]
UPLOADS = "[uploads]\nmax_file_size = 100 KB\nmax_files = 3\nmax_total_size = 150 KB\n"
OK_PAGE = document_page("SENT\n")


@pytest.fixture
def upload_site(site):
    site.write("ok.htm", "SENT\n")
    site.write("err.htm", "NOT SENT\n")
    site.write("mail.tpl", "[QUILLO_TEMPLATE_TEXT]\n##Name##: ##Comments##\n"
                           "[QUILLO_TEMPLATE_HTML]\n<p>##Name##</p><pre>##QUILLO_FILES##</pre>\n")
    site.write("quillopro.ini", "[site]\nlog = stderr\ncharset = utf-8\n" + UPLOADS)
    return site


def post_files(site, files, fields=FIELDS, **options):
    return site.run(multipart(fields, files), env={"CONTENT_TYPE": CONTENT_TYPE}, **options)[0]


def test_files_arrive_byte_for_byte_beside_the_body_the_post_has_without_them(upload_site):
    shutil_copy(os.path.join(DATA, "dkim-test.pem"), upload_site.path("dkim.pem"))
    upload_site.write("quillopro.ini", "[site]\nlog = stderr\ncharset = utf-8\nsender = forms@example.com\n"
                      "[smtp]\ndkim_domain = example.com\ndkim_selector = forms\ndkim_key = dkim.pem\n" + UPLOADS)
    files = [("f", "cv.pdf", pdf()), ("f", "shot.png", png()), ("f", "\u00dcbersicht \u6771\u4eac.pdf", pdf()),
             ("g", "", b"")]
    with smtp_server(UPLOAD_RELAY) as received:
        assert post_files(upload_site, files) == OK_PAGE
        assert upload_site.run(urlencode(FIELDS, encoding="utf-8"))[0] == OK_PAGE
    with_files, without = received
    message = strict(with_files.raw)
    assert message.get_content_type() == "multipart/mixed"
    assert attachments(message) == [("cv.pdf", "application/pdf", digest(files[0][2])),
                                    ("shot.png", "image/png", digest(files[1][2])),
                                    ("\u00dcbersicht \u6771\u4eac.pdf", "application/pdf", digest(files[2][2]))]
    # The body part is the mail the same post makes without files, byte for
    # byte, but for the list of files the template shows in its HTML.
    listed = "cv.pdf (3009 bytes)\nshot.png (2008 bytes)\n\u00dcbersicht \u6771\u4eac.pdf (3009 bytes)"
    html = strict(with_files.raw).get_body(("html",)).get_content().replace("\r\n", "\n")
    assert "<pre>" + listed + "</pre>" in html
    assert without.raw.endswith(first_part(with_files.raw).replace(quoted(listed), b"") + b"\r\n")
    record = open(os.path.join(DATA, "dkim-test.txt")).read().strip().encode()
    assert dkim.verify(with_files.raw, dnsfunc=lambda name, timeout=5: record)
    assert not dkim.verify(with_files.raw.replace(b"JVBER", b"JVBEQ", 1), dnsfunc=lambda name, timeout=5: record)


def shutil_copy(source, target):
    with open(source, "rb") as f, open(target, "wb") as g:
        g.write(f.read())


def quoted(listed):
    """The file list as the quoted-printable text part writes it."""
    import quopri
    return quopri.encodestring(listed.encode("utf-8")).replace(b"\n", b"\r\n")


REFUSED_TYPE = ("QUILLO! ERROR 314 - FILE TYPE NOT TAKEN<br>The file \"%s\" is not one this form takes. "
                "It takes these types, told by their content: pdf, png, jpg, gif, webp, txt, csv, docx, xlsx, odt, "
                "ods, zip.")
UNREADABLE = "QUILLO! ERROR 315 - FORM DATA UNREADABLE<br>The form's multipart/form-data body %s."
TRUNCATED = UNREADABLE % "ended before its closing boundary: the post was cut short"
MALFORMED = UNREADABLE % "does not write its boundaries and header lines as RFC 7578 does, each line ended by CR LF"


def status_page(status, message):
    return b"Status: " + status + b"\r\n" + error_page(message)


def raw_cases():
    good = multipart(FIELDS, [("f", "a.pdf", b"%PDF-1.7\r\n--" + BOUNDARY.encode() + b"-- inside\r\n")])
    part = b"--%s\r\nContent-Disposition: form-data; name=\"%%s\"\r\n\r\n%%s\r\n" % BOUNDARY.encode()
    fields = b"".join(part % (n.encode(), v.encode()) for n, v in FIELDS)
    end = b"--%s--\r\n" % BOUNDARY.encode()
    return [
        ("the boundary's text inside a file", CONTENT_TYPE, good, OK_PAGE),
        ("a quoted boundary", 'multipart/form-data; boundary="%s"' % BOUNDARY, good, OK_PAGE),
        ("a duplicate name joins its values", CONTENT_TYPE, fields + part % (b"Name", b"Jo") + end, OK_PAGE),
        ("no boundary", "multipart/form-data", good,
         error_page(UNREADABLE % "comes without a boundary of 1 to 70 characters in its Content-Type")),
        ("a boundary of 71 characters", "multipart/form-data; boundary=" + "b" * 71, good,
         error_page(UNREADABLE % "comes without a boundary of 1 to 70 characters in its Content-Type")),
        ("another boundary than the body's", "multipart/form-data; boundary=other", good, error_page(TRUNCATED)),
        ("LF-only line ends", CONTENT_TYPE, good.replace(b"\r\n", b"\n"), error_page(MALFORMED)),
        ("a part without Content-Disposition", CONTENT_TYPE,
         fields + b"--%s\r\nContent-Type: text/plain\r\n\r\nx\r\n" % BOUNDARY.encode() + end,
         error_page(UNREADABLE % "has a part without Content-Disposition: form-data and a name")),
        ("headers over the bound", CONTENT_TYPE,
         fields + b"--%s\r\n" % BOUNDARY.encode() + b"X-Long: " + b"x" * 3000 + b"\r\n\r\n" + end,
         error_page(UNREADABLE % "has a part whose header lines pass the bound of 16 lines of 2048 bytes")),
        ("filename* in a bad encoding", CONTENT_TYPE,
         fields + b"--%s\r\nContent-Disposition: form-data; name=\"f\"; filename*=UTF-8''%%C3x.pdf\r\n\r\n"
                  b"%%PDF-\r\n" % BOUNDARY.encode() + end,
         status_page(b"415 Unsupported Media Type", REFUSED_TYPE % "attachment-1")),
        ("a post cut short", CONTENT_TYPE, good[:len(good) // 2], error_page(TRUNCATED)),
    ]


@pytest.mark.parametrize("what, content_type, body, page", raw_cases(), ids=[c[0] for c in raw_cases()])
def test_raw_multipart_bodies_get_their_answers(upload_site, what, content_type, body, page):
    with smtp_server(UPLOAD_RELAY) as received:
        assert upload_site.run(body, env={"CONTENT_TYPE": content_type})[0] == page
    assert len(received) == (1 if page == OK_PAGE else 0)
    if what.startswith("a duplicate"):
        assert "J\u00fcrgen, Jo: " in strict(received[0].raw).get_body(("plain",)).get_content()


def test_a_relay_that_offers_less_than_the_message_gets_nothing(upload_site):
    upload_site.write("quillopro.ini", "[site]\nlog = stderr\n[smtp]\nhost = %s\n%s" % (UPLOAD_SIZE_RELAY, UPLOADS))
    handler = RecordingHandler()
    controller = Controller(handler, hostname=UPLOAD_SIZE_RELAY, port=25, data_size_limit=20000)
    controller.start()
    try:
        assert post_files(upload_site, [("f", "cv.pdf", pdf(30000))]) == document_page("NOT SENT\n")
        assert handler.received == []
        assert re.search(r' step=SIZE host=%s reply="message too large: \d+ bytes, the server takes 20000" '
                         r'error="message too large" failure=permanent' % UPLOAD_SIZE_RELAY, upload_site.last_log_line)
        assert post_files(upload_site, [("f", "cv.pdf", pdf(1000))]) == OK_PAGE
    finally:
        controller.stop()

    class TooLarge(RecordingHandler):
        async def handle_DATA(self, server, session, envelope):
            return "552 5.3.4 Message too big for system"

    controller = Controller(TooLarge(), hostname=UPLOAD_SIZE_RELAY, port=25)
    controller.start()
    try:
        assert post_files(upload_site, [("f", "cv.pdf", pdf(1000))]) == document_page("NOT SENT\n")
        assert ' reply="552 5.3.4 Message too big for system" code=552 error="message too large" ' \
               'failure=permanent' in upload_site.last_log_line
    finally:
        controller.stop()


@pytest.mark.skipif(not ADMIN, reason="the store and quillo are not in the Windows build")
def test_a_stored_post_keeps_its_files_until_it_is_resent(upload_site, tmp_path):
    db = str(tmp_path / "posts.sqlite")
    upload_site.write("quillopro.ini", "[site]\nlog = stderr\n[store]\npath = %s\n%s" % (db, UPLOADS))
    sent = pdf()
    with smtp_server(UPLOAD_RELAY, rcpt_reply="451 4.3.0 Try again later"):
        assert post_files(upload_site, [("f", "cv.pdf", sent)]) == document_page("NOT SENT\n")
    with sqlite3.connect(db) as store:
        (stored, state) = store.execute("SELECT message, state FROM submissions").fetchone()
    assert state == "failed"
    assert attachments(strict(stored.encode() if isinstance(stored, str) else stored))[0][2] == digest(sent)
    with smtp_server(UPLOAD_RELAY) as received:
        command = with_private_resolver(upload_site.resolv_conf, [ADMIN, "resend", "--now", "--program",
                                                                  upload_site.program, "--user", "root"])
        assert subprocess.run(command, capture_output=True, timeout=60).stdout == b"1 sent\nresent 1\n"
    (mail,) = received
    assert attachments(strict(mail.raw)) == [("cv.pdf", "application/pdf", digest(sent))]


def test_a_script_is_told_each_refusal_in_json_with_its_status(upload_site):
    upload_site.write("quillopro.ini", "[site]\njson = on\n" + UPLOADS)
    body = multipart(FIELDS, [("f", "big.pdf", pdf(200 * 1024))])
    out, _ = upload_site.run(body, env={"CONTENT_TYPE": CONTENT_TYPE, "HTTP_ACCEPT": "application/json"})
    assert out == (b"Status: 413 Content Too Large\r\nContent-Type: application/json\r\n\r\n"
                   b'{"ok":false,"error":"QUILLO! ERROR 311 - FILE TOO LARGE The file \\"big.pdf\\" is larger than '
                   b'100 KB, the most this form takes for one file.","code":311}')
