"""quillopro.exe behind real web servers: argv[0], working folder and the
CGI environment are the servers' own."""

import pytest

from cgi_site import crlf, error_page, form
from web_servers import apache, lighttpd, post

SERVERS = {"lighttpd": lighttpd, "apache": apache}


@pytest.fixture(params=sorted(SERVERS))
def served(request, site):
    with SERVERS[request.param](site.dir, site.resolv_conf) as port:
        yield site, port


def test_a_required_field_left_empty_shows_the_sites_own_document(served):
    site, port = served
    site.write("req.htm", "<p>Please fill in ##Mail## and the rest.</p>\r\n")
    body = form(("QUILLO_TO", "info@example.com"), ("QUILLO_SUCCESS", "ok.htm"), ("QUILLO_ERROR", "err.htm"),
                ("QUILLO_REQUIRED", "req.htm"), ("_E_Mail", "jo@example.com"), ("_R_Name", ""))
    assert post(port, "/cgi-bin/quillopro.exe", body) == (
        200, "text/html", crlf("<p>Please fill in jo@example.com and the rest.</p>\n"))


def test_error_pages_and_the_debug_report_reach_the_browser_whole(served):
    site, port = served
    assert post(port, "/cgi-bin/quillopro.exe", "QUILLO_TO=") == (
        200, "text/html", error_page("QUILLO! ERROR 300 - QUILLO_TO UNDEFINED").split(b"\r\n\r\n", 1)[1])
    status, _, page = post(port, "/cgi-bin/quillopro.exe",
                           form(("QUILLO_TO", "a@b.c"), ("QUILLO_SUCCESS", "ok.htm"), ("QUILLO_ERROR", "err.htm"),
                                ("QUILLO_DEBUG", "ON"), ("_R_Name", "Jo")))
    assert status == 200
    assert b"<strong>REQUEST_METHOD=POST</strong> <BR>" in page
    assert b"<strong>SCRIPT_NAME=/cgi-bin/quillopro.exe</strong><BR>" in page
    assert ("<strong>QUILLO_SUCCESS=%s</strong>" % site.shown("ok.htm")).encode() in page
    assert b"<strong>_R_Name=Jo</strong><BR>" in page
    assert page.endswith(b"</tt></small></font></body></html>")
