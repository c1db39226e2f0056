"""A private Postfix instance for tests: the local mail system a program hands
mail to through its sendmail command.

Everything the instance owns lives in one temporary folder: its
config_directory (main.cf, master.cf), queue_directory, data_directory and
log file. Its SMTP server listens on host:25 only, so it never meets a
system instance or another test's. Mail for example.test goes to one
virtual Maildir; mail for any other domain goes to the relay when one is
given and otherwise waits in the deferred queue: nothing leaves loopback.

    with postfix("127.0.0.150") as mta:
        ...  # the program runs mta.sendmail_path -i -f SENDER -- RCPT...
        [message] = mta.messages(1)
        assert mta.deferred("someone@example.org") is None

The sendmail command takes an instance's directory only from root (or
from a directory listed in the system's own main.cf), so the program must
run as root: under lighttpd, not under Apache as nobody.
"""

import contextlib
import json
import mailbox
import os
import shutil
import signal
import subprocess
import tempfile
import time

POSTFIX = "/usr/sbin/postfix"
POSTQUEUE = "/usr/sbin/postqueue"
SENDMAIL = "/usr/sbin/sendmail"

# The domain the instance delivers itself, and the mailbox all its users share.
DOMAIN = "example.test"
USERS = ("user", "webmaster", "sender", "info")

# The virtual delivery agent writes as this uid and gid: it refuses root, and
# nobody owns nothing else here.
MAILBOX_OWNER = 65534

# Generous bounds for a loaded machine; a healthy instance needs a fraction
# of a second for each.
START_SECONDS = 30
STOP_SECONDS = 30
DELIVERY_SECONDS = 30

MASTER_CF = """\
# service type  private unpriv  chroot  wakeup  maxproc command
{host}:smtp inet n      -       n       -       -       smtpd
pickup    unix  n       -       n       60      1       pickup
cleanup   unix  n       -       n       -       0       cleanup
qmgr      unix  n       -       n       300     1       qmgr
rewrite   unix  -       -       n       -       -       trivial-rewrite
bounce    unix  -       -       n       -       0       bounce
defer     unix  -       -       n       -       0       bounce
trace     unix  -       -       n       -       0       bounce
verify    unix  -       -       n       -       1       verify
flush     unix  n       -       n       1000?   0       flush
proxymap  unix  -       -       n       -       -       proxymap
showq     unix  n       -       n       -       -       showq
error     unix  -       -       n       -       -       error
retry     unix  -       -       n       -       -       error
discard   unix  -       -       n       -       -       discard
smtp      unix  -       -       n       -       -       smtp
relay     unix  -       -       n       -       -       smtp
virtual   unix  -       n       n       -       -       virtual
anvil     unix  -       -       n       -       1       anvil
scache    unix  -       -       n       -       1       scache
postlog   unix-dgram n  -       n       -       1       postlogd
"""


def main_cf(work, relay, helo_restriction, domain=DOMAIN, interfaces="127.0.0.1", settings=()):
    """main.cf of an instance in work; its SMTP server's address is in master.cf."""
    lines = [
        "compatibility_level = 3.6",
        "config_directory = %s/etc" % work,
        "queue_directory = %s/spool" % work,
        "data_directory = %s/data" % work,
        # No syslog daemon on a test machine: postlogd writes the log itself.
        "maillog_file = %s/maillog" % work,
        "maillog_file_prefixes = %s" % work,
        "syslog_name = postfix-test",
        # Postfix takes only addresses an interface carries here, and lo carries
        # 127.0.0.1 alone; the SMTP server's own address is in master.cf, where
        # any address goes. The client talks from 127.0.0.1 too.
        "inet_interfaces = %s" % interfaces,
        "inet_protocols = ipv4",
        "myhostname = mail.%s" % domain,
        "mydomain = %s" % domain,
        "myorigin = $mydomain",
        "mynetworks = 127.0.0.0/8",
        # Nothing is delivered by local(8): no system user, no /etc/aliases.
        "mydestination =",
        "alias_maps =",
        "alias_database =",
        "local_recipient_maps =",
        "virtual_mailbox_domains = %s" % domain,
        "virtual_mailbox_base = %s/mail" % work,
        "virtual_mailbox_maps = inline:{ %s }" % ", ".join("%s@%s=Maildir/" % (u, domain) for u in USERS),
        "virtual_uid_maps = static:%d" % MAILBOX_OWNER,
        "virtual_gid_maps = static:%d" % MAILBOX_OWNER,
        "smtpd_relay_restrictions = permit_mynetworks, reject_unauth_destination",
        "smtpd_banner = $myhostname ESMTP",
        # Names are never looked up: the relay is an address, the rest waits.
        "smtp_host_lookup = native",
        "smtp_dns_support_level = disabled",
        "biff = no",
        "delay_warning_time = 0",
    ]
    if relay:
        lines.append("relayhost = [%s]:25" % relay)
    else:
        lines.append("default_transport = retry:no relay in this test")
    if helo_restriction:
        lines += ["smtpd_helo_required = yes", "smtpd_helo_restrictions = reject_non_fqdn_helo_hostname"]
    return "\n".join(lines + list(settings)) + "\n"


class Postfix:
    """A running instance: its sendmail command, its Maildir, its queue."""

    def __init__(self, work, host, on_host=()):
        self.work = work
        self.host = host
        self.on_host = list(on_host)
        self.config_directory = os.path.join(work, "etc")
        self.maildir = os.path.join(work, "mail", "Maildir")
        self.log_file = os.path.join(work, "maillog")
        # The instance's own sendmail command, arguments to follow.
        self.sendmail_command = [SENDMAIL, "-C", self.config_directory]
        # One program path that means the same, for a caller that takes a path
        # and adds its own arguments (the CGI program's sendmail_path).
        self.sendmail_path = os.path.join(work, "sendmail")
        self.master = None

    def processes(self):
        """Pids of the instance's processes: its master and all it started."""
        return _session_processes(self.master) if self.master else []

    def sendmail(self, arguments, message):
        """Runs the instance's sendmail with arguments and message on stdin."""
        return subprocess.run(self.sendmail_command + list(arguments), input=message,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=DELIVERY_SECONDS)

    def messages(self, count=1, seconds=DELIVERY_SECONDS):
        """The messages in the Maildir, oldest first, once there are at least
        count of them (at most seconds later; then what is there)."""
        deadline = time.monotonic() + seconds
        while True:
            found = self._delivered()
            if len(found) >= count or time.monotonic() >= deadline:
                return found
            time.sleep(0.05)

    def _delivered(self):
        # In order of delivery: Maildir names are unique, not ordered.
        if not os.path.isdir(self.maildir):
            return []
        box = mailbox.Maildir(self.maildir, create=False)
        files = []
        for folder in ("new", "cur"):
            with contextlib.suppress(FileNotFoundError):
                for name in os.listdir(os.path.join(self.maildir, folder)):
                    path = os.path.join(self.maildir, folder, name)
                    files.append((os.stat(path).st_mtime_ns, name.split(":")[0]))
        return [box[key] for _, key in sorted(files)]

    def queue_listing(self):
        """What postqueue -p says about the queue."""
        return subprocess.run([POSTQUEUE, "-c", self.config_directory, "-p"], stdout=subprocess.PIPE,
                              stderr=subprocess.STDOUT, timeout=DELIVERY_SECONDS, check=True,
                              text=True).stdout

    def queue(self):
        """The queued messages, one dict each as postqueue -j gives them
        (queue_name, sender, recipients with address and delay_reason)."""
        out = subprocess.run([POSTQUEUE, "-c", self.config_directory, "-j"], stdout=subprocess.PIPE,
                             timeout=DELIVERY_SECONDS, check=True, text=True).stdout
        return [json.loads(line) for line in out.splitlines() if line.strip()]

    def deferred(self, recipient, seconds=DELIVERY_SECONDS):
        """The delay reason once a message for recipient sits in the deferred
        queue, its delivery tried and put off; None if it does not get there
        within seconds."""
        deadline = time.monotonic() + seconds
        while True:
            for entry in self.queue():
                if entry["queue_name"] != "deferred":
                    continue
                for rcpt in entry["recipients"]:
                    if rcpt["address"] == recipient:
                        return rcpt.get("delay_reason", "")
            if time.monotonic() >= deadline:
                return None
            time.sleep(0.1)

    def log(self):
        """The instance's log so far."""
        try:
            with open(self.log_file, errors="replace") as f:
                return f.read()
        except FileNotFoundError:
            return ""


def _master_pid(work):
    try:
        with open(os.path.join(work, "spool", "pid", "master.pid")) as f:
            return int(f.read().split()[0])
    except (OSError, ValueError, IndexError):
        return None


def _session_processes(session):
    """Pids of the processes in a session: the master and all it started."""
    pids = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/stat" % entry) as f:
                fields = f.read().rsplit(")", 1)[1].split()
        except OSError:
            continue
        # After the command: state, ppid, pgrp, session. A zombie has ended;
        # whoever inherited it reaps it.
        if fields[0] != "Z" and int(fields[3]) == session:
            pids.append(int(entry))
    return pids


def _stop(instance):
    master = instance.master or _master_pid(instance.work)
    subprocess.run(instance.on_host + [POSTFIX, "-c", instance.config_directory, "stop"], stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=STOP_SECONDS)
    if master is None:
        return
    # The master leads a session of its own; the instance is gone when nothing
    # is left in it. What outlives the bound is killed.
    deadline = time.monotonic() + STOP_SECONDS
    while _session_processes(master) and time.monotonic() < deadline:
        time.sleep(0.05)
    for pid in _session_processes(master):
        with contextlib.suppress(ProcessLookupError):
            os.kill(pid, signal.SIGKILL)


def _terminal_output(command):
    """What command writes when run on a terminal: the postfix command tells
    its errors only to a terminal or to the log, which may not exist yet."""
    shown = subprocess.run(["script", "-qec", subprocess.list2cmdline(command), "/dev/null"],
                           stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                           timeout=START_SECONDS, text=True, errors="replace")
    return shown.stdout


def _write_instance(instance, relay, helo_restriction, domain, interfaces, settings=()):
    work = instance.work
    # Postfix's daemons run as the postfix user outside a chroot, and the
    # sendmail wrapper may run as a web server's user: both pass through.
    os.chmod(work, 0o755)
    for folder in ("etc", "spool", "data"):
        os.mkdir(os.path.join(work, folder), 0o755)
    shutil.chown(os.path.join(work, "data"), "postfix", "postfix")
    os.mkdir(os.path.join(work, "mail"), 0o755)
    os.chown(os.path.join(work, "mail"), MAILBOX_OWNER, MAILBOX_OWNER)
    with open(os.path.join(instance.config_directory, "main.cf"), "w") as f:
        f.write(main_cf(work, relay, helo_restriction, domain, interfaces, settings))
    with open(os.path.join(instance.config_directory, "master.cf"), "w") as f:
        f.write(MASTER_CF.format(host=instance.host))
    # The postfix command rereads a main.cf younger than about two seconds
    # until it is that old, in case an editor is still writing it: these are
    # complete, and dated back they save each start two seconds.
    settled = time.time() - 60
    for name in ("main.cf", "master.cf"):
        os.utime(os.path.join(instance.config_directory, name), (settled, settled))
    with open(instance.sendmail_path, "w") as f:
        f.write('#!/bin/sh\nexec %s -C %s "$@"\n' % (SENDMAIL, instance.config_directory))
    os.chmod(instance.sendmail_path, 0o755)


@contextlib.contextmanager
def postfix(host, *, relay=None, helo_restriction=False, domain=DOMAIN, on_host=(), settings=()):
    """A Postfix instance of its own listening on host:25 (a 127.0.0.x
    address); yields a Postfix. relay: the address of an SMTP server on port
    25 that takes mail for every domain but the instance's (example.test).
    helo_restriction: clients must send HELO/EHLO with a fully qualified
    name. on_host: the command that runs a command on another host of the
    test's network (ip netns exec ...); the instance then serves that host's
    address. settings: more main.cf lines. The instance is stopped and its
    folder removed however the block ends."""
    instance = Postfix(tempfile.mkdtemp(prefix="quillo-postfix-"), host, list(on_host))
    try:
        _write_instance(instance, relay, helo_restriction, domain, host if on_host else "127.0.0.1", settings)
        start = instance.on_host + [POSTFIX, "-c", instance.config_directory, "start"]
        started = subprocess.run(start, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                 stderr=subprocess.DEVNULL, timeout=START_SECONDS)
        if started.returncode != 0:
            raise RuntimeError("postfix did not start:\n%s%s" % (instance.log(), _terminal_output(start)))
        instance.master = _master_pid(instance.work)
        yield instance
    finally:
        try:
            _stop(instance)
        finally:
            shutil.rmtree(instance.work, ignore_errors=True)
