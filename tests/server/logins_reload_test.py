"""The logins file over a server's life: SIGHUP reads it again (a file that
does not read, or holds no login, keeps the logins in force), --remove-login,
a server with no logins or a key it cannot read refuses to start and says why.
Usage: logins_reload_test.py QUARLIX_SERVER QUARLIX_EXEC"""
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import unittest

import pytds

from server_fixture import PASSWORD, USER, Build, Server, certificate, wait_until

BUILD = None


def logs_in(server, user, password):
    """True when the login is accepted, False when refused as a login failure."""
    try:
        with pytds.connect(server="127.0.0.1", port=server.port, user=user, password=password, autocommit=True,
                           login_timeout=30) as conn:
            cursor = conn.cursor()
            cursor.execute("SELECT 1")
            return cursor.fetchall() == [(1,)]
    except pytds.tds_base.OperationalError as refused:
        if "Login failed" not in str(refused):
            raise
        return False


def run_server(*arguments, user=None):
    """quarlix-server run to its end (as `user`, "name:group", when given): exit status and standard error."""
    prefix = []
    if user:
        name, group = user.split(":")
        prefix = ["setpriv", f"--reuid={name}", f"--regid={group}", "--clear-groups"]
    done = subprocess.run(prefix + [BUILD.server, *arguments], capture_output=True, text=True, timeout=60,
                          input="pw-of-bob\n")
    return done.returncode, done.stderr


class Reload(unittest.TestCase):
    def test_sighup_reads_the_logins_file_again_and_keeps_it_when_it_does_not_read(self):
        with Server(BUILD) as server:
            kept = pytds.connect(server="127.0.0.1", port=server.port, user=USER, password=PASSWORD, autocommit=True)
            self.assertEqual(run_server("--add-login", "bob", "--logins", server.logins)[0], 0)
            self.assertFalse(logs_in(server, "bob", "pw-of-bob"), "read before any SIGHUP")

            cases = [
                # (what the file holds, bob logs in after SIGHUP, alice logs in, the log line's part)
                ("as --add-login left it", True, True, "SIGHUP: read 2 logins from"),
                ("a malformed line", True, True, r"line 4: expected name:pbkdf2-sha256.*2 logins read before stay"),
                ("no login", True, True, "holds no login"),
                ("missing", True, True, "cannot read the logins file"),
                ("alice removed", True, False, r"SIGHUP: read 1 logins from .* \(connections already logged in stay\)"),
            ]
            good = open(server.logins).read()
            for state, bob, alice, line in cases:
                with self.subTest(state=state):
                    if state == "a malformed line":
                        with open(server.logins, "a") as f:
                            f.write("carol:secret\n")
                    elif state == "no login":
                        with open(server.logins, "w") as f:
                            f.write("# nobody\n")
                    elif state == "missing":
                        os.remove(server.logins)
                    elif state == "alice removed":
                        with open(server.logins, "w") as f:
                            f.write(good)
                        status, err = run_server("--remove-login", "ALICE", "--logins", server.logins)
                        self.assertEqual(status, 0, err)
                    before = server.stderr().count("SIGHUP")
                    server.process.send_signal(signal.SIGHUP)
                    self.assertTrue(wait_until(lambda: server.stderr().count("SIGHUP") > before), server.stderr())
                    said = [l for l in server.stderr().splitlines() if "SIGHUP" in l][-1]
                    self.assertRegex(said, line)
                    self.assertEqual(logs_in(server, "bob", "pw-of-bob"), bob)
                    self.assertEqual(logs_in(server, USER, PASSWORD), alice)
            # A connection that logged in before stays, even with its login gone.
            cursor = kept.cursor()
            cursor.execute("SELECT 2")
            self.assertEqual(cursor.fetchall(), [(2,)])
            kept.close()
            self.assertTrue(server.alive())
            self.assertNotIn("pw-of-bob", server.stderr())

    def test_remove_login_refuses_what_it_cannot_do_and_changes_nothing(self):
        folder = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, folder)
        path = os.path.join(folder, "logins")
        self.assertEqual(run_server("--add-login", "bob", "--logins", path)[0], 0)
        before = open(path).read()
        for arguments, reason in [
            (["--remove-login", "carol", "--logins", path], "has no login carol"),
            (["--remove-login", "bob", "--logins", path + ".none"], "No such file or directory"),
            (["--remove-login", "bob"], "--remove-login NAME needs --logins FILE"),
            (["--remove-login", "bob", "--add-login", "bob", "--logins", path], "one of --add-login or --remove-login"),
        ]:
            with self.subTest(arguments=arguments):
                status, err = run_server(*arguments)
                self.assertEqual(status, 2, err)
                self.assertIn(reason, err)
                self.assertEqual(open(path).read(), before)
        self.assertEqual(run_server("--remove-login", "BOB", "--logins", path)[0], 0)
        self.assertNotIn("bob:", open(path).read())


class Start(unittest.TestCase):
    def test_a_server_without_logins_or_with_a_key_it_cannot_read_does_not_start(self):
        folder = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, folder)
        os.chmod(folder, 0o755)
        empty = os.path.join(folder, "logins")
        with open(empty, "w") as f:
            f.write("# nobody yet\n")
        status, err = run_server("--listen", "127.0.0.1:0", "--logins", empty)
        self.assertEqual(status, 2)
        self.assertIn("holds no login: nobody could log in", err)

        # A key made 0600 by root, read by a service's user: the message names user, group and the remedy.
        cert, key = certificate()
        own_cert, own_key = os.path.join(folder, "cert.pem"), os.path.join(folder, "key.pem")
        shutil.copy(cert, own_cert)
        shutil.copy(key, own_key)
        os.chmod(own_cert, 0o644)
        os.chmod(own_key, 0o600)
        self.assertEqual(run_server("--add-login", "bob", "--logins", empty)[0], 0)
        os.chmod(empty, 0o644)
        status, err = run_server("--listen", "127.0.0.1:0", "--logins", empty, "--tls-cert", own_cert,
                                 "--tls-key", own_key, user="nobody:nogroup")
        self.assertEqual(status, 2, err)
        self.assertIn(f"cannot read the key {own_key}: Permission denied (this server runs as user nobody, group "
                      "nogroup; let the group read it: chgrp nogroup " + own_key + " && chmod 640 " + own_key + ")", err)


if __name__ == "__main__":
    BUILD = Build(sys.argv[1], sys.argv[2])
    unittest.main(argv=[sys.argv[0], "-v"] + sys.argv[3:])
