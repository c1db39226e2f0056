"""What TLS and AUTH add to one delivery on loopback: complete runs of
quillopro.exe against aiosmtpd, as a web server starts the program, in four
settings (none, EHLO on plain SMTP, STARTTLS with AUTH, TLS from the first
byte with AUTH). Prints one Markdown table of medians. Each run includes
starting the program in a mount namespace with its private resolv.conf, as
the tests do, which is most of the plain case's time.

    /usr/bin/python3 bench/tls_cost.py [path/to/quillopro.exe]

QUILLO_BENCH_RUNS sets the runs per case (default 20). Needs root for
port 25 on 127.0.0.140 (run it in a network namespace of its own, as
bench/run.sh does, to keep it off shared loopback addresses)."""

import os
import statistics
import sys
import time
import warnings

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "blackbox"))
os.environ.setdefault("QUILLOPRO_EXE", sys.argv[1] if len(sys.argv) > 1 else
                      os.path.join(HERE, "..", "build", "cgi", "quillopro.exe"))

import test_transport as t  # noqa: E402  (certificates and servers of the transport tests)
from cgi_site import Site, form  # noqa: E402

# aiosmtpd warns about its own use of a field it is deprecating.
warnings.filterwarnings("ignore", "Session.login_data")
RUNS = int(os.environ.get("QUILLO_BENCH_RUNS", "20"))
AUTH = "user = forms\npassword = s3cret\n"
CASES = [
    ("no [smtp]: HELO, port 25", 25, None, None),
    ("[smtp]: EHLO, plain", 25, None, "host = %s\n" % t.MAIL_HOST),
    ("STARTTLS + AUTH PLAIN, port 587", 587, "starttls",
     "host = %s\nport = 587\ntls = starttls\ntls_ca_file = CA\n%s" % (t.MAIL_HOST, AUTH)),
    ("implicit TLS + AUTH PLAIN, port 465", 465, "implicit",
     "host = %s\ntls = implicit\ntls_ca_file = CA\n%s" % (t.MAIL_HOST, AUTH)),
]


def main():
    certificates = t.certificates.__pytest_wrapped__.obj()
    folder = next(certificates)
    site = Site(nameserver=t.DNS_IP)
    site.write("ok.htm", "SENT\n")
    site.write("err.htm", "NOT SENT\n")
    rows = []
    try:
        with t.dns_server(t.DNS_IP, a={t.MAIL_HOST: t.MAIL_IP}):
            for name, port, tls, smtp in CASES:
                fields = [("QUILLO_TO", "info@example.com"), ("QUILLO_SUCCESS", "ok.htm"),
                          ("QUILLO_ERROR", "err.htm"), ("Comment", "x" * 2000)]
                if smtp is None:
                    fields.append(("QUILLO_SERVER", t.MAIL_IP))
                    if os.path.exists(site.path("quillopro.ini")):
                        os.unlink(site.path("quillopro.ini"))
                else:
                    site.write("quillopro.ini", "[site]\nlog = off\n[smtp]\n" +
                               smtp.replace("CA", os.path.join(folder, "ca.pem")))
                with t.mail_server(folder, port=port, tls=tls, auth=tls is not None):
                    times = []
                    for _ in range(RUNS):
                        started = time.perf_counter()
                        page = site.run(form(*fields))[0]
                        times.append(time.perf_counter() - started)
                        assert page.endswith(b"SENT\r\n") and not page.endswith(b"NOT SENT\r\n"), page
                rows.append((name, statistics.median(times), min(times), max(times)))
    finally:
        site.close()
        next(certificates, None)
    base = rows[0][1]
    print("| Delivery of one message (%d runs each) | Median ms | × no [smtp] | Range ms |" % RUNS)
    print("|---|---:|---:|---|")
    for name, median, low, high in rows:
        print("| %s | %.1f | %.2f | %.1f – %.1f |" % (name, median * 1000, median / base, low * 1000, high * 1000))


if __name__ == "__main__":
    main()
