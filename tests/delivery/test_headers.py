"""Header lines read by an independent parser: Python's email package with
the strict policy, over display names a visitor could send."""
import email
import email.policy
import os
import random
import subprocess

DRIVER = os.environ.get("SMTP_DRIVER", "")
DRIVER_RUNNER = os.environ.get("SMTP_DRIVER_RUNNER", "").split()


def headers(names):
    """The header of a message from each name to form@example.test, as the program writes it."""
    out = subprocess.run(DRIVER_RUNNER + [DRIVER, "headers"], input=b"".join(n + b"\0" for n in names),
                         stdout=subprocess.PIPE, check=True, timeout=120).stdout
    return out.split(b"\0")[:-1]


def test_a_display_name_never_adds_or_hides_a_mailbox():
    rng = random.Random(20261209)
    alphabet = b' ,<>@";:()[]\\.=?\t\x01\x7fAbz09-\xe9'
    names = [b"Doe, John", b"Bank <security@bank.test>", b'"Quote" \\ me', b"=?utf-8?Q?x=40y?="]
    names += [bytes(rng.choice(alphabet) for _ in range(rng.randint(1, 40))) for _ in range(2000)]
    names += [b"x" * 1200, b"a@b, " * 300]
    for name, header in zip(names, headers(names)):
        message = email.message_from_bytes(header + b"\r\n", policy=email.policy.strict)
        addresses = message["From"].addresses
        assert [a.addr_spec for a in addresses] == ["form@example.test"], (name, header)
