"""pytds (Debian's python3-tds, pure Python) against quarlix-server in its
default settings: autocommit off (transactions by transaction-manager
requests), parameters as nvarchar through sp_executesql, callproc as an RPC
of the procedure. Every road, NULL, binary and non-ASCII cells, the
procedure's errors, probes with their types, without and with TLS.
Usage: pytds_test.py QUARLIX_SERVER QUARLIX_EXEC"""
import re
import sys
import unittest

import pytds

from client_roads import CELLS, EMPTY, FAILING, NOT_IN_CODE_PAGE, ROADS, exec_line, normalised, placeholders
from server_fixture import PASSWORD, USER, Build, Server, certificate, same_rows

BUILD = None


def sessions():
    """(server, connection options): without TLS, then with it required."""
    yield Server(BUILD), {}
    cert, key = certificate()
    yield Server(BUILD, "--tls-cert", cert, "--tls-key", key), {"cafile": cert, "validate_host": False}


def connect(server, options):
    return pytds.connect(server="127.0.0.1", port=server.port, user=USER, password=PASSWORD, database="master",
                         login_timeout=30, **options)


class Pytds(unittest.TestCase):
    def test_roads_by_execute_and_callproc(self):
        for server, options in sessions():
            with server, connect(server, options) as conn, conn.cursor() as cursor:
                for road in ROADS + [CELLS]:
                    expected = BUILD.expected(exec_line(road), codepage=1252)
                    with self.subTest(tls=bool(options), road=road):
                        sql, values = placeholders(road, "%s")
                        cursor.execute(sql, tuple(values))
                        self.assertEqual([d[0] for d in cursor.description], [c["name"] for c in expected["columns"]])
                        same_rows(self, normalised(cursor.fetchall()), expected["rows"])
                        cursor.callproc("quarlix", {name: value for name, value in road.items()})
                        same_rows(self, normalised(cursor.fetchall()), expected["rows"])
                sql, values = placeholders(EMPTY, "%s")
                cursor.execute(sql, tuple(values))
                self.assertIsNone(cursor.description)
                cursor.execute(exec_line(CELLS))
                rows = {r[0]: r for r in cursor.fetchall()}
                self.assertIsNone(rows["jking"][1])
                self.assertEqual(len(rows["jking"][2]), 16)
                self.assertEqual(rows["jmueller"][3], "Jürgen Müller")
                conn.commit()

    def test_errors_probes_and_transactions(self):
        for server, options in sessions():
            with server, connect(server, options) as conn, conn.cursor() as cursor:
                with self.subTest(tls=bool(options)):
                    failing = BUILD.expected(exec_line(FAILING), codepage=1252)["error"]
                    with self.assertRaises(pytds.Error) as caught:
                        cursor.execute("EXEC quarlix")
                    self.assertEqual(caught.exception.msg_no, 20001)
                    self.assertIn(failing["text"].strip().splitlines()[0], str(caught.exception))
                    with self.assertRaises(pytds.Error) as caught:
                        cursor.callproc("quarlix", NOT_IN_CODE_PAGE)
                        cursor.fetchall()
                    self.assertIn("Parameter data type is wrong.", str(caught.exception))
                    with self.assertRaises(pytds.Error) as caught:
                        cursor.callproc("sp_server_info", ())
                    self.assertEqual(caught.exception.msg_no, 2812)
                    cursor.execute("SELECT SERVERPROPERTY('ProductVersion') v, SERVERPROPERTY('EngineEdition'), "
                                   "SERVERPROPERTY('IsIntegratedSecurityOnly'), SERVERPROPERTY('NoSuchProperty'), "
                                   "@@SERVERNAME, @@LANGUAGE, @@TEXTSIZE, @@SPID, DB_NAME(), SUSER_SNAME(), @@VERSION")
                    row = cursor.fetchone()
                    # @@VERSION in the form dialects read ("Microsoft ... - 11.0.0.0"), naming quarlix-server.
                    self.assertRegex(row[10], r"^Microsoft .*quarlix-server .* - " + re.escape(row[0]) + " ")
                    self.assertIsInstance(row[1], int)
                    self.assertEqual(row[2], 0)
                    self.assertIsNone(row[3])
                    self.assertEqual(list(row[4:6]), ["quarlix", "us_english"])
                    self.assertIsInstance(row[6], int)
                    self.assertEqual(list(row[8:10]), ["master", USER])
                    cursor.fetchall()
                    # The casts clients put around their probes.
                    cursor.execute("SELECT CAST(SERVERPROPERTY('ProductVersion') AS VARCHAR), "
                                   "CONVERT(nvarchar(14), @@VERSION), CAST(SERVERPROPERTY('EngineEdition') AS INT), "
                                   "CAST(NULL AS varchar(5)), SCHEMA_NAME(), USER_NAME()")
                    self.assertEqual(cursor.fetchall(), [(row[0], row[10][:14], row[1], None, "dbo", "dbo")])
                    with self.assertRaises(pytds.Error) as caught:
                        cursor.execute("SELECT CAST('x' AS int)")
                    self.assertIn("Conversion failed", str(caught.exception))
                    # autocommit off: the driver's transaction is open; commit begins no new one here.
                    cursor.execute("SELECT @@TRANCOUNT")
                    self.assertEqual(cursor.fetchall(), [(1,)])
                    conn.rollback()
                    cursor.execute("SELECT @@TRANCOUNT")
                    self.assertEqual(cursor.fetchall()[0][0], 1)
                    with self.assertRaises(pytds.Error) as caught:
                        cursor.execute("COMMIT COMMIT")
                    self.assertEqual(caught.exception.msg_no, 3902)
                    cursor.execute("BEGIN TRAN")
                    conn.commit()
                    cursor.execute(exec_line(CELLS))
                    self.assertEqual(len(cursor.fetchall()), BUILD.expected(exec_line(CELLS), codepage=1252)["count"])


if __name__ == "__main__":
    BUILD = Build(sys.argv[1], sys.argv[2])
    unittest.main(argv=sys.argv[:1], verbosity=2)
