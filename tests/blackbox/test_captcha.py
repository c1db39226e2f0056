"""The [captcha] settings: the site's own proof-of-work challenge, issued at
GET quillopro.exe?altcha and solved here, by the protocol's reference library
and (test_browser) by its widget; and the hosted CAPTCHAs, verified against a
siteverify server of the test's own behind a throwaway CA. Every refusal
sends nothing."""

import base64
import contextlib
import hashlib
import hmac
import json
import os
import shutil
import subprocess
import tempfile
import time
from urllib.parse import parse_qs

import pytest

from cgi_site import document_page, error_page, form
from mail_servers import dns_server, smtp_server
from tls_certificates import QuietHandler, https_server, make_certificates
from addresses import CAPTCHA_DNS_SERVER, CAPTCHA_MAIL_SERVER, CAPTCHA_VERIFY_SERVER

KEY = "k" * 40
DOCS = [("QUILLO_TO", "info@example.com"), ("QUILLO_SUCCESS", "ok.htm"), ("QUILLO_ERROR", "err.htm"),
        ("QUILLO_SERVER", CAPTCHA_MAIL_SERVER), ("Name", "Jo")]
OK_PAGE = document_page("<p>Thanks Jo</p>\n<p>info@example.com</p>\n")
REFUSED = error_page("QUILLO! ERROR 903 - spam check failed<br>Please reload the form and send it again.")
REFUSED_ANSWER = b"Status: 403 Forbidden\r\n" + REFUSED
NODE_MODULES = os.path.join(os.path.dirname(__file__), "..", "browser")
VERIFY_HOST = "verify.example.test"


@pytest.fixture
def state_dir():
    folder = tempfile.mkdtemp(prefix="quillo-state-")
    os.chmod(folder, 0o777)
    yield folder
    shutil.rmtree(folder, ignore_errors=True)


def own_challenge_settings(state, extra=""):
    return ("[site]\nstate_dir = %s\n%s[captcha]\nprovider = altcha\nsecret = %s\naltcha_max_number = 2000\n"
            % (state, extra, KEY))


def fetch_challenge(site, query="altcha"):
    out, status = site.run(content_length=None, env={"REQUEST_METHOD": "GET", "QUERY_STRING": query})
    assert status == 0
    return out


def solve(challenge):
    for number in range(challenge["maxnumber"] + 1):
        if hashlib.sha256((challenge["salt"] + str(number)).encode()).hexdigest() == challenge["challenge"]:
            return number
    raise AssertionError("no solution")


def payload(challenge, number, **changes):
    fields = dict(algorithm="SHA-256", challenge=challenge["challenge"], number=number, salt=challenge["salt"],
                  signature=challenge["signature"], took=12)
    fields.update(changes)
    return base64.b64encode(json.dumps(fields).encode()).decode()


def signed(salt, number, key=KEY):
    challenge = hashlib.sha256((salt + str(number)).encode()).hexdigest()
    return dict(challenge=challenge, salt=salt, maxnumber=2000,
                signature=hmac.new(key.encode(), challenge.encode(), hashlib.sha256).hexdigest())


def post(site, *fields, env=None):
    out, _ = site.run(form(*DOCS, *fields), env=env)
    return out


def test_the_challenge_is_served_to_a_get_of_altcha_alone(site, state_dir):
    plain_get = fetch_challenge(site)
    site.write("quillopro.ini", own_challenge_settings(state_dir))
    head, body = fetch_challenge(site).split(b"\r\n\r\n", 1)
    assert head == b"Content-Type: application/json\r\nCache-Control: no-store"
    challenge = json.loads(body)
    assert sorted(challenge) == ["algorithm", "challenge", "maxnumber", "salt", "signature"]
    assert challenge["signature"] == signed(challenge["salt"], solve(challenge))["signature"]
    random_part, expires = challenge["salt"].split("?expires=")
    assert len(random_part) == 24 and expires.endswith("&")
    assert abs(int(expires[:-1]) - (time.time() + 600)) < 30
    assert fetch_challenge(site)[-200:] != body[-200:], "each challenge is fresh"
    # Other GETs keep their answer, and so does this one without the setting.
    assert fetch_challenge(site, "altcha=1") == plain_get
    site.write("quillopro.ini", "[site]\nstate_dir = %s\n" % state_dir)
    assert fetch_challenge(site) == plain_get


@pytest.mark.parametrize("what, answer, verdict", [
    ("no field at all", None, "missing"),
    ("an empty field", lambda c, n: "", "missing"),
    ("not base64", lambda c, n: "%%%", "malformed"),
    ("base64 of no JSON", lambda c, n: base64.b64encode(b"{number: 1").decode(), "malformed"),
    ("the number as text", lambda c, n: payload(c, str(n)), "malformed"),
    ("another algorithm", lambda c, n: payload(c, n, algorithm="SHA-1"), "malformed"),
    ("a wrong number", lambda c, n: payload(c, n + 1), "wrong"),
    ("the widget's test mode", lambda c, n: payload(c, n, test=True), "test"),
    ("a challenge signed with another key",
     lambda c, n: payload(signed(c["salt"], n, key="x" * 40), n), "wrong"),
    ("a salt changed to expire later",
     lambda c, n: payload(dict(c, salt=c["salt"].replace("?expires=", "?expires=9")), n), "wrong"),
    ("an expired challenge", lambda c, n: payload(signed("ab12?expires=%d&" % (time.time() - 5), 7), 7), "expired"),
    ("a challenge without expiry", lambda c, n: payload(signed("ab12", 7), 7), "malformed"),
])
def test_a_post_without_a_fresh_solution_is_refused_and_sends_nothing(site, state_dir, what, answer, verdict):
    site.write("quillopro.ini", own_challenge_settings(state_dir))
    challenge = json.loads(fetch_challenge(site).split(b"\r\n\r\n", 1)[1])
    fields = [] if answer is None else [("altcha", answer(challenge, solve(challenge)))]
    with smtp_server(CAPTCHA_MAIL_SERVER) as received:
        assert post(site, *fields) == REFUSED_ANSWER, what
    assert received == []
    assert " spam recipients=0 captcha=%s settings=" % verdict in site.last_log_line


def test_a_solution_is_accepted_once_and_its_field_is_not_mailed(site, state_dir):
    site.write("quillopro.ini", own_challenge_settings(state_dir, "log = off\n"))
    challenge = json.loads(fetch_challenge(site).split(b"\r\n\r\n", 1)[1])
    solution = ("altcha", payload(challenge, solve(challenge)))
    with smtp_server(CAPTCHA_MAIL_SERVER) as received:
        assert post(site, solution) == OK_PAGE
        assert post(site, solution) == REFUSED_ANSWER
    assert len(received) == 1 and b"altcha" not in received[0].raw
    with open(os.path.join(state_dir, "spent-challenges")) as f:
        assert len(f.read().splitlines()) == 1


def test_a_solution_that_cannot_be_marked_spent_is_refused(site, state_dir):
    gone = os.path.join(state_dir, "gone")
    site.write("quillopro.ini", own_challenge_settings(gone))
    challenge = json.loads(fetch_challenge(site).split(b"\r\n\r\n", 1)[1])
    with smtp_server(CAPTCHA_MAIL_SERVER) as received:
        assert post(site, ("altcha", payload(challenge, solve(challenge)))) == REFUSED_ANSWER
    assert received == []
    assert ' captcha=unavailable detail="cannot record the solved challenge in ' in site.last_log_line


def test_json_redirect_and_debug_answers_keep_the_refusal(site, state_dir):
    site.write("quillopro.ini", own_challenge_settings(state_dir, "json = on\nerror_redirect = /sorry.html\n"))
    with smtp_server(CAPTCHA_MAIL_SERVER) as received:
        json_answer = post(site, env={"HTTP_ACCEPT": "application/json"})
        redirect = post(site)
        debug = post(site, ("QUILLO_DEBUG", "ON"))
    assert json_answer.startswith(b"Status: 403 Forbidden\r\nContent-Type: application/json")
    assert json.loads(json_answer.split(b"\r\n\r\n", 1)[1]) == {
        "ok": False, "error": "QUILLO! ERROR 903 - spam check failed Please reload the form and send it again.",
        "code": 903}
    assert redirect.startswith(b"Status: 303 See Other\r\nLocation: /sorry.html\r\n")
    assert debug == redirect
    assert received == []


@pytest.mark.parametrize("settings, line", [
    ("[captcha]\nprovider = altcha\n", 2),
    ("[site]\nstate_dir = /tmp\n[captcha]\nprovider = altcha\nsecret = short\n", 5),
    ("[captcha]\nprovider = altcha\nsecret = %s\n" % KEY, 2),
    ("[captcha]\nsecret = %s\n" % KEY, 2),
    ("[captcha]\nprovider = turnstile\nsecret = x\nverify_url = http://verify.example.test/\n", 4),
])
def test_a_captcha_that_cannot_work_stops_every_post(site, settings, line):
    site.write("quillopro.ini", settings)
    log = []
    out, _ = site.run(form(*DOCS), log=log)
    assert out == error_page("QUILLO! ERROR 604<br>SETTINGS FILE INVALID<br><br>quillopro.ini<br>line %d" % line)
    assert len(log) == 1 and "quillopro.ini line %d: " % line in log[0]


def node(*args, stdin=None):
    proc = subprocess.run(["node", os.path.join(NODE_MODULES, "altcha_interop.mjs"), *args], input=stdin,
                          cwd=NODE_MODULES, capture_output=True, check=True, timeout=60)
    return json.loads(proc.stdout)


def test_the_reference_library_and_the_program_accept_each_others_challenges(site, state_dir):
    site.write("quillopro.ini", own_challenge_settings(state_dir, "log = off\n"))
    issued = node("solve", KEY, stdin=fetch_challenge(site).split(b"\r\n\r\n", 1)[1])
    made = node("make", KEY, str(int(time.time()) + 300))
    other_key = node("make", "y" * 40, str(int(time.time()) + 300))
    assert issued["verified"] and made["verified"]
    with smtp_server(CAPTCHA_MAIL_SERVER) as received:
        assert post(site, ("altcha", issued["payload"])) == OK_PAGE
        assert post(site, ("altcha", made["payload"])) == OK_PAGE
        assert post(site, ("altcha", other_key["payload"])) == REFUSED_ANSWER
    assert len(received) == 2


# --- the hosted CAPTCHAs ---------------------------------------------------

@pytest.fixture(scope="module")
def certificates():
    """A throwaway CA, and certificates it signs for the verification host and for another name."""
    folder = tempfile.mkdtemp(prefix="quillo-verify-tls-")
    yield make_certificates(folder, (VERIFY_HOST, "other.example.test"))
    shutil.rmtree(folder, ignore_errors=True)


TURNSTILE_PASS = "1x0000000000000000000000000000000AA"
TURNSTILE_FAIL = "2x0000000000000000000000000000000AA"
DUMMY_TOKEN = "XXXX.DUMMY.TOKEN.XXXX"


def provider_answer(form_fields):
    """What the providers' documented test secrets answer."""
    secret = form_fields.get("secret", [""])[0]
    token = form_fields.get("response", [""])[0]
    if secret == TURNSTILE_PASS and token == DUMMY_TOKEN:
        return {"success": True, "hostname": "www.example.com", "error-codes": []}
    if secret == "low-score":
        return {"success": True, "score": 0.2, "hostname": "www.example.com"}
    return {"success": False, "error-codes": ["invalid-input-response", "bad\nword"]}


@contextlib.contextmanager
def siteverify_server(certificates, behaviour="json", cert=VERIFY_HOST):
    """An HTTPS siteverify service on the verification address; yields the forms it was posted."""
    posted = []

    class Handler(QuietHandler):
        def do_POST(self):
            body = self.rfile.read(int(self.headers["Content-Length"]))
            fields = parse_qs(body.decode())
            posted.append((self.path, self.headers["Content-Type"], fields))
            answer = json.dumps(provider_answer(fields)).encode()
            if behaviour == "slow":
                time.sleep(3)
            status = 500 if behaviour == "status 500" else 200
            self.send_response(status)
            self.send_header("Content-Type", "application/json")
            if behaviour == "chunked":
                self.send_header("Transfer-Encoding", "chunked")
                self.end_headers()
                for piece in (answer[:5], answer[5:]):
                    self.wfile.write(b"%x\r\n%s\r\n" % (len(piece), piece))
                self.wfile.write(b"0\r\n\r\n")
                return
            if behaviour == "not json":
                answer = b"<html>success: true</html>"
            if behaviour == "too large":
                answer = b'{"success": true, "padding": "' + b"x" * 100000 + b'"}'
            self.send_header("Content-Length", str(len(answer)))
            self.end_headers()
            self.wfile.write(answer)

    with https_server(CAPTCHA_VERIFY_SERVER, Handler, certificates, cert):
        with dns_server(CAPTCHA_DNS_SERVER, a={VERIFY_HOST: CAPTCHA_VERIFY_SERVER}):
            yield posted


@pytest.fixture
def hosted_site(site, certificates):
    with open(site.resolv_conf, "w") as f:
        f.write("nameserver %s\noptions timeout:1 attempts:1\n" % CAPTCHA_DNS_SERVER)
    return site


def hosted_settings(certificates, provider="turnstile", secret=TURNSTILE_PASS, extra=""):
    return ("[captcha]\nprovider = %s\nsecret = %s\nverify_url = https://%s/siteverify\ntimeout = 1\n"
            "tls_ca_file = %s\n%s" % (provider, secret, VERIFY_HOST, os.path.join(certificates, "ca.pem"), extra))


@pytest.mark.parametrize("what, provider, secret, extra, behaviour, cert, verdict, logged", [
    ("the always-pass test secret", "turnstile", TURNSTILE_PASS, "", "json", VERIFY_HOST, "passed", ""),
    ("a chunked answer", "turnstile", TURNSTILE_PASS, "", "chunked", VERIFY_HOST, "passed", ""),
    ("the expected host name", "turnstile", TURNSTILE_PASS, "expected_hostname = www.example.com\n", "json",
     VERIFY_HOST, "passed", ""),
    ("the always-fail test secret", "turnstile", TURNSTILE_FAIL, "", "json", VERIFY_HOST, "refused",
     ' error-codes=invalid-input-response,bad?word detail="success is not true"'),
    ("a low score", "recaptcha", "low-score", "min_score = 0.5\n", "json", VERIFY_HOST, "refused",
     ' detail="score 0.20 below 0.50"'),
    ("another host name", "hcaptcha", TURNSTILE_PASS, "expected_hostname = shop.example.com\n", "json",
     VERIFY_HOST, "refused", ' detail="hostname www.example.com"'),
    ("a server past the time-out", "turnstile", TURNSTILE_PASS, "", "slow", VERIFY_HOST, "unavailable",
     ' detail="answer %s: timeout ' % VERIFY_HOST),
    ("a certificate for another name", "turnstile", TURNSTILE_PASS, "", "json", "other.example.test",
     "unavailable", ' detail="tls %s: certificate ' % VERIFY_HOST),
    ("a 200 that is no JSON", "turnstile", TURNSTILE_PASS, "", "not json", VERIFY_HOST, "unavailable",
     ' detail="not a JSON object"'),
    ("an answer larger than the cap", "turnstile", TURNSTILE_PASS, "", "too large", VERIFY_HOST, "unavailable",
     ' detail="answer %s: broken an answer larger than 65536 bytes"' % VERIFY_HOST),
    ("a server error", "turnstile", TURNSTILE_PASS, "", "status 500", VERIFY_HOST, "unavailable",
     ' detail="%s answered HTTP 500"' % VERIFY_HOST),
])
def test_a_hosted_captcha_passes_only_on_the_providers_yes(hosted_site, certificates, what, provider, secret,
                                                           extra, behaviour, cert, verdict, logged):
    site = hosted_site
    site.write("quillopro.ini", "[site]\nlog = stderr\n" + hosted_settings(certificates, provider, secret, extra))
    field = {"turnstile": "cf-turnstile-response", "hcaptcha": "h-captcha-response",
             "recaptcha": "g-recaptcha-response"}[provider]
    fields = [(field, DUMMY_TOKEN)] + ([("g-recaptcha-response", DUMMY_TOKEN)] if provider == "hcaptcha" else [])
    with siteverify_server(certificates, behaviour, cert) as posted, \
            smtp_server(CAPTCHA_MAIL_SERVER) as received:
        out = post(site, *fields, env={"REMOTE_ADDR": "192.0.2.7"})
    if verdict == "passed":
        assert out == OK_PAGE, what
        assert len(received) == 1 and DUMMY_TOKEN.encode() not in received[0].raw
        assert site.last_log_line is None
    else:
        assert out == REFUSED_ANSWER, what
        assert received == []
        assert (" spam recipients=0 captcha=%s%s" % (verdict, logged)) in site.last_log_line, site.last_log_line
    if cert == VERIFY_HOST:
        assert posted[0][:2] == ("/siteverify", "application/x-www-form-urlencoded")
        assert posted[0][2] == {"secret": [secret], "response": [DUMMY_TOKEN], "remoteip": ["192.0.2.7"]}


def test_a_post_without_the_widgets_field_never_asks_the_provider(hosted_site, certificates):
    hosted_site.write("quillopro.ini", hosted_settings(certificates))
    with siteverify_server(certificates) as posted, smtp_server(CAPTCHA_MAIL_SERVER) as received:
        assert post(hosted_site) == REFUSED_ANSWER
    assert posted == [] and received == []
    assert " captcha=missing " in hosted_site.last_log_line
