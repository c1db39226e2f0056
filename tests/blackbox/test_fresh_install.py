"""The README's install, walked on a fresh Debian 12 root (fresh_install.sh)
as a new site owner follows it: apt-get install the package, edit the
marked lines of /etc/quillo/quillopro.ini, quillo check --connect, quillo
send-test, then the sample site through Apache (a2enconf quillo) and
through nginx + fcgiwrap (the snippet), with the relay on the mail host of
two_hosts.sh. Prints what the install took and how long the way to the
first mail was."""

import glob
import json
import os
import re
import shutil
import subprocess
import tempfile
import time
import urllib.error
import urllib.parse
import urllib.request

import pytest

ROOT = os.environ.get("QUILLO_FRESH_ROOT", "")
DEB = os.environ.get("QUILLO_FRESH_DEB", "")
MAIL_HOST = os.environ.get("QUILLO_MAIL_HOST", "").split()
WEB_IP = os.environ.get("QUILLO_WEB_IP", "")
RELAY_IP = os.environ.get("QUILLO_RELAY_IP", "")
MAIL_IP = os.environ.get("QUILLO_MAIL_IP", "")
EXAMPLES = "/usr/share/doc/quillo/examples"

pytestmark = pytest.mark.skipif(not ROOT, reason="runs under tests/blackbox/fresh_install.sh")


def chroot(*command, check=True):
    run = subprocess.run(["chroot", ROOT, *command], stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                         text=True, timeout=120, env={"PATH": "/usr/sbin:/usr/bin:/sbin:/bin", "LANG": "C.UTF-8"})
    if check:
        assert run.returncode == 0, "%s: %s" % (" ".join(command), run.stdout)
    return run


class Relay:
    """The relay on the mail host, keeping what it takes as files."""

    def __init__(self):
        self.folder = tempfile.mkdtemp(prefix="quillo-fresh-relay-")
        script = os.path.join(os.path.dirname(__file__), "mail_host.py")
        self.server = subprocess.Popen(MAIL_HOST + ["/usr/bin/python3", script, MAIL_IP, RELAY_IP, self.folder,
                                                    json.dumps({"mx": {}, "a": {}})],
                                       stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        assert self.server.stdout.readline().strip() == "ready", self.server.stderr.read()

    def wait_for(self, count, seconds=30):
        deadline = time.monotonic() + seconds
        while len(glob.glob(os.path.join(self.folder, "*.json"))) < count and time.monotonic() < deadline:
            time.sleep(0.05)
        return sorted(glob.glob(os.path.join(self.folder, "*.json")), key=os.path.getmtime)

    def close(self):
        self.server.terminate()
        self.server.wait(timeout=10)
        shutil.rmtree(self.folder, ignore_errors=True)


@pytest.fixture
def relay():
    for point, kind in (("dev", None), ("proc", "proc")):
        subprocess.run(["mount", "--bind", "/dev", os.path.join(ROOT, "dev")] if kind is None else
                       ["mount", "-t", "proc", "proc", os.path.join(ROOT, point)], check=True)
    server = Relay()
    try:
        yield server
    finally:
        server.close()
        for point in ("proc", "dev"):
            subprocess.run(["umount", os.path.join(ROOT, point)])


def fetch_status(path):
    try:
        with urllib.request.urlopen("http://%s/%s" % (WEB_IP, path), timeout=30) as answer:
            return answer.status
    except urllib.error.HTTPError as refused:
        return refused.code


def post_sample_form():
    with open(os.path.join(ROOT, "var/www/html/contact.htm"), encoding="latin-1") as f:
        page = f.read()
    fields = re.findall(r'<input type="hidden" name="([^"]+)" value="([^"]*)"', page)
    typed = [("_FE_Email", "webmaster@example.com"), ("_R_Name", "Doe"), ("_R_FirstName", "Jo"),
             ("_R_Street", "1 Main St"), ("_R_City", "Springfield"), ("_R_Zip", "12345"), ("_R_Country", "Utopia")]
    body = urllib.parse.urlencode(fields + typed).encode()
    request = urllib.request.Request("http://%s/cgi-bin/quillopro.exe" % WEB_IP, data=body,
                                     headers={"Referer": "http://%s/contact.htm" % WEB_IP})
    with urllib.request.urlopen(request, timeout=30) as answer:
        return answer.status, answer.read()


def test_the_readme_install_delivers_from_a_fresh_root(relay):
    before = chroot("dpkg-query", "-W").stdout.count("\n")
    started = time.monotonic()
    chroot("apt-get", "install", "-y", "-q", DEB)
    installed = time.monotonic() - started
    added = chroot("dpkg-query", "-W").stdout.count("\n") - before
    size = chroot("dpkg-query", "-W", "-f=${Installed-Size}", "quillo").stdout

    # 1. The marked lines: the site's address, and the relay.
    settings = os.path.join(ROOT, "etc/quillo/quillopro.ini")
    with open(settings) as f:
        text = f.read()
    assert text.count("; EDIT:") == 2
    text = text.replace("host = mail.example.com\n", "host = %s\n" % RELAY_IP)
    with open(settings, "w") as f:
        f.write(text)

    # 2, 3. The admin command says all is well, and a test mail arrives.
    check = chroot("quillo", "check", "--connect", check=False)
    assert check.returncode == 0, check.stdout
    assert check.stdout.splitlines()[-1] == "OK    %s:25 greets the site (no TLS); no mail was sent" % RELAY_IP
    chroot("quillo", "send-test", "owner@example.org")
    assert len(relay.wait_for(1)) == 1

    # 4, 5. Apache with the package's configuration, and the sample site.
    chroot("a2enmod", "cgi")
    chroot("a2enconf", "quillo")
    chroot("sh", "-c", "cp %s/site/htdocs/* /var/www/html/ && cp %s/site/cgi-bin/* /usr/lib/cgi-bin/"
           % (EXAMPLES, EXAMPLES))
    # A copy of the settings where it does not belong is never served.
    chroot("cp", "/etc/quillo/quillopro.ini", "/var/www/html/quillopro.ini.bak")
    chroot("apache2ctl", "start")
    try:
        status, page = post_sample_form()
        first_mail = time.monotonic() - started
        assert fetch_status("quillopro.ini.bak") == 403
    finally:
        chroot("apache2ctl", "stop")
    assert status == 200 and b"Thank you, Jo Doe!" in page
    assert len(relay.wait_for(3)) == 3  # the form's mail and its automatic reply

    # nginx + fcgiwrap: the snippet, its include line, fcgiwrap by its init script.
    chroot("cp", EXAMPLES + "/nginx/quillo.conf", "/etc/nginx/snippets/quillo.conf")
    chroot("sed", "-i", r"s|^\tlocation / {|\tinclude snippets/quillo.conf;\n\n\tlocation / {|",
           "/etc/nginx/sites-available/default")
    chroot("/etc/init.d/fcgiwrap", "start")
    chroot("nginx")
    try:
        status, page = post_sample_form()
        assert fetch_status("quillopro.ini.bak") == 403
    finally:
        chroot("nginx", "-s", "stop")
        chroot("/etc/init.d/fcgiwrap", "stop", check=False)
    assert status == 200 and b"Thank you, Jo Doe!" in page
    assert len(relay.wait_for(5)) == 5

    # Every post logged in the package's log, none as an error of the web servers.
    with open(os.path.join(ROOT, "var/log/quillo/quillopro.log")) as f:
        assert [line.split()[2:4] for line in f] == [["sent", "recipients=1"]] * 2
    for log in ("var/log/apache2/error.log", "var/log/nginx/error.log"):
        with open(os.path.join(ROOT, log)) as f:
            assert " recipients=" not in f.read(), log
    print("install: %d package(s) added, Installed-Size %s KiB, %.1f s; first form mail %.1f s after apt-get"
          % (added, size, installed, first_mail))
