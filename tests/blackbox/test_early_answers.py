"""Answers the program writes before it has read the body, under every web
server users run it behind: Apache with mod_cgid (stock Debian) and with
mod_cgi, lighttpd, and nginx with fcgiwrap. Apache writes the body to the
program while the program answers; a program that ends without reading it
closed the pipe under Apache, which then dropped the answer (the browser's
ERR_EMPTY_RESPONSE). Every post here must get its whole page."""

import os
import shutil

import pytest

import debian_servers
import web_servers
from cgi_site import WINDOWS, error_page

MIB = 1024 * 1024
POSTS = 50
BASE = b"QUILLO_TO=info%40example.com&QUILLO_SUCCESS=thanks.htm&QUILLO_ERROR=error.htm"
# The program reads the body up to its first raw line feed (browsers never
# send one), so what follows it is a body the program has not read.
UNREAD = b"\n" + b"x" * (2 * MIB)


def answer(message):
    return error_page(message).split(b"\r\n\r\n", 1)[1]


SAME_DIR = "This file must be in the same directory on the web server as the file quillopro.exe!"

# name -> (what the site's folder gets, the body, its headers, the page)
CASES = {
    "604": ({"quillopro.ini": "[site]\npassword: secret\n"}, BASE + UNREAD, {},
            answer("QUILLO! ERROR 604<br>SETTINGS FILE INVALID<br><br>quillopro.ini<br>line 2")),
    "600": ({"quillopro.ini/": None}, BASE + UNREAD, {},
            answer("QUILLO! ERROR 600<br>FILE NOT FOUND / ACCESS DENIED<br><br>quillopro.ini<br><br>Please verify "
                   "filename and access permissions (read).<br><br>" + SAME_DIR)),
    "300": ({}, b"Name=Jo" + UNREAD, {}, answer("QUILLO! ERROR 300 - QUILLO_TO UNDEFINED")),
    "305": ({}, b"--x\r\n" + b"x" * (2 * MIB), {"Content-Type": "multipart/form-data; boundary=x"},
            answer("QUILLO! ERROR 305 - FORM NOT URL-ENCODED<br>The form was sent as multipart/form-data. Remove "
                   'enctype="multipart/form-data" from its form tag: quillopro.exe reads forms sent as '
                   "application/x-www-form-urlencoded, the browsers' default.")),
    "306": ({}, BASE + b"&x=" + b"y" * (16 * MIB + 1024), {},
            answer("QUILLO! ERROR 306 - REQUEST TOO LARGE<br>The form sent more than 16777216 bytes, more than a "
                   "form is read.")),
    "701": ({}, BASE + b"&QUILLO_REQUIRED=a%3Ab.htm" + UNREAD, {},
            answer("QUILLO ERROR 701<br>Invalid characters found in filename<br>a:b.htm")),
}


def arrange(cgi_dir, files):
    for name in ("quillopro.ini",):
        path = os.path.join(cgi_dir, name)
        if os.path.isdir(path):
            os.rmdir(path)
        elif os.path.exists(path):
            os.unlink(path)
    for name, text in files.items():
        path = os.path.join(cgi_dir, name.rstrip("/"))
        if name.endswith("/"):
            os.mkdir(path)
            os.chmod(path, 0o755)
        else:
            with open(path, "w") as f:
                f.write(text)
            os.chmod(path, 0o644)


def posts_get_whole_pages(port, cgi_dir, error_log=None):
    """Every case's posts get its page; with Apache's error_log, every body
    was read whole, the pipe never closed under Apache (that the answer
    survives a closed pipe is luck). The too-large post ends within the
    bound of what is discarded after the bound of what is read."""
    for name, (files, body, headers, page) in CASES.items():
        arrange(cgi_dir, files)
        posts = POSTS if len(body) < 4 * MIB else POSTS // 5  # the 17 MiB posts are fewer
        answers = [web_servers.post(port, "/cgi-bin/quillopro.exe", body, headers)[::2] for _ in range(posts)]
        assert answers == [(200, page)] * posts, (name, sorted({a[1][:80] for a in answers}))
        if error_log:
            with open(error_log, "r+") as log:
                assert "Error writing request body" not in log.read(), name
                log.truncate(0)
    arrange(cgi_dir, {})


@pytest.mark.skipif(WINDOWS, reason="Debian's servers with the Linux program")
@pytest.mark.parametrize("server", ["apache mod_cgid", "lighttpd", "nginx + fcgiwrap"])
def test_every_early_answer_reaches_the_browser_whole_on_stock_debian(server):
    serve = {"apache mod_cgid": debian_servers.apache, "lighttpd": debian_servers.lighttpd,
             "nginx + fcgiwrap": debian_servers.nginx}[server]
    with debian_servers.debian_site() as site:
        with serve(site) as port:
            error_log = os.path.join(site[1], "error.log") if server.startswith("apache") else None
            posts_get_whole_pages(port, debian_servers.cgi_folder(site), error_log)


def test_every_early_answer_reaches_the_browser_whole_under_apache_mod_cgi(site):
    for name in ("thanks.htm", "error.htm"):
        site.write(name, name + "\n")
    error_log = site.path("apache-error.log")
    with web_servers.apache(site.dir, site.resolv_conf, error_log) as port:
        posts_get_whole_pages(port, site.dir, error_log)
    shutil.rmtree(site.path("quillopro.ini"), ignore_errors=True)
