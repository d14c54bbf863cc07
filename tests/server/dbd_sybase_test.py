"""Perl's DBD::Sybase (Debian's libdbd-sybase-perl, over FreeTDS) against
quarlix-server. With AutoCommit off the driver sends SET
IMPLICIT_TRANSACTIONS ON, runs the EXEC and commits with COMMIT TRAN. An
EXEC of an extended procedure opens no implicit transaction (only the
statements SQL Server lists do), so there is nothing to commit and the
server answers error 3902, as SQL Server does; the rows are whole either way.
Usage: dbd_sybase_test.py QUARLIX_SERVER QUARLIX_EXEC"""
import json
import os
import subprocess
import sys
import unittest

from server_fixture import DIRECTORY, PASSWORD, USER, Build, Server

BUILD = None
LINE = f"EXEC quarlix '{DIRECTORY}', '(sAMAccountName=j*)', 'sAMAccountName,cn'"
CLIENT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "perl", "dbd_sybase_client.pl")


def run_client(server, autocommit):
    result = subprocess.run(["perl", CLIENT, str(server.port), USER, PASSWORD, str(autocommit), LINE],
                            capture_output=True, text=True, timeout=120, env=dict(os.environ, TDSVER="7.4"))
    if result.returncode != 0:
        raise AssertionError(result.stderr)
    return {step["step"]: step for step in map(json.loads, result.stdout.splitlines())}


class DbdSybase(unittest.TestCase):
    def test_autocommit_off_and_on(self):
        expected = BUILD.expected(LINE, codepage=1252)["rows"]
        with Server(BUILD) as server:
            off = run_client(server, 0)
            on = run_client(server, 1)
        for steps in (off, on):
            self.assertEqual(steps["exec"]["result"], expected)
            self.assertIsNone(steps["exec"]["error"])
            # Neither the EXEC nor a SELECT of no table began a transaction.
            self.assertEqual(steps["trancount"]["result"], [[0]])
            # The "last insert id" probe (SELECT @@IDENTITY): NULL, no error.
            self.assertIsNone(steps["last_insert_id"]["result"])
            self.assertIsNone(steps["last_insert_id"]["error"])
        self.assertEqual(off["commit"]["result"], 0)
        self.assertIn("3902", off["commit"]["error"])
        self.assertIn("The COMMIT TRANSACTION request has no corresponding BEGIN TRANSACTION.", off["commit"]["error"])


if __name__ == "__main__":
    BUILD = Build(sys.argv[1], sys.argv[2])
    unittest.main(argv=[sys.argv[0], "-v"] + sys.argv[3:])
