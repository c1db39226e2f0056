"""A throwaway CA for the suites' HTTPS servers, certificates it signs, and
a server of the test's own behind them."""

import contextlib
import http.server
import os
import ssl
import subprocess
import threading


def make_certificates(folder, names):
    """ca.pem and, for each name, NAME.pem and NAME.key signed by it for that DNS name."""
    def openssl(*args):
        subprocess.run(["openssl", *args], cwd=folder, check=True, capture_output=True)

    openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "ca.key", "-out", "ca.pem", "-days", "2",
            "-subj", "/CN=Quillo Test CA")
    for name in names:
        with open(os.path.join(folder, name + ".ext"), "w") as f:
            f.write("subjectAltName=DNS:%s\n" % name)
        openssl("req", "-newkey", "rsa:2048", "-nodes", "-keyout", name + ".key", "-out", name + ".csr",
                "-subj", "/CN=" + name)
        openssl("x509", "-req", "-in", name + ".csr", "-CA", "ca.pem", "-CAkey", "ca.key", "-CAcreateserial",
                "-out", name + ".pem", "-days", "2", "-extfile", name + ".ext")
    return folder


class QuietHandler(http.server.BaseHTTPRequestHandler):
    """An HTTP/1.1 handler that logs nothing; a test's server subclasses it with its do_POST."""

    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass


@contextlib.contextmanager
def https_server(address, handler, certificates, name):
    """handler served over TLS on address:443 with the certificate for name; stopped when the block ends."""
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(os.path.join(certificates, name + ".pem"), os.path.join(certificates, name + ".key"))
    server = http.server.ThreadingHTTPServer((address, 443), handler)
    server.socket = context.wrap_socket(server.socket, server_side=True)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    try:
        yield server
    finally:
        server.shutdown()
        server.server_close()
