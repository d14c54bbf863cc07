"""FreeTDS's ODBC driver against quarlix-server, in its default settings:
pyodbc (autocommit off, so every statement runs in a transaction the driver
begins by a transaction-manager request; parameters as nvarchar through
sp_prepexec and sp_executesql) and unixODBC's isql (statements prepared with
sp_prepexec). Every road, NULL, binary, text and image cells, non-ASCII text,
the procedure's errors, probes, transactions and FMTONLY, without and with
TLS. Usage: odbc_test.py QUARLIX_SERVER QUARLIX_EXEC"""
import glob
import os
import subprocess
import sys
import tempfile
import unittest

import pyodbc

from client_roads import CELLS, EMPTY, FAILING, NOT_IN_CODE_PAGE, ROADS, exec_line, normalised, placeholders
from server_fixture import DIRECTORY, PASSWORD, USER, WIDE_LINE, Build, Server, certificate, same_rows, wide_directory

BUILD = None
DRIVER = (glob.glob("/usr/lib/*/odbc/libtdsodbc.so") or ["libtdsodbc.so"])[0]


def servers(*extra):
    """A server without TLS, then one that requires it, with the ODBC option that goes with each."""
    yield Server(BUILD, *extra), ""
    cert, key = certificate()
    yield Server(BUILD, "--tls-cert", cert, "--tls-key", key, *extra), "Encryption=require;"


def connect(server, options):
    return pyodbc.connect(f"DRIVER={DRIVER};SERVER=127.0.0.1;PORT={server.port};UID={USER};PWD={PASSWORD};{options}",
                          timeout=30)


class Pyodbc(unittest.TestCase):
    def test_every_road_with_plain_string_parameters(self):
        for server, options in servers():
            with server, connect(server, options) as conn:
                for road in ROADS + [CELLS]:
                    expected = BUILD.expected(exec_line(road), codepage=1252)
                    with self.subTest(tls=bool(options), road=road):
                        cursor = conn.cursor()
                        cursor.execute(*placeholders(road)[:1], *placeholders(road)[1])
                        self.assertEqual([d[0] for d in cursor.description], [c["name"] for c in expected["columns"]])
                        same_rows(self, normalised(cursor.fetchall()), expected["rows"])
                # The ODBC call escape: an RPC of the procedure by name.
                road = ROADS[0]
                cursor = conn.cursor()
                cursor.execute("{CALL quarlix (?, ?, ?)}", *road.values())
                same_rows(self, normalised(cursor.fetchall()), BUILD.expected(exec_line(road), codepage=1252)["rows"])
                # A batch of its own, with a comment and SET NOCOUNT before the EXEC.
                cursor.execute("-- the search\nSET NOCOUNT ON; /* then */ EXEC [quarlix] " + exec_line(CELLS)[13:])
                same_rows(self, normalised(cursor.fetchall()), BUILD.expected(exec_line(CELLS), codepage=1252)["rows"])
                cursor.execute(*placeholders(EMPTY)[:1], *placeholders(EMPTY)[1])
                self.assertIsNone(cursor.description)
                conn.commit()

    def test_nulls_binary_non_ascii_and_wide_cells(self):
        ldif = wide_directory()
        for server, options in servers("--directory", ldif):
            with server, connect(server, options) as conn:
                with self.subTest(tls=bool(options)):
                    cursor = conn.cursor()
                    cursor.execute(WIDE_LINE)
                    expected = BUILD.expected(WIDE_LINE, codepage=1252, directory=ldif)
                    self.assertEqual(normalised(cursor.fetchall()), expected["rows"])
                    self.assertEqual(len(expected["rows"][0][2]), 9000)
        with Server(BUILD) as server, connect(server, "") as conn:
            cursor = conn.cursor()
            cursor.execute(*placeholders(CELLS)[:1], *placeholders(CELLS)[1])
            rows = {r[0]: r for r in cursor.fetchall()}
            self.assertIsNone(rows["jking"][1])
            self.assertEqual(len(rows["jking"][2]), 16)
            self.assertEqual(rows["jmueller"][3], "Jürgen Müller")

    def test_errors_arrive_and_the_connection_goes_on(self):
        for server, options in servers():
            with server, connect(server, options) as conn:
                cursor = conn.cursor()
                failing = BUILD.expected(exec_line(FAILING), codepage=1252)["error"]
                for road, text in ((FAILING, failing["text"].strip().splitlines()[0]),
                                   (NOT_IN_CODE_PAGE, "Parameter data type is wrong.")):
                    with self.subTest(tls=bool(options), road=road):
                        with self.assertRaises(pyodbc.Error) as caught:
                            sql, values = placeholders(road)
                            cursor.execute(sql, *values)
                            cursor.fetchall()
                        self.assertIn(text, str(caught.exception))
                for statement, text in (("EXEC sp_server_info", "Could not find stored procedure 'sp_server_info'."),
                                        ("SELECT name FROM sys.objects", "Invalid object name 'sys.objects'."),
                                        ("SELECT 'open", "Unclosed quotation mark")):
                    with self.subTest(tls=bool(options), statement=statement):
                        with self.assertRaises(pyodbc.Error) as caught:
                            cursor.execute(statement)
                        self.assertIn(text, str(caught.exception))
                cursor.execute(*placeholders(CELLS)[:1], *placeholders(CELLS)[1])
                self.assertEqual(len(cursor.fetchall()), BUILD.expected(exec_line(CELLS), codepage=1252)["count"])

    def test_probes_transactions_and_fmtonly(self):
        for server, options in servers():
            with server, connect(server, options) as conn:
                cursor = conn.cursor()
                with self.subTest(tls=bool(options)):
                    # (SERVERPROPERTY is sql_variant, a type pyodbc does not read; see the pytds and mssql tests.)
                    cursor.execute("SELECT @@VERSION, DB_NAME(), SUSER_SNAME(), @@MAX_PRECISION, 1 AS one, @@SPID")
                    row = cursor.fetchone()
                    self.assertIn("quarlix-server", row[0])
                    self.assertEqual(list(row[1:3]), ["master", USER])
                    self.assertEqual(row[3:5], (38, 1))
                    self.assertGreater(row[5], 0)
                    self.assertEqual(cursor.description[4][0], "one")
                    # How SQLAlchemy's pyodbc dialect reads the version: a cast pyodbc can read.
                    version = cursor.execute("SELECT CAST(SERVERPROPERTY('ProductVersion') AS VARCHAR)").fetchall()[0][0]
                    self.assertIn(" - " + version + " ", row[0])
                    # autocommit is off: the driver began a transaction, and begins the next one at commit.
                    self.assertEqual(cursor.execute("SELECT @@TRANCOUNT").fetchall()[0][0], 1)
                    conn.commit()
                    self.assertEqual(cursor.execute("SELECT @@TRANCOUNT").fetchall()[0][0], 1)
                    cursor.execute("BEGIN TRAN")
                    self.assertEqual(cursor.execute("SELECT @@TRANCOUNT").fetchall()[0][0], 2)
                    conn.rollback()
                    self.assertEqual(cursor.execute("SELECT @@TRANCOUNT").fetchall()[0][0], 1)
                    conn.autocommit = True
                    self.assertEqual(cursor.execute("SELECT @@TRANCOUNT").fetchall()[0][0], 0)
                    # The metadata pass a linked server makes: the columns, no rows.
                    expected = BUILD.expected(exec_line(CELLS), codepage=1252)
                    cursor.execute("SET FMTONLY ON")
                    cursor.execute(exec_line(CELLS))
                    self.assertEqual([d[0] for d in cursor.description], [c["name"] for c in expected["columns"]])
                    self.assertEqual(cursor.fetchall(), [])
                    cursor.execute("SET FMTONLY OFF")
                    cursor.execute(exec_line(CELLS))
                    self.assertEqual(len(cursor.fetchall()), expected["count"])


def isql(server, options, script):
    """unixODBC's isql in its default (prepared) mode: tab-separated rows with
    a header, errors with their text (-v)."""
    with tempfile.TemporaryDirectory() as folder:
        with open(os.path.join(folder, "odbcinst.ini"), "w") as f:
            f.write(f"[FreeTDS]\nDriver = {DRIVER}\n")
        with open(os.path.join(folder, "odbc.ini"), "w") as f:
            f.write(f"[quarlix]\nDriver = FreeTDS\nServer = 127.0.0.1\nPort = {server.port}\n{options}\n")
        env = dict(os.environ, ODBCSYSINI=folder, ODBCINI=os.path.join(folder, "odbc.ini"))
        result = subprocess.run(["isql", "quarlix", USER, PASSWORD, "-b", "-v", "-c", "-x0x09"], input=script,
                                capture_output=True, text=True, timeout=60, env=env)
        return result.stdout + result.stderr


class Isql(unittest.TestCase):
    def test_default_mode_statements_and_errors(self):
        line = exec_line({k: v for k, v in CELLS.items() if k != "@field_names"} | {"@field_names": "sAMAccountName,mail,cn"})
        expected = BUILD.expected(line, codepage=1252)
        for server, options in servers():
            with server:
                with self.subTest(tls=bool(options)):
                    out = isql(server, "Encryption = require" if options else "", line + "\nEXEC quarlix\nSELECT DB_NAME()\n")
                    lines = out.splitlines()
                    header = "\t".join(c["name"] for c in expected["columns"])
                    self.assertEqual(lines[0], header, out)
                    rows = ["\t".join("" if c is None else c for c in row) for row in expected["rows"]]
                    self.assertEqual(lines[1:1 + len(rows)], rows)
                    failing = BUILD.expected("EXEC quarlix", codepage=1252)["error"]["text"].strip().splitlines()[0]
                    self.assertIn(failing, out)
                    self.assertIn("master", lines, out)


if __name__ == "__main__":
    BUILD = Build(sys.argv[1], sys.argv[2])
    unittest.main(argv=sys.argv[:1], verbosity=2)
