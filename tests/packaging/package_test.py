"""The Debian package as a DBA meets it: built from this build folder, its
files, pages and scripts, the tree moved elsewhere still running, and (as
root, when the package is not already installed) the steps of
docs/server.md's `sh package` blocks run as written on this machine: installed
with apt, a login added, the service enabled and started, pointed at a slapd
with a password file, asked through tsql, upgraded to a second build of a
later version (the service restarts), removed and purged.

No systemd runs here: the test runs in a mount namespace of its own where
/run/systemd/system exists (so the package's scripts call systemctl) and
systemctl is fake_systemctl.py (bind-mounted over the real one, in that
namespace only), which runs the unit's command as its user.
Usage: package_test.py SOURCE_DIR BUILD_DIR"""
import glob
import os
import pwd
import re
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "support"))
sys.path.insert(0, os.path.join(HERE, "..", "docs"))

import doc_blocks  # noqa: E402
from slapd_fixture import Slapd, free_port  # noqa: E402

SOURCE = BUILD = None
NAMESPACE_MARK = "QUARLIX_PACKAGE_NAMESPACE"
LINE = "EXEC master..quarlix 'LDAP://OU=Sales,OU=Staff,DC=corp,DC=example,DC=com', '(objectClass=user)', 'cn,mail'"


def run(*command, **kwargs):
    kwargs.setdefault("timeout", 600)
    return subprocess.run(command, capture_output=True, text=True, **kwargs)


def wait_until(predicate, seconds=10):
    end = time.monotonic() + seconds
    while time.monotonic() < end and not predicate():
        time.sleep(0.05)
    return predicate()


def read(path):
    with open(path) as f:
        return f.read()


def unit_settings(text):
    """Key=value lines of a unit, by key (a repeated key keeps each value)."""
    settings = {}
    for line in text.splitlines():
        if "=" in line and not line.startswith(("#", "[")):
            key, value = line.split("=", 1)
            settings.setdefault(key.strip(), []).append(value.strip())
    return settings


def build_package(out, version=None):
    """package-linux.sh on this build; the .deb's path."""
    result = run("bash", os.path.join(SOURCE, "scripts", "package-linux.sh"), "--build-dir", BUILD, "--no-build",
                 "--out", out, *(["--version", version] if version else []), cwd=SOURCE)
    if result.returncode != 0:
        raise AssertionError("package-linux.sh failed:\n" + result.stdout + result.stderr)
    return result.stdout.strip().splitlines()[-1]


def man_page(path):
    return run("man", "-l", "-P", "cat", path, env={"MANWIDTH": "200", "LANG": "C", "PATH": "/usr/bin:/bin"}).stdout


class Package(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.TemporaryDirectory()
        cls.deb = build_package(cls.folder.name)
        cls.root = os.path.join(cls.folder.name, "root")
        subprocess.run(["dpkg-deb", "-x", cls.deb, cls.root], check=True)
        cls.unit_text = read(os.path.join(cls.root, "lib/systemd/system/quarlix-server.service"))

    @classmethod
    def tearDownClass(cls):
        cls.folder.cleanup()

    def field(self, name):
        return run("dpkg-deb", "-f", self.deb, name).stdout.strip()

    def test_contents_and_control(self):
        self.assertRegex(os.path.basename(self.deb), r"^quarlix_\d+\.\d+\.\d+_amd64\.deb$")
        listing = run("dpkg-deb", "-c", self.deb).stdout
        for path in ("./usr/lib/quarlix/quarlix-exec", "./usr/lib/quarlix/quarlix-server", "./usr/lib/quarlix/libquarlix.so",
                     "./usr/lib/quarlix/libactiveds.so", "./usr/lib/quarlix/libopends60.so",
                     "./usr/lib/quarlix/libwin32compat.so", "./usr/lib/quarlix/samples/corp.ldif",
                     "./usr/bin/quarlix-exec -> ../lib/quarlix/quarlix-exec",
                     "./usr/sbin/quarlix-server -> ../lib/quarlix/quarlix-server",
                     "./usr/share/man/man1/quarlix-exec.1.gz", "./usr/share/man/man8/quarlix-server.8.gz",
                     "./lib/systemd/system/quarlix-server.service", "./usr/lib/sysusers.d/quarlix.conf",
                     "./etc/quarlix/quarlix-server.conf"):
            self.assertIn(path, listing)
        self.assertNotIn("/work/", listing)
        self.assertEqual(self.field("Package"), "quarlix")
        for library in ("libssl3", "libldap-2.5-0", "libc6"):
            self.assertIn(library, self.field("Depends"))
        conffiles = run("dpkg-deb", "-I", self.deb, "conffiles").stdout
        self.assertEqual(conffiles.split(), ["/etc/quarlix/quarlix-server.conf"])
        # Every library is found beside the program, not in some build folder.
        for name in ("quarlix-server", "quarlix-exec", "libquarlix.so", "libactiveds.so"):
            dynamic = run("readelf", "-d", os.path.join(self.root, "usr/lib/quarlix", name)).stdout
            self.assertIn("Library runpath: [$ORIGIN]", dynamic, name)

    def test_man_pages_come_from_the_programs_and_name_their_files(self):
        for page, program, option in (("man8/quarlix-server.8.gz", "quarlix-server", "--add-login"),
                                      ("man1/quarlix-exec.1.gz", "quarlix-exec", "--query")):
            text = man_page(os.path.join(self.root, "usr/share/man", page))
            help_text = run(os.path.join(BUILD, program), "--help").stdout
            self.assertIn(option, help_text)
            self.assertIn(option, text)
            self.assertIn(program.upper(), text)
            files = text.split("\nFILES\n", 1)[1].split("\nEXIT STATUS\n", 1)[0]
            for path in ("/etc/quarlix/adsi.conf", "/etc/quarlix/logins"):
                self.assertIn(path, files, page)
            # What SEE ALSO names is in the package (or another man page).
            see_also = text.split("\nSEE ALSO\n", 1)[1]
            named = re.findall(r"/usr/share/doc/quarlix/\S+?\.md", see_also)
            self.assertGreaterEqual(len(named), 2, see_also)
            for path in named:
                self.assertTrue(os.path.exists(self.root + path), path)

    def test_every_page_ships_and_its_links_resolve(self):
        docs = os.path.join(self.root, "usr/share/doc/quarlix")
        shipped = sorted(os.path.relpath(p, docs) for p in glob.glob(docs + "/**/*.md", recursive=True))
        source = ["README.md"] + sorted(os.path.relpath(p, SOURCE) for p in glob.glob(SOURCE + "/docs/*.md"))
        self.assertLessEqual(set(source), set(shipped))
        for page in shipped:
            with open(os.path.join(docs, page)) as f:
                for target in re.findall(r"\]\(([^)#\s]+)(?:#[^)]*)?\)", f.read()):
                    if "://" not in target:
                        self.assertTrue(os.path.exists(os.path.normpath(os.path.join(docs, os.path.dirname(page),
                                                                                      target))), (page, target))

    def test_unit_runs_as_quarlix_hardened(self):
        settings = unit_settings(self.unit_text)
        self.assertEqual(settings["User"], ["quarlix"])
        # No embedded directory unless the settings file names one.
        self.assertEqual(settings["Environment"], ["DIRECTORY=--no-directory"])
        self.assertIn(" $DIRECTORY $OPTIONS", settings["ExecStart"][0])
        self.assertEqual(settings["ExecReload"], ["/bin/kill -HUP $MAINPID"])  # logins read again
        self.assertEqual(settings["AmbientCapabilities"], ["CAP_NET_BIND_SERVICE"])
        self.assertEqual(settings["CapabilityBoundingSet"], ["CAP_NET_BIND_SERVICE"])
        for key, value in (("NoNewPrivileges", "yes"), ("ProtectSystem", "strict"), ("ProtectHome", "yes"),
                           ("PrivateTmp", "yes"), ("ReadOnlyPaths", "/etc/quarlix"), ("StandardError", "journal")):
            self.assertEqual(settings[key], [value], key)
        self.assertTrue(settings["ExecStart"][0].startswith("/usr/sbin/quarlix-server "))
        sysusers = read(os.path.join(self.root, "usr/lib/sysusers.d/quarlix.conf"))
        self.assertRegex(sysusers, r"(?m)^u quarlix ")

    def test_the_tree_moves(self):
        """The programs find their libraries and the sample directory wherever the tree lies."""
        moved = os.path.join(self.folder.name, "elsewhere")
        shutil.copytree(os.path.join(self.root, "usr"), moved, symlinks=True)
        here = run(os.path.join(BUILD, "quarlix-exec"), "-Q", LINE)
        there = run(os.path.join(moved, "bin", "quarlix-exec"), "-Q", LINE)
        self.assertEqual(there.returncode, 0, there.stderr)
        self.assertEqual(there.stdout, here.stdout)
        self.assertIn("rows affected", there.stdout)
        version = run(os.path.join(moved, "sbin", "quarlix-server"), "--version")
        self.assertRegex(version.stdout, r"^quarlix-server \d")


# The directory docs/server.md points the service at, as a slapd: the
# service account may read the staff, anonymous may not.
SUFFIX = "DC=corp,DC=example,DC=com"
SERVICE_ACCOUNT = "CN=svc-sql,OU=Service Accounts," + SUFFIX
SERVICE_PASSWORD = "Svc-Sql-Pass-1"
STAFF = ["Alice Smith", "Bob Jones", "Carol White"]
DIRECTORY = "".join(
    ["dn: %s\nobjectClass: dcObject\nobjectClass: organization\ndc: corp\no: corp\n\n" % SUFFIX,
     "dn: OU=Service Accounts,%s\nobjectClass: organizationalUnit\nou: Service Accounts\n\n" % SUFFIX,
     "dn: %s\nobjectClass: person\ncn: svc-sql\nsn: svc-sql\nuserPassword: %s\n\n" % (SERVICE_ACCOUNT, SERVICE_PASSWORD),
     "dn: OU=Staff,%s\nobjectClass: organizationalUnit\nou: Staff\n\n" % SUFFIX]
    + ["dn: CN=%s,OU=Staff,%s\nobjectClass: person\ncn: %s\nsn: %s\n\n" % (n, SUFFIX, n, n.split()[1]) for n in STAFF])
ACCESS = ('access to dn.subtree="OU=Staff,%s"\n  by dn.exact="%s" read\n  by * none\n'
          "access to attrs=userPassword\n  by anonymous auth\n  by * none\n"
          "access to *\n  by * read\n" % (SUFFIX, SERVICE_ACCOUNT))
LOGIN = ("reports", "change-me")
UNIT_LINK = "/etc/systemd/system/multi-user.target.wants/quarlix-server.service"


def systemd_stand_in():
    """Runs this program again in a mount namespace where /run/systemd/system
    exists (an empty tmpfs over /run/systemd), as when systemd runs; returns
    at once when already inside, or when not root."""
    if os.environ.get(NAMESPACE_MARK) or os.geteuid() != 0:
        return
    inner = ('mkdir -p /run/systemd && mount -t tmpfs -o mode=755 quarlix-test /run/systemd && '
             'mkdir /run/systemd/system && exec "$@"')
    sys.stdout.flush()
    os.execvpe("unshare", ["unshare", "--mount", "--propagation", "private", "sh", "-c", inner, "sh",
                           sys.executable] + sys.argv, dict(os.environ, **{NAMESPACE_MARK: "1"}))


@unittest.skipUnless(os.geteuid() == 0, "installing on the machine needs root")
class Installed(unittest.TestCase):
    """docs/server.md's `sh package` blocks, in order, as root, with a check
    after each; the test purges what is left at its end."""

    @classmethod
    def setUpClass(cls):
        if run("dpkg-query", "-W", "-f=${Status}", "quarlix").stdout.startswith("install ok"):
            raise unittest.SkipTest("a quarlix package is installed on this machine already; it is left alone")
        cls.folder = tempfile.TemporaryDirectory()
        out = cls.folder.name
        version = re.search(r"project\(quarlix VERSION (\S+)", read(os.path.join(SOURCE, "CMakeLists.txt"))).group(1)
        cls.first = build_package(os.path.join(out, "first"))
        cls.second = build_package(os.path.join(out, "second"), version + "+1")
        cls.state = os.path.join(out, "systemd")
        shim = os.path.join(out, "bin")
        os.makedirs(shim)
        with open(os.path.join(shim, "systemctl"), "w") as f:
            f.write('#!/bin/sh\nFAKE_SYSTEMD_STATE=%s exec /usr/bin/python3 %s "$@"\n'
                    % (cls.state, os.path.join(HERE, "fake_systemctl.py")))
        os.chmod(os.path.join(shim, "systemctl"), 0o755)
        # In this namespace only: apt gives the package's scripts a PATH of its own.
        subprocess.run(["mount", "--bind", os.path.join(shim, "systemctl"), shutil.which("systemctl")], check=True)
        cls.environment = dict(os.environ, DEBIAN_FRONTEND="noninteractive", LANG="C.UTF-8")
        cls.slapd = Slapd(DIRECTORY, suffix=SUFFIX, rootdn="CN=admin," + SUFFIX, access=ACCESS)
        cls.slapd.__enter__()
        cls.port = str(free_port())
        cls.transcript = []

    @classmethod
    def tearDownClass(cls):
        run("systemctl", "stop", "quarlix-server", env=cls.environment)
        run("dpkg", "--purge", "quarlix", timeout=300, env=cls.environment)
        shutil.rmtree("/etc/quarlix", ignore_errors=True)
        if os.path.islink(UNIT_LINK):
            os.remove(UNIT_LINK)
        cls.slapd.close()
        cls.folder.cleanup()
        print("\n".join(cls.transcript))

    def localised(self, text):
        for docs_text, here in (("./dist/quarlix_1.0.0_amd64.deb", self.first),
                                ("./dist/quarlix_1.0.1_amd64.deb", self.second),
                                ("ldap://dc01.corp.example.com", self.slapd.url), ("1433", self.port)):
            text = text.replace(docs_text, here)
        return text

    def systemctl_calls(self):
        path = os.path.join(self.state, "calls")
        return read(path).splitlines() if os.path.exists(path) else []

    def sh(self, text, stdin=""):
        """Runs a step; the transcript gets it, its output and the systemctl calls it made."""
        before = len(self.systemctl_calls())
        result = subprocess.run(["bash", "-e", "-o", "pipefail", "-c", text], input=stdin, capture_output=True,
                                text=True, timeout=600, env=self.environment, cwd=self.folder.name)
        calls = "".join("[systemctl %s]\n" % call for call in self.systemctl_calls()[before:])
        self.transcript.append("$ " + text.rstrip().replace("\n", "\n$ ") + "\n" + result.stdout + result.stderr + calls)
        return result

    def service_pid(self):
        try:
            pid = int(read(os.path.join(self.state, "quarlix-server.service.pid")))
            os.kill(pid, 0)
            return pid
        except (OSError, ValueError):
            return None

    def service_log(self):
        return read(os.path.join(self.state, "quarlix-server.service.log"))

    def ask(self, line, login=LOGIN):
        answer = run("tsql", "-H", "127.0.0.1", "-p", self.port, "-U", login[0], "-P", login[1],
                     input=line + "\ngo\n", env={"LANG": "C.UTF-8", "PATH": "/usr/bin:/bin"}, timeout=60)
        return answer.stdout + answer.stderr

    # -- checks after the steps --

    def installed(self, result):
        user = run("getent", "passwd", "quarlix").stdout.split(":")
        self.assertEqual(user[0], "quarlix")
        self.assertIn(user[6].strip(), ("/usr/sbin/nologin", "/sbin/nologin"))
        folder = os.stat("/etc/quarlix")
        self.assertEqual(oct(folder.st_mode & 0o7777), "0o2750")
        self.assertEqual(run("getent", "group", str(folder.st_gid)).stdout.split(":")[0], "quarlix")
        if shutil.which("systemd-analyze"):
            verify = run("systemd-analyze", "verify", "/lib/systemd/system/quarlix-server.service")
            problems = [line for line in (verify.stdout + verify.stderr).splitlines()
                        if "quarlix-server.service" in line and "sysinit.target" not in line]
            self.assertEqual(problems, [])
        # The test's own step: a free port instead of 1433, which another may hold.
        conf = read("/etc/quarlix/quarlix-server.conf")
        self.assertIn("\nLISTEN=127.0.0.1:1433\n", conf)
        with open("/etc/quarlix/quarlix-server.conf", "w") as f:
            f.write(conf.replace("LISTEN=127.0.0.1:1433", "LISTEN=127.0.0.1:" + self.port))

    def started(self, result):
        logins = os.stat("/etc/quarlix/logins")
        self.assertEqual(oct(logins.st_mode & 0o777), "0o640")
        self.assertEqual(logins.st_gid, os.stat("/etc/quarlix").st_gid)
        self.assertTrue(os.path.islink(UNIT_LINK))
        status = read("/proc/%d/status" % self.service_pid())
        self.assertEqual(re.search(r"(?m)^Uid:\s+(\d+)", status).group(1), str(pwd.getpwnam("quarlix").pw_uid))
        # No sample: the service says serverless paths go to a server.
        self.assertRegex(self.service_log(), r"quarlix-server: serverless paths reach ldap://")

    def reloaded(self, result):
        # The same process reads the logins again; the new login is in.
        self.assertEqual(self.service_pid(), self.pid_before_reload)
        self.assertTrue(wait_until(lambda: "SIGHUP: read 2 logins from /etc/quarlix/logins" in self.service_log()),
                        self.service_log())
        self.assertIn("(1 row affected)", self.ask("SELECT SUSER_SNAME()", ("auditor", "auditor-pw")))
        self.assertNotIn("auditor-pw", self.service_log())

    def asked(self, result):
        expected = run("ldapsearch", "-x", "-LLL", "-H", self.slapd.url, "-D", SERVICE_ACCOUNT, "-w", SERVICE_PASSWORD,
                       "-b", "OU=Staff," + SUFFIX, "(objectClass=person)", "cn").stdout
        names = re.findall(r"(?m)^cn: (.*)$", expected)
        self.assertEqual(sorted(names), STAFF)
        for name in names:
            self.assertIn(name, result.stdout)
        self.assertIn("(%d rows affected)" % len(names), result.stdout)
        self.assertIn("serverless paths reach %s (LDAPURI)" % self.slapd.url, self.service_log())
        # A password file the service cannot read: every call fails, and the
        # log says why, without the password.
        os.chmod("/etc/quarlix/svc-sql.pw", 0o600)
        self.sh("systemctl restart quarlix-server")
        self.assertIn("Msg 20001", self.ask(self.localised(self.query)))
        self.assertIn("directory: /etc/quarlix/adsi.conf:2: cannot read the file 'bindpw_file' names: "
                      "Permission denied", self.service_log())
        os.chmod("/etc/quarlix/svc-sql.pw", 0o640)
        self.sh("systemctl restart quarlix-server")
        self.assertNotIn(SERVICE_PASSWORD, self.service_log())

    def upgraded(self, result):
        self.assertEqual(run("dpkg-query", "-W", "-f=${Version}", "quarlix").stdout, run(
            "dpkg-deb", "-f", self.second, "Version").stdout.strip())
        pid = self.service_pid()
        self.assertIsNotNone(pid, "the service did not come back after the upgrade")
        self.assertNotEqual(pid, self.pid_before_upgrade)
        self.assertFalse(os.readlink("/proc/%d/exe" % pid).endswith("(deleted)"))
        self.assertIn("try-restart quarlix-server.service", read(os.path.join(self.state, "calls")))
        for name in STAFF:
            self.assertIn(name, self.ask(self.localised(self.query)))

    def removed(self, result):
        self.assertIsNone(self.service_pid())
        self.assertFalse(os.path.exists("/usr/sbin/quarlix-server"))
        for kept in ("/etc/quarlix/logins", "/etc/quarlix/adsi.conf", UNIT_LINK):
            self.assertTrue(os.path.lexists(kept), kept)

    def purged(self, result):
        self.assertEqual(sorted(os.listdir("/etc/quarlix")), ["adsi.conf", "svc-sql.pw"])
        self.assertFalse(os.path.lexists(UNIT_LINK))
        self.assertEqual(run("getent", "passwd", "quarlix").returncode, 0)  # left, and said so

    def test_the_service_pages_steps_as_written(self):
        found = [b for b in doc_blocks.blocks(os.path.join(SOURCE, "docs", "server.md"), SOURCE)
                 if b.role == "package"]
        self.query = [b for b in found if "tsql" in b.text][0].text.split('"')[1]
        checks = [("apt-get install -y ./dist/quarlix_1.0.0", self.installed, ""),
                  ("systemctl enable --now", self.started, LOGIN[1] + "\n"),
                  ("systemctl reload", self.reloaded, "auditor-pw\n"),
                  ("cat > svc-sql.pw", None, SERVICE_PASSWORD + "\n"),
                  ("tsql", self.asked, ""),
                  ("./dist/quarlix_1.0.1", self.upgraded, ""),
                  ("apt-get remove", self.removed, ""),
                  ("apt-get purge", self.purged, "")]
        done = []
        for block in found:
            with self.subTest(block=block.where()):
                marker, check, stdin = next((c for c in checks if c[0] in block.text), ("", None, ""))
                if "systemctl reload" in block.text:
                    self.pid_before_reload = self.service_pid()
                if "./dist/quarlix_1.0.1" in block.text:
                    self.pid_before_upgrade = self.service_pid()
                result = self.sh(self.localised(block.text), stdin)
                self.assertEqual(result.returncode, 0, block.where() + "\n" + result.stdout + result.stderr)
                if block.output is not None:
                    self.assertTrue(doc_blocks.matches(self.localised(block.output), result.stdout),
                                    "%s printed\n%s\nnot\n%s" % (block.where(), result.stdout, block.output))
                done.append(marker)
                if check:
                    check(result)
        # Every step the test knows was in the page, in this order.
        self.assertEqual([m for m in done if m], [c[0] for c in checks])


if __name__ == "__main__":
    SOURCE, BUILD = sys.argv[1], sys.argv[2]
    systemd_stand_in()
    unittest.main(argv=[sys.argv[0], "-v"] + sys.argv[3:])
