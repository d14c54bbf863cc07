"""jTDS (Debian's libjtds-java, what JDBC tools use) against quarlix-server,
through a small Java program: it logs in without PRELOGIN when it does not
encrypt and with TLS when asked (ssl=require, ssl=request), and sends its
connect batch, statements, prepared statements (sp_prepare, sp_execute) and
calls. Every road with plain string parameters, NULL, binary and non-ASCII
cells, the procedure's errors, probes and transactions.
Usage: jtds_test.py QUARLIX_SERVER QUARLIX_EXEC"""
import os
import subprocess
import sys
import unittest

from client_roads import CELLS, FAILING, NOT_IN_CODE_PAGE, ROADS, exec_line, placeholders
from server_fixture import PASSWORD, USER, Build, Server, certificate

BUILD = None
HERE = os.path.dirname(os.path.abspath(__file__))
JTDS = "/usr/share/java/jtds.jar"


def run_jtds(server, requests, properties=""):
    """The answers to the requests: a list, per request, of ("columns"|"row"|"error", fields)."""
    script = "".join("\t".join(r) + "\n" for r in requests)
    result = subprocess.run(["java", "-cp", JTDS, os.path.join(HERE, "jtds", "JtdsClient.java"), str(server.port), USER,
                             PASSWORD, properties], input=script, capture_output=True, text=True, timeout=240,
                            env=dict(os.environ, LANG="C.UTF-8"))
    if result.returncode != 0:
        raise AssertionError("java failed: " + result.stderr + server.stderr())
    answers, current = [], []
    for line in result.stdout.splitlines():
        if line == "end":
            answers.append(current)
            current = []
        else:
            kind, *fields = line.split("\t")
            current.append((kind, fields))
    return answers


def cells_of(row, columns):
    """quarlix-exec's row as JtdsClient prints it."""
    out = []
    for value, column in zip(row, columns):
        if value is None:
            out.append("\\N")
        elif column["type"] in (0x25, 0xA5, 0x22):
            out.append("0x" + value.hex())
        else:
            out.append(value.replace("\\", "\\\\").replace("\t", "\\t").replace("\n", "\\n"))
    return out


def answer_of(expected):
    return [("columns", [c["name"] for c in expected["columns"]])] + \
        [("row", cells_of(r, expected["columns"])) for r in expected["rows"]]


class Jtds(unittest.TestCase):
    def test_roads_statements_prepared_and_calls(self):
        cert, key = certificate()
        for extra, properties in (((), ""), (("--tls-cert", cert, "--tls-key", key), "ssl=require"),
                                  (("--tls-cert", cert, "--tls-key", key), "ssl=request")):
            requests, wanted = [], []
            for road in ROADS + [CELLS]:
                expected = answer_of(BUILD.expected(exec_line(road), codepage=1252))
                sql, values = placeholders(road)
                requests += [("query", exec_line(road)), ("prepared", sql, *values)]
                wanted += [expected, expected]
            road = ROADS[0]
            requests.append(("call", "{call quarlix(?, ?, ?)}", *road.values()))
            wanted.append(answer_of(BUILD.expected(exec_line(road), codepage=1252)))
            with self.subTest(properties=properties), Server(BUILD, *extra) as server:
                self.assertEqual(run_jtds(server, requests, properties), wanted)

    def test_errors_probes_and_transactions(self):
        failing = BUILD.expected(exec_line(FAILING), codepage=1252)["error"]["text"].strip().splitlines()[0]
        sql, values = placeholders(NOT_IN_CODE_PAGE)
        requests = [
            ("query", "EXEC quarlix"),
            ("prepared", sql, *values),
            ("query", "EXEC sp_server_info"),
            ("query", "SELECT @@MAX_PRECISION AS p, DB_NAME() AS d, SUSER_SNAME() AS u, @@TRANCOUNT AS t"),
            ("autocommit", "false"),
            ("query", "BEGIN TRAN SELECT @@TRANCOUNT AS t"),
            ("commit",),
            ("query", "SELECT @@TRANCOUNT AS t"),
            ("autocommit", "true"),
            ("query", exec_line(CELLS)),
        ]
        with Server(BUILD) as server:
            answers = run_jtds(server, requests)
        self.assertEqual(answers[0][0][0], "error")
        self.assertEqual(answers[0][0][1][0], "20001")
        self.assertIn(failing, answers[0][0][1][1])
        self.assertIn("Parameter data type is wrong.", answers[1][0][1][1])
        self.assertEqual(answers[2], [("error", ["2812", "Could not find stored procedure 'sp_server_info'."])])
        self.assertEqual(answers[3], [("columns", ["p", "d", "u", "t"]), ("row", ["38", "master", USER, "0"])])
        # Without autocommit jTDS sets IMPLICIT_TRANSACTIONS ON, where BEGIN TRAN opens two levels, as
        # SQL Server documents; its commit ends one.
        self.assertEqual(answers[5], [("columns", ["t"]), ("row", ["2"])])
        self.assertEqual(answers[7], [("columns", ["t"]), ("row", ["1"])])
        self.assertEqual(answers[9], answer_of(BUILD.expected(exec_line(CELLS), codepage=1252)))


if __name__ == "__main__":
    BUILD = Build(sys.argv[1], sys.argv[2])
    unittest.main(argv=sys.argv[:1], verbosity=2)
