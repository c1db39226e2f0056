"""The sample site installed as the README says, served as its recipes for
stock Debian 12 say, on loopback ports. Each server runs in a mount namespace
of its own where temporary folders stand in for /usr/lib/cgi-bin, /var/www/html
and /run (and the test's resolver file for /etc/resolv.conf): the recipes and
Debian's own configuration files are used as they are, paths and all."""

import contextlib
import html
import os
import pathlib
import pwd
import re
import shutil
import subprocess
import tempfile
import time
from urllib.parse import urlencode

from cgi_site import NO_DNS_SERVER, PROGRAM, resolv_conf
from web_servers import free_port, post, running

REPO = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
SITE = os.path.join(REPO, "examples", "site")
NGINX_RECIPE = os.path.join(REPO, "examples", "nginx", "quillo.conf")
# The README's commands that install the sample site, run from the source.
INSTALL_SITE = "cp examples/site/htdocs/* /var/www/html/\ncp examples/site/cgi-bin/* /usr/lib/cgi-bin/\n"


@contextlib.contextmanager
def debian_site(program=PROGRAM, resolv=None):
    """Yields (run, work): run(argv) is argv in Debian's folders with the
    sample site and the program installed; work a folder www-data may write.
    Names are looked up as the resolver configuration resolv says, by default
    nowhere."""
    root = tempfile.mkdtemp(prefix="quillo-debian-")
    own_resolv = resolv is None
    mounts = {"/etc/resolv.conf": resolv or resolv_conf(NO_DNS_SERVER)}
    for name in ("/usr/lib/cgi-bin", "/var/www/html", "/run", "work"):
        mounts[name] = os.path.join(root, os.path.basename(name))
        os.mkdir(mounts[name])
        os.chmod(mounts[name], 0o755)
    os.chmod(root, 0o755)
    www_data = pwd.getpwnam("www-data")
    os.chown(mounts["work"], www_data.pw_uid, www_data.pw_gid)
    binds = "".join('mount --bind "%s" "%s" && ' % (mounts[t], t) for t in mounts if t.startswith("/"))

    def run(argv):
        return ["/usr/bin/unshare", "--mount", "--propagation", "private", "/bin/sh", "-c",
                binds + 'exec "$@"', "debian-folders", *argv]

    try:
        subprocess.run(run(["/bin/sh", "-ec", INSTALL_SITE + 'install -m 755 "$0" /usr/lib/cgi-bin/', program]),
                       cwd=REPO, check=True)
        yield run, mounts["work"]
    finally:
        if own_resolv:
            os.unlink(mounts["/etc/resolv.conf"])
        shutil.rmtree(root, ignore_errors=True)


def cgi_folder(site):
    """The folder that stands in for /usr/lib/cgi-bin in a debian_site."""
    _, work = site
    return os.path.join(os.path.dirname(work), "cgi-bin")


def write(path, text):
    pathlib.Path(path).write_text(text)
    return path


@contextlib.contextmanager
def apache(site):
    """Apache as `a2enmod cgi` leaves stock Debian: the event MPM, mod_cgid,
    www-data, Debian's serve-cgi-bin.conf and document root."""
    run, work = site
    port = free_port()
    conf = write(os.path.join(work, "apache2.conf"), "\n".join(
        ["LoadModule %s_module /usr/lib/apache2/modules/mod_%s.so" % (m, m)
         for m in ("mpm_event", "authz_core", "alias", "mime", "dir", "cgid")]
        + ["ServerName localhost", "Listen 127.0.0.1:%d" % port, "User www-data", "Group www-data",
           "PidFile {0}/httpd.pid", "Mutex file:{0} default", "DefaultRuntimeDir {0}", "ScriptSock {0}/cgisock",
           "ErrorLog {0}/error.log", "TypesConfig /etc/mime.types", "DocumentRoot /var/www/html",
           "<Directory />", "Require all denied", "</Directory>", "<Directory /var/www/>", "Require all granted",
           "</Directory>", "Include /etc/apache2/conf-available/serve-cgi-bin.conf", ""]).format(work))
    with running(run(["/usr/sbin/apache2", "-X", "-f", conf]), port):
        yield port


@contextlib.contextmanager
def lighttpd(site):
    """lighttpd as `lighty-enable-mod cgi` leaves stock Debian: the modules
    and user of its lighttpd.conf, and its 10-cgi.conf."""
    run, work = site
    port = free_port()
    conf = write(os.path.join(work, "lighttpd.conf"), """\
server.modules = ( "mod_indexfile", "mod_access", "mod_alias", "mod_redirect" )
server.document-root = "/var/www/html"
server.username = "www-data"
server.groupname = "www-data"
server.bind = "127.0.0.1"
server.port = %d
server.errorlog = "%s/error.log"
include_shell "/usr/share/lighttpd/create-mime.conf.pl"
include "/etc/lighttpd/conf-available/10-cgi.conf"
server.modules += ( "mod_staticfile" )
""" % (port, work))
    with running(run(["/usr/sbin/lighttpd", "-D", "-f", conf]), port):
        yield port


@contextlib.contextmanager
def nginx(site):
    """Debian's default server block (server_name _) with the recipe included in it, and
    fcgiwrap started as Debian's init script starts it (spawn-fcgi, www-data)."""
    run, work = site
    port = free_port()
    conf = write(os.path.join(work, "nginx.conf"), """\
user www-data; daemon off; pid {0}/nginx.pid; error_log {0}/error.log;
events {{}}
http {{
  include /etc/nginx/mime.types; access_log off;
  client_body_temp_path {0}/body; fastcgi_temp_path {0}/fastcgi; proxy_temp_path {0}/proxy;
  uwsgi_temp_path {0}/uwsgi; scgi_temp_path {0}/scgi;
  server {{
    listen 127.0.0.1:{1}; root /var/www/html; index index.html index.htm; server_name _;
    location / {{ try_files $uri $uri/ =404; }}
    include {2};
  }}
}}
""".format(work, port, NGINX_RECIPE))
    spawn = ["/usr/bin/spawn-fcgi", "-n", "-s", "/run/fcgiwrap.socket", "-u", "www-data", "-g", "www-data",
             "-U", "www-data", "-G", "www-data", "--", "/usr/sbin/fcgiwrap", "-f"]
    wrapper = subprocess.Popen(run(spawn), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    try:
        deadline = time.monotonic() + 10
        while not os.path.exists(os.path.join(work, "..", "run", "fcgiwrap.socket")):
            assert wrapper.poll() is None and time.monotonic() < deadline, "fcgiwrap did not start"
            time.sleep(0.02)
        # nginx joins fcgiwrap's mount namespace, where the socket is.
        with running(["/usr/bin/nsenter", "--target", str(wrapper.pid), "--mount", "--", "/usr/sbin/nginx",
                      "-e", os.path.join(work, "error.log"), "-c", conf], port):
            yield port
    finally:
        wrapper.terminate()
        wrapper.wait(timeout=10)


def form_fields(page):
    """A form page's fields as a browser sends them: (name, value) in order."""
    fields = re.findall(r'<(input|textarea) (?:type="(\w+)" )?(?:size="\d+" )?name="([^"]+)"(?: value="([^"]*)")?',
                        page)
    return [(name, value or ("Submit" if kind == "submit" else "")) for _, kind, name, value in fields]


def post_sample_form(port, smtp_host, **typed):
    """Posts the sample form with what the visitor typed (name: value). The
    form names a mail server on the web server itself (127.0.0.1); the post
    names smtp_host instead, the one field it changes."""
    with open(os.path.join(SITE, "htdocs", "contact.htm"), encoding="latin-1") as f:
        fields = form_fields(f.read())
    assert set(typed) <= {name for name, _ in fields}, typed
    fields = [(name, smtp_host if name == "QUILLO_SERVER" else typed.get(name, value)) for name, value in fields]
    return post(port, "/cgi-bin/quillopro.exe", urlencode(fields, encoding="latin-1"))


def sample_page(name, **values):
    """A sample document as quillopro.exe sends it: placeholders filled with
    HTML-escaped values, lines ended with CR LF."""
    with open(os.path.join(SITE, "cgi-bin", name), encoding="latin-1") as f:
        text = f.read()
    for key, value in values.items():
        text = text.replace("##%s##" % key, html.escape(value).replace("&#x27;", "&#39;"))
    return text.replace("\n", "\r\n").encode("latin-1")
