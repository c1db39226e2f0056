"""Files sent from Chromium's own file inputs through the three web servers
as stock Debian sets them up (lighttpd, Apache with mod_cgid, nginx with
fcgiwrap and the snippet), mailed by quillopro.exe to aiosmtpd: what arrives,
what each refusal shows, and nginx's own limit past its body size."""

import json
import os
import subprocess

import pytest

import debian_servers
from debian_servers import cgi_folder, debian_site
from mail_servers import smtp_server
from uploads import attachments, digest, first_part, pdf, png, strict
from addresses import UPLOAD_BROWSER_RELAY

BROWSER_DIR = os.path.join(os.path.dirname(__file__), "..", "browser")
SERVERS = {"lighttpd": debian_servers.lighttpd, "apache mod_cgid": debian_servers.apache,
           "nginx + fcgiwrap": debian_servers.nginx}
FORM = """<!doctype html>
<html lang="en"><head><meta charset="utf-8"><title>Files</title></head><body>
<form method="post" action="/cgi-bin/quillopro.exe" enctype="multipart/form-data" accept-charset="utf-8">
<input type="hidden" name="QUILLO_TO" value="info@example.com">
<input type="hidden" name="QUILLO_SERVER" value="%s">
<input type="hidden" name="QUILLO_SUCCESS" value="ok.htm">
<input type="hidden" name="QUILLO_ERROR" value="err.htm">
<input type="hidden" name="QUILLO_TEMPLATE" value="mail.tpl">
<input type="hidden" name="_charset_">
<label>Name <input type="text" name="Name"></label>
<label>Files <input type="file" name="files" multiple></label>
<label>One more <input type="file" name="more"></label>
<input type="submit" value="Send">
</form></body></html>
""" % UPLOAD_BROWSER_RELAY


def write(folder, name, data):
    path = os.path.join(folder, name)
    with open(path, "wb") as f:
        f.write(data if isinstance(data, bytes) else data.encode())
    os.chmod(path, 0o644)
    return path


def upload(url, posts):
    done = subprocess.run(["node", "upload_files.mjs", url, json.dumps(posts)], cwd=BROWSER_DIR,
                          capture_output=True, timeout=240)
    assert done.returncode == 0, done.stderr.decode(errors="replace")
    return json.loads(done.stdout)


@pytest.mark.parametrize("server", SERVERS)
def test_a_browser_sends_files_and_sees_each_refusal(server, tmp_path):
    sent = {"cv.pdf": pdf(), "shot.png": png(), "\u00dcbersicht \u6771\u4eac.pdf": pdf(),
            "large.pdf": pdf(150 * 1024), "setup.pdf": b"MZ\x90\x00" + os.urandom(500),
            "logo.svg": b'<svg xmlns="http://www.w3.org/2000/svg"/>', "cv.pdf.exe": pdf(),
            "huge.pdf": pdf(18 * 1024 * 1024)}
    files = {name: write(str(tmp_path), name, data) for name, data in sent.items()}
    posts = [
        {"fields": {"Name": "J\u00fcrgen"}, "files": {"files": [files["cv.pdf"], files["shot.png"]],
                                                       "more": [files["\u00dcbersicht \u6771\u4eac.pdf"]]}},
        {"fields": {"Name": "J\u00fcrgen"}},
        {"files": {"files": [files["large.pdf"]]}},
        {"files": {"files": [files["cv.pdf"], files["shot.png"], files["cv.pdf"]], "more": [files["shot.png"]]}},
        {"files": {"files": [files["setup.pdf"]]}},
        {"files": {"files": [files["logo.svg"]]}},
        {"files": {"files": [files["cv.pdf.exe"]]}},
    ]
    if server == "nginx + fcgiwrap":
        posts.append({"files": {"files": [files["huge.pdf"]]}})
    with debian_site() as site, smtp_server(UPLOAD_BROWSER_RELAY) as received:
        cgi = cgi_folder(site)
        write(cgi, "quillopro.ini", "[site]\nlog = stderr\n[uploads]\nmax_file_size = 100 KB\nmax_files = 3\n")
        write(cgi, "ok.htm", "<html><body><p>Thank you.</p></body></html>\n")
        write(cgi, "err.htm", "<html><body><p>Sorry.</p></body></html>\n")
        write(cgi, "mail.tpl", "[QUILLO_TEMPLATE_TEXT]\nName: ##Name##\n[QUILLO_TEMPLATE_HTML]\n<p>##Name##</p>\n")
        write(os.path.join(os.path.dirname(cgi), "html"), "files.htm", FORM)
        with SERVERS[server](site) as port:
            answers = upload("http://127.0.0.1:%d/files.htm" % port, posts)
    statuses = [(a["status"], a["text"].split(" - ")[0].split("\n")[-1]) for a in answers]
    assert statuses[:7] == [(200, "Thank you."), (200, "Thank you."), (413, "QUILLO! ERROR 311"),
                            (413, "QUILLO! ERROR 312"), (415, "QUILLO! ERROR 314"), (415, "QUILLO! ERROR 314"),
                            (415, "QUILLO! ERROR 314")], answers
    if server == "nginx + fcgiwrap":
        # Past the snippet's client_max_body_size the visitor sees nginx's page.
        assert answers[7]["status"] == 413 and "413 Request Entity Too Large" in answers[7]["text"]
    with_files, without = received  # the refusals sent nothing
    assert attachments(strict(with_files.raw)) == [
        ("cv.pdf", "application/pdf", digest(sent["cv.pdf"])), ("shot.png", "image/png", digest(sent["shot.png"])),
        ("\u00dcbersicht \u6771\u4eac.pdf", "application/pdf", digest(sent["\u00dcbersicht \u6771\u4eac.pdf"]))]
    assert without.raw.endswith(first_part(with_files.raw) + b"\r\n")
    assert "J\u00fcrgen" in strict(without.raw).get_body(("plain",)).get_content()
