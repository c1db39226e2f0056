"""A web site folder with quillopro.exe in it, and runs of the program as a
web server starts it: argv[0], a CGI environment without PATH, the body on
standard input, the program's folder as working directory.

With QUILLOPRO_RUNNER=wine the program is a Windows build, started under
wine in the prefix the environment names (scripts/wine-session.sh makes
one); what legitimately differs on Windows is a parameter of the tests:
WINDOWS, and the paths the program shows (Site.shown)."""

import os
import re
import shutil
import subprocess
import tempfile
from addresses import NO_DNS_SERVER

PROGRAM = os.environ.get("QUILLOPRO_EXE", "")
# The same program linked dynamically, for tests that preload a library.
DYNAMIC_PROGRAM = os.environ.get("QUILLOPRO_DYNAMIC_EXE", PROGRAM)

# How the program is started: by itself, or under wine for a Windows build.
RUNNER = os.environ.get("QUILLOPRO_RUNNER", "")
WINDOWS = RUNNER == "wine"
# A Windows program that starts another under a command line of its own
# choosing: wine gives a program no other first word than its path.
WINE_LAUNCHER = os.environ.get("QUILLO_WINE_LAUNCHER", "")
# What wine itself needs of the environment, on top of the CGI variables.
WINE_VARIABLES = ("WINEPREFIX", "WINEDEBUG", "WINEDLLOVERRIDES", "WINESERVER")


def windows_path(path):
    """A path of this machine as a Windows program under wine sees it: on the
    drive Z:, which wine maps to the root folder."""
    return "Z:" + path.replace("/", "\\") if path.startswith("/") else path


def shown_path(path):
    """A path of this machine as the program shows it: on Windows as wine
    names it."""
    return windows_path(path) if WINDOWS else path


def program_command(program, argv0=None):
    """The command that starts program (under wine for a Windows build), as
    argv0 when given."""
    if not WINDOWS:
        return [program]
    if argv0 is None:
        return ["wine", program]
    return ["wine", WINE_LAUNCHER, program, windows_path(argv0)]


def runner_environment():
    """What the runner needs in a program's environment besides the CGI's."""
    return {k: os.environ[k] for k in WINE_VARIABLES if WINDOWS and k in os.environ}

CGI_DEFAULTS = {
    "GATEWAY_INTERFACE": "CGI/1.1",
    "REQUEST_METHOD": "POST",
    "CONTENT_TYPE": "application/x-www-form-urlencoded",
    "SCRIPT_NAME": "/cgi-bin/quillopro.exe",
    "SERVER_NAME": "",
    "REMOTE_ADDR": "127.0.0.1",
    "HTTP_USER_AGENT": "TestAgent/1.0",
}


# The line a run logs to standard error without a log file, when something
# went wrong (a success logs nothing there).
RUN_LOG_LINE = re.compile(r"^quillopro\.exe: \d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ \S+ \S+ recipients=\d+"
                          r"( reply=(sent|failed|skipped))?"
                          r"( captcha=\S+( error-codes=\S+)?( detail=\"[^\"]*\")?)?"
                          r"(( undelivered=\d+)?( to=<\S*>)? step=\S* host=\S* reply=\"[^\"]*\""
                          r"( code=\d+)?( error=\S+| error=\"message too large\")?( failure=(temporary|permanent))?)*"
                          r" settings=\S+ transport=(smtp|sendmail)$")



def resolv_conf(nameserver):
    """A resolver configuration file that sends every query to nameserver."""
    fd, path = tempfile.mkstemp(prefix="quillo-resolv-", suffix=".conf")
    with os.fdopen(fd, "w") as f:
        f.write("nameserver %s\noptions timeout:1 attempts:1\n" % nameserver)
    os.chmod(path, 0o644)
    return path


def with_private_resolver(conf, command, argv0=None):
    """command, started as argv0, with conf as the /etc/resolv.conf of it and
    its children, in a mount namespace of their own."""
    script = 'mount --bind "$1" /etc/resolv.conf && name="$2" && shift 2 && exec -a "$name" "$@"'
    return ["/usr/bin/unshare", "--mount", "--propagation", "private", "/bin/bash", "-c", script,
            "private-resolver", conf, argv0 or command[0]] + list(command)


def crlf(text):
    """What a text written to standard output becomes: every LF as CR LF."""
    return text.replace("\n", "\r\n").encode("latin-1")


def error_page(message):
    return crlf("Content-Type: text/html\n\n<html>\n<header></header><body>\n"
                "<HR><BR><h2>" + message + "</h2></body></html>")


def document_page(text):
    return crlf("Content-Type: text/html\n\n" + text)


class Site:
    def __init__(self, name="quillopro.exe", nameserver=NO_DNS_SERVER, program=None):
        self.resolv_conf = resolv_conf(nameserver)
        self.dir = tempfile.mkdtemp(prefix="quillo-site-")
        os.chmod(self.dir, 0o755)
        self.program = os.path.join(self.dir, name)
        shutil.copy(program or PROGRAM, self.program)

    def close(self):
        shutil.rmtree(self.dir, ignore_errors=True)
        os.unlink(self.resolv_conf)

    def write(self, name, content):
        path = os.path.join(self.dir, name)
        with open(path, "wb") as f:
            f.write(content.encode("latin-1") if isinstance(content, str) else content)
        os.chmod(path, 0o644)
        return path

    def path(self, name):
        return os.path.join(self.dir, name)

    def shown(self, name):
        """The path of a file next to the program as the program shows it: on
        Windows its folder comes from the program's own path, lower-cased."""
        if not WINDOWS:
            return self.path(name)
        return windows_path(self.dir).lower() + "\\" + name

    last_log_line = None

    def run(self, body=b"", env=None, content_length="auto", argv0=None, stdin=None, timeout=30, log=None,
            wrapper=()):
        """Runs one request; returns (standard output bytes, exit status). The
        program writes its one log line to standard error (kept in
        last_log_line) and nothing else there unless log is a list, which then
        receives the other lines it wrote. wrapper is a command that starts
        the program, such as prlimit."""
        if isinstance(body, str):
            body = body.encode("latin-1")
        cgi_env = dict(CGI_DEFAULTS)
        if content_length == "auto":
            cgi_env["CONTENT_LENGTH"] = str(len(body))
        elif content_length is not None:
            cgi_env["CONTENT_LENGTH"] = content_length
        cgi_env.update(env or {})
        cgi_env = {k: v for k, v in cgi_env.items() if v is not None}
        cgi_env.update(runner_environment())
        if WINDOWS:
            command = with_private_resolver(self.resolv_conf, [*wrapper, *program_command(self.program, argv0)])
        else:
            command = with_private_resolver(self.resolv_conf, [*wrapper, self.program], argv0)
        proc = subprocess.run(command, cwd=self.dir, env=cgi_env,
                              input=None if stdin is not None else body, stdin=stdin,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=timeout)
        lines = proc.stderr.decode("latin-1").splitlines()
        run_lines = [line for line in lines if RUN_LOG_LINE.match(line)]
        assert len(run_lines) <= 1, lines
        self.last_log_line = run_lines[0] if run_lines else None
        notes = [line for line in lines if line not in run_lines]
        if log is None:
            assert notes == [], notes
        else:
            log.extend(notes)
        return proc.stdout, proc.returncode


def without_source(line, transport="smtp"):
    """The log line without its settings= and transport= words, which name
    the site's quillopro.ini (as the program's platform spells the path)."""
    found = re.fullmatch(r"(.*) settings=\S*quillopro\.ini transport=(\w+)", line)
    assert found and found.group(2) == transport, line
    return found.group(1)


def form(*pairs):
    """A URL-encoded body from (name, value) pairs, encoded the way browsers do."""
    from urllib.parse import urlencode
    return urlencode(list(pairs), encoding="latin-1")
