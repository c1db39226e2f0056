"""What a hostile visitor did to the program, each against the program
itself: the post, and what reached the page, the mail servers and the
local mail system."""

import email
import email.policy
import os

import pytest

from cgi_site import WINDOWS, document_page, error_page, form
from mail_servers import smtp_server
from postfix_server import postfix
from addresses import AUDIT_POSTFIX, AUDIT_SERVER as SERVER

DOCS = [("QUILLO_SUCCESS", "ok.htm"), ("QUILLO_ERROR", "err.htm"), ("QUILLO_SERVER", SERVER)]
BASE = [("QUILLO_TO", "info@example.com")] + DOCS
SENT = document_page("<p>Thanks ##Name##</p>\n<p>info@example.com</p>\n")


def posted(site, body, env=None):
    with smtp_server(SERVER) as received:
        out, _ = site.run(body, env=env)
    return out, [email.message_from_bytes(m.raw, policy=email.policy.default) for m in received]


def test_a_display_name_cannot_pose_as_the_sender_nor_split_into_two(site):
    for name in ("Bank <security@bank.test>", "Doe, John", 'Ev"il\\ <x@y.test>,'):
        out, (mail,) = posted(site, form(*BASE, ("QUILLO_FROMFRIENDLY", name), ("_F_Email", "jo@example.org")))
        assert out == SENT
        assert [a.addr_spec for a in mail["From"].addresses] == ["jo@example.org"], mail["From"]
        assert mail["From"].addresses[0].display_name == name


def test_with_settings_no_field_fills_the_systems_placeholders(site):
    site.write("reply.tpl", "[QUILLO_TEMPLATE_TEXT]\nWe got your message of ##DATE## from ##REMOTE_ADDR##.\n")
    site.write("quillopro.ini", "[site]\nautoreply_templates = reply.tpl\n")
    body = form(*BASE, ("RESPOND_TEMPLATE", "reply.tpl"), ("_EF_Email", "victim@other.test"),
                ("DATE", "today. URGENT: verify your bank account at http://evil.test"), ("REMOTE_ADDR", "6.6.6.6"))
    out, (main, reply) = posted(site, body, env={"REMOTE_ADDR": "192.0.2.7"})
    assert out == SENT
    text = reply.get_content()
    assert "evil.test" not in text and "6.6.6.6" not in text and "from 192.0.2.7." in text, text


def test_a_rate_limit_counts_an_ipv6_network_as_one_visitor(site, tmp_path):
    os.chmod(tmp_path, 0o755)
    site.write("quillopro.ini", "[site]\nrate_limit = 5 per 10 minutes\nstate_dir = %s\n" % tmp_path)
    answers = []
    with smtp_server(SERVER) as received:
        for i in range(6):
            answers.append(site.run(form(*BASE), env={"REMOTE_ADDR": "2001:db8:7:7::%x" % (i + 1)})[0])
        answers.append(site.run(form(*BASE), env={"REMOTE_ADDR": "2001:db8:7:8::1"})[0])
    assert [a == SENT for a in answers] == [True] * 5 + [False, True]
    assert b"Status: 429" in answers[5]
    assert len(received) == 6


def test_a_listed_document_in_another_case_opens_the_listed_file(site):
    site.write("quillopro.ini", "[site]\ndocuments = ok.htm, err.htm\n")
    out, mails = posted(site, form(("QUILLO_TO", "info@example.com"), ("QUILLO_SUCCESS", "OK.HTM"),
                                   ("QUILLO_ERROR", "err.htm"), ("QUILLO_SERVER", SERVER)))
    assert out == SENT and len(mails) == 1


@pytest.mark.skipif(WINDOWS, reason="the local mail system is the Linux build's")
def test_the_local_mail_system_is_handed_one_plain_address_each(site):
    site.write("reply.tpl", "[QUILLO_TEMPLATE_TEXT]\nThanks.\n")
    with postfix(AUDIT_POSTFIX) as mta:
        site.write("quillopro.ini", "[smtp]\ntransport = sendmail\nsendmail_path = %s\n" % mta.sendmail_path)
        for count, page in ((3, document_page("ERROR PAGE\n")), (100, error_page(
                "QUILLO! ERROR 304 - TOO MANY REPLY ADDRESSES<br>The form names 100 addresses for the automatic "
                "reply; at most 10 are allowed."))):
            fan_out = ",".join("v%d@example.test" % i for i in range(count))
            out, _ = site.run(form(("QUILLO_TO", "user@example.test"), *DOCS, ("RESPOND_TEMPLATE", "reply.tpl"),
                                   ("_EF_Email", fan_out)))
            assert out == page, count
        assert mta.queue() == [] and mta.messages(1, seconds=1) == []
