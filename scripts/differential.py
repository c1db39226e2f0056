"""Runs two builds of quillopro.exe over the same random posts and site
settings and compares what each answered and sent: page bytes, exit status,
and every mail's envelope and raw bytes, with the run's time (Date, MUID,
Message-ID, the signature's t= and b=) masked. For a change that must not
change behaviour; run as root:

    unshare --net --mount --propagation private bash -c \\
        'ip link set lo up; /usr/bin/python3 scripts/differential.py BEFORE AFTER [POSTS] [SEED]'

Prints the number of differences and the first few; exit status 1 when
there is any."""

import os
import random
import re
import shutil
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "blackbox"))

from cgi_site import Site  # noqa: E402
from mail_servers import smtp_server  # noqa: E402

MAIL = "127.0.0.25"
KEY = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "delivery", "data", "dkim-test.pem")
DOCUMENTS = {
    "ok.htm": "<p>Thanks ##Name## from ##REMOTE_ADDR##</p>\n<p>##QUILLO_TO##</p>\n",
    "err.htm": "Sorry, ##Name##.\r\n",
    "req.htm": "Fill in ##Missing## <b>##Comment##</b>\n",
    "mail.tpl": "[QUILLO_TEMPLATE_TEXT]\n##Name## wrote: ##Comment## on ##DATE##\n[QUILLO_TEMPLATE_HTML]\n"
                "<p title=##Name##>##Comment##</p>\n",
    "reply.tpl": "[QUILLO_TEMPLATE_TEXT]\nWe got it, ##Name##: ##Comment##\n",
    "reject.txt": "spam\n@junk.test\n",
    "recipients.txt": "@example.com\nsales@example.org\n",
}
WORDS = ["Jo", "J\xfcrgen", "##Name##", "##REMOTE_ADDR##", "#", "##", "<b>", "a&b", "x=1", "\r\n.\r\n", ".",
         "a@b.c", "info@example.com", "sales@example.org", "evil@junk.test", "  ", "", "\x00", "%", "+", ",",
         "Doe, John", "Bank <security@bank.test>", "=?utf-8?q?x?=", "\t", "\xe9t\xe9", "\xff" * 3, "ON", "on",
         "TEXT", "HIGH", "x" * 120]
NAMES = ["Name", "Comment", "_R_Missing", "_E_Mail", "_F_From", "_EF_Reply", "_FE_Reply2", "_I_Hidden", "DATE",
         "QUILLO_TO", "_R_QUILLO_TO", "website", "a#b", "x<y", "Mail"]
CONTROLS = {
    "QUILLO_TO": ["info@example.com", "info@example.com, sales@example.org", "evil@other.test", "sales", "",
                  "a@example.com,,b@example.com"],
    "QUILLO_SUCCESS": ["ok.htm", "OK.HTM", "", "../x.htm", "missing.htm", "a:b.htm", "quillopro.ini",
                       "recipients.txt"],
    "QUILLO_ERROR": ["err.htm", "", "mail.tpl"],
    "QUILLO_REQUIRED": ["req.htm", None],
    "QUILLO_BADEMAIL": ["err.htm", None],
    "QUILLO_TEMPLATE": [None, None, "mail.tpl", "missing.tpl"],
    "RESPOND_TEMPLATE": [None, "reply.tpl", "ok.htm"],
    "QUILLO_SUBJECT": [None, "Hello ##Name##", "\xfcber ##Comment##", "##QUILLO_SUBJECT##"],
    "QUILLO_FORMAT": [None, "TEXT", "html"],
    "QUILLO_PRIORITY": [None, "high", "low"],
    "QUILLO_ENVREPORT": [None, "ON", " on "],
    "QUILLO_NOEMPTYFIELDS": [None, "ON"],
    "QUILLO_FROMFRIENDLY": [None, "Web Form", "Doe, John", "J\xfcrgen"],
    "QUILLO_REJECTEMAIL": [None, "reject.txt"],
    "QUILLO_DEBUG": [None, None, None, "ON", "on"],
    "QUILLO_SERVER": [MAIL],
    "_charset_": [None, "UTF-8"],
}
SETTINGS = [
    "[site]\nsender = forms@example.com\n",
    "[site]\nsender = forms@example.com\nreply_to = off\ncharset = utf-8\n",
    "[site]\ndebug = off\nautoreply = off\n",
    "[site]\ndocuments = ok.htm, err.htm, req.htm, mail.tpl, reject.txt\nautoreply_templates = reply.tpl\n",
    "[site]\nhoneypot = website\njson = on\n",
    "[site]\nrecipients_match = address\nsuccess_redirect = /thanks.html\n",
    "[site]\nreferers = www.example.com\nallow_empty_referer = yes\n",
    "[aliases]\nsales = sales@example.org, info@example.com\n",
    "[smtp]\nhelo = www.example.com\nreply_timeout = 5\n",
    "[site]\nsender = forms@example.com\n[smtp]\nhost = %s\ndeadline = 10\n"
    "dkim_domain = example.com\ndkim_selector = forms\ndkim_key = %s\n" % (MAIL, KEY),
    "; only a comment\n",
]


def random_post(rng):
    pairs = []
    for name, values in CONTROLS.items():
        # Mostly the first, ordinary value: a post that fails at its first check tests little.
        value = values[0] if rng.random() < 0.8 else rng.choice(values)
        if value is not None:
            pairs.append((name, value))
    for _ in range(rng.randint(0, 6)):
        pairs.append((rng.choice(NAMES), "".join(rng.choice(WORDS) for _ in range(rng.randint(0, 3)))))
    rng.shuffle(pairs)
    from urllib.parse import quote
    body = "&".join(quote(n.encode("latin-1"), safe="") + "=" + quote(v.encode("latin-1"), safe="")
                    for n, v in pairs)
    if rng.random() < 0.05:
        body += "&raw=a\nb"
    env = {"REMOTE_ADDR": rng.choice(["192.0.2.7", "2001:db8::1", "::ffff:198.51.100.1"]),
           "HTTP_ACCEPT": rng.choice(["text/html", "application/json", "*/*"]),
           "HTTP_REFERER": rng.choice(["", "https://www.example.com/form.htm", "https://evil.test/"]),
           "SERVER_NAME": rng.choice(["www.example.com", "_", ""])}
    return body, env


def masked(data):
    data = re.sub(rb"\w{3}, \d\d \w{3} \d{4} \d\d:\d\d:\d\d [+-]\d{4}", b"DATE", data)
    data = re.sub(rb"(MUID[^\n]*?)\d{9,}", rb"\1MUID", data)
    data = re.sub(rb"Message-ID: <[^>]*>", b"Message-ID: <ID>", data)
    # The signature covers the time: its fields are checked by the DKIM tests.
    data = re.sub(rb"DKIM-Signature:.*?\r\n(?![ \t])", b"DKIM-Signature: SIGNED\r\n", data, flags=re.S)
    return re.sub(rb"\b\d{10}\b", b"TIME", data)


def run(program, settings, body, env, site_dir):
    site = Site(program=program)
    try:
        for name, text in DOCUMENTS.items():
            site.write(name, text)
        state = tempfile.mkdtemp(prefix="quillo-state-")
        os.chmod(state, 0o755)
        if settings:
            site.write("quillopro.ini", settings.replace("state_dir = STATE", "state_dir = " + state))
        with smtp_server(MAIL) as received:
            out, status = site.run(body, env=env, log=[])
        shutil.rmtree(state, ignore_errors=True)
        mails = [(m.mail_from, m.rcpt_tos, masked(m.raw)) for m in received]
        return masked(out.replace(site.dir.encode(), b"SITE")), status, mails
    finally:
        site.close()


def main(before, after, posts=1500, seed=1):
    rng = random.Random(seed)
    differences = []
    mails = error_pages = 0
    for case in range(posts):
        settings = rng.choice([None, None] + SETTINGS)
        body, env = random_post(rng)
        first = run(before, settings, body, env, None)
        second = run(after, settings, body, env, None)
        if first != second:
            differences.append((case, settings, body, env, first, second))
        mails += len(first[2])
        error_pages += b"<HR><BR><h2>" in first[0]
    print("%d posts (%d error pages, %d mails), %d differences" % (posts, error_pages, mails, len(differences)))
    for case, settings, body, env, first, second in differences[:5]:
        print("case %d\nsettings %r\nbody %r\nenv %r\nbefore %r\nafter  %r\n" % (case, settings, body, env, first,
                                                                                 second))
    return 1 if differences else 0


if __name__ == "__main__":
    args = sys.argv[1:]
    sys.exit(main(args[0], args[1], *[int(a) for a in args[2:]]))
