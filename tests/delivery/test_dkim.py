"""DKIM signatures checked by an independent verifier: the driver signs each
message as the program would (its lines normalized as they go on the wire,
then the DKIM-Signature header in front), and python3-dkim verifies the
result with the test key's public half, handed over as the TXT record of
<selector>._domainkey.<domain> without any DNS server. A changed body or a
changed signed field must fail; what relaxed canonicalization forgives (a
refolded field, blanks) and an unsigned field must not.
"""
import os
import subprocess

import dkim
import dkim.util
import pytest

DRIVER = os.environ.get("DKIM_DRIVER", "")
KEY = os.environ.get("DKIM_KEY", "")
RECORD = os.environ.get("DKIM_RECORD", "")
DOMAIN = "quillo.test"
SELECTOR = "form2024"
NOW = "1704099600"
MAX_LINE = 78

HEAD = (b"From: Web Form <form@example.test>\n"
        b"To: <a@example.test>,<b@example.test>\n"
        b"Subject: Hello\n"
        b"Date: Mon, 01 Jan 2024 10:00:00 +0100\n"
        b"X-Mailer: Tessik Quillo!Pro v4\r\n"
        b"X-Priority: 3\n")
BOUNDARY = b"------=_NextPart_TESSIK_QUILLO_PRO\n"
QP_PART = (b"Content-Transfer-Encoding: quoted-printable\n"
           b"Content-Type: text/plain;\n\tcharset=\"iso-8859-1\"\n\n")

# What h= names for the fields of HEAD: each covered field once more than
# it occurs, so that a field added on the way breaks the signature.
HEAD_FIELDS = ("From:From:Reply-To:To:To:Cc:Subject:Subject:Date:Date:MIME-Version:Content-Type:"
               "Content-Transfer-Encoding:X-Priority:X-Priority")

# name -> (message as the program builds it, the fields h= must name)
MESSAGES = {
    "ascii text": (
        HEAD + b"\nName: Jane\nComment: all fine.\n",
        HEAD_FIELDS),
    "8-bit quoted-printable parts": (
        HEAD + b"MIME-Version: 1.0 \n"
        b"Content-Type: multipart/alternative;\n"
        b"\tboundary=\"----=_NextPart_TESSIK_QUILLO_PRO\"\n\n"
        b"This is a multi-part message in MIME format.\n\n" + BOUNDARY + QP_PART +
        b"Name: J=FCrgen\n.\nA=3DB\n\n" + BOUNDARY +
        QP_PART.replace(b"text/plain", b"text/html") + b"<p>J=FCrgen</p>"
        b"\n\n------=_NextPart_TESSIK_QUILLO_PRO--\n",
        HEAD_FIELDS.replace("MIME-Version:Content-Type:", "MIME-Version:MIME-Version:Content-Type:Content-Type:")),
    "html part after the header": (
        HEAD + QP_PART.replace(b"text/plain", b"text/html") + b"<b>=E9</b>\n",
        HEAD_FIELDS.replace("Content-Type:Content-Transfer-Encoding:",
                            "Content-Type:Content-Type:Content-Transfer-Encoding:Content-Transfer-Encoding:")),
    "folded fields": (
        b"From: =?iso-8859-1?Q?J=FCrgen_M=FCller_und_ein_sehr_langer_Name_f=FCr_das?=\n"
        b" =?iso-8859-1?Q?_Formular?= <form@example.test>\n"
        b"Reply-To: <visitor@example.test>\n"
        b"To: <a@example.test>,\n <b@example.test>,\n\t<c@example.test>\n"
        b"Subject: =?iso-8859-1?Q?Gr=FC=DFe_aus_dem_Formular_mit_einem_langen_Betreff?=\n"
        b" =?iso-8859-1?Q?_der_gefaltet_wird?=\n"
        b"Date: Mon, 01 Jan 2024 10:00:00 +0100\n"
        b"X-Priority: 1\n\nText.\n",
        HEAD_FIELDS.replace("Reply-To:", "Reply-To:Reply-To:")),
    "trailing blanks and empty lines": (
        HEAD + b"\n  Name:   Jane   \n\tIndented\t \n\n \n\n\n",
        HEAD_FIELDS),
    "8-bit body": (
        HEAD + b"\n\xe9t\xe9 \xfc\n.starts with a dot\n",
        HEAD_FIELDS),
    "subject twice": (
        HEAD + b"Subject: the last one\n\nText.\n",
        HEAD_FIELDS.replace("Subject:Subject:", "Subject:Subject:Subject:")),
    "no body": (HEAD, HEAD_FIELDS),
    "a Message-ID": (
        HEAD + b"Message-ID: <1796748718.4242.f00d@example.test>\n\nText.\n",
        HEAD_FIELDS.replace("Content-Transfer-Encoding:", "Content-Transfer-Encoding:Message-ID:Message-ID:")),
}


def sign(message, selector=SELECTOR):
    run = subprocess.run([DRIVER, KEY, DOMAIN, selector, NOW], input=message, capture_output=True,
                         check=False)
    return run.returncode, run.stdout


def record(name, timeout=5):
    """The TXT record of the test key, at its one name only."""
    del timeout
    if name != f"{SELECTOR}._domainkey.{DOMAIN}.".encode():
        return None
    with open(RECORD, "rb") as f:
        return f.read().strip()


def verify(signed):
    return dkim.verify(signed, dnsfunc=record)


def signature_header(signed):
    end = signed.index(b"\r\n", 0)
    while signed[end + 2:end + 3] in (b" ", b"\t"):
        end = signed.index(b"\r\n", end + 2)
    return signed[:end + 2]


@pytest.fixture(scope="module", autouse=True)
def driver_present():
    assert DRIVER and os.access(DRIVER, os.X_OK), "DKIM_DRIVER names no program"


@pytest.mark.parametrize("name", MESSAGES)
def test_signed_messages_verify(name):
    message, signed_fields = MESSAGES[name]
    status, signed = sign(message)
    assert status == 0
    header = signature_header(signed)
    lines = header.split(b"\r\n")[:-1]
    assert max(len(line) for line in lines) <= MAX_LINE
    tags = dkim.util.parse_tag_value(header.split(b":", 1)[1])
    assert (tags[b"d"], tags[b"s"], tags[b"t"], tags[b"c"], tags[b"a"]) == (
        DOMAIN.encode(), SELECTOR.encode(), NOW.encode(), b"relaxed/relaxed", b"rsa-sha256")
    assert b"".join(tags[b"h"].split()).decode() == signed_fields
    assert verify(signed) is True


def replace_once(text, old, new):
    assert text.count(old) >= 1
    return text.replace(old, new, 1)


# (what changes, how) on the signed "8-bit quoted-printable parts" message,
# and whether the signature still holds.
CHANGES = [
    ("a body line", lambda m: replace_once(m, b"Name: J=FCrgen", b"Name: J=FCrgem"), False),
    ("a line added to the body", lambda m: m + b"P.S.\r\n", False),
    ("the Subject", lambda m: replace_once(m, b"Subject: Hello", b"Subject: Hallo"), False),
    ("the From", lambda m: replace_once(m, b"form@example.test", b"fake@example.test"), False),
    ("a second Subject", lambda m: replace_once(m, b"Date:", b"Subject: Other\r\nDate:"), False),
    ("the unsigned X-Mailer", lambda m: replace_once(m, b"X-Mailer: Tessik", b"X-Mailer: Other"), True),
    ("the Subject refolded", lambda m: replace_once(m, b"Subject: Hello", b"Subject:\r\n\t Hello  "), True),
    ("blanks in the body", lambda m: replace_once(m, b"A=3DB\r\n", b"A=3DB \t \r\n"), True),
    ("empty lines after the body", lambda m: m + b"\r\n\r\n", True),
]


@pytest.mark.parametrize("what,change,holds", CHANGES, ids=[c[0] for c in CHANGES])
def test_changes_after_signing(what, change, holds):
    del what
    status, signed = sign(MESSAGES["8-bit quoted-printable parts"][0])
    assert status == 0 and verify(signed) is True
    assert verify(change(signed)) is holds


@pytest.mark.parametrize("field", ["From: Bank <security@bank.test>", "To: <victim@other.test>", "Subject: Urgent",
                                   "Date: Tue, 02 Jan 2024 10:00:00 +0100", "Reply-To: <thief@evil.test>",
                                   "Cc: <victim@other.test>", "Content-Type: text/html", "MIME-Version: 1.0",
                                   "Content-Transfer-Encoding: base64", "Message-ID: <forged@evil.test>"])
def test_a_field_added_above_the_signed_ones_breaks_the_signature(field):
    status, signed = sign(MESSAGES["a Message-ID"][0])
    assert status == 0 and verify(signed) is True
    header = signature_header(signed)
    assert verify(header + field.encode() + b"\r\n" + signed[len(header):]) is False


def test_a_message_without_from_is_not_signed():
    status, signed = sign(b"To: <a@example.test>\nSubject: Hello\n\nText.\n")
    assert (status, signed) == (1, b"")


def test_a_signature_under_another_selector_finds_no_key():
    status, signed = sign(MESSAGES["ascii text"][0], selector="other")
    assert status == 0
    assert verify(signed) is False
