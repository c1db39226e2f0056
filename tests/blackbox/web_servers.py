"""Real web servers as CGI hosts for quillopro.exe, on loopback ports."""

import contextlib
import http.client
import os
import shlex
import shutil
import socket
import subprocess
import tempfile
import time

from cgi_site import WINDOWS, WINE_LAUNCHER, runner_environment, with_private_resolver


def wine_script(path, environment, *lines):
    """Writes a shell script at path that exports the wine variables of
    environment (web servers pass no environment of their own to CGI
    programs) and runs lines."""
    with open(path, "w") as f:
        f.write("#!/bin/sh\n")
        for name, value in environment.items():
            f.write("export %s='%s'\n" % (name, value))
        f.write("".join(line + "\n" for line in lines))
    os.chmod(path, 0o755)
    return path


def cgi_handler(work):
    """What lighttpd starts a .exe with: nothing for a program of this
    machine; for a Windows build a script that starts it under wine, in this
    run's prefix."""
    if not WINDOWS:
        return ""
    return wine_script(os.path.join(work, "wine-cgi"), runner_environment(), 'exec wine "$1"')


# The wine prefix of nobody, whom Apache runs CGI programs as
# (scripts/wine-session.sh makes it, with a wineserver in the run's network).
NOBODY_WINEPREFIX = os.environ.get("QUILLO_NOBODY_WINEPREFIX", "")


def windows_programs_for_apache(cgi_dir, work):
    """For a Windows build, the command that starts Apache with every .exe of
    cgi_dir seen, by Apache alone, as a script that runs the program under
    wine as nobody; for a program of this machine nothing.

    Apache runs a CGI program by exec, which this machine cannot do with a
    Windows program, and so in Apache's mount namespace a script takes the
    program's place, at its path: Apache starts it as it would the program (argv[0]
    its path, the program's folder as working folder, the variables of the
    request untouched). The script starts a copy of the program through the
    launcher with that same path, in Windows form, as the program's argv[0]
    (the words Apache adds for a query without "=" are left out: the program
    reads none), so that the program finds its documents beside it as ever.
    Everybody else, tests included, still sees the site's own files."""
    if not WINDOWS:
        return []
    assert NOBODY_WINEPREFIX, "run under scripts/wine-session.sh, which makes the wine prefix of nobody"
    programs = os.path.join(work, "windows")
    os.mkdir(programs)
    os.chmod(programs, 0o755)
    launcher = shutil.copy(WINE_LAUNCHER, programs)
    script = wine_script(os.path.join(work, "wine-cgi"), dict(runner_environment(), WINEPREFIX=NOBODY_WINEPREFIX),
                         "# $0 is the path Apache started, the program's.",
                         r'''shown_path="Z:$(printf %s "$0" | tr / '\\')"''',
                         r'''exec wine '%s' '%s/'"${0##*/}" "\"$shown_path\""''' % (launcher, programs))
    mounts = ""
    for name in sorted(os.listdir(cgi_dir)):
        if name.endswith(".exe"):
            shutil.copy(os.path.join(cgi_dir, name), programs)
            mounts += "mount --bind %s %s && " % (shlex.quote(script), shlex.quote(os.path.join(cgi_dir, name)))
    return ["/bin/sh", "-c", mounts + 'exec "$@"', "windows-programs"]


def free_port(host="127.0.0.1"):
    with socket.socket() as s:
        s.bind((host, 0))
        return s.getsockname()[1]


def wait_for_port(port, proc, seconds=10):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if proc.poll() is not None:
            raise RuntimeError("web server ended early: %s" % proc.stderr.read().decode(errors="replace"))
        with socket.socket() as s:
            if s.connect_ex(("127.0.0.1", port)) == 0:
                return
        time.sleep(0.02)
    raise RuntimeError("web server did not listen on %d" % port)


@contextlib.contextmanager
def running(cmd, port):
    proc = subprocess.Popen(cmd, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    try:
        wait_for_port(port, proc)
        yield port
    finally:
        proc.terminate()
        try:
            proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()


@contextlib.contextmanager
def lighttpd(cgi_dir, resolv_conf, document_root=None):
    """lighttpd serving cgi_dir under /cgi-bin/, .exe files run as CGI programs
    that resolve names through resolv_conf, and document_root's pages under /."""
    port = free_port()
    work = tempfile.mkdtemp(prefix="quillo-lighttpd-")
    conf = os.path.join(work, "lighttpd.conf")
    with open(conf, "w") as f:
        f.write('server.modules = ( "mod_alias", "mod_cgi" )\n'
                'server.document-root = "%s"\n'
                'server.bind = "127.0.0.1"\nserver.port = %d\n'
                'server.errorlog = "%s/error.log"\n'
                'alias.url = ( "/cgi-bin/" => "%s/" )\n'
                'mimetype.assign = ( ".htm" => "text/html", ".html" => "text/html", ".js" => "text/javascript" )\n'
                '$HTTP["url"] =~ "^/cgi-bin/" { cgi.assign = ( ".exe" => "%s" ) }\n'
                % (document_root or work, port, work, cgi_dir, cgi_handler(work)))
    try:
        with running(with_private_resolver(resolv_conf, ["/usr/sbin/lighttpd", "-D", "-f", conf]), port):
            yield port
    finally:
        shutil.rmtree(work, ignore_errors=True)


@contextlib.contextmanager
def apache(cgi_dir, resolv_conf, error_log=None):
    """Apache in one process, /cgi-bin/ mapped to cgi_dir, CGI programs run as
    nobody (a Windows build's under wine) and resolve names through
    resolv_conf; it logs to error_log when one is named."""
    port = free_port()
    work = tempfile.mkdtemp(prefix="quillo-apache-")
    modules = "/usr/lib/apache2/modules"
    conf = os.path.join(work, "apache2.conf")
    with open(conf, "w") as f:
        f.write("\n".join([
            "LoadModule mpm_prefork_module %s/mod_mpm_prefork.so" % modules,
            "LoadModule authz_core_module %s/mod_authz_core.so" % modules,
            "LoadModule mime_module %s/mod_mime.so" % modules,
            "LoadModule alias_module %s/mod_alias.so" % modules,
            "LoadModule dir_module %s/mod_dir.so" % modules,
            "LoadModule cgi_module %s/mod_cgi.so" % modules,
            "ServerName localhost",
            "TypesConfig /dev/null",
            "Listen 127.0.0.1:%d" % port,
            "User nobody", "Group nogroup",
            "PidFile %s/httpd.pid" % work,
            "Mutex file:%s default" % work,
            "DefaultRuntimeDir %s" % work,
            "ErrorLog %s" % (error_log or os.path.join(work, "error.log")),
            "DocumentRoot %s" % work,
            'ScriptAlias /cgi-bin/ "%s/"' % cgi_dir,
            '<Directory "%s">' % cgi_dir,
            "  Options +ExecCGI", "  AddHandler cgi-script .exe", "  Require all granted",
            "</Directory>", ""]))
    os.chmod(work, 0o755)
    try:
        command = windows_programs_for_apache(cgi_dir, work) + ["/usr/sbin/apache2", "-X", "-f", conf]
        with running(with_private_resolver(resolv_conf, command), port):
            yield port
    finally:
        shutil.rmtree(work, ignore_errors=True)


def post(port, path, body, headers=None):
    """Posts a form; returns (status, content type, body bytes)."""
    conn = http.client.HTTPConnection("127.0.0.1", port, timeout=60)
    try:
        all_headers = {"Content-Type": "application/x-www-form-urlencoded", "User-Agent": "TestAgent/1.0"}
        all_headers.update(headers or {})
        conn.request("POST", path, body=body, headers=all_headers)
        response = conn.getresponse()
        return response.status, response.getheader("Content-Type"), response.read()
    finally:
        conn.close()


def get(port, path):
    """Opens an address as a browser does; returns (status, content type, body bytes)."""
    conn = http.client.HTTPConnection("127.0.0.1", port, timeout=60)
    try:
        conn.request("GET", path, headers={"User-Agent": "TestAgent/1.0"})
        response = conn.getresponse()
        return response.status, response.getheader("Content-Type"), response.read()
    finally:
        conn.close()
