"""Prints what complete runs of quillopro.exe cost, as ratios to two floors:
the process floor (a static C program that prints a fixed page) and the SMTP
floor (a static C client that makes the program's six round trips to the
same sink). A ratio keeps its meaning from one machine to the next where a
time in milliseconds does not.

Every case runs RUNS times (the short ones SHORT_RUNS), round-robin in a
shuffled order per round, so that a busy moment of the machine falls on all
cases alike; the table shows medians. Peak memory comes from
/usr/bin/time, not from wait4 here: a child of posix_spawn shares this
driver's memory until it calls exec, and Linux then counts the driver's
peak as the child's.

Run it through bench/run.sh: it compiles the floors and starts this script
in a private network namespace, with a resolver configuration that names
NAMESERVER, so that any MX lookup of the program stays on loopback.

usage: bench_run.py WORK_DIR PROGRAM"""

import base64
import contextlib
import hashlib
import hmac
import json
import os
import platform
import random
import shutil
import socket
import sqlite3
import statistics
import subprocess
import sys
import threading
import time
from urllib.parse import urlencode

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "blackbox"))
from colliding_names import names_sharing_one_std_hash, post_of, random_names  # noqa: E402

RUNS = int(os.environ.get("QUILLO_BENCH_RUNS", "10"))
# Each run of the silent-resolver case waits out the resolver's time-out for
# every recipient, seconds where the other cases take milliseconds.
SILENT_RUNS = min(RUNS, int(os.environ.get("QUILLO_BENCH_SILENT_RUNS", "3")))
# A peak RSS hardly varies from run to run.
MEMORY_RUNS = min(RUNS, 3)
# The cases of a few milliseconds, set against the floors or against each
# other per recipient, differ by tenths of one, less than a busy machine's
# noise over RUNS runs; they take ten times as many, seconds in all.
SHORT_RUNS = 10 * RUNS

SINK = "127.0.0.90"
HASHED_NAMES = 20000
NAMESERVER = "127.0.0.53"  # run.sh's resolv.conf names it
KIB = 1024
MIB = 1024 * KIB

CGI_ENV = {
    "GATEWAY_INTERFACE": "CGI/1.1",
    "REQUEST_METHOD": "POST",
    "CONTENT_TYPE": "application/x-www-form-urlencoded",
    "SCRIPT_NAME": "/cgi-bin/quillopro.exe",
    "SERVER_NAME": "",
    "REMOTE_ADDR": "127.0.0.1",
    "HTTP_USER_AGENT": "Bench/1.0",
}
DOCUMENTS = {
    "ok.htm": "<p>Thanks ##Name##</p>\n",
    "err.htm": "<p>Sorry</p>\n",
    "req.htm": "<p>Please fill in every field</p>\n",
}
THANKS, REQUIRED = b"<p>Thanks Bench</p>", b"<p>Please fill in every field</p>"


class Sink:
    """An SMTP server on SINK:25 that answers every command at once and
    counts the messages it takes."""

    REPLIES = {b"EHLO": b"250-sink\r\n250 PIPELINING\r\n", b"HELO": b"250 sink\r\n", b"MAIL": b"250 ok\r\n",
               b"RCPT": b"250 ok\r\n", b"DATA": b"354 go on\r\n", b"RSET": b"250 ok\r\n",
               b"QUIT": b"221 bye\r\n"}

    def __init__(self):
        self.taken = 0
        self.last_message = b""  # as it came over the wire, dots stuffed
        listener = socket.create_server((SINK, 25), backlog=128)
        threading.Thread(target=self.accept, args=(listener,), daemon=True).start()

    def accept(self, listener):
        while True:
            connection, _ = listener.accept()
            threading.Thread(target=self.serve, args=(connection,), daemon=True).start()

    def serve(self, connection):
        with connection:
            connection.sendall(b"220 sink ready\r\n")
            pending = bytearray()
            replies = bytearray()  # to commands that came together, sent as one (RFC 2920 3.2)
            while True:
                line_end = pending.find(b"\r\n")
                if line_end < 0:
                    connection.sendall(replies)
                    replies.clear()
                    chunk = connection.recv(64 * KIB)
                    if not chunk:
                        return
                    pending += chunk
                    continue
                verb = bytes(pending[:4]).upper()
                del pending[:line_end + 2]
                replies += self.REPLIES.get(verb, b"500 what\r\n")
                if verb in (b"QUIT", b"DATA"):
                    connection.sendall(replies)
                    replies.clear()
                if verb == b"QUIT":
                    return
                if verb == b"DATA":
                    message = self.read_data(connection, pending)
                    if message is None:
                        return
                    self.last_message = message
                    self.taken += 1
                    connection.sendall(b"250 queued\r\n")

    @staticmethod
    def read_data(connection, pending):
        """The message up to its end mark; what follows stays in pending.
        Only the new bytes are searched, so a large message costs linear time."""
        data = bytearray(b"\r\n") + pending  # the end mark may follow DATA at once
        searched = 0
        while (end := data.find(b"\r\n.\r\n", searched)) < 0:
            searched = max(0, len(data) - 4)
            chunk = connection.recv(MIB)
            if not chunk:
                return None
            data += chunk
        pending[:] = data[end + 5:]
        return bytes(data[2:end])


@contextlib.contextmanager
def silent_resolver():
    """A UDP socket on the resolver's address that takes queries and never
    answers; without it the query is refused at once (port unreachable)."""
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as udp:
        udp.bind((NAMESERVER, 53))
        yield


class Case:
    """One command line with its input, and the figures of its runs."""

    def __init__(self, argv, stdin=b"", env=None, expect=b"", messages=0, runs=RUNS,
                 around=contextlib.nullcontext, warm_up=True):
        self.name, self.argv, self.env = argv[0], argv, env or {}
        self.expect, self.messages, self.runs, self.around = expect, messages, runs, around
        self.warm_up = warm_up
        if isinstance(stdin, str):
            self.stdin = stdin  # a file of another case
        else:
            self.stdin = os.path.abspath("in-%d" % id(self))
            with open(self.stdin, "wb") as f:
                f.write(stdin)
        self.seconds, self.peak_rss, self.page_faults = [], [], []

    def memory(self):
        """The same case under /usr/bin/time, for its peak RSS."""
        return Case(["/usr/bin/time", "-f", "%R %M", "-o", "rss"] + self.argv, self.stdin, self.env, self.expect,
                    self.messages, MEMORY_RUNS)

    def run(self, sink):
        """One run, checked: the expected page and the expected messages at the sink."""
        files = [(os.POSIX_SPAWN_OPEN, 0, self.stdin, os.O_RDONLY, 0),
                 (os.POSIX_SPAWN_OPEN, 1, "out", os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o600),
                 (os.POSIX_SPAWN_OPEN, 2, "err", os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o600)]
        taken = sink.taken
        with self.around():
            started = time.perf_counter()
            pid = os.posix_spawn(self.argv[0], self.argv, self.env, file_actions=files)
            _, status = os.waitpid(pid, 0)
            elapsed = time.perf_counter() - started
        with open("out", "rb") as out, open("err", "rb") as err:
            answer, log = out.read(), err.read()
        code, taken = os.waitstatus_to_exitcode(status), sink.taken - taken
        if code != 0 or self.expect not in answer or taken != self.messages:
            sys.exit("%s: exit %d, %d of %d messages taken, answer %r, log %r"
                     % (self.name, code, taken, self.messages, answer[:300], log[:300]))
        self.seconds.append(elapsed)
        if self.argv[0] == "/usr/bin/time":
            with open("rss") as f:
                faults, rss = f.read().split()[-2:]
            self.peak_rss.append(int(rss) * KIB)
            self.page_faults.append(int(faults))

    def median(self):
        return statistics.median(self.seconds)


def form(*pairs, extra=b""):
    return urlencode(pairs, encoding="latin-1").encode("latin-1") + extra


def text_of(size, line):
    """size bytes of lines like line (its last one cut short)."""
    return (line * (size // len(line) + 1))[:size]


def program_cases(program):
    """The cases of quillopro.exe, by name."""
    docs = [("QUILLO_SUCCESS", "ok.htm"), ("QUILLO_ERROR", "err.htm")]
    to_sink = [("QUILLO_SERVER", SINK)] + docs + [("Name", "Bench")]
    comment = ("Comment", "A few lines\r\nof text\r\n" * 10)
    one = [("QUILLO_TO", "info@example.com")] + to_sink + [comment]

    def post(body, expect=THANKS, messages=1, **more):
        env = dict(CGI_ENV, CONTENT_LENGTH=str(len(body)))
        return Case([program], body, env, expect, messages, **more)

    def delivery(recipients, *fields, extra=b"", **more):
        to = ", ".join("r%d@example.com" % i for i in range(recipients)) if recipients > 1 else one[0][1]
        return post(form(("QUILLO_TO", to), *to_sink, *fields, extra=extra), messages=recipients, **more)

    cases = {
        "debug": post(form(*one, ("QUILLO_DEBUG", "ON")), b"<strong>", 0, runs=SHORT_RUNS),
        "error 300": post(form(*one[1:]), b"ERROR 300", 0, runs=SHORT_RUNS),
        "required": post(form(*one, ("QUILLO_REQUIRED", "req.htm"), ("_R_Phone", "")), REQUIRED, 0,
                         runs=SHORT_RUNS),
        "delivery": delivery(1, comment, runs=SHORT_RUNS),
        "10 recipients": delivery(10, runs=SHORT_RUNS),
        "100 recipients": delivery(100, runs=SHORT_RUNS),
        "resolver silent": delivery(10, runs=SILENT_RUNS, around=silent_resolver, warm_up=False),
        # A post of 1 KB whose placeholders would double with each of 40
        # fields: refused with the error document once past their bound.
        "chained placeholders": post(form(*one, ("QUILLO_SUBJECT", "##a0##"), *[
            ("a%d" % i, "##a%d####a%d##" % (i + 1, i + 1)) for i in range(40)]), b"<p>Sorry</p>", 0),
    }
    lines = "Dear form, these are the lines a visitor writes, 0123456789.\r\n"
    for size in doubling(64 * KIB, 8 * MIB):
        cases["body %d" % size] = delivery(1, ("Comment", text_of(size, lines)))
    for size in (4 * MIB, 8 * MIB):
        cases["memory body %d" % size] = cases["body %d" % size].memory()
        # The 8-bit bytes go raw, as a browser posting a latin-1 form sends
        # them; only CR LF is escaped.
        eight_bit = text_of(size, "\xfc" * 78 + "\r\n").encode("latin-1").replace(b"\r\n", b"%0D%0A")
        cases["memory 8-bit %d" % size] = delivery(1, extra=b"&Comment=" + eight_bit).memory()
    for count in doubling(1000, 64000):
        fields = "&".join("field%d=value+%d" % (i, i) for i in range(count)).encode()
        cases["fields %d" % count] = delivery(1, extra=b"&" + fields)
    # Field names an attacker computed to share one std::hash value, against
    # random names of the same length: with a keyed hash they cost the same.
    for kind, names in (("colliding", names_sharing_one_std_hash), ("random", random_names)):
        cases["names %s" % kind] = delivery(1, extra=b"&" + post_of(names(HASHED_NAMES)))
    # Posts of 8 MiB built to take memory: many small fields (refused at the
    # field bound), the most fields the bound lets through with values that
    # fill the post, and one value of "##a##" runs, a token per run.
    many = "&".join("f%d=" % i for i in range(8 * MIB // 8)).encode()[:8 * MIB]
    cases["shape small fields"] = post(form(*one) + b"&" + many[:many.rindex(b"&")], b"ERROR 310", 0).memory()
    value = "v" * (8 * MIB // 100000 - 9)
    cases["shape fields at the bound"] = delivery(
        1, extra=b"&" + "&".join("f%d=%s" % (i, value) for i in range(99990)).encode()).memory()
    cases["shape placeholder runs"] = delivery(1, ("Comment", text_of(8 * MIB * 5 // 13, "##a##"))).memory()
    for size in doubling(64 * KIB, 4 * MIB):
        name = "template-%d.tpl" % size
        with open(name, "w") as f:
            f.write("[QUILLO_TEMPLATE_TEXT]\n")
            f.write(text_of(size // 2, "##Name## wrote ##Comment## from ##REMOTE_ADDR## on ##DATE##\n"))
            f.write("[QUILLO_TEMPLATE_HTML]\n")
            f.write(text_of(size // 2, "<tr><td>##Name##</td><td>##Comment##</td><td>##DATE##</td></tr>\n"))
        cases["template %d" % size] = delivery(1, ("QUILLO_TEMPLATE", name), ("Comment", "a short note"))
    return cases


CAPTCHA_KEY = "bench-key-0123456789abcdef0123456789"


def site_copy(work, name, settings):
    """A copy of the program and its documents in a folder of its own, with the quillopro.ini settings
    gives ("{folder}" stands for the folder); the folder and the program's path."""
    folder = os.path.join(work, name)
    os.makedirs(folder)
    shutil.copy("quillopro.exe", folder)
    with open(os.path.join(folder, "quillopro.ini"), "w") as f:
        f.write(settings.replace("{folder}", folder))
    for document in DOCUMENTS:
        shutil.copy(document, folder)
    return folder, os.path.join(folder, "quillopro.exe")


def captcha_cases(work):
    """The site's own challenge: served, and a post refused with and without a solution to check. A copy of
    the program in a folder of its own, whose quillopro.ini asks for the check."""
    folder, program = site_copy(work, "captcha-site", "[site]\nlog = off\nstate_dir = {folder}/state\n"
                                "[captcha]\nprovider = altcha\nsecret = %s\n" % CAPTCHA_KEY)
    os.makedirs(os.path.join(folder, "state"))
    salt = "00112233445566778899aabb?expires=%d&" % (time.time() + 86400)
    challenge = hashlib.sha256((salt + "7").encode()).hexdigest()
    signature = hmac.new(CAPTCHA_KEY.encode(), challenge.encode(), hashlib.sha256).hexdigest()
    wrong = base64.b64encode(json.dumps({"algorithm": "SHA-256", "challenge": challenge, "number": 8, "salt": salt,
                                         "signature": signature, "took": 40}).encode()).decode()
    base = [("QUILLO_TO", "info@example.com"), ("QUILLO_SUCCESS", "ok.htm"), ("QUILLO_ERROR", "err.htm"),
            ("QUILLO_SERVER", SINK), ("Name", "Bench")]

    def refused(*fields):
        body = form(*base, *fields)
        return Case([program], body, dict(CGI_ENV, CONTENT_LENGTH=str(len(body))), b"ERROR 903", 0)

    get = {k: v for k, v in CGI_ENV.items() if k != "CONTENT_TYPE"}
    return {
        "challenge": Case([program], b"", dict(get, REQUEST_METHOD="GET", QUERY_STRING="altcha"), b'"signature"'),
        "captcha missing": refused(),
        "captcha wrong": refused(("altcha", wrong)),
    }


def store_cases(work, one_body):
    """A one-recipient delivery with the store on: a copy of the program whose quillopro.ini keeps every
    post in SQLite (WAL, each commit synced) before its mail leaves."""
    _, program = site_copy(work, "store-site", "[site]\nlog = off\n[store]\npath = {folder}/posts.sqlite\n")
    # The same bytes the plain delivery posts.
    return {"delivery stored": Case([program], one_body, dict(CGI_ENV, CONTENT_LENGTH=str(os.path.getsize(one_body))),
                                    THANKS, 1)}


UPLOAD_BOUNDARY = b"----BenchBoundary1234567890"


def upload_cases(work):
    """A file of 5 and of 10 MiB sent as multipart/form-data to a copy of the program that takes files
    ([uploads], its defaults), and the same 10 MiB as a URL-encoded field: time and peak memory."""
    _, program = site_copy(work, "upload-site", "[site]\nlog = off\n[uploads]\n")
    fields = [("QUILLO_TO", "info@example.com"), ("QUILLO_SUCCESS", "ok.htm"), ("QUILLO_ERROR", "err.htm"),
              ("QUILLO_SERVER", SINK), ("Name", "Bench")]
    multipart_env = dict(CGI_ENV, CONTENT_TYPE="multipart/form-data; boundary=" + UPLOAD_BOUNDARY.decode())
    cases = {}
    for size in (5 * MIB, 10 * MIB - KIB):
        body = b"".join(b"--%s\r\nContent-Disposition: form-data; name=\"%s\"\r\n\r\n%s\r\n"
                        % (UPLOAD_BOUNDARY, n.encode(), v.encode()) for n, v in fields)
        body += (b"--%s\r\nContent-Disposition: form-data; name=\"file\"; filename=\"bench.pdf\"\r\n"
                 b"Content-Type: application/pdf\r\n\r\n%%PDF-1.7\n" % UPLOAD_BOUNDARY)
        body += random.Random(size).randbytes(size - 9) + b"\r\n--%s--\r\n" % UPLOAD_BOUNDARY
        case = Case([program], body, dict(multipart_env, CONTENT_LENGTH=str(len(body))), THANKS, 1)
        cases["upload %d" % size] = case
        cases["memory upload %d" % size] = case.memory()
    body = form(*fields, ("Comment", text_of(10 * MIB - KIB, "Dear form, these are the lines a visitor writes.\r\n")))
    case = Case([program], body, dict(CGI_ENV, CONTENT_LENGTH=str(len(body))), THANKS, 1)
    cases["upload as field"] = case
    cases["memory upload as field"] = case.memory()
    return cases


def relay_cases(work):
    """Deliveries through one relay the site's settings name ([smtp] host): one session and one
    transaction for every recipient."""
    _, program = site_copy(work, "relay-site", "[site]\nlog = off\n[smtp]\nhost = %s\n" % SINK)
    cases = {}
    for count in (1, 10, 100):
        to = ", ".join("r%d@example.com" % i for i in range(count))
        body = form(("QUILLO_TO", to), ("QUILLO_SUCCESS", "ok.htm"), ("QUILLO_ERROR", "err.htm"), ("Name", "Bench"),
                    ("Comment", "A few lines\r\nof text\r\n" * 10))
        cases["relay %d" % count] = Case([program], body, dict(CGI_ENV, CONTENT_LENGTH=str(len(body))), THANKS, 1,
                                         runs=SHORT_RUNS)
    return cases


RESEND_ROWS = 1000
NOBODY = "127.0.0.91"  # nothing listens there: each post's mail fails at once and is kept


def resend_case(work, admin):
    """quillo resend --now of RESEND_ROWS kept posts to the sink, each run from the same copy of the store."""
    folder, _ = site_copy(work, "resend-site", "[site]\nlog = off\n[store]\npath = {folder}/posts.sqlite\n")
    store = os.path.join(folder, "posts.sqlite")
    body = form(("QUILLO_TO", "info@example.com"), ("QUILLO_SUCCESS", "ok.htm"), ("QUILLO_ERROR", "err.htm"),
                ("QUILLO_SERVER", NOBODY), ("Name", "Bench"), ("Comment", "A few lines\r\nof text\r\n" * 10))
    env = dict(CGI_ENV, CONTENT_LENGTH=str(len(body)))
    for _ in range(RESEND_ROWS):
        subprocess.run([os.path.join(folder, "quillopro.exe")], input=body, env=env, capture_output=True, check=True)
    # Left as a run killed mid-delivery leaves them, two minutes ago: all due.
    with contextlib.closing(sqlite3.connect(store)) as db, db:
        db.execute("UPDATE submissions SET server = ?, state = 'pending', remaining = recipients, "
                   "received_at = received_at - 120", (SINK,))
    with contextlib.closing(sqlite3.connect(store)) as db:
        db.execute("PRAGMA wal_checkpoint(TRUNCATE)")  # the whole store in the one file
    shutil.copy(store, store + ".kept")

    @contextlib.contextmanager
    def fresh_store():
        for suffix in ("-wal", "-shm"):
            if os.path.exists(store + suffix):
                os.unlink(store + suffix)
        shutil.copy(store + ".kept", store)
        yield

    return Case([admin, "resend", "--now", "--program", os.path.join(folder, "quillopro.exe"), "--user", "root"],
                expect=b"resent %d" % RESEND_ROWS, messages=RESEND_ROWS, runs=min(RUNS, 3), around=fresh_store)


def doubling(first, last):
    size = first
    while size <= last:
        yield size
        size *= 2


def unstuffed(wire):
    """The message a client is given, from the dot-stuffed one on the wire."""
    return (wire[1:] if wire.startswith(b"..") else wire).replace(b"\r\n..", b"\r\n.")


def run_all(cases, sink):
    """Every case once as warm-up, then round-robin until each has its runs."""
    for case in cases.values():
        if case.warm_up:
            case.run(sink)
            case.seconds.clear()
            case.peak_rss.clear()
            case.page_faults.clear()
    for round_number in range(max(case.runs for case in cases.values())):
        order = [c for c in cases.values() if round_number < c.runs]
        random.Random(round_number).shuffle(order)
        for case in order:
            case.run(sink)


def duration(seconds):
    ms = seconds * 1000
    return "%.3g ms" % ms if ms < 1000 else "%.3g s" % seconds


def size_name(size):
    return "%d MiB" % (size // MIB) if size >= MIB else "%d KiB" % (size // KIB)


def table(c, message_bytes):
    """The Markdown table, from the cases by name."""
    rows = []

    def timed(label, case, ratio=""):
        low, high = min(case.seconds), max(case.seconds)
        rows.append((label, duration(case.median()), "%s – %s" % (duration(low), duration(high)), ratio))

    process, smtp = c["process floor"].median(), c["smtp floor"].median()

    def floors(case, both=False):
        text = "%.2f × process floor" % (case.median() / process)
        return text + (", %.2f × SMTP floor" % (case.median() / smtp) if both else "")

    timed("Process floor (static C, fixed page)", c["process floor"], "1.00 × process floor")
    timed("SMTP floor (static C, 6 round trips, %d-byte message)" % message_bytes, c["smtp floor"],
          floors(c["smtp floor"]))
    timed("Debug report (QUILLO_DEBUG=ON)", c["debug"], floors(c["debug"]))
    timed("ERROR 300 (no QUILLO_TO)", c["error 300"], floors(c["error 300"]))
    timed("Required-field page (empty `_R_` field)", c["required"], floors(c["required"]))
    timed("Delivery, 1 recipient, to the sink", c["delivery"], floors(c["delivery"], True))
    stored = c["delivery stored"].median() - c["delivery"].median()
    timed("Delivery, 1 recipient, stored first ([store])", c["delivery stored"],
          floors(c["delivery stored"], True) + "; the store: %s" % duration(stored))
    if "resend" in c:
        per_row = c["resend"].median() / RESEND_ROWS
        timed("quillo resend --now of %d kept posts (median of %d)" % (RESEND_ROWS, len(c["resend"].seconds)),
              c["resend"], "%s per post, %.2f × SMTP floor" % (duration(per_row), per_row / smtp))
    timed("msmtp, the same message to the sink", c["msmtp"], floors(c["msmtp"], True))
    timed("Delivery, 10 recipients", c["10 recipients"], floors(c["10 recipients"], True))
    timed("Delivery, 100 recipients", c["100 recipients"], floors(c["100 recipients"], True))
    for many in (10, 100):
        extra = (c["%d recipients" % many].median() - c["delivery"].median()) / (many - 1)
        rows.append(("Per extra recipient, 1 → %d" % many, duration(extra), "",
                     "%.2f × SMTP floor" % (extra / smtp)))
    for many in (1, 10, 100):
        timed("Through [smtp] host, %d recipient%s (one transaction)" % (many, "s" if many > 1 else ""),
              c["relay %d" % many], floors(c["relay %d" % many], True))
    for many in (10, 100):
        extra = (c["relay %d" % many].median() - c["relay 1"].median()) / (many - 1)
        rows.append(("Per extra recipient through [smtp] host, 1 → %d" % many, duration(extra), "",
                     "%.3f × SMTP floor" % (extra / smtp)))
    timed("Challenge, GET quillopro.exe?altcha", c["challenge"], floors(c["challenge"]))
    timed("ERROR 903, no solution in the post", c["captcha missing"], floors(c["captcha missing"]))
    checked = c["captcha wrong"].median() - c["captcha missing"].median()
    timed("ERROR 903, a solution checked and found wrong", c["captcha wrong"],
          floors(c["captcha wrong"]) + "; the check: %s" % duration(checked))
    timed("Chained placeholders, refused (1 KB post, 40 doubling fields)", c["chained placeholders"],
          floors(c["chained placeholders"]))
    silent = c["resolver silent"]
    timed("10 recipients, resolver silent (timeout:1 attempts:1; median of %d)" % len(silent.seconds), silent,
          "%.0f × resolver refusing (10 recipients above)" % (silent.median() / c["10 recipients"].median()))
    for series, label, step in (("body", "Body, one field of %s", size_name),
                                ("fields", "Field count %s", lambda n: "{:,}".format(n).replace(",", " ")),
                                ("template", "Template of %s", size_name)):
        previous = None
        for key in [k for k in c if k.startswith(series + " ")]:
            size = int(key.split()[1])
            ratio = "%.2f × previous step" % (c[key].median() / previous.median()) if previous else floors(
                c[key], True)
            timed(label % step(size), c[key], ratio)
            previous = c[key]

    def peak(label, case, ratio=""):
        rss = statistics.median(case.peak_rss)
        rows.append((label, "%.1f MiB peak RSS" % (rss / MIB),
                     "%.1f – %.1f MiB" % (min(case.peak_rss) / MIB, max(case.peak_rss) / MIB), ratio))
        return rss

    floor_faults = statistics.median(c["memory process floor"].page_faults)
    debug_faults = statistics.median(c["memory debug"].page_faults)
    rows.append(("Page faults of one debug run (minor)", "%d" % debug_faults, "",
                 "process floor: %d; %.2f × floor" % (floor_faults, debug_faults / floor_faults)))
    peak("Process floor, memory", c["memory process floor"])
    peak("Delivery, 1 recipient, memory", c["memory delivery"])
    for kind, key in (("ASCII", "memory body"), ("8-bit (raw 0xFC)", "memory 8-bit")):
        small = peak("Field of 4 MiB %s, memory" % kind, c["%s %d" % (key, 4 * MIB)])
        large = c["%s %d" % (key, 8 * MIB)]
        per_byte = (statistics.median(large.peak_rss) - small) / (4 * MIB)
        peak("Field of 8 MiB %s, memory" % kind, large, "%.2f B per decoded input byte" % per_byte)

    small_upload, large_upload = 5 * MIB, 10 * MIB - KIB
    timed("Upload of a 10 MiB file (multipart/form-data)", c["upload %d" % large_upload],
          "%.2f × 5 MiB, %.2f × the same size as a URL-encoded field"
          % (c["upload %d" % large_upload].median() / c["upload %d" % small_upload].median(),
             c["upload %d" % large_upload].median() / c["upload as field"].median()))
    timed("The same 10 MiB as one URL-encoded field", c["upload as field"], floors(c["upload as field"], True))
    small = peak("Upload of a 5 MiB file, memory", c["memory upload %d" % small_upload])
    large = c["memory upload %d" % large_upload]
    rss = statistics.median(large.peak_rss)
    peak("Upload of a 10 MiB file, memory", large, "%.2f B per uploaded byte (5 → 10 MiB), %.2f B in all"
         % ((rss - small) / (large_upload - small_upload), rss / large_upload))
    peak("The same 10 MiB as one URL-encoded field, memory", c["memory upload as field"],
         "%.2f B per body byte" % (statistics.median(c["memory upload as field"].peak_rss) / (10 * MIB)))

    timed("%d field names sharing one std::hash value" % HASHED_NAMES, c["names colliding"],
          "%.2f × random names of that length" % (c["names colliding"].median() / c["names random"].median()))
    for label, key in (("8 MiB of small fields (refused at 100 000)", "shape small fields"),
                       ("99 990 fields filling 8 MiB", "shape fields at the bound"),
                       ("8 MiB of `##a##` in one field", "shape placeholder runs")):
        body = os.path.getsize(c[key].stdin)
        peak(label + ", memory", c[key], "%.1f B per body byte" % (statistics.median(c[key].peak_rss) / body))

    lines = ["| Case | Median | Range | Ratio |", "|---|---:|---:|---|"]
    lines += ["| %s | %s | %s | %s |" % row for row in rows]
    return "\n".join(lines)


def machine():
    with open("/proc/cpuinfo") as f:
        model = next((line.split(":", 1)[1].strip() for line in f if line.startswith("model name")), "?")
    return "%s, %d cores, Linux %s" % (model, os.cpu_count(), platform.release())


def main(work, program):
    shown_name = program
    site = os.path.join(work, "site")
    os.mkdir(site)
    os.chdir(site)  # every run starts here, as web servers start a CGI program in its folder
    shutil.copy(program, "quillopro.exe")
    program = os.path.abspath("quillopro.exe")  # web servers pass the full path as argv[0]
    for name, text in DOCUMENTS.items():
        with open(name, "w") as f:
            f.write(text)
    sink = Sink()
    started = time.perf_counter()
    cases = program_cases(program)
    cases.update(captcha_cases(work))
    cases.update(store_cases(work, cases["delivery"].stdin))
    cases.update(upload_cases(work))
    cases.update(relay_cases(work))
    admin = os.path.join(os.path.dirname(shown_name), "quillo")
    if os.path.exists(admin):
        cases["resend"] = resend_case(work, admin)
    # The floors and msmtp get the message the program sends for one recipient.
    cases["delivery"].run(sink)
    message = sink.last_message
    cases["process floor"] = Case([os.path.join(work, "cgi_floor")], expect=b"<p>ok</p>", runs=SHORT_RUNS)
    cases["smtp floor"] = Case([os.path.join(work, "smtp_floor"), SINK, str(len(message))], messages=1,
                               runs=SHORT_RUNS)
    cases["msmtp"] = Case([shutil.which("msmtp") or "/usr/bin/msmtp", "--host=" + SINK, "--port=25",
                           "--from=info@example.com", "info@example.com"], unstuffed(message), messages=1)
    cases["memory process floor"] = cases["process floor"].memory()
    cases["memory delivery"] = cases["delivery"].memory()
    cases["memory debug"] = cases["debug"].memory()
    for name, case in cases.items():
        case.name = name
    run_all(cases, sink)
    print("%s: median of %d runs per case (%d for the floors, the three pages and the deliveries to 1, 10 and "
          "100 recipients), round-robin; %s; %.0f s in all.\n"
          % (shown_name, RUNS, SHORT_RUNS, machine(), time.perf_counter() - started))
    print(table(cases, len(message)))


if __name__ == "__main__":
    main(os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2]))
