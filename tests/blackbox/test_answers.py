"""Every answer of quillopro.exe that needs no mail server, compared whole."""

import os

from cgi_site import WINDOWS, Site, crlf, document_page, error_page, form, shown_path

BASE = [("QUILLO_TO", "info@example.com"), ("QUILLO_SUCCESS", "ok.htm"), ("QUILLO_ERROR", "err.htm")]
SAME_DIR = "This file must be in the same directory on the web server as the file quillopro.exe!"


def test_started_without_a_cgi_request_prints_the_usage_line(site):
    usage = b"Place this file in your /cgi-bin or /scripts directory\r\n"
    assert site.run(content_length=None, env={"GATEWAY_INTERFACE": None}) == (usage, 0)
    # Opened in a browser, the web server needs a header before it.
    assert site.run(content_length=None) == (b"Content-Type: text/plain\r\n\r\n" + usage, 0)


def test_a_program_of_another_name_answers_700_before_anything_else():
    # Windows file names cannot hold < or >; & must be escaped all the same.
    other = Site(name="Mailer&1.exe" if WINDOWS else "Mailer<1>.exe")
    try:
        out, status = other.run(content_length=None, env={k: None for k in ("REQUEST_METHOD", "SCRIPT_NAME")})
        assert status == 0
        assert out == error_page("QUILLO ERROR 700<br>-> Rename executable file to quillopro.exe<br>"
                                 + shown_path(other.program).lower().replace("&", "&amp;").replace("<", "&lt;")
                                 .replace(">", "&gt;"))
    finally:
        other.close()


def test_short_name_in_upper_case_and_bare_names_are_accepted(site):
    body = form(*BASE, ("QUILLO_DEBUG", "ON"))
    for argv0 in ("QUILLO~1.EXE", "quillopro.exe", site.program.upper().replace("QUILLOPRO.EXE", "QUILLO~1.EXE")):
        out, status = site.run(body, argv0=argv0)
        assert status == 0 and b"DEBUG MODE - NO MAIL WILL BE SENT!" in out, argv0


def test_a_site_in_a_folder_with_capitals_finds_its_documents():
    site = Site(name="QuilloPro.EXE")
    try:
        os.rename(site.dir, site.dir + "-Jo")
        site.dir += "-Jo"
        site.program = os.path.join(site.dir, "QuilloPro.EXE")
        site.write("Required.HTM", "REQUIRED PAGE\n")
        body = form(*BASE, ("QUILLO_REQUIRED", "Required.HTM"), ("_R_Name", ""))
        assert site.run(body) == (document_page("REQUIRED PAGE\n"), 0)
    finally:
        site.close()


def test_numbered_errors_come_in_their_fixed_order(site):
    assert site.run("") == (error_page("QUILLO! ERROR 300 - QUILLO_TO UNDEFINED"), 0)
    assert site.run("QUILLO_TO=a", content_length="x12") == (error_page("QUILLO! ERROR 300 - QUILLO_TO UNDEFINED"), 0)
    assert site.run("QUILLO_TO=%2C+%2C") == (error_page("QUILLO! ERROR 300 - QUILLO_TO UNDEFINED"), 0)
    assert site.run("QUILLO_TO=a@b.c") == (error_page("QUILLO! ERROR 302 - QUILLO_SUCCESS UNDEFINED"), 0)
    assert site.run("QUILLO_TO=a@b.c&QUILLO_SUCCESS=+++") == (error_page("QUILLO! ERROR 302 - QUILLO_SUCCESS UNDEFINED"), 0)
    assert site.run("QUILLO_TO=a@b.c&QUILLO_SUCCESS=ok.htm") == (error_page("QUILLO! ERROR 303 - QUILLO_ERROR UNDEFINED"), 0)
    # A refused document name is reported before the missing recipient.
    assert site.run("QUILLO_ERROR=x.exe&QUILLO_SUCCESS=..%2Fa") == (error_page(
        "QUILLO ERROR 704<br>Directory change not allowed<br><br>../a<br><br>" + SAME_DIR
        + "<br><br>Please enter only the filename!<br><br>Format: filename.extension"), 0)


def test_document_names_are_checked_in_their_order_and_shown_escaped(site):
    out, _ = site.run(form(*BASE, ("QUILLO_REQUIRED", "a:b.htm"), ("QUILLO_BADEMAIL", "x.DLL")))
    assert out == error_page("QUILLO ERROR 701<br>Invalid characters found in filename<br>a:b.htm")
    out, _ = site.run(form(*BASE, ("QUILLO_TEMPLATE", "<img src=x onerror=alert(1)>.cgi")))
    assert out == error_page("QUILLO ERROR 702<br>Cannot use executable as document<br>"
                             "&lt;img src=x onerror=alert(1)&gt;.cgi")
    out, _ = site.run(form(*BASE, ("QUILLO_REJECTEMAIL", "sub/list.txt")))
    assert out == error_page("QUILLO ERROR 704<br>Directory change not allowed<br><br>sub/list.txt<br><br>"
                             + SAME_DIR + "<br>Please enter only the filename!<br>Format: filename.extension")


def test_required_and_bad_email_documents_follow_the_last_failing_field(site):
    base = BASE + [("QUILLO_REQUIRED", "req.htm"), ("QUILLO_BADEMAIL", "bad.htm")]
    assert site.run(form(*base, ("_R_Name", ""), ("_E_Mail", "nope"))) == (document_page("BAD EMAIL PAGE\n"), 0)
    assert site.run(form(*base, ("_E_Mail", "nope"), ("_R_Name", ""))) == (document_page("REQUIRED PAGE\n"), 0)
    # Without QUILLO_REQUIRED and QUILLO_BADEMAIL both fall back to the error document.
    assert site.run(form(*BASE, ("_E_Mail", ""))) == (document_page("ERROR PAGE\n"), 0)


def test_result_documents_end_lines_once_and_escape_placeholder_values(site):
    site.write("req.htm", "<p>##Name##|##Comment##|##Other##</p>\r\nend\r")
    out, status = site.run(form(*BASE, ("QUILLO_REQUIRED", "req.htm"), ("Name", "<script>x()</script>"),
                                ("Comment", "line1\r\nline2"), ("_R_Must", "")))
    assert status == 0
    assert out == document_page("<p>&lt;script&gt;x()&lt;/script&gt;|line1\nline2|##Other##</p>\nend")


def test_an_empty_result_document_gives_the_header_block_only(site):
    site.write("req.htm", "")
    assert site.run(form(*BASE, ("QUILLO_REQUIRED", "req.htm"), ("_R_x", ""))) == (b"Content-Type: text/html\r\n\r\n", 0)


def test_unreadable_documents_answer_600_with_the_escaped_path(site):
    out, _ = site.run(form(*BASE, ("QUILLO_REQUIRED", "Missing&<.htm"), ("_R_x", "")))
    path = site.shown("Missing&<.htm").replace("&", "&amp;").replace("<", "&lt;")
    assert out == error_page("QUILLO! ERROR 600<br>FILE NOT FOUND / ACCESS DENIED<br><br>" + path
                             + "<br><br>Please verify filename and access permissions (read).<br><br>" + SAME_DIR)
    out, _ = site.run(form(*BASE, ("QUILLO_TEMPLATE", "none.txt")))
    assert out.startswith(error_page("QUILLO! ERROR 600<br>FILE NOT FOUND / ACCESS DENIED<br><br>")[:60])
    assert site.shown("none.txt").encode() in out


def test_the_allow_list_refuses_unlisted_recipients_but_not_in_debug_mode(site):
    site.write("recipients.txt", "# who may get mail\r\n  Example.COM \t\r\nfriend@x.org # not an entry\r\n")
    body = form(("QUILLO_TO", "info@example.com, Friend@X.org"), ("QUILLO_SUCCESS", "ok.htm"),
                ("QUILLO_ERROR", "err.htm"))
    assert site.run(body) == (error_page("QUILLO! ERROR 900 - recipient not allowed<br>friend@x.org<br><br>"
                                         "Add the target email address (QUILLO_TO) to allowed recipients -> "
                                         "recipients.txt"), 0)
    out, _ = site.run(form(("QUILLO_TO", "<b>@evil"), ("QUILLO_SUCCESS", "ok.htm"), ("QUILLO_ERROR", "err.htm")))
    assert b"recipient not allowed<br>&lt;b&gt;@evil<br>" in out
    out, _ = site.run(body + "&QUILLO_DEBUG=MONDAY")
    assert b"<strong>1 entry (not shown)</strong>\r\n" in out


def test_the_reject_list_turns_away_the_sender_or_the_first_recipient(site):
    site.write("reject.txt", "  SPAM.example \r\nviagra")
    base = BASE + [("QUILLO_BADEMAIL", "bad.htm"), ("QUILLO_REJECTEMAIL", "reject.txt")]
    assert site.run(form(*base, ("_F_Mail", "Joe@Spam.Example"))) == (document_page("BAD EMAIL PAGE\n"), 0)
    assert site.run(form(("QUILLO_TO", "viagra@x.y"), *base[1:])) == (document_page("BAD EMAIL PAGE\n"), 0)
    base[-1] = ("QUILLO_REJECTEMAIL", "missing.txt")
    out, _ = site.run(form(*base))
    assert b"ERROR 600" in out


def test_the_debug_report_shows_defaults_paths_and_fields_escaped(site):
    body = form(*BASE, ("QUILLO_DEBUG", "ON"), ("QUILLO_HELO", "helo.example"), ("_R_Name", "<b>Jo</b>"),
                ("_I_hidden", "x"), ("Note", "a\nb"))
    out, status = site.run(body, env={"REMOTE_USER": "bob&co"})
    assert status == 0
    text = out.decode("latin-1")
    assert text.startswith("Content-Type: text/html\r\n\r\n<html>\r\n<header><title>Tessik Quillo!Pro DEBUG MODE")
    assert text.endswith("</tt></small></font></body></html>")
    for line in (
        "<strong>REMOTE_USER=bob&amp;co</strong> <BR>\r\n",
        "<strong>CONTENT_LENGTH=%d bytes</strong> <BR>\r\n" % len(body),
        "<strong>QUILLO_HELO=helo.example</strong> (used",
        "<strong>QUILLO_SUBJECT=Tessik Quillo! Pro Web-Form Message</strong>",
        "<strong>QUILLO_SUCCESS=%s</strong>" % site.shown("ok.htm"),
        "<strong>QUILLO_REQUIRED=%s</strong>" % site.shown("err.htm"),
        "<strong>QUILLO_BADEMAIL=%s</strong>" % site.shown("err.htm"),
        "<strong>QUILLO_PRIORITY=NORMAL</strong>",
        "<strong>QUILLO_ENVREPORT=OFF</strong>",
        "<strong>ALL</strong>\r\n",
        "<BR><strong>_R_Name=&lt;b&gt;Jo&lt;/b&gt;</strong><BR>\r\n<strong>Note=a\r\nb</strong><BR>\r\n<BR>Variablenames",
    ):
        assert line in text, line
    assert "hidden" not in text


def test_debug_mode_needs_upper_case_on_somewhere_in_the_value(site):
    out, _ = site.run(form(*BASE, ("QUILLO_DEBUG", "on")))
    assert b"DEBUG MODE" not in out
    out, _ = site.run(form(*BASE, ("QUILLO_DEBUG", "MONDAY")))
    assert b"DEBUG MODE - NO MAIL WILL BE SENT!" in out


def test_the_body_is_read_to_its_announced_length_or_first_line_feed(site):
    body = form(*BASE, ("QUILLO_DEBUG", "ON"), ("a", "1"))
    out, _ = site.run(body + "&b=2", content_length=str(len(body)))
    assert b"<strong>a=1</strong>" in out and b"b=2" not in out
    out, _ = site.run(body + "&b=2\n&c=3", content_length="100000")
    assert b"<strong>b=2\r\n</strong>" in out and b"c=3" not in out
    out, _ = site.run(body, content_length="2000000000")
    assert b"<strong>a=1</strong>" in out


def test_bad_lengths_and_bytes_end_in_defined_answers(site):
    body = form(*BASE, ("QUILLO_DEBUG", "ON"))
    assert site.run(body, content_length="-5") == (error_page("QUILLO! ERROR 300 - QUILLO_TO UNDEFINED"), 0)
    out, _ = site.run(body + "&x=ab%00cd&y=%4", content_length=None, env={"CONTENT_LENGTH": "  +99999"})
    assert b"<strong>x=ab</strong><BR>\r\n<strong>y=%4</strong>" in out
    out, _ = site.run(body.encode() + b"&z=1\x00&w=2")
    assert b"<strong>z=1</strong><BR>\r\n<BR>Variablenames" in out


def test_a_ten_megabyte_body_is_handled_whole(site):
    body = form(*BASE, ("QUILLO_DEBUG", "ON")) + "&big=" + "%2E" * (10 * 1024 * 1024 // 3)
    out, status = site.run(body)
    assert status == 0 and out.endswith(b"</tt></small></font></body></html>")
    fields = "&".join("f%d=1" % i for i in range(100001))
    out, status = site.run(form(*BASE, ("QUILLO_DEBUG", "ON")) + "&" + fields[:fields.rindex("&")])
    assert status == 0 and b"<strong>f99999=1</strong>" in out
    # A field more than any form has is a post built to make the program work.
    assert site.run(form(*BASE, ("QUILLO_DEBUG", "ON")) + "&" + fields) == (error_page(
        "QUILLO! ERROR 310 - TOO MANY FIELDS<br>The form sent more than 100000 fields, more than a form is read."), 0)


def test_a_failing_body_read_exits_silently(site):
    fd = os.open(site.dir, os.O_RDONLY)  # reading a directory fails with an input error
    try:
        assert site.run(b"", content_length="10", stdin=fd) == (b"", 255)
    finally:
        os.close(fd)


def test_repeated_fields_and_control_variables(site):
    out, _ = site.run("QUILLO_TO=x@y.z&" + form(*BASE[1:], ("QUILLO_DEBUG", "ON"), ("c", "x"), ("c", "y"),
                                                  ("quillo_to", "lower")) + "&QUILLO_TO=info%40example.com")
    text = out.decode("latin-1")
    assert "<strong>QUILLO_TO=info@example.com</strong>" in text
    assert "<strong>c=x, y</strong><BR>\r\n<strong>quillo_to=lower</strong>" in text


def test_a_folder_named_as_a_document_is_unreadable(site):
    os.mkdir(site.path("images"))
    out, _ = site.run(form(*BASE, ("QUILLO_REQUIRED", "images"), ("_R_x", "")))
    assert out == error_page("QUILLO! ERROR 600<br>FILE NOT FOUND / ACCESS DENIED<br><br>" + site.shown("images")
                             + "<br><br>Please verify filename and access permissions (read).<br><br>" + SAME_DIR)


def test_a_ctrl_z_ends_a_document_on_windows_only(site):
    # Windows' C runtime ends a text file at Ctrl-Z, and so does the Windows
    # build; on Linux the byte is text like any other.
    site.write("req.htm", "REQUIRED\x1aNOT SHOWN ON WINDOWS\n")
    out, _ = site.run(form(*BASE, ("QUILLO_REQUIRED", "req.htm"), ("_R_x", "")))
    assert out == document_page("REQUIRED" if WINDOWS else "REQUIRED\x1aNOT SHOWN ON WINDOWS\n")
