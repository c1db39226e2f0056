"""The whole way a visitor goes: a form the wizard wrote, served by lighttpd,
filled in and sent by Chromium, mailed by quillopro.exe to an SMTP server,
answered with the site's own page."""

import json
import os
import shutil
import subprocess
import tempfile

from mail_servers import smtp_server
from web_servers import lighttpd

QUILLOGEN = os.environ.get("QUILLOGEN_EXE", "")
BROWSER_DIR = os.path.join(os.path.dirname(__file__), "..", "browser")


def write_form(path, *options):
    subprocess.run([QUILLOGEN, "--batch", "-o", path, *options], check=True)


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
                   "--server", "127.0.0.95", "--subject", 'Order "Deluxe" & more', "--success", "thanks.htm",
                   "--error", "error.htm", "--email-verify", "--comments")
        with smtp_server("127.0.0.95") as received, lighttpd(site.dir, site.resolv_conf, docs) as port:
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
