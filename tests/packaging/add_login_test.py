"""quarlix-server --add-login NAME --logins FILE: adds a login or replaces
the one of the same name, keeps every other line, leaves a broken file as it
is, makes a new file 0640 and keeps an old file's mode; the server started on
the result accepts the new password and refuses the old.
Usage: add_login_test.py QUARLIX_SERVER"""
import os
import stat
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "server"))
from raw_client import RawClient, has_login_ack  # noqa: E402

SERVER = None


def add_login(path, name, password):
    return subprocess.run([SERVER, "--add-login", name, "--logins", path], input=password + "\n",
                          capture_output=True, text=True, timeout=60)


def read(path):
    with open(path) as f:
        return f.read()


def accepts(path, name, password):
    process = subprocess.Popen([SERVER, "--listen", "127.0.0.1:0", "--logins", path, "--quiet"],
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    try:
        port = int(process.stdout.readline().rsplit(":", 1)[1])
        client = RawClient(port)
        try:
            return has_login_ack(client.login(name, password))
        finally:
            client.close()
    finally:
        process.terminate()
        process.wait(30)


class AddLogin(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        self.path = os.path.join(self.folder.name, "logins")

    def tearDown(self):
        self.folder.cleanup()

    def test_new_file_add_and_replace(self):
        self.assertEqual(add_login(self.path, "reports", "first-Pass1").returncode, 0)
        self.assertEqual(stat.S_IMODE(os.stat(self.path).st_mode), 0o640)
        with open(self.path, "a") as f:
            f.write("# kept: a comment of the administrator\n")
        self.assertEqual(add_login(self.path, "audit", "audit-Pass1").returncode, 0)
        before = read(self.path).splitlines()
        # The same name in other letters replaces the line in place.
        self.assertEqual(add_login(self.path, "REPORTS", "second-Pass2").returncode, 0)
        after = read(self.path).splitlines()
        self.assertEqual(len(after), 3)
        self.assertTrue(after[0].startswith("REPORTS:pbkdf2-sha256:"))
        self.assertNotEqual(after[0], before[0])
        self.assertEqual(after[1:], before[1:])
        self.assertNotIn("second-Pass2", read(self.path))
        self.assertTrue(accepts(self.path, "reports", "second-Pass2"))
        self.assertFalse(accepts(self.path, "reports", "first-Pass1"))
        self.assertTrue(accepts(self.path, "audit", "audit-Pass1"))
        # Nothing is left beside it.
        self.assertEqual(os.listdir(self.folder.name), ["logins"])

    def test_old_mode_kept_and_broken_file_untouched(self):
        self.assertEqual(add_login(self.path, "reports", "first-Pass1").returncode, 0)
        os.chmod(self.path, 0o600)
        self.assertEqual(add_login(self.path, "audit", "audit-Pass1").returncode, 0)
        self.assertEqual(stat.S_IMODE(os.stat(self.path).st_mode), 0o600)
        with open(self.path, "a") as f:
            f.write("not a login line\n")
        broken = read(self.path)
        result = add_login(self.path, "third", "third-Pass1")
        self.assertEqual(result.returncode, 2)
        self.assertIn("line 3", result.stderr)
        self.assertEqual(read(self.path), broken)

    def test_refusals(self):
        result = add_login(self.path, "bad:name", "x")
        self.assertEqual(result.returncode, 2)
        self.assertIn("login name", result.stderr)
        self.assertFalse(os.path.exists(self.path))
        result = subprocess.run([SERVER, "--add-login", "reports"], input="x\n", capture_output=True, text=True)
        self.assertEqual(result.returncode, 2)
        self.assertIn("--logins FILE", result.stderr)
        result = add_login(os.path.join(self.folder.name, "missing", "logins"), "reports", "x")
        self.assertEqual(result.returncode, 2)
        self.assertIn("cannot write", result.stderr)


if __name__ == "__main__":
    SERVER = sys.argv[1]
    unittest.main(argv=[sys.argv[0], "-v"] + sys.argv[2:])
