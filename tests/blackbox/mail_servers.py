"""Servers the program meets when it delivers: a real SMTP server (aiosmtpd)
and a small DNS server (dnslib) with MX and A records, on loopback only."""

import contextlib
import email
import email.policy
import itertools
import socket
import threading

from aiosmtpd.controller import Controller
from dnslib import A, MX, QTYPE, RR, TXT
from dnslib.server import BaseResolver, DNSLogger, DNSServer


class Received:
    """One delivered message as the server got it, and the client's HELO name."""

    def __init__(self, envelope, session=None):
        self.helo = session.host_name if session else None
        self.mail_from = envelope.mail_from
        self.rcpt_tos = list(envelope.rcpt_tos)
        self.raw = envelope.original_content
        self.message = email.message_from_bytes(self.raw, policy=email.policy.compat32)


class RecordingHandler:
    def __init__(self, rcpt_reply=None, refused=()):
        self.received = []
        self.rcpt_reply = rcpt_reply
        self.refused = set(refused)

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if self.rcpt_reply:
            return self.rcpt_reply
        if address in self.refused:
            return "550 No such user here"
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        self.received.append(Received(envelope, session))
        return "250 Message accepted for delivery"


@contextlib.contextmanager
def smtp_server(host, rcpt_reply=None, refused=()):
    """aiosmtpd on host:25; yields the list the received messages arrive in.
    rcpt_reply answers every RCPT TO; refused names addresses answered 550."""
    handler = RecordingHandler(rcpt_reply, refused)
    controller = Controller(handler, hostname=host, port=25)
    controller.start()
    try:
        yield handler.received
    finally:
        controller.stop()


class ZoneResolver(BaseResolver):
    def __init__(self, mx, a, txt=None):
        self.mx = mx
        self.a = a
        self.txt = txt or {}

    def resolve(self, request, handler):
        reply = request.reply()
        name = str(request.q.qname).rstrip(".").lower()
        if request.q.qtype == QTYPE.MX:
            for preference, exchange in self.mx.get(name, []):
                reply.add_answer(RR(name, QTYPE.MX, rdata=MX(exchange, preference), ttl=60))
        elif request.q.qtype == QTYPE.A and name in self.a:
            reply.add_answer(RR(name, QTYPE.A, rdata=A(self.a[name]), ttl=60))
        elif request.q.qtype == QTYPE.TXT and name in self.txt:
            # A long record goes out as strings of at most 255 bytes.
            text = self.txt[name]
            chunks = [text[i:i + 255] for i in range(0, len(text), 255)]
            reply.add_answer(RR(name, QTYPE.TXT, rdata=TXT(chunks), ttl=60))
        if not reply.rr:
            reply.header.rcode = 3  # NXDOMAIN: nothing else is known here
        return reply


@contextlib.contextmanager
def dns_server(host, mx=None, a=None, txt=None):
    """A DNS server on host:53 (UDP, and TCP for long answers) answering MX
    queries from mx ({domain: [(preference, exchange), ...]}), A queries
    from a ({name: ip}) and TXT queries from txt ({name: text})."""
    resolver = ZoneResolver(mx or {}, a or {}, txt)
    # Each query and answer is not printed, only failures.
    quiet = DNSLogger(log="-recv,-send,-request,-reply,-truncated,-data", prefix=False)
    servers = [DNSServer(resolver, address=host, port=53, tcp=tcp, logger=quiet) for tcp in (False, True)]
    for server in servers:
        server.start_thread()
    try:
        yield servers[0]
    finally:
        for server in servers:
            server.stop()


@contextlib.contextmanager
def trickling_server(host, interval=0.5):
    """A server on host:25 that answers every connection with a greeting it
    never finishes: one byte every interval seconds."""
    listener = socket.socket()
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind((host, 25))
    listener.listen(8)
    listener.settimeout(0.1)
    stop = threading.Event()

    def trickle(connection):
        with connection:
            for byte in itertools.cycle(b"220-still greeting you "):
                if stop.wait(interval):
                    return
                try:
                    connection.sendall(bytes([byte]))
                except OSError:
                    return

    def serve():
        while not stop.is_set():
            try:
                connection, _ = listener.accept()
            except socket.timeout:
                continue
            threading.Thread(target=trickle, args=(connection,), daemon=True).start()

    server = threading.Thread(target=serve, daemon=True)
    server.start()
    try:
        yield
    finally:
        stop.set()
        server.join()
        listener.close()
