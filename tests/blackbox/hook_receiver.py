"""An HTTPS receiver for the webhook, on its own address behind the tests'
throwaway CA, that checks each post's signature."""

import contextlib
import hashlib
import hmac
import http.server
import json
import os
import shutil
import ssl
import tempfile
import threading
import time

import pytest

from tls_certificates import make_certificates
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

    class Handler(http.server.BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.1"

        def log_message(self, *args):
            pass

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

    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(os.path.join(certificates, cert + ".pem"), os.path.join(certificates, cert + ".key"))
    server = http.server.ThreadingHTTPServer((WEBHOOK_RECEIVER, 443), Handler)
    server.socket = context.wrap_socket(server.socket, server_side=True)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    try:
        yield got
    finally:
        server.shutdown()
        server.server_close()


