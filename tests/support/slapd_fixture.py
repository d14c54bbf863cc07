"""A throw-away OpenLDAP server for tests: slapd with its own configuration,
schema and data in a temporary folder, listening on a free loopback port and
on an ldapi:// socket in that folder. Python 3 standard library only.

    with Slapd(data_ldif, schema=extra_schema) as server:
        server.url          # ldap://127.0.0.1:PORT
        server.ldapi_url    # ldapi://%2Ftmp%2F...%2Fldapi
        server.stop()       # a stopped server, for failure tests

The data is loaded with slapadd before the server starts; the server is
stopped when the block ends, also when it ends with a failure.

From a shell (a server that outlives the command, in a folder of the
caller's):
    slapd_fixture.py start DIR LDIF   prints the URL (also in DIR/url)
    slapd_fixture.py stop DIR"""
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import urllib.parse

from server_lifetime import ServerLifetime

SLAPD = "/usr/sbin/slapd"
SLAPADD = "/usr/sbin/slapadd"
LDAPSEARCH = "/usr/bin/ldapsearch"
MODULE_PATH = "/usr/lib/ldap"
SYSTEM_SCHEMA = "/etc/ldap/schema"
BASE_SCHEMAS = ("core", "cosine", "inetorgperson", "nis")
START_ATTEMPTS = 5


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def port_taken(port):
    """True when another socket holds the loopback port now."""
    with socket.socket() as s:
        try:
            s.bind(("127.0.0.1", port))
        except OSError:
            return True
        return False


def peer_credentials_dn():
    """The DN slapd gives a client of the ldapi:// socket that binds with SASL
    EXTERNAL as this process's user."""
    return "gidNumber=%d+uidNumber=%d,cn=peercred,cn=external,cn=auth" % (os.getgid(), os.getuid())


class Slapd(ServerLifetime):
    def __init__(self, data, schema="", suffix="dc=example,dc=com",
                 rootdn="cn=admin,dc=example,dc=com", rootpw="secret",
                 access="access to * by * read", global_config="", debug_level=0, start_timeout=20,
                 folder=None, extra_urls=()):
        """data: LDIF loaded before the start. schema: slapd schema text
        (attributetype / objectclass lines) loaded after core, cosine,
        inetOrgPerson and nis. access: slapd.conf lines of the database
        (ACLs). global_config: lines of the global section (limits such as
        "sizelimit 100", TLSCertificateFile ...).
        debug_level: slapd's -d level; 256 logs every operation's result
        (log()). folder: where the server lives, kept by close(); a
        temporary one (removed) by default. extra_urls: further URLs to
        listen on (e.g. "ldaps://127.0.0.1:636/"); "{free_port}" in one
        stands for a free port, picked anew at each start (extra_ports)."""
        self.data, self.schema, self.suffix = data, schema, suffix
        self.rootdn, self.rootpw = rootdn, rootpw
        self.access, self.global_config = access, global_config
        self.debug_level = debug_level
        self.start_timeout = start_timeout
        self.extra_urls = list(extra_urls)
        self.own_folder = folder is None
        self.folder = folder
        self.process = None
        self.port = None
        self.extra_ports = []

    # -- lifetime --
    def start(self, detached=False):
        """detached: the server does not end with this process."""
        if self.own_folder:
            self.folder = tempfile.mkdtemp(prefix="slapd-")
        shutil.rmtree(os.path.join(self.folder, "db"), ignore_errors=True)
        os.makedirs(os.path.join(self.folder, "db"))
        self.socket_path = os.path.join(self.folder, "ldapi")
        config = self._write_config()
        data_file = os.path.join(self.folder, "data.ldif")
        with open(data_file, "w", encoding="utf-8") as f:
            f.write(self.data)
        self._run([SLAPADD, "-f", config, "-l", data_file, "-q"])
        # slapd cannot listen on port 0 and tell which port it got, so a port
        # found free may be taken before slapd binds it: then slapd ends at
        # start, and it starts again on other ports.
        for attempt in range(START_ATTEMPTS):
            self.port = free_port()
            self.extra_ports = [free_port() for url in self.extra_urls if "{free_port}" in url]
            self._launch(config, detached, "wb")
            if self._wait_until_answering(last_attempt=attempt + 1 == START_ATTEMPTS):
                return

    def restart(self, pause=0):
        """Stops the server and starts it again, `pause` seconds later, on the
        same ports with the data it has (its clients' connections end); the
        log goes on."""
        self.stop()
        time.sleep(pause)
        self._launch(os.path.join(self.folder, "slapd.conf"), False, "ab")
        self._wait_until_answering()

    def _launch(self, config, detached, log_mode):
        ports = iter(self.extra_ports)
        urls = [url.replace("{free_port}", str(next(ports))) if "{free_port}" in url else url
                for url in self.extra_urls]
        with open(os.path.join(self.folder, "slapd.log"), log_mode) as log:
            self.process = subprocess.Popen(
                [SLAPD, "-h", " ".join([self.url + "/", self.ldapi_url + "/"] + urls), "-f", config,
                 "-d", str(self.debug_level)],
                stdout=subprocess.DEVNULL, stderr=log, start_new_session=detached)

    def stop(self):
        """Stops the server; the folder stays until close()."""
        if self.process and self.process.poll() is None:
            self.process.send_signal(signal.SIGINT)
            try:
                self.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.process = None

    def close(self):
        self.stop()
        if self.folder and self.own_folder:
            shutil.rmtree(self.folder, ignore_errors=True)
            self.folder = None

    # -- addresses --
    @property
    def url(self):
        return "ldap://127.0.0.1:%d" % self.port

    @property
    def ldapi_url(self):
        return "ldapi://" + urllib.parse.quote(self.socket_path, safe="")

    @property
    def address(self):
        return "127.0.0.1:%d" % self.port

    def log(self):
        with open(os.path.join(self.folder, "slapd.log"), "rb") as f:
            return f.read().decode("utf-8", "replace")

    def settled_log(self, start, timeout=10):
        """The log after its first `start` characters, once every search it
        shows received has its result line too (or after `timeout` seconds).
        slapd writes a result's line only after the client has the result, so
        a test that counts results must not read the log at once."""
        deadline = time.monotonic() + timeout
        while True:
            text = self.log()[start:]
            received = len(re.findall(r" SRCH base=", text))
            if len(re.findall(r" SEARCH RESULT ", text)) >= received or time.monotonic() > deadline:
                return text
            time.sleep(0.05)

    # -- inside --
    def _write_config(self):
        includes = ["include %s/%s.schema" % (SYSTEM_SCHEMA, name) for name in BASE_SCHEMAS]
        if self.schema:
            extra = os.path.join(self.folder, "extra.schema")
            with open(extra, "w", encoding="utf-8") as f:
                f.write(self.schema)
            includes.append("include " + extra)
        lines = includes + [
            "pidfile %s/slapd.pid" % self.folder,
            "argsfile %s/slapd.args" % self.folder,
            "modulepath " + MODULE_PATH,
            "moduleload back_mdb",
            self.global_config,
            "database mdb",
            "maxsize 104857600",
            'suffix "%s"' % self.suffix,
            'rootdn "%s"' % self.rootdn,
            "rootpw %s" % self.rootpw,
            "directory %s/db" % self.folder,
            self.access,
        ]
        path = os.path.join(self.folder, "slapd.conf")
        with open(path, "w", encoding="utf-8") as f:
            f.write("\n".join(lines) + "\n")
        return path

    def _run(self, command):
        done = subprocess.run(command, capture_output=True, timeout=60)
        if done.returncode != 0:
            raise RuntimeError("%s failed (%d): %s" % (os.path.basename(command[0]), done.returncode,
                                                      done.stderr.decode("utf-8", "replace")))

    def _wait_until_answering(self, last_attempt=True, url=None):
        """True once the server answers on `url`, by default its own ldapi://
        socket: slapd serves only after binding every listener, and no other
        server can answer there. False when it ended and one of its ports is
        taken, unless this is the last attempt."""
        deadline = time.monotonic() + self.start_timeout
        while time.monotonic() < deadline:
            if self.process.poll() is not None:
                # slapd logs nothing at debug level 0: whoever holds the port tells.
                if not last_attempt and any(port_taken(p) for p in [self.port] + self.extra_ports):
                    return False
                raise RuntimeError("slapd ended at start (%d): %s" % (self.process.returncode, self.log()))
            probe = subprocess.run([LDAPSEARCH, "-x", "-H", url or self.ldapi_url, "-b", "", "-s", "base", "-LLL", "1.1"],
                                   capture_output=True, timeout=10)
            if probe.returncode == 0:
                return True
            time.sleep(0.05)
        raise RuntimeError("slapd did not answer within %d s: %s" % (self.start_timeout, self.log()))


def running(pid):
    """False once the process is gone or a zombie its parent has not reaped."""
    try:
        with open("/proc/%d/stat" % pid) as f:
            return f.read().rsplit(")", 1)[1].split()[0] != "Z"
    except (OSError, IndexError):
        return False


def stop_detached(folder):
    """Stops the server a `start` command left in `folder`, if it runs."""
    pid_file = os.path.join(folder, "slapd.pid")
    try:
        with open(pid_file) as f:
            pid = int(f.read().split()[0])
        with open("/proc/%d/cmdline" % pid, "rb") as f:
            if b"slapd" not in f.read():  # the pid of a server that died may be another's now
                raise OSError
        os.kill(pid, signal.SIGINT)
    except (OSError, ValueError, IndexError):
        pass
    else:
        for _ in range(100):
            if not running(pid):
                break
            time.sleep(0.1)
        else:
            os.kill(pid, signal.SIGKILL)
    for name in ("slapd.pid", "url"):
        if os.path.exists(os.path.join(folder, name)):
            os.remove(os.path.join(folder, name))


def main(arguments):
    if len(arguments) == 3 and arguments[0] == "start":
        folder = os.path.abspath(arguments[1])
        os.makedirs(folder, exist_ok=True)
        stop_detached(folder)  # one left by an interrupted run
        with open(arguments[2], encoding="utf-8") as f:
            server = Slapd(f.read(), folder=folder)
        try:
            server.start(detached=True)
        except BaseException:
            server.stop()
            raise
        with open(os.path.join(folder, "url"), "w") as f:
            f.write(server.url + "/\n")
        print(server.url + "/")
        return 0
    if len(arguments) == 2 and arguments[0] == "stop":
        stop_detached(os.path.abspath(arguments[1]))
        return 0
    print("usage: slapd_fixture.py start DIR LDIF | stop DIR", file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
