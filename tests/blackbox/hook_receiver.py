"""An HTTPS receiver for the webhook, on its own address behind the tests'
throwaway CA, that checks each post's signature."""

import contextlib
import hashlib
import hmac
import json
import shutil
import tempfile
import time

import pytest

from tls_certificates import QuietHandler, https_server, make_certificates
from addresses import WEBHOOK_RECEIVER

HOOK_HOST = "hooks.example.test"
HOOK_SECRET = "hook-secret-0123456789"


@pytest.fixture(scope="module")
def certificates():
    """The CA and certificates for the hook's host and for another name."""
    folder = tempfile.mkdtemp(prefix="quillo-hook-tls-")
    yield make_certificates(folder, (HOOK_HOST, "other.example.test"))
    shutil.rmtree(folder, ignore_errors=True)


@contextlib.contextmanager
def hook_receiver(certificates, behaviour="ok", cert=HOOK_HOST):
    """An HTTPS receiver on the hook's address; yields the (signature valid, body) of each post."""
    got = []

    class Handler(QuietHandler):
        def do_POST(self):
            body = self.rfile.read(int(self.headers["Content-Length"]))
            signature = dict(part.split("=", 1) for part in self.headers["X-Quillo-Signature"].split(","))
            expected = hmac.new(HOOK_SECRET.encode(), signature["t"].encode() + b"." + body,
                                hashlib.sha256).hexdigest()
            got.append((hmac.compare_digest(expected, signature["v1"]), self.headers["Content-Type"],
                        json.loads(body)))
            if behaviour == "slow":
                time.sleep(3)
            self.send_response(500 if behaviour == "error" else 204)
            self.send_header("Content-Length", "0")
            self.end_headers()

    with https_server(WEBHOOK_RECEIVER, Handler, certificates, cert):
        yield got


