"""[store]: every accepted post kept in SQLite before its mail leaves, and
quillo's store commands, against real relays (aiosmtpd, and a private
Postfix) that put mail off, hold it, or take it; a store on a full disk; lighttpd for posts that come together; [webhook]
against an HTTPS receiver of the test's own that checks the signature."""

import concurrent.futures
import csv
import io
import json
import os
import signal
import sqlite3
import subprocess
import threading

import pytest
from aiosmtpd.controller import Controller

from cgi_site import document_page, form, with_private_resolver
from mail_servers import RecordingHandler, dns_server, smtp_server
from postfix_server import postfix
from hook_receiver import HOOK_HOST, HOOK_SECRET, certificates, hook_receiver  # noqa: F401 (fixture)
from web_servers import lighttpd
from addresses import STORE_POSTFIX, STORE_RELAY, WEBHOOK_DNS_SERVER, WEBHOOK_RECEIVER

ADMIN = os.environ.get("QUILLO_ADMIN_EXE", "")
DOCS = [("QUILLO_TO", "info@example.com"), ("QUILLO_SUCCESS", "ok.htm"), ("QUILLO_ERROR", "err.htm"),
        ("QUILLO_SERVER", STORE_RELAY)]
OK_PAGE = document_page("<p>Thanks ##Name##</p>\n<p>info@example.com</p>\n").replace(b"##Name##", b"Jo")
ERROR_PAGE = document_page("ERROR PAGE\n")


@pytest.fixture
def store_site(site, tmp_path):
    site.db = str(tmp_path / "posts.sqlite")
    site.write("quillopro.ini", "[site]\nlog = stderr\n[store]\npath = %s\n" % site.db)
    return site


def quillo(site, *arguments):
    """The admin command on the site, its names looked up as the site's runs look them up."""
    command = with_private_resolver(site.resolv_conf, [ADMIN, *arguments, "--program", site.program, "--user", "root"])
    run = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=120)
    assert run.stderr == b"", run.stderr
    return run.returncode, run.stdout.decode()


def rows(site, columns="state, remaining, attempts"):
    with sqlite3.connect(site.db) as db:
        return db.execute("SELECT %s FROM submissions ORDER BY id" % columns).fetchall()


def post(site, *fields):
    out, _ = site.run(form(*DOCS, ("Name", "Jo"), *fields))
    return out


@pytest.mark.parametrize("answer, page, word", [("error", ERROR_PAGE, " failed "),
                                                ("success", OK_PAGE, " stored ")])
def test_a_post_the_relay_puts_off_is_kept_and_resent_once(store_site, answer, page, word):
    site = store_site
    site.write("quillopro.ini", "[site]\nlog = stderr\n[store]\npath = %s\nanswer_when_stored = %s\n"
               % (site.db, answer))
    with smtp_server(STORE_RELAY, rcpt_reply="451 4.7.1 Try again later") as received:
        assert post(site, ("Comment", "kept")) == page
    assert received == []
    assert word in site.last_log_line and 'code=451 failure=temporary' in site.last_log_line
    assert rows(site) == [("failed", "info@example.com\n", 1)]
    with smtp_server(STORE_RELAY) as received:
        assert quillo(site, "resend") == (0, "resent 0\n")  # the back-off first
        assert quillo(site, "resend", "--now") == (0, "1 sent\nresent 1\n")
        assert quillo(site, "resend", "--now") == (0, "resent 0\n")
    assert len(received) == 1 and b"Comment: kept" in received[0].raw
    assert rows(site) == [("sent", "", 2)]
    status, shown = quillo(site, "show", "1")
    assert status == 0 and "  Comment: kept" in shown and " program failed step=RCPT " in shown
    assert shown.rstrip().endswith(" resend sent")


def test_a_post_postfix_defers_is_resent_once_it_takes_mail(store_site):
    site = store_site
    site.write("quillopro.ini", "[site]\nlog = off\n[store]\npath = %s\n" % site.db)
    body = form(("QUILLO_TO", "info@example.test"), ("QUILLO_SUCCESS", "ok.htm"), ("QUILLO_ERROR", "err.htm"),
                ("QUILLO_SERVER", STORE_POSTFIX), ("Name", "Jo"))
    with postfix(STORE_POSTFIX, settings=["smtpd_recipient_restrictions = defer"]):
        out, _ = site.run(body)
    assert out == ERROR_PAGE
    [(state, code, reply)] = rows(site, "state, failure_code, failure_reply")
    assert (state, code) == ("failed", 450) and "Recipient address rejected" in reply
    with postfix(STORE_POSTFIX) as mta:
        assert quillo(site, "resend", "--now") == (0, "1 sent\nresent 1\n")
        assert quillo(site, "resend", "--now") == (0, "resent 0\n")
        assert len(mta.messages(1)) == 1


def test_a_full_disk_fails_the_post_whole_and_the_next_post_after_space_is_freed_works(store_site, tmp_path):
    site = store_site
    disk = tmp_path / "disk"
    disk.mkdir()
    subprocess.run(["mount", "-t", "tmpfs", "-o", "size=512k", "tmpfs", str(disk)], check=True)
    try:
        site.db = str(disk / "posts.sqlite")
        site.write("quillopro.ini", "[site]\nlog = stderr\n[store]\npath = %s\n" % site.db)
        with smtp_server(STORE_RELAY) as received:
            assert post(site) == OK_PAGE
            # Fill what is left, then post a comment larger than any free page.
            subprocess.run(["dd", "if=/dev/zero", "of=%s" % (disk / "filler"), "bs=4k"], capture_output=True)
            out, _ = site.run(form(*DOCS, ("Name", "Jo"), ("Comment", "x" * 200000)))
            assert out == ERROR_PAGE and len(received) == 1
            assert ' step=store host= reply="database or disk is full" error=store failure=temporary' \
                in site.last_log_line
            os.unlink(disk / "filler")
            assert post(site, ("Comment", "after")) == OK_PAGE
        assert len(received) == 2
        assert rows(site, "state") == [("sent",), ("sent",)]
    finally:
        subprocess.run(["umount", "-l", str(disk)], check=False)


class HoldingHandler(RecordingHandler):
    """Takes the message and answers only when told to."""

    def __init__(self):
        super().__init__()
        self.data = threading.Event()
        self.release = threading.Event()

    async def handle_DATA(self, server, session, envelope):
        self.data.set()
        while not self.release.is_set():
            await __import__("asyncio").sleep(0.05)
        return await super().handle_DATA(server, session, envelope)


def test_a_run_killed_while_the_relay_holds_the_mail_leaves_a_pending_row(store_site):
    site = store_site
    handler = HoldingHandler()
    controller = Controller(handler, hostname=STORE_RELAY, port=25)
    controller.start()
    try:
        body = form(*DOCS, ("Name", "Jo")).encode()
        run = subprocess.Popen(["/usr/bin/env", "-i", "REQUEST_METHOD=POST", "CONTENT_LENGTH=%d" % len(body),
                                "REMOTE_ADDR=192.0.2.7", site.program], stdin=subprocess.PIPE,
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE, cwd=site.dir)
        run.stdin.write(body)
        run.stdin.close()
        assert handler.data.wait(30)
        run.send_signal(signal.SIGKILL)
        run.wait()
        handler.release.set()
    finally:
        controller.stop()
    assert rows(site) == [("pending", "info@example.com\n", 0)]
    with smtp_server(STORE_RELAY) as received:
        assert quillo(site, "resend", "--now") == (0, "resent 0\n")  # a run may still be at it
        with sqlite3.connect(site.db) as db:  # two minutes later
            db.execute("UPDATE submissions SET received_at = received_at - 120")
        assert quillo(site, "resend") == (0, "1 sent\nresent 1\n")
        assert quillo(site, "resend") == (0, "resent 0\n")
    assert len(received) == 1


def test_posts_that_come_together_are_each_stored_and_sent_once(store_site, tmp_path):
    site = store_site
    log = tmp_path / "posts.log"
    site.write("quillopro.ini", "[site]\nlog = %s\n[store]\npath = %s\n" % (log, site.db))
    with smtp_server(STORE_RELAY) as received, lighttpd(site.dir, site.resolv_conf) as port:
        def one(number):
            run = subprocess.run(["curl", "-s", "-o", "/dev/null", "-w", "%{http_code}", "--data",
                                  form(*DOCS, ("Name", "Jo"), ("Number", str(number))),
                                  "http://127.0.0.1:%d/cgi-bin/quillopro.exe" % port],
                                 capture_output=True, timeout=120)
            return run.stdout
        with concurrent.futures.ThreadPoolExecutor(20) as pool:
            codes = list(pool.map(one, range(200)))
    assert codes == [b"200"] * 200
    # Every post is stored, none fails for the store; a mail the busy relay
    # dropped is kept, and resend delivers it: each number arrives once.
    lines = log.read_text().splitlines()
    assert len(lines) == 200 and not [line for line in lines if "step=store" in line], lines
    assert len(rows(site, "id")) == 200
    with smtp_server(STORE_RELAY) as resent:
        status, printed = quillo(site, "resend", "--now")
    assert status == 0, printed
    numbers = sorted(int(m.message.get_payload()[0].get_payload(decode=True).split(b"Number: ")[1].split()[0])
                     for m in received + resent)
    assert numbers == list(range(200))
    assert rows(site, "state") == [("sent",)] * 200


def test_two_resend_runs_together_send_each_row_once(store_site):
    site = store_site
    with smtp_server(STORE_RELAY, rcpt_reply="451 4.7.1 Try again later"):
        for number in range(10):
            post(site, ("Number", str(number)))
    with smtp_server(STORE_RELAY) as received:
        with concurrent.futures.ThreadPoolExecutor(2) as pool:
            runs = list(pool.map(lambda _: quillo(site, "resend", "--now"), range(2)))
    assert sorted(runs) == [(0, "".join("%d sent\n" % i for i in range(1, 11)) + "resent 10\n"),
                            (0, "resent 0\n")]
    assert len(received) == 10


def test_export_reads_back_and_forget_and_purge_remove_what_they_should(store_site):
    site = store_site
    site.write("quillopro.ini", "[site]\nlog = off\n[store]\npath = %s\nretention_days = 30\n" % site.db)
    values = ["comma, \"quote\"", "two\r\nlines", "Gr\xfc\xdfe \x80"]
    with smtp_server(STORE_RELAY):
        out, _ = site.run(form(*DOCS, ("Name", values[0]), ("_F_Email", "jo@example.org"), ("Note", values[1])))
        out, _ = site.run(form(*DOCS, ("Name", values[2])).encode("latin-1") + b"&_charset_=windows-1252")
        utf8 = form(*DOCS, ("_charset_", "UTF-8")) + "&Name=%E2%82%AC+%E6%97%A5"
        site.run(utf8)
    status, exported = quillo(site, "export")
    assert status == 0
    table = list(csv.DictReader(io.StringIO(exported, newline="")))
    assert [r["Name"] for r in table] == [values[0], "Grüße €", "€ 日"]
    assert table[0]["Note"] == values[1] and table[0]["sender"] == "jo@example.org"
    status, lines = quillo(site, "export", "--format", "json")
    parsed = [json.loads(line) for line in lines.splitlines()]
    assert [dict(p["fields"])["Name"] for p in parsed] == [values[0], "Grüße €", "€ 日"]
    status, excel = quillo(site, "export", "--excel")
    assert excel.startswith("\ufeffid,time,state,") and "\r\n" in excel
    assert quillo(site, "forget", "JO@example.org") == (0, "forgot 1\n")
    with sqlite3.connect(site.db) as db:
        db.execute("UPDATE submissions SET received_at = received_at - 31 * 86400 WHERE id = 2")
    assert quillo(site, "purge") == (0, "purged 1\n")
    assert rows(site, "id") == [(3,)]
    assert quillo(site, "list")[1].splitlines()[1].startswith("3 ")


def test_a_store_that_cannot_be_written_fails_the_post_and_sends_nothing(store_site, tmp_path):
    site = store_site
    site.write("quillopro.ini", "[site]\nlog = stderr\nhoneypot = website\n[store]\npath = %s\nkeep_spam = yes\n"
               % (tmp_path / "missing" / "posts.sqlite"))
    log = []
    with smtp_server(STORE_RELAY) as received:
        out, _ = site.run(form(*DOCS, ("Name", "Jo")), log=log)
    assert out == ERROR_PAGE and received == []
    assert log[0].startswith("quillopro.exe: cannot store the post: cannot open ")
    assert " failed recipients=0 step=store " in site.last_log_line
    # Spam is kept when asked for, and never mailed.
    site.write("quillopro.ini", "[site]\nlog = off\nhoneypot = website\n[store]\npath = %s\nkeep_spam = yes\n"
               % site.db)
    with smtp_server(STORE_RELAY) as received:
        assert post(site, ("website", "http://spam.test")) == OK_PAGE
    assert received == [] and rows(site, "state, message") == [("spam", b"")]


# --- the webhook -------------------------------------------------------------

@pytest.mark.parametrize("behaviour, cert, detail", [
    ("ok", HOOK_HOST, None),
    ("error", HOOK_HOST, "%s answered HTTP 500" % HOOK_HOST),
    ("slow", HOOK_HOST, "answer %s: timeout" % HOOK_HOST),
    ("ok", "other.example.test", "tls %s: certificate" % HOOK_HOST),
])
def test_each_post_is_announced_signed_and_a_failed_announcement_is_retried(store_site, certificates,
                                                                             behaviour, cert, detail):
    site = store_site
    with open(site.resolv_conf, "w") as f:
        f.write("nameserver %s\noptions timeout:1 attempts:1\n" % WEBHOOK_DNS_SERVER)
    site.write("quillopro.ini", "[site]\nlog = off\n[store]\npath = %s\n[webhook]\nurl = https://%s/forms\n"
               "secret = %s\ntimeout = 1\ntls_ca_file = %s\n"
               % (site.db, HOOK_HOST, HOOK_SECRET, os.path.join(certificates, "ca.pem")))
    log = []
    with dns_server(WEBHOOK_DNS_SERVER, a={HOOK_HOST: WEBHOOK_RECEIVER}), smtp_server(STORE_RELAY) as received:
        with hook_receiver(certificates, behaviour, cert) as got:
            out, _ = site.run(form(*DOCS, ("Name", "J\xf6"), ("Note", "a, \"b\"")), log=log)
        assert out == OK_PAGE.replace(b"Jo", b"J\xf6") and len(received) == 1  # the mail went all the same
        if detail is None:
            assert log == [] and rows(site, "webhook") == [("sent",)]
        else:
            assert len(log) == 1 and ("webhook not delivered (quillo resend tries again): " + detail) in log[0]
            assert rows(site, "webhook") == [("failed",)]
            with hook_receiver(certificates) as got:
                assert quillo(site, "resend") == (0, "resent 0\nannounced 1\n")
            assert rows(site, "webhook") == [("sent",)]
    valid, kind, body = got[-1]
    assert valid and kind == "application/json"
    assert (body["id"], body["state"], body["fields"]) == (1, "sent", [["Name", "Jö"], ["Note", "a, \"b\""]])
