"""Real web servers as CGI hosts for quillopro.exe, on loopback ports."""

import contextlib
import http.client
import os
import shutil
import socket
import subprocess
import tempfile
import time

import pytest

from cgi_site import WINDOWS, runner_environment, with_private_resolver


def cgi_handler(work):
    """What lighttpd starts a .exe with: nothing for a program of this
    machine; for a Windows build a script that starts it under wine, in this
    run's prefix (lighttpd passes no environment of its own to CGI programs)."""
    if not WINDOWS:
        return ""
    handler = os.path.join(work, "wine-cgi")
    with open(handler, "w") as f:
        f.write("#!/bin/sh\n")
        for name, value in runner_environment().items():
            f.write("export %s='%s'\n" % (name, value))
        f.write('exec wine "$1"\n')
    os.chmod(handler, 0o755)
    return handler


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
                'mimetype.assign = ( ".htm" => "text/html", ".html" => "text/html" )\n'
                '$HTTP["url"] =~ "^/cgi-bin/" { cgi.assign = ( ".exe" => "%s" ) }\n'
                % (document_root or work, port, work, cgi_dir, cgi_handler(work)))
    try:
        with running(with_private_resolver(resolv_conf, ["/usr/sbin/lighttpd", "-D", "-f", conf]), port):
            yield port
    finally:
        shutil.rmtree(work, ignore_errors=True)


@contextlib.contextmanager
def apache(cgi_dir, resolv_conf):
    """Apache in one process, /cgi-bin/ mapped to cgi_dir, CGI programs run as
    nobody and resolve names through resolv_conf."""
    if WINDOWS:
        pytest.skip("Apache runs CGI programs as nobody, whose wine would need a prefix and wineserver of its own")
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
            "ErrorLog %s/error.log" % work,
            "DocumentRoot %s" % work,
            'ScriptAlias /cgi-bin/ "%s/"' % cgi_dir,
            '<Directory "%s">' % cgi_dir,
            "  Options +ExecCGI", "  AddHandler cgi-script .exe", "  Require all granted",
            "</Directory>", ""]))
    os.chmod(work, 0o755)
    try:
        with running(with_private_resolver(resolv_conf, ["/usr/sbin/apache2", "-X", "-f", conf]), port):
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
