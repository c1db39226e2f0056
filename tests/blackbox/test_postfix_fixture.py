"""The private Postfix the sendmail transport is tested against, proved with
real mail: SMTP in, its sendmail command in, delivery to its Maildir, the
HELO restriction, and a relay that puts mail off into the deferred queue."""

import os
import re
import smtplib
import subprocess
import time

import pytest

from mail_servers import smtp_server
from postfix_server import postfix
from addresses import (FIXTURE_DEFERRING_RELAY, FIXTURE_POSTFIX_CLEANUP, FIXTURE_POSTFIX_DEFERRING,
    FIXTURE_POSTFIX_HELO, FIXTURE_POSTFIX_SENDMAIL, FIXTURE_POSTFIX_SMTP)

# Each test uses its own loopback addresses, so that tests can run side by side.

MESSAGE = (b"From: Web Form <sender@example.test>\r\n"
           b"To: <user@example.test>\r\n"
           b"Subject: Order 17\r\n"
           b"Date: Tue, 08 Dec 2026 10:00:00 +0000\r\n"
           b"Message-ID: <order-17@web.example.test>\r\n"
           b"\r\n"
           b"Name: Jo\r\n"
           b".\r\n"
           b"The line above is a lone dot.\r\n")

RECEIVED = re.compile(rb"^Received: .*\n(?:\t.*\n)*", re.M)


def delivered(message):
    """A delivered message as bytes with LF line ends, and its Received header."""
    raw = message.as_bytes()
    received = RECEIVED.findall(raw)
    return RECEIVED.sub(b"", raw), received


def lf(data):
    return data.replace(b"\r\n", b"\n")


def test_smtp_with_a_fully_qualified_ehlo_delivers_to_the_maildir():
    with postfix(FIXTURE_POSTFIX_SMTP) as mta:
        with smtplib.SMTP(FIXTURE_POSTFIX_SMTP, 25, local_hostname="web.example.test", timeout=30) as client:
            assert client.sendmail("sender@example.test", ["user@example.test"], MESSAGE) == {}
        [message] = mta.messages(1)
    text, [received] = delivered(message)
    assert text == (b"Return-Path: <sender@example.test>\n"
                    b"X-Original-To: user@example.test\n"
                    b"Delivered-To: user@example.test\n" + lf(MESSAGE))
    assert re.match(rb"Received: from web\.example\.test \(localhost \[127\.0\.0\.1\]\)\n"
                    rb"\tby mail\.example\.test \(Postfix\) with ESMTP id [0-9A-F]+\n"
                    rb"\tfor <user@example\.test>; ", received), received


# HELO name, then the reply to RCPT TO when the recipient is refused.
HELO_CASES = [
    ("web", (504, b"5.5.2 <web>: Helo command rejected: need fully-qualified hostname")),
    ("web.example.test", None),
    ("localhost", (504, b"5.5.2 <localhost>: Helo command rejected: need fully-qualified hostname")),
    ("mail.example.org", None),
]


def test_the_helo_restriction_refuses_a_bare_host_name_and_takes_a_fully_qualified_one():
    refused = {}
    with postfix(FIXTURE_POSTFIX_HELO, helo_restriction=True) as mta:
        for helo, _ in HELO_CASES:
            message = MESSAGE.replace(b"Order 17", helo.encode())
            with smtplib.SMTP(FIXTURE_POSTFIX_HELO, 25, local_hostname=helo, timeout=30) as client:
                try:
                    client.sendmail("sender@example.test", ["user@example.test"], message)
                except smtplib.SMTPRecipientsRefused as error:
                    refused[helo] = error.recipients["user@example.test"]
        accepted = [helo for helo, reply in HELO_CASES if reply is None]
        subjects = [m["Subject"] for m in mta.messages(len(accepted))]
    assert refused == {helo: reply for helo, reply in HELO_CASES if reply is not None}
    # Postfix's local agents deliver side by side: the Maildir's order need
    # not be the order the messages were taken in.
    assert sorted(subjects) == sorted(accepted)


def test_the_sendmail_wrapper_delivers_as_the_program_calls_it():
    with postfix(FIXTURE_POSTFIX_SENDMAIL) as mta:
        run = subprocess.run([mta.sendmail_path, "-i", "-f", "sender@example.test", "--", "user@example.test"],
                             input=MESSAGE, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=30)
        assert (run.returncode, run.stdout, run.stderr) == (0, b"", b"")
        [message] = mta.messages(1)
    text, [received] = delivered(message)
    # -i keeps the lone dot a line of the message.
    assert text == (b"Return-Path: <sender@example.test>\n"
                    b"X-Original-To: user@example.test\n"
                    b"Delivered-To: user@example.test\n" + lf(MESSAGE))
    assert re.match(rb"Received: by mail\.example\.test \(Postfix, from userid 0\)\n\tid [0-9A-F]+; ",
                    received), received


def test_mail_the_relay_puts_off_waits_in_the_deferred_queue():
    with smtp_server(FIXTURE_DEFERRING_RELAY, rcpt_reply="451 4.7.1 Try again later") as relayed, \
            postfix(FIXTURE_POSTFIX_DEFERRING, relay=FIXTURE_DEFERRING_RELAY) as mta:
        run = subprocess.run([mta.sendmail_path, "-i", "-f", "sender@example.test", "--", "someone@example.org"],
                             input=MESSAGE, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=30)
        assert (run.returncode, run.stdout, run.stderr) == (0, b"", b"")
        reason = mta.deferred("someone@example.org")
        listing = mta.queue_listing()
        [entry] = mta.queue()
        assert mta.messages(0) == []
    assert reason == "host %s[%s] said: 451 4.7.1 Try again later (in reply to RCPT TO command)" % (
        FIXTURE_DEFERRING_RELAY, FIXTURE_DEFERRING_RELAY)
    assert (entry["queue_name"], entry["sender"], entry["recipients"]) == (
        "deferred", "sender@example.test", [{"address": "someone@example.org", "delay_reason": reason}])
    lines = listing.splitlines()
    assert lines[0].startswith("-Queue ID-")
    assert lines[1].startswith(entry["queue_id"] + " ")  # no "*": not active, deferred
    assert lines[2:] == ["(" + reason + ")", " " * 41 + "someone@example.org", "", "-- 0 Kbytes in 1 Request."]
    assert relayed == []


def test_the_instance_stops_and_leaves_nothing_when_the_test_fails():
    with pytest.raises(RuntimeError, match="the test failed"):
        with postfix(FIXTURE_POSTFIX_CLEANUP) as mta:
            # The master starts pickup and the queue manager once it is up;
            # on a busy machine that may come a moment after the fixture.
            processes = mta.processes()
            deadline = time.monotonic() + 10
            while len(processes) < 3 and time.monotonic() < deadline:
                time.sleep(0.1)
                processes = mta.processes()
            work = mta.work
            raise RuntimeError("the test failed")
    assert len(processes) >= 3  # the master, pickup and the queue manager at least
    assert mta.processes() == []
    assert not os.path.exists(work)
