"""The program handing mail to a real mail system: a private Postfix taking it
over SMTP with a HELO it checks, or through its own sendmail command, which
queues what the next server puts off while the visitor sees success."""

import os
import re

import pytest

from cgi_site import WINDOWS, Site, document_page, form, without_source
from mail_servers import smtp_server
from postfix_server import postfix
from addresses import LOCAL_MAIL_POSTFIX as POSTFIX_IP, LOCAL_MAIL_RELAY as RELAY_IP

# Windows has no local mail system, and its build runs no programs.
needs_sendmail = pytest.mark.skipif(WINDOWS, reason="no sendmail command on Windows")

LOCAL = [("QUILLO_TO", "user@example.test"), ("QUILLO_SUCCESS", "ok.htm"), ("QUILLO_ERROR", "err.htm"),
         ("_FE_Email", "jo@example.org"), ("Comment", "Hello from the form")]


@pytest.fixture
def site():
    s = Site()
    s.write("ok.htm", "SENT\n")
    s.write("err.htm", "NOT SENT\n")
    yield s
    s.close()


def post_with(site, smtp, fields=LOCAL):
    log = site.path("form.log")
    if os.path.exists(log):
        os.unlink(log)
    site.write("quillopro.ini", "[site]\nlog = %s\n[smtp]\n%s" % (log, "".join("%s = %s\n" % i for i in smtp.items())))
    page = site.run(form(*fields))[0]
    with open(log) as f:
        (line,) = f.read().splitlines()
    return page, re.sub(r"^\S+ \S+ ", "", without_source(line, smtp.get("transport", "smtp")))


@pytest.mark.parametrize("what, smtp, page, logged", [
    pytest.param("the local sendmail command", dict(transport="sendmail"), "SENT", "sent recipients=1",
                 marks=needs_sendmail),
    ("SMTP with a fully qualified HELO", dict(host=POSTFIX_IP, helo="www.example.test"), "SENT",
     "sent recipients=1"),
    ("SMTP with a bare host name", dict(host=POSTFIX_IP, helo="web"), "NOT SENT",
     'failed recipients=1 step=RCPT host=%s reply="504 5.5.2 <web>: Helo command rejected: need '
     'fully-qualified hostname" code=504 failure=permanent' % POSTFIX_IP),
])
def test_postfix_takes_the_mail_as_the_settings_hand_it_over(site, what, smtp, page, logged):
    with postfix(POSTFIX_IP, helo_restriction=True) as mta:
        if smtp.get("transport") == "sendmail":
            smtp["sendmail_path"] = mta.sendmail_path
        assert post_with(site, smtp) == (document_page(page + "\n"), logged), what
        messages = mta.messages(1 if page == "SENT" else 0)
    assert len(messages) == (page == "SENT")
    if messages:
        (message,) = messages
        assert (message["To"], message["Return-Path"]) == ("<user@example.test>", "<jo@example.org>")
        text = message.get_payload()[0].get_payload(decode=True).decode("latin-1")
        # A site with settings: the text part says what the HTML part says.
        assert re.fullmatch(r"From: jo@example\.org\nTo: user@example\.test\nSubject: Tessik Quillo! Pro Web-Form "
                            r"Message\nDate: [^\n]+\n\nEmail: jo@example\.org\nComment: Hello from the form\n",
                            text.replace("\r\n", "\n"))


@needs_sendmail
def test_a_server_that_puts_the_mail_off_loses_it_over_smtp_and_not_through_the_queue(site):
    remote = [("QUILLO_TO", "info@example.org")] + LOCAL[1:]
    with smtp_server(RELAY_IP, rcpt_reply="451 4.7.1 Try again later") as relayed:
        assert post_with(site, dict(host=RELAY_IP), remote) == (
            document_page("NOT SENT\n"),
            'failed recipients=1 step=RCPT host=%s reply="451 4.7.1 Try again later" code=451 '
            'failure=temporary' % RELAY_IP)
        with postfix(POSTFIX_IP, relay=RELAY_IP) as mta:
            assert post_with(site, dict(transport="sendmail", sendmail_path=mta.sendmail_path), remote) == (
                document_page("SENT\n"), "sent recipients=1")
            reason = mta.deferred("info@example.org")
            listing = mta.queue_listing()
    assert reason == "host %s[%s] said: 451 4.7.1 Try again later (in reply to RCPT TO command)" % (
        RELAY_IP, RELAY_IP)
    assert "info@example.org" in listing
    assert relayed == []


def test_a_sendmail_that_fails_names_its_error_in_the_log(site):
    site.write("fake-sendmail", "#!/bin/sh\necho 'sendmail: fatal: no such user' >&2\nexit 67\n")
    os.chmod(site.path("fake-sendmail"), 0o755)
    assert post_with(site, dict(transport="sendmail", sendmail_path=site.path("fake-sendmail"))) == (
        document_page("NOT SENT\n"),
        'failed recipients=1 step=sendmail host=%s reply="%s" failure=permanent'
        % (site.path("fake-sendmail"), "cannot be started: this build of quillopro.exe runs no programs" if WINDOWS
           else "exit status 67: sendmail: fatal: no such user"))
