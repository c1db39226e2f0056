"""A throwaway CA for the suites' HTTPS servers, and certificates it signs."""

import os
import subprocess


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
