"""What quarlix-server's log says, as an administrator reads it: a TLS
client that ends its connection the usual way has closed it (no failure),
and a notice of the directory names the connection whose call met it.
Usage: server_log_test.py QUARLIX_SERVER QUARLIX_EXEC"""
import os
import re
import subprocess
import sys
import tempfile
import unittest

from server_fixture import PASSWORD, USER, Build, Server, certificate, wait_until

BUILD = None


def tsql(port, script):
    return subprocess.run(["tsql", "-H", "127.0.0.1", "-p", str(port), "-U", USER, "-P", PASSWORD],
                          input=script, capture_output=True, text=True, timeout=60,
                          env={"LANG": "C.UTF-8", "PATH": "/usr/bin:/bin"})


class Log(unittest.TestCase):
    def test_a_tls_client_that_leaves_has_closed_its_connection(self):
        cert, key = certificate()
        with Server(BUILD, "--tls-cert", cert, "--tls-key", key) as server:
            result = tsql(server.port, "SELECT @@VERSION\ngo\n")
            self.assertIn("quarlix-server", result.stdout, result.stderr)
            self.assertTrue(wait_until(lambda: "closed" in server.stderr()))
            log = server.stderr()
            self.assertRegex(log, r"connection 1 from 127\.0\.0\.1:\d+: login alice \(TLS\)")
            self.assertRegex(log, r"connection 1 from 127\.0\.0\.1:\d+ closed: the client closed the connection")
            self.assertNotIn("TLS read failed", log)

    def test_directory_notices_name_the_connection(self):
        with tempfile.TemporaryDirectory() as folder:
            broken = os.path.join(folder, "adsi.conf")
            with open(broken, "w") as f:
                f.write("this is not a setting\n")
            os.environ["QUARLIX_ADSI_CONFIG"] = broken
            try:
                with Server(BUILD, "--no-directory") as server:
                    tsql(server.port, "EXEC quarlix 'LDAP://127.0.0.1:9/dc=example,dc=com', '(cn=*)', 'cn'\ngo\n")
                    self.assertTrue(wait_until(lambda: "directory:" in server.stderr()))
                    lines = [line for line in server.stderr().splitlines() if "directory:" in line]
            finally:
                del os.environ["QUARLIX_ADSI_CONFIG"]
        self.assertTrue(lines)
        for line in lines:
            self.assertRegex(line, r"^quarlix-server: connection 1 from 127\.0\.0\.1:\d+: directory: " + re.escape(broken))


if __name__ == "__main__":
    BUILD = Build(sys.argv[1], sys.argv[2])
    unittest.main(argv=[sys.argv[0], "-v"] + sys.argv[3:])
