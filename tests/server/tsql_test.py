"""FreeTDS's tsql against quarlix-server: answers as quarlix-exec gives them
(tab-separated, NULL as NULL), the row count, the procedure's messages with
their number, severity, state and procedure name, wrong logins, and TLS.
Usage: tsql_test.py QUARLIX_SERVER QUARLIX_EXEC"""
import subprocess
import sys
import unittest

from server_fixture import DIRECTORY, PASSWORD, USER, Build, Server, certificate

BUILD = None
LINE = f"EXEC quarlix '{DIRECTORY}', '(sAMAccountName=j*)', 'sAMAccountName,mail,cn'"


def tsql(server, script, user=USER, password=PASSWORD):
    result = subprocess.run(["tsql", "-H", "127.0.0.1", "-p", str(server.port), "-U", user, "-P", password],
                            input=script, capture_output=True, text=True, timeout=60,
                            env={"LANG": "C.UTF-8", "PATH": "/usr/bin:/bin"})
    return result.stdout, result.stderr


def table_of(stdout):
    """The lines tsql printed for a result set, without its prompts."""
    lines = []
    for line in stdout.splitlines():
        while line.startswith(("1> ", "2> ")):
            line = line[3:]
        if line and not line.startswith(("locale", "using default")):
            lines.append(line)
    return lines


class Tsql(unittest.TestCase):
    def check_answers(self, server, codepage):
        expected = BUILD.expected(LINE, codepage)
        out, err = tsql(server, LINE + "\ngo\n")
        lines = table_of(out)
        header = "\t".join(c["name"] for c in expected["columns"])
        self.assertEqual(lines[0], header, err)
        rows = ["\t".join("NULL" if c is None else c for c in row) for row in expected["rows"]]
        self.assertEqual(lines[1:1 + len(rows)], rows)
        self.assertIn(f"({expected['count']} rows affected)", out)
        self.assertIn("Jürgen Müller", out)

    def test_answers_in_both_code_pages(self):
        for codepage in (1252, 65001):
            with self.subTest(codepage=codepage), Server(BUILD, codepage=codepage) as server:
                self.check_answers(server, codepage)

    def test_messages_settings_and_refusals(self):
        with Server(BUILD) as server:
            out, err = tsql(server, "SET NOCOUNT OFF\ngo\nUSE master\ngo\nexec quarlix\ngo\n"
                                    f"exec quarlix '{DIRECTORY}', 1\ngo\nSELECT @@VERSION\ngo\n" + LINE + "\ngo\n")
            expected = BUILD.expected("exec quarlix", 1252)["error"]
            self.assertIn(f"Msg 20001 (severity 16, state {expected['state']}) from quarlix, Procedure quarlix", err)
            self.assertIn(expected["text"].splitlines()[0], err)
            self.assertIn("(return status = 1)", out)
            self.assertIn("numbers are not accepted", err)
            self.assertIn("quarlix-server", out)
            # The connection stayed usable after each refusal.
            self.assertIn(f"({BUILD.expected(LINE)['count']} rows affected)", out)

    def test_wrong_login(self):
        with Server(BUILD) as server:
            out, err = tsql(server, "go\n", password="nope")
            self.assertIn("Msg 18456 (severity 14, state 1)", err)
            self.assertIn(f"Login failed for user '{USER}'.", err)
            self.assertTrue(server.alive())

    def test_tls(self):
        cert, key = certificate()
        with Server(BUILD, "--tls-cert", cert, "--tls-key", key) as server:
            self.check_answers(server, 1252)
            self.assertIn("(TLS)", server.stderr())


if __name__ == "__main__":
    BUILD = Build(sys.argv[1], sys.argv[2])
    unittest.main(argv=[sys.argv[0], "-v"] + sys.argv[3:])
