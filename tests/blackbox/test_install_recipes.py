"""The README's recipes for stock Debian, run: the sample site installed as it
says, Apache and nginx with fcgiwrap set up as it says, the sample form's
fields posted through each to a real SMTP server."""

import email.header
import os
import re

import pytest

from cgi_site import WINDOWS, error_page
from debian_servers import SITE, apache, debian_site, nginx, post_sample_form, sample_page
from mail_servers import smtp_server
from web_servers import get
from addresses import APACHE_RECIPE_SERVER, NGINX_RECIPE_SERVER

pytestmark = pytest.mark.skipif(WINDOWS, reason="the recipes are for Debian's own web servers and the Linux program")

SERVERS = {"apache": apache, "nginx": nginx}
SMTP_HOSTS = {"apache": APACHE_RECIPE_SERVER, "nginx": NGINX_RECIPE_SERVER}
VISITOR = {"_FE_Email": "jo@example.org", "_R_Name": "M\xfcller", "_R_FirstName": "J\xfcrgen",
           "Company": "M\xfcller & S\xf6hne", "_R_Street": "Hohe Stra\xdfe 1", "_R_City": "K\xf6ln",
           "_R_Zip": "50667", "_R_Country": "Germany", "Comments": "Please call me back.\r\nThanks!"}


@pytest.fixture(scope="module", params=sorted(SERVERS))
def served(request):
    with debian_site() as site, SERVERS[request.param](site) as port:
        yield request.param, port


def template_text(name, mail, **values):
    """The text part of a sample template filled for mail, as quoted-printable
    carries it: without blanks at the ends of lines."""
    with open(os.path.join(SITE, "cgi-bin", name), encoding="latin-1") as f:
        text = f.read().split("[QUILLO_TEMPLATE_HTML]")[0].split("\n", 1)[1]
    values["DATE"] = re.search(rb"^Date: (.*)\r$", mail.raw, re.M).group(1).decode()
    for key, value in values.items():
        text = text.replace("##%s##" % key, value)
    return "\n".join(line.rstrip(" ") for line in text.split("\n"))


def text_of(mail):
    part = mail.message.get_payload()[0] if mail.message.is_multipart() else mail.message
    return part.get_payload(decode=True).decode("latin-1").replace("\r\n", "\n")


def test_the_program_runs_and_the_pages_are_served(served):
    server, port = served
    if server == "apache":
        expected = (200, "text/plain", b"Place this file in your /cgi-bin or /scripts directory\r\n")
    else:  # nginx announces an empty body: a form without a recipient.
        expected = (200, "text/html", error_page("QUILLO! ERROR 300 - QUILLO_TO UNDEFINED").split(b"\r\n\r\n", 1)[1])
    assert get(port, "/cgi-bin/quillopro.exe") == expected
    # The form and the check page are served from the document root.
    for name in ("contact.htm", "check.htm"):
        with open(os.path.join(SITE, "htdocs", name), "rb") as f:
            assert get(port, "/" + name) == (200, "text/html", f.read())


def test_the_sample_form_is_mailed_answered_and_confirmed(served):
    server, port = served
    with smtp_server(SMTP_HOSTS[server]) as received:
        answer = post_sample_form(port, SMTP_HOSTS[server], **VISITOR)
    assert answer == (200, "text/html", sample_page("thanks.htm", FirstName="J\xfcrgen", Name="M\xfcller",
                                                     QUILLO_TO="info@example.com", Email="jo@example.org"))
    mail, reply = received
    assert (mail.mail_from, mail.rcpt_tos) == ("jo@example.org", ["info@example.com"])
    assert str(email.header.make_header(email.header.decode_header(mail.message["Subject"]))) == (
        "Contact form: J\xfcrgen M\xfcller")
    assert text_of(mail) == template_text(
        "mail.tpl", mail, FirstName="J\xfcrgen", Name="M\xfcller", Email="jo@example.org",
        Company="M\xfcller & S\xf6hne", Street="Hohe Stra\xdfe 1", Street2="", Zip="50667", City="K\xf6ln",
        State="", Country="Germany", Comments="Please call me back.\nThanks!", REMOTE_ADDR="127.0.0.1",
        HTTP_USER_AGENT="TestAgent/1.0")
    assert (reply.mail_from, reply.rcpt_tos) == ("info@example.com", ["jo@example.org"])
    assert reply.message["Subject"] == "Thank you for your message"
    # A text-only message ends with an empty line.
    assert text_of(reply) == template_text("reply.tpl", reply) + "\n"

