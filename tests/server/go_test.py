"""Go's database/sql with go-mssqldb (Debian's
golang-github-denisenkom-go-mssqldb-dev, built here with Debian's Go)
against quarlix-server with its default limits: a pool that opens 64
connections at once from one address gets every one logged in (logins wait
their turn instead of being refused), workers sharing the default pool lose
no call, and the same over TLS. This driver snapshot panics in
SetWriteDeadline when it closes an encrypted connection, a fault of the
client: the TLS runs keep every connection open until the program ends.
Usage: go_test.py QUARLIX_SERVER QUARLIX_EXEC"""
import json
import os
import subprocess
import sys
import tempfile
import unittest

from server_fixture import DIRECTORY, PASSWORD, USER, Build, Server, certificate

BUILD = None
SOURCE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "go", "quarlix_pool.go")
VALUES = [DIRECTORY, "(sAMAccountName=j*)", "sAMAccountName,mail,cn"]
_BUILT = tempfile.TemporaryDirectory()


def program():
    """The client, built once per run with Debian's Go and Debian's driver sources (no network)."""
    path = os.path.join(_BUILT.name, "quarlix_pool")
    if not os.path.exists(path):
        env = dict(os.environ, GOPATH="/usr/share/gocode", GO111MODULE="off", GOFLAGS="",
                   GOCACHE=os.path.join(_BUILT.name, "cache"))
        subprocess.run(["go", "build", "-o", path, SOURCE], check=True, env=env, timeout=600)
    return path


def run_pool(server, *mode, encrypt=False):
    dsn = (f"server=127.0.0.1;port={server.port};user id={USER};password={PASSWORD};"
           + ("encrypt=true;TrustServerCertificate=true" if encrypt else "encrypt=disable"))
    arguments = [program(), "-dsn", dsn, "-sql", "EXEC quarlix ?, ?, ?"]
    for value in VALUES:
        arguments += ["-arg", value]
    result = subprocess.run(arguments + list(mode), capture_output=True, text=True, timeout=300)
    if result.returncode != 0:
        raise AssertionError(result.stderr[-2000:])
    return json.loads(result.stdout)


class Pool(unittest.TestCase):
    def check(self, outcome, calls, expected, server):
        self.assertEqual(outcome["errors"], {}, server.stderr()[-3000:])
        self.assertEqual(outcome["succeeded"], calls)
        self.assertEqual(outcome["rows"], expected)

    def test_a_burst_of_64_connections_and_workers_sharing_the_default_pool(self):
        expected = BUILD.expected("EXEC quarlix " + ", ".join(f"'{v}'" for v in VALUES), codepage=1252)["rows"]
        with Server(BUILD) as server:
            self.check(run_pool(server, "-burst", "64"), 64, expected, server)
            self.assertGreaterEqual(server.stderr().count(": login alice"), 64)
            self.check(run_pool(server, "-workers", "40", "-calls", "400"), 400, expected, server)

    def test_tls(self):
        expected = BUILD.expected("EXEC quarlix " + ", ".join(f"'{v}'" for v in VALUES), codepage=1252)["rows"]
        cert, key = certificate()
        with Server(BUILD, "--tls-cert", cert, "--tls-key", key) as server:
            self.check(run_pool(server, "-burst", "64", encrypt=True), 64, expected, server)
            self.check(run_pool(server, "-workers", "20", "-calls", "100", "-keep-idle", encrypt=True), 100, expected, server)
            self.assertIn("(TLS)", server.stderr())


if __name__ == "__main__":
    BUILD = Build(sys.argv[1], sys.argv[2])
    unittest.main(argv=[sys.argv[0], "-v"] + sys.argv[3:])
