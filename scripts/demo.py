"""The main job, shown once: the wizard writes a form, lighttpd serves it,
Chromium fills it in and sends it, quillopro.exe mails it to an SMTP server
on this machine, and the visitor gets the site's thank-you page.

Run through scripts/demo.sh (root; everything stays on loopback)."""

import os
import shutil
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
BUILD = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(HERE, "..", "build"))
os.environ["QUILLOPRO_EXE"] = os.path.join(BUILD, "cgi", "quillopro.exe")
os.environ["QUILLOGEN_EXE"] = os.path.join(BUILD, "wizard", "quillogen")
sys.path.insert(0, os.path.join(HERE, "..", "tests", "blackbox"))

from cgi_site import Site  # noqa: E402
from mail_servers import smtp_server  # noqa: E402
from test_browser import submit_in_browser, write_form  # noqa: E402
from web_servers import lighttpd  # noqa: E402

SMTP_HOST = "127.0.0.25"


def show(title, text):
    print("\n===== %s =====\n%s" % (title, text.rstrip()))


def main():
    site = Site()
    pages = tempfile.mkdtemp(prefix="quillo-demo-pages-")
    os.chmod(pages, 0o755)
    try:
        site.write("thanks.htm", "<html><body><h1>Thank you, ##Name##!</h1>"
                                 "<p>Your message went to ##QUILLO_TO##.</p></body></html>\n")
        site.write("error.htm", "<html><body><h1>Sorry, the mail could not be sent.</h1></body></html>\n")
        site.write("recipients.txt", "# only the shop's own addresses\nshop@example.com\n")
        form_path = os.path.join(pages, "contact.htm")
        write_form(form_path, "--url", "/cgi-bin/quillopro.exe", "--to", "shop@example.com",
                   "--server", SMTP_HOST, "--subject", "Contact form: ##Name##", "--success", "thanks.htm",
                   "--error", "error.htm", "--email-verify", "--address", "--comments")
        with open(form_path, encoding="latin-1") as f:
            show("the form quillogen wrote (contact.htm)", f.read())
        with smtp_server(SMTP_HOST) as received, lighttpd(site.dir, site.resolv_conf, pages) as port:
            url = "http://127.0.0.1:%d/contact.htm" % port
            print("\nChromium opens %s, fills it in and presses Submit ..." % url)
            answer = submit_in_browser(url, {
                "_FE_Email": "jo@example.org", "_R_Name": "Example", "_R_FirstName": "J\u00fcrgen",
                "_R_Street": "Hohe Stra\u00dfe 1", "_R_City": "K\u00f6ln", "_R_Zip": "50667",
                "_R_Country": "Germany", "Comments": "Please call me back.\nThanks!"})
        show("what the browser shows (%s)" % answer["url"], answer["html"])
        for mail in received:
            show("mail received by the SMTP server on %s:25 (from %s to %s)"
                 % (SMTP_HOST, mail.mail_from, ", ".join(mail.rcpt_tos)), mail.raw.decode("latin-1"))
        print("\n%d mail(s) delivered." % len(received))
        return 0 if received else 1
    finally:
        site.close()
        shutil.rmtree(pages, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
