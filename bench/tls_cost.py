"""What TLS and AUTH add to a delivery on loopback: complete runs of
quillopro.exe against aiosmtpd, as a web server starts the program, in four
settings (none, EHLO on plain SMTP, STARTTLS with AUTH, TLS from the first
byte with AUTH), each to 1 and to 10 recipients, the two in turn against
one server. Prints one Markdown table of medians; bench/run.sh runs it
after its own. Each run includes
starting the program in a mount namespace with its private resolv.conf, as
the tests do, which is most of the plain case's time.

    /usr/bin/python3 bench/tls_cost.py [path/to/quillopro.exe]

QUILLO_BENCH_RUNS sets the runs per case (default 10). Needs root for
port 25 on 127.0.0.140 (run it in a network namespace of its own, as
bench/run.sh does, to keep it off shared loopback addresses)."""

import itertools
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
RUNS = int(os.environ.get("QUILLO_BENCH_RUNS", "10"))
AUTH = "user = forms\npassword = s3cret\n"
CASES = [
    ("no [smtp]: HELO, port 25", 25, None, None),
    ("[smtp]: EHLO, plain", 25, None, "host = %s\n" % t.MAIL_HOST),
    ("STARTTLS + AUTH PLAIN, port 587", 587, "starttls",
     "host = %s\nport = 587\ntls = starttls\ntls_ca_file = CA\n%s" % (t.MAIL_HOST, AUTH)),
    ("implicit TLS + AUTH PLAIN, port 465", 465, "implicit",
     "host = %s\ntls = implicit\ntls_ca_file = CA\n%s" % (t.MAIL_HOST, AUTH)),
]


def post_of(recipients, to_server):
    """The post of a delivery to that many recipients; to_server names the mail host in the form."""
    fields = [("QUILLO_TO", ", ".join("r%d@example.com" % i for i in range(recipients))),
              ("QUILLO_SUCCESS", "ok.htm"), ("QUILLO_ERROR", "err.htm"), ("Comment", "x" * 2000)]
    if to_server:
        fields.append(("QUILLO_SERVER", t.MAIL_IP))
    return form(*fields)


def main():
    certificates = t.certificates.__pytest_wrapped__.obj()
    folder = next(certificates)
    site = Site(nameserver=t.DNS_IP)
    site.write("ok.htm", "SENT\n")
    site.write("err.htm", "NOT SENT\n")
    medians = {}
    try:
        with t.dns_server(t.DNS_IP, a={t.MAIL_HOST: t.MAIL_IP}):
            for name, port, tls, smtp in CASES:
                if smtp is None:
                    if os.path.exists(site.path("quillopro.ini")):
                        os.unlink(site.path("quillopro.ini"))
                else:
                    site.write("quillopro.ini", "[site]\nlog = off\n[smtp]\n" +
                               smtp.replace("CA", os.path.join(folder, "ca.pem")))
                    os.chmod(site.path("quillopro.ini"), 0o640)  # it holds the password
                posts = {recipients: post_of(recipients, smtp is None) for recipients in (1, 10)}
                times = {recipients: [] for recipients in posts}
                with t.mail_server(folder, port=port, tls=tls, auth=tls is not None):
                    # One and ten recipients in turn, so that a busy moment
                    # of the machine weighs on both sides of their ratio.
                    for _, recipients in itertools.product(range(RUNS), posts):
                        started = time.perf_counter()
                        page = site.run(posts[recipients])[0]
                        times[recipients].append(time.perf_counter() - started)
                        assert page.endswith(b"SENT\r\n") and not page.endswith(b"NOT SENT\r\n"), page
                for recipients, taken in times.items():
                    medians[name, recipients] = statistics.median(taken)
    finally:
        site.close()
        next(certificates, None)
    base = medians[CASES[0][0], 1]
    print("| Delivery to aiosmtpd (%d runs each) | 1 recipient | 10 recipients | 10 ÷ 1 | 1 recipient × no [smtp] |"
          % RUNS)
    print("|---|---:|---:|---:|---:|")
    for name, _, _, _ in CASES:
        one, ten = medians[name, 1], medians[name, 10]
        print("| %s | %.1f ms | %.1f ms | %.2f | %.2f |" % (name, one * 1000, ten * 1000, ten / one, one / base))


if __name__ == "__main__":
    main()
