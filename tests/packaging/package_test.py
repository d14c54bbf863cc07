"""The Debian package as a DBA meets it: built from this build folder, its
files and scripts, the tree moved elsewhere still running, and (as root, when
the package is not already installed) installed on this machine with apt,
the system user and /etc/quarlix made, a login added, the installed server
started as the user quarlix the way its unit starts it and asked through
tsql, then purged.
Usage: package_test.py SOURCE_DIR BUILD_DIR"""
import os
import re
import shlex
import shutil
import subprocess
import sys
import tempfile
import unittest

SOURCE = BUILD = None
LINE = "EXEC master..quarlix 'LDAP://OU=Sales,OU=Staff,DC=corp,DC=example,DC=com', '(objectClass=user)', 'cn,mail'"


def run(*command, **kwargs):
    kwargs.setdefault("timeout", 600)
    return subprocess.run(command, capture_output=True, text=True, **kwargs)


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


class Package(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.TemporaryDirectory()
        result = run("bash", os.path.join(SOURCE, "scripts", "package-linux.sh"), "--build-dir", BUILD,
                     "--no-build", "--out", cls.folder.name, cwd=SOURCE)
        if result.returncode != 0:
            raise AssertionError("package-linux.sh failed:\n" + result.stdout + result.stderr)
        cls.deb = result.stdout.strip().splitlines()[-1]
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

    def test_man_pages_come_from_the_programs(self):
        for page, program, option in (("man8/quarlix-server.8.gz", "quarlix-server", "--add-login"),
                                      ("man1/quarlix-exec.1.gz", "quarlix-exec", "--query")):
            text = run("man", "-l", "-P", "cat", os.path.join(self.root, "usr/share/man", page),
                       env={"MANWIDTH": "200", "LANG": "C", "PATH": "/usr/bin:/bin"}).stdout
            help_text = run(os.path.join(BUILD, program), "--help").stdout
            self.assertIn(option, help_text)
            self.assertIn(option, text)
            self.assertIn(program.upper(), text)

    def test_unit_runs_as_quarlix_hardened(self):
        settings = unit_settings(self.unit_text)
        self.assertEqual(settings["User"], ["quarlix"])
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


@unittest.skipUnless(os.geteuid() == 0, "installing on the machine needs root")
class Installed(unittest.TestCase):
    """apt installs the package; the test purges it again."""

    @classmethod
    def setUpClass(cls):
        if run("dpkg-query", "-W", "-f=${Status}", "quarlix").stdout.startswith("install ok"):
            raise unittest.SkipTest("a quarlix package is installed on this machine already; it is left alone")
        Package.setUpClass()
        cls.folder, cls.deb = Package.folder, Package.deb
        result = run("apt-get", "install", "-y", "-q", "--no-install-recommends", "-o", "DPkg::Lock::Timeout=300",
                     os.path.abspath(cls.deb), env=dict(os.environ, DEBIAN_FRONTEND="noninteractive"))
        if result.returncode != 0:
            cls.purge()
            raise AssertionError("apt-get install failed:\n" + result.stdout + result.stderr)

    @classmethod
    def purge(cls):
        run("dpkg", "--purge", "quarlix", timeout=300)

    @classmethod
    def tearDownClass(cls):
        cls.purge()
        cls.folder.cleanup()

    def test_install_add_login_start_as_quarlix_query_purge(self):
        user = run("getent", "passwd", "quarlix").stdout.split(":")
        self.assertEqual(user[0], "quarlix")
        self.assertIn(user[6].strip(), ("/usr/sbin/nologin", "/sbin/nologin"))
        folder = os.stat("/etc/quarlix")
        self.assertEqual(oct(folder.st_mode & 0o7777), "0o2750")
        self.assertEqual(run("getent", "group", str(folder.st_gid)).stdout.split(":")[0], "quarlix")

        # The unit is sound where it lies, with its program and man page installed.
        if shutil.which("systemd-analyze"):
            verify = run("systemd-analyze", "verify", "/lib/systemd/system/quarlix-server.service")
            problems = [line for line in (verify.stdout + verify.stderr).splitlines()
                        if "quarlix-server.service" in line and "sysinit.target" not in line]
            self.assertEqual(problems, [])

        add = run("/usr/sbin/quarlix-server", "--add-login", "reports", "--logins", "/etc/quarlix/logins",
                  input="change-me\n")
        self.assertEqual(add.returncode, 0, add.stderr)
        logins = os.stat("/etc/quarlix/logins")
        self.assertEqual(oct(logins.st_mode & 0o777), "0o640")
        self.assertEqual(logins.st_gid, folder.st_gid)

        # The unit's command, its settings file and user, as systemd would run it.
        settings = unit_settings(read("/lib/systemd/system/quarlix-server.service"))
        config = dict(line.split("=", 1) for line in read("/etc/quarlix/quarlix-server.conf").splitlines()
                      if "=" in line and not line.startswith("#"))
        self.assertEqual(config["LISTEN"], "127.0.0.1:1433")
        command = settings["ExecStart"][0].replace("${LISTEN}", "127.0.0.1:0").replace("$OPTIONS", config["OPTIONS"])
        process = subprocess.Popen(["setpriv", "--reuid=quarlix", "--regid=quarlix", "--init-groups",
                                    "--inh-caps=+net_bind_service", "--ambient-caps=+net_bind_service"]
                                   + shlex.split(command), stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        try:
            line = process.stdout.readline()
            self.assertIn("listening on 127.0.0.1:", line, process.stderr.read() if process.poll() is not None else "")
            port = line.rsplit(":", 1)[1].strip()
            status = read(f"/proc/{process.pid}/status")
            uid = re.search(r"(?m)^Uid:\s+(\d+)", status).group(1)
            self.assertEqual(uid, user[2])
            answer = run("tsql", "-H", "127.0.0.1", "-p", port, "-U", "reports", "-P", "change-me",
                         input=LINE + "\ngo\n", env={"LANG": "C.UTF-8", "PATH": "/usr/bin:/bin"}, timeout=60)
            expected = run("/usr/bin/quarlix-exec", "--format", "csv", "-Q", LINE).stdout.splitlines()
            names = [row.split(",")[0] for row in expected[1:] if row]
            self.assertGreater(len(names), 0)
            for name in names:
                self.assertIn(name, answer.stdout)
            self.assertIn(f"({len(names)} rows affected)", answer.stdout)
        finally:
            process.terminate()
            process.wait(150)
        self.assertEqual(process.returncode, 0)

        self.purge()
        self.assertFalse(os.path.exists("/usr/sbin/quarlix-server"))
        self.assertFalse(os.path.exists("/etc/quarlix"))


if __name__ == "__main__":
    SOURCE, BUILD = sys.argv[1], sys.argv[2]
    unittest.main(argv=[sys.argv[0], "-v"] + sys.argv[3:])
