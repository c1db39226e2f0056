"""Posts with files as browsers send them (multipart/form-data, RFC 7578),
the files the upload tests send, and what a received mail carries."""

import email.parser
import email.policy
import hashlib
import os

BOUNDARY = "----QuilloTestBoundary7MA4YWxkTrZu0gW"
CONTENT_TYPE = "multipart/form-data; boundary=" + BOUNDARY


def multipart(fields, files=(), boundary=BOUNDARY):
    """fields: (name, text) pairs; files: (field, file name, bytes) triples."""
    body = b""
    for name, value in fields:
        body += (b"--%s\r\nContent-Disposition: form-data; name=\"%s\"\r\n\r\n" % (boundary.encode(), name.encode())
                 + value.encode("utf-8") + b"\r\n")
    for field, filename, data in files:
        body += (b"--%s\r\nContent-Disposition: form-data; name=\"%s\"; filename=\"%s\"\r\n"
                 b"Content-Type: application/octet-stream\r\n\r\n" % (boundary.encode(), field.encode(),
                                                                       filename.encode("utf-8")) + data + b"\r\n")
    return body + b"--%s--\r\n" % boundary.encode()


def pdf(size=3000):
    return b"%PDF-1.7\n" + os.urandom(size)


def png(size=2000):
    return b"\x89PNG\r\n\x1a\n" + os.urandom(size)


def strict(raw):
    """The message as a strict reader takes it: a defect raises."""
    return email.parser.BytesParser(policy=email.policy.strict).parsebytes(raw)


def attachments(message):
    """(file name, content type, SHA-256) of each attachment, in order."""
    return [(part.get_filename(), part.get_content_type(), hashlib.sha256(part.get_content()).hexdigest())
            for part in message.iter_attachments()]


def digest(data):
    return hashlib.sha256(data).hexdigest()


def first_part(raw):
    """The raw bytes of a multipart/mixed message's first part: the body as it
    would go alone."""
    boundary = strict(raw).get_boundary().encode()
    delimiter = b"\r\n--" + boundary + b"\r\n"
    start = raw.index(b"--" + boundary + b"\r\n") + len(boundary) + 4
    return raw[start:raw.index(delimiter, start)]
