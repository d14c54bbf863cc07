"""A throw-away Samba Active Directory domain controller for tests, on
loopback inside a network namespace of the test's own. Python 3 standard
library only; Debian's samba, samba-ad-dc, samba-ad-provision, ldb-tools,
krb5-user, ldap-utils, openssl and iproute2 (scripts/install-deps.sh).

    import samba_fixture
    samba_fixture.isolate()      # first thing in the program: runs it again
                                 # in a network and mount namespace of its own
    with samba_fixture.SambaDc(cache_folder) as dc:
        dc.host                  # "dc.qx.test", 127.0.0.1 in the namespace
                                 # (OTHER_NAME too, a name the certificate lacks)
        dc.base                  # "DC=qx,DC=test"
        dc.ldap_url, dc.ldaps_url, dc.gc_url, dc.gcs_url
        dc.ca_file               # the CA that signed the server's certificate
        dc.other_ca_file         # a CA that did not
        dc.admin_dn, dc.admin_password
        dc.reader_dn, dc.reader_password, dc.reader_principal, dc.keytab
        dc.krb5_conf             # points at the server's KDC on 127.0.0.1:88
        dc.reader_settings()     # quarlix's configuration lines: the reader's
                                 # bind over TLS with dc.ca_file
        dc.kinit(ccache_file)    # a ticket for the reader from its keytab;
                                 # gives the environment (KRB5_CONFIG, KRB5CCNAME)
        dc.search(base, filter, attributes, scope="sub", url=None, extra=(),
                  bind_dn=None, password=None)
                                 # ldapsearch over ldaps, as the administrator
                                 # unless told: [(dn, {attribute: [bytes]})] in
                                 # server order
        dc.tls_environment()     # ldapsearch's environment (CA, krb5.conf)
        dc.log()                 # the server's output so far

Samba's ports are fixed (389, 636, 88, 3268, 3269), so every test program
that uses it runs in a network namespace of its own (isolate()): tests run
side by side, and slapd tests on the machine's loopback never meet it. The
namespace's /etc/hosts (a bind mount in its own mount namespace) names
dc.qx.test, the name the server's certificate and Kerberos principals carry.
isolate() needs root, or unprivileged user namespaces.

Provisioning takes a while, so a provisioned domain with its data is kept
as a template in the cache folder (the build tree), made once under a file
lock and reused by every later run: a run copies it and starts the server,
a few seconds. The template is made anew when the data or TEMPLATE_VERSION
changes.

The domain (DOMAIN_LDIF below; extra_ldif adds entries of the caller's):
    OU=Quarlix,DC=qx,DC=test
      OU=People     alice (disabled, password never expires), bob (disabled,
                    an expiry date), carol (enabled); a computer WS01, a
                    contact and OU=Sub
      OU=Groups     Inner {alice}, Middle {Inner, bob}, Top {Middle, carol}
      OU=Bulk       BULK_COUNT users bulk0000 ... and the group Big with
                    every one of them as a member
    CN=svc-reader,CN=Users,DC=qx,DC=test   a service account with a
                    password and a keytab

From a shell (inside a namespace of its own, the server and a shell):
    samba_fixture.py shell CACHE_FOLDER   an interactive shell beside the server"""
import base64
import ctypes
import fcntl
import hashlib
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

import samba_kerberos
from server_lifetime import ServerLifetime

REALM = "QX.TEST"
DOMAIN = "QX"
HOST = "dc.qx.test"
BASE = "DC=qx,DC=test"
ADMIN_PASSWORD = "Qx-Admin-Pass1"
READER = "svc-reader"
READER_PASSWORD = "Qx-Reader-Pass1"
BULK_COUNT = 3000
NAMESPACE_MARK = "QUARLIX_SAMBA_NAMESPACE"
LDAPSEARCH = "/usr/bin/ldapsearch"
SAMBA = "/usr/sbin/samba"
OTHER_NAME = "other.qx.test"  # the server's address under a name its certificate lacks
# The SQL servers' names come on lines of their own: each is then its own
# canonical name, while 127.0.0.1 still reads back as the controller's.
HOSTS = "127.0.0.1 %s dc %s localhost\n127.0.0.1 %s\n127.0.0.1 %s\n::1 localhost\n" % (
    HOST, OTHER_NAME, samba_kerberos.SQL_HOST, samba_kerberos.PLAIN_HOST)

QUARLIX = "OU=Quarlix," + BASE
PEOPLE = "OU=People," + QUARLIX
GROUPS = "OU=Groups," + QUARLIX
BULK = "OU=Bulk," + QUARLIX


def person_dn(name):
    return "CN=%s,%s" % (name, PEOPLE)


def group_dn(name):
    return "CN=%s,%s" % (name, GROUPS)


def bulk_dn(i):
    return "CN=bulk%04d,%s" % (i, BULK)


BIG_GROUP = "CN=Big," + BULK

# userAccountControl: 2 disabled, 32 no password required, 512 a normal
# account, 65536 the password never expires.
DOMAIN_LDIF = "\n".join([
    "dn: %s\nobjectClass: organizationalUnit\ndescription: quarlix test data\n" % QUARLIX,
    "dn: %s\nobjectClass: organizationalUnit\n" % PEOPLE,
    "dn: %s\nobjectClass: user\nsAMAccountName: alice\ngivenName: Alice\nsn: Adams\n"
    "mail: alice@qx.test\ndescription: first\notherTelephone: 555-0101\notherTelephone: 555-0102\n"
    "otherTelephone: 555-0103\nuserAccountControl: 66082\naccountExpires: 9223372036854775807\n"
    % person_dn("alice"),
    "dn: %s\nobjectClass: user\nsAMAccountName: bob\ngivenName: Bob\nsn: Brown\n"
    "mail: bob@qx.test\nuserAccountControl: 546\naccountExpires: 133500000000000000\n" % person_dn("bob"),
    "dn: %s\nobjectClass: user\nsAMAccountName: carol\ngivenName: Carol\nsn: Clark\n"
    "userAccountControl: 544\n" % person_dn("carol"),
    "dn: %s\nobjectClass: computer\nsAMAccountName: WS01$\n" % person_dn("WS01"),
    "dn: %s\nobjectClass: contact\ndescription: a contact\n" % person_dn("Printer Contact"),
    "dn: OU=Sub,%s\nobjectClass: organizationalUnit\ndescription: inner unit\n" % PEOPLE,
    "dn: %s\nobjectClass: organizationalUnit\n" % GROUPS,
    "dn: %s\nobjectClass: group\nsAMAccountName: inner\nmember: %s\n" % (group_dn("Inner"), person_dn("alice")),
    "dn: %s\nobjectClass: group\nsAMAccountName: middle\nmember: %s\nmember: %s\n"
    % (group_dn("Middle"), group_dn("Inner"), person_dn("bob")),
    "dn: %s\nobjectClass: group\nsAMAccountName: top\nmember: %s\nmember: %s\n"
    % (group_dn("Top"), group_dn("Middle"), person_dn("carol")),
    "dn: %s\nobjectClass: organizationalUnit\n" % BULK,
] + ["dn: %s\nobjectClass: user\nsAMAccountName: bulk%04d\ndescription: bulk user %d\n" % (bulk_dn(i), i, i)
     for i in range(BULK_COUNT)] + [
    "dn: %s\nobjectClass: group\nsAMAccountName: big\n" % BIG_GROUP
    + "".join("member: %s\n" % bulk_dn(i) for i in range(BULK_COUNT)),
])


# -- the namespace --

def isolate():
    """Runs this program again inside a network and mount namespace of its
    own, with loopback up and /etc/hosts naming the server; returns at once
    when already inside. The program's exit status is the inner run's."""
    if os.environ.get(NAMESPACE_MARK):
        return
    hosts = os.path.join(tempfile.gettempdir(), "quarlix-samba-hosts-%d" % os.getuid())
    with open(hosts + ".new", "w") as f:
        f.write(HOSTS)
    os.replace(hosts + ".new", hosts)
    # The server is this host in the namespace (its own host name too): libldap
    # names a loopback peer by the local host name for SASL, and Kerberos
    # must see the server's principal name there.
    inner = 'ip link set lo up && mount --bind "$0" /etc/hosts && hostname %s && exec "$@"' % HOST
    command = ["unshare", "--net", "--mount", "--uts", "--fork", "--kill-child"]
    if os.geteuid() != 0:
        command.append("--map-root-user")
    environment = dict(os.environ, **{NAMESPACE_MARK: "1"})
    # This process becomes unshare, so that whoever ends it ends the test too.
    sys.stdout.flush()
    sys.stderr.flush()
    os.execvpe(command[0], command + ["sh", "-c", inner, hosts, sys.executable] + sys.argv, environment)


def _end_with_parent():
    """In a child before exec: killed when the test process ends, however."""
    PR_SET_PDEATHSIG = 1
    ctypes.CDLL(None, use_errno=True).prctl(PR_SET_PDEATHSIG, signal.SIGKILL)


def _run(command, timeout=300, **kwargs):
    done = subprocess.run(command, capture_output=True, timeout=timeout, **kwargs)
    if done.returncode != 0:
        raise RuntimeError("%s failed (%d): %s%s" % (" ".join(command[:3]), done.returncode,
                                                    done.stdout.decode("utf-8", "replace")[-2000:],
                                                    done.stderr.decode("utf-8", "replace")[-2000:]))
    return done.stdout


# -- the template --

# Raise when the way a template is made changes (the data is in the key).
TEMPLATE_VERSION = "3"


def _template_key(extra_ldif):
    digest = hashlib.sha256()
    for part in (TEMPLATE_VERSION, REALM, DOMAIN, HOST, ADMIN_PASSWORD, READER, READER_PASSWORD, DOMAIN_LDIF,
                 extra_ldif, samba_kerberos.setup_key()):
        digest.update(part.encode() + b"\0")
    return digest.hexdigest()[:16]


def _make_certificates(folder):
    """ca.pem signs dc.pem (for dc.qx.test, dc and 127.0.0.1); other-ca.pem
    signs nothing the server shows."""
    def path(name):
        return os.path.join(folder, name)
    for name, subject in (("ca", "/CN=quarlix test CA"), ("other-ca", "/CN=another test CA")):
        _run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "3650", "-subj", subject,
              "-addext", "basicConstraints=critical,CA:TRUE", "-addext", "keyUsage=critical,keyCertSign,cRLSign",
              "-keyout", path(name + ".key"), "-out", path(name + ".pem")])
    _run(["openssl", "req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=" + HOST,
          "-keyout", path("dc.key"), "-out", path("dc.csr")])
    with open(path("dc.ext"), "w") as f:
        f.write("subjectAltName=DNS:%s,DNS:dc,IP:127.0.0.1\nextendedKeyUsage=serverAuth\n" % HOST)
    _run(["openssl", "x509", "-req", "-in", path("dc.csr"), "-CA", path("ca.pem"), "-CAkey", path("ca.key"),
          "-CAcreateserial", "-days", "3650", "-extfile", path("dc.ext"), "-out", path("dc.pem")])
    os.chmod(path("dc.key"), 0o600)


def _make_template(folder, extra_ldif):
    """Provisions the domain in folder/dc and loads its data offline."""
    dc = os.path.join(folder, "dc")
    _run(["samba-tool", "domain", "provision", "--targetdir=" + dc, "--realm=" + REALM, "--domain=" + DOMAIN,
          "--server-role=dc", "--dns-backend=NONE", "--use-rfc2307", "--adminpass=" + ADMIN_PASSWORD,
          "--host-name=dc", "--host-ip=127.0.0.1", "--option=interfaces=lo", "--option=bind interfaces only=yes"])
    conf = os.path.join(dc, "etc", "smb.conf")
    sam = os.path.join(dc, "private", "sam.ldb")
    data = os.path.join(folder, "data.ldif")
    with open(data, "w", encoding="utf-8") as f:
        f.write(DOMAIN_LDIF + ("\n" + extra_ldif if extra_ldif else ""))
    _run(["ldbadd", "-H", sam, data], timeout=900)
    # The names the directory service answers to as a Kerberos service; a
    # running server adds them itself only with its DNS update service.
    spns = os.path.join(folder, "spn.ldif")
    with open(spns, "w") as f:
        f.write("dn: CN=DC,OU=Domain Controllers,%s\nchangetype: modify\nadd: servicePrincipalName\n" % BASE
                + "".join("servicePrincipalName: %s\n" % spn for spn in (
                    "ldap/" + HOST, "ldap/%s/qx.test" % HOST, "ldap/%s/%s" % (HOST, DOMAIN), "ldap/DC",
                    "GC/%s/qx.test" % HOST)))
    _run(["ldbmodify", "-H", sam, spns])
    _run(["samba-tool", "user", "create", READER, READER_PASSWORD, "-H", sam, "-s", conf])
    _run(["samba-tool", "user", "setexpiry", READER, "--noexpiry", "-H", sam, "-s", conf])
    _run(["samba-tool", "domain", "exportkeytab", os.path.join(folder, "reader.keytab"),
          "--principal=%s@%s" % (READER, REALM), "-s", conf])
    samba_kerberos.provision(_run, folder, sam, conf)
    tls = os.path.join(folder, "tls")
    os.makedirs(tls)
    _make_certificates(tls)
    with open(os.path.join(folder, "complete"), "w") as f:
        f.write("made %s\n" % time.strftime("%Y-%m-%d %H:%M:%S"))


def template(cache_folder, extra_ldif=""):
    """The folder of the provisioned template, made when missing."""
    cache_folder = os.path.abspath(cache_folder)
    os.makedirs(cache_folder, exist_ok=True)
    final = os.path.join(cache_folder, "samba-template-" + _template_key(extra_ldif))
    with open(os.path.join(cache_folder, "samba-template.lock"), "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)  # one maker; the others wait and reuse it
        if os.path.exists(os.path.join(final, "complete")) or os.path.exists(os.path.join(final, "template-folder")):
            return final
        for old in os.listdir(cache_folder):  # templates of earlier fixture versions
            if old.startswith("samba-template-"):
                shutil.rmtree(os.path.join(cache_folder, old), ignore_errors=True)
        _make_template(final, extra_ldif)
        return final


# -- LDIF as ldapsearch prints it --

def parse_ldif(text):
    """[(dn, {attribute: [bytes]})] of ldapsearch -LLL -o ldif-wrap=no output."""
    entries = []
    for block in text.decode("utf-8", "replace").split("\n\n") if isinstance(text, bytes) else text.split("\n\n"):
        dn, attributes = None, {}
        for line in block.splitlines():
            if not line or line.startswith("#") or ":" not in line:
                continue
            name, _, value = line.partition(":")
            if value.startswith(":"):
                raw = base64.b64decode(value[1:].strip())
            else:
                raw = value[1:].encode() if value.startswith(" ") else value.encode()
            if name.lower() == "dn":
                dn = raw.decode("utf-8", "replace")
            else:
                attributes.setdefault(name, []).append(raw)
        if dn is not None:
            entries.append((dn, attributes))
    return entries


# -- a running server --

class SambaDc(ServerLifetime):
    def __init__(self, cache_folder, extra_ldif="", start_timeout=60):
        if not os.environ.get(NAMESPACE_MARK):
            raise RuntimeError("call samba_fixture.isolate() first: Samba's ports are fixed")
        self.cache_folder = cache_folder
        self.extra_ldif = extra_ldif
        self.start_timeout = start_timeout
        self.folder = None
        self.process = None
        self.host = HOST
        self.realm = REALM
        self.base = BASE
        self.admin_dn = "CN=Administrator,CN=Users," + BASE
        self.admin_password = ADMIN_PASSWORD
        self.reader_dn = "CN=%s,CN=Users,%s" % (READER, BASE)
        self.reader_password = READER_PASSWORD
        self.reader_principal = "%s@%s" % (READER, REALM)
        self.ldap_url = "ldap://%s" % HOST
        self.ldaps_url = "ldaps://%s" % HOST
        self.gc_url = "ldap://%s:3268" % HOST
        self.gcs_url = "ldaps://%s:3269" % HOST

    def start(self):
        source = template(self.cache_folder, self.extra_ldif)
        self.folder = tempfile.mkdtemp(prefix="quarlix-samba-")
        shutil.copytree(source, os.path.join(self.folder, "t"), symlinks=True)
        root = os.path.join(self.folder, "t")
        self.ca_file = os.path.join(root, "tls", "ca.pem")
        self.other_ca_file = os.path.join(root, "tls", "other-ca.pem")
        self.keytab = os.path.join(root, "reader.keytab")
        self.sql_keytab = os.path.join(root, "sql.keytab")
        self.sql_stale_keytab = os.path.join(root, "sql-stale.keytab")
        self.plain_keytab = os.path.join(root, "plain.keytab")
        self.krb5_conf = os.path.join(self.folder, "krb5.conf")
        with open(self.krb5_conf, "w") as f:
            f.write("[libdefaults]\n default_realm = %s\n dns_lookup_realm = false\n dns_lookup_kdc = false\n"
                    " rdns = false\n dns_canonicalize_hostname = false\n forwardable = true\n\n[realms]\n %s = {\n"
                    "  kdc = 127.0.0.1:88\n }\n\n[domain_realm]\n .qx.test = %s\n qx.test = %s\n"
                    % (REALM, REALM, REALM, REALM))
        conf_path = os.path.join(root, "dc", "etc", "smb.conf")
        with open(conf_path) as f:
            conf = f.read()
        # The paths in smb.conf are the template's, where it was made.
        private = [line.split("=", 1)[1].strip() for line in conf.split("\n")
                   if line.strip().startswith("private dir =")][0]
        conf = conf.replace(private[:-len("/dc/private")], root)
        tls = os.path.join(root, "tls")
        # Lock, state and cache folders are the copy's own (provisioned with
        # --targetdir); the pid file and sockets would otherwise go to the
        # machine's /run/samba, where another Samba keeps its own.
        run = os.path.join(self.folder, "run")
        runtime = (("pid directory", "pid"), ("ncalrpc dir", "ncalrpc"), ("winbindd socket directory", "winbindd"),
                   ("ntp signd socket directory", "ntp_signd"))
        for _, name in runtime:
            os.makedirs(os.path.join(run, name), exist_ok=True)
        own = ("\tserver services = ldap, kdc\n\tlog file = %s/samba.log\n\ttls enabled = yes\n"
               "\ttls keyfile = %s/dc.key\n\ttls certfile = %s/dc.pem\n\ttls cafile = %s/ca.pem\n"
               % (self.folder, tls, tls, tls)
               + "".join("\t%s = %s\n" % (option, os.path.join(run, name)) for option, name in runtime))
        replaced = ("server services =", "log file =") + tuple(option + " =" for option, _ in runtime)
        conf = "\n".join(line for line in conf.split("\n")
                         if not line.strip().startswith(replaced))
        conf = conf.replace("[global]\n", "[global]\n" + own, 1)
        with open(conf_path, "w") as f:
            f.write(conf)
        self.conf = conf_path
        with open(os.path.join(self.folder, "samba.out"), "wb") as out:
            self.process = subprocess.Popen([SAMBA, "-s", conf_path, "-i", "-M", "single", "--debuglevel=1"],
                                            stdout=out, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL,
                                            preexec_fn=_end_with_parent)
        self._wait_until_answering()

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(timeout=15)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.process = None

    def close(self):
        self.stop()
        if self.folder:
            shutil.rmtree(self.folder, ignore_errors=True)
            self.folder = None

    def log(self):
        with open(os.path.join(self.folder, "samba.out"), "rb") as f:
            return f.read().decode("utf-8", "replace")

    def tls_environment(self, ca_file=None):
        """ldapsearch's environment: the CA file, and no ldap.conf or ldaprc
        of the machine's or the user's."""
        environment = {k: v for k, v in os.environ.items() if not k.startswith("LDAP")}
        environment.update(LDAPTLS_CACERT=ca_file or self.ca_file, LDAPCONF="/dev/null", KRB5_CONFIG=self.krb5_conf)
        return environment

    def reader_settings(self, ca_file=None):
        """quarlix's configuration lines that bind as the reader over TLS
        vouched for by the CA file."""
        return "binddn %s\nbindpw %s\ntls_cacert %s\n" % (self.reader_dn, self.reader_password, ca_file or self.ca_file)

    def kinit(self, ccache):
        """A ticket for the reader from its keytab in ccache; the environment
        a program needs to use it."""
        environment = self.tls_environment()
        environment["KRB5CCNAME"] = "FILE:" + ccache
        _run(["kinit", "-k", "-t", self.keytab, self.reader_principal], env=environment, timeout=30)
        return environment

    def kinit_user(self, name, ccache, lifetime=None):
        """A ticket for one of samba_kerberos's users, from its password."""
        return samba_kerberos.kinit(self.krb5_conf, name, ccache, lifetime)

    def search(self, base, filter_="(objectClass=*)", attributes=(), scope="sub", url=None, extra=(),
               bind_dn=None, password=None):
        """ldapsearch over ldaps, paged, as the administrator or as bind_dn;
        entries in the server's order."""
        command = [LDAPSEARCH, "-LLL", "-o", "ldif-wrap=no", "-x", "-H", url or self.ldaps_url,
                   "-D", bind_dn or self.admin_dn, "-w", password or self.admin_password, "-E", "pr=1000/noprompt",
                   "-b", base, "-s", scope] + list(extra) + [filter_] + list(attributes)
        return parse_ldif(_run(command, env=self.tls_environment(), timeout=120))

    def _wait_until_answering(self):
        deadline = time.monotonic() + self.start_timeout
        while time.monotonic() < deadline:
            if self.process.poll() is not None:
                raise RuntimeError("samba ended at start (%d): %s" % (self.process.returncode, self.log()))
            probe = subprocess.run([LDAPSEARCH, "-x", "-H", self.ldaps_url, "-b", "", "-s", "base", "-LLL",
                                    "dnsHostName"], capture_output=True, timeout=10, env=self.tls_environment())
            if probe.returncode == 0:
                return
            time.sleep(0.2)
        raise RuntimeError("samba did not answer within %d s: %s" % (self.start_timeout, self.log()))


def start_for_module(cache):
    """A running domain controller for one test module's tests (started in
    setUpModule); the module closes it in tearDownModule."""
    if not os.path.exists(SAMBA):
        raise RuntimeError("samba is not installed: run scripts/install-deps.sh")
    return SambaDc(cache).__enter__()


def main(arguments):
    if len(arguments) == 2 and arguments[0] == "shell":
        isolate()
        with SambaDc(os.path.abspath(arguments[1])) as dc:
            print("server up: %s (CA %s, krb5.conf %s)" % (dc.ldaps_url, dc.ca_file, dc.krb5_conf))
            environment = dc.tls_environment()
            return subprocess.call([os.environ.get("SHELL", "/bin/sh")], env=environment)
    print("usage: samba_fixture.py shell CACHE_FOLDER", file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
