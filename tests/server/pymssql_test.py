"""pymssql (FreeTDS's DB-Library, from Debian) against quarlix-server: every
road compared with quarlix-exec's answer, NULLs, binary columns, non-ASCII
text in code pages 1252 and 65001, the procedure's errors, logins, RPC
calls, many connections at once, and TLS.
Usage: pymssql_test.py QUARLIX_SERVER QUARLIX_EXEC"""
import concurrent.futures
import sys
import unittest

import pymssql
from pymssql import _mssql

from server_fixture import DIRECTORY, PASSWORD, USER, WIDE_LINE, Build, Server, certificate, same_rows, wide_directory

BUILD = None

SEARCH = f"EXEC quarlix '{DIRECTORY}', '(objectClass=user)', 'sAMAccountName,mail,objectGUID,displayName'"
ROADS = [
    SEARCH,
    "EXEC quarlix 'LDAP://CN=Jürgen Müller,OU=Engineering,OU=Staff,DC=corp,DC=example,DC=com'",
    "EXEC quarlix @adspath = 'LDAP://CN=Domain Admins,CN=Users,DC=corp,DC=example,DC=com', @scope = 'GET_GROUP_MEMBERS'",
    f"EXEC quarlix '{DIRECTORY}', '', 'name', 'GET_CHILD_OBJECTS'",
    f"EXEC master..quarlix @adspath = '{DIRECTORY}', @filter = '(cn=nobody)', @field_names = 'cn,mail'",
]
EMPTY = f"EXEC quarlix '{DIRECTORY}', '(cn=nobody)'"


def connect(server, **options):
    return pymssql.connect(server="127.0.0.1", port=str(server.port), user=USER, password=PASSWORD,
                           autocommit=True, **options)


def rows_of(cursor):
    return [list(r) for r in cursor.fetchall()]


class Answers(unittest.TestCase):
    def test_every_road_as_quarlix_exec_answers_it(self):
        for codepage in (1252, 65001):
            with Server(BUILD, codepage=codepage) as server, connect(server) as conn:
                for line in ROADS:
                    with self.subTest(codepage=codepage, line=line):
                        expected = BUILD.expected(line, codepage=codepage)
                        self.assertIn("rows", expected)
                        cursor = conn.cursor()
                        cursor.execute(line)
                        self.assertEqual([d[0] for d in cursor.description], [c["name"] for c in expected["columns"]])
                        same_rows(self, rows_of(cursor), expected["rows"], line)

    def test_an_answer_without_columns_is_no_result_set(self):
        self.assertEqual(BUILD.expected(EMPTY)["columns"], [])
        with Server(BUILD) as server, connect(server) as conn:
            cursor = conn.cursor()
            cursor.execute(EMPTY)
            self.assertIsNone(cursor.description)

    def test_nulls_binary_and_non_ascii_cells(self):
        with Server(BUILD) as server, connect(server) as conn:
            cursor = conn.cursor()
            cursor.execute(f"EXEC quarlix '{DIRECTORY}', '(sAMAccountName=j*)', 'sAMAccountName,mail,objectGUID,cn'")
            rows = {r[0]: r for r in cursor.fetchall()}
            self.assertIsNone(rows["jking"][1])                  # no mail: NULL
            self.assertIsInstance(rows["jking"][2], bytes)       # objectGUID: varbinary
            self.assertEqual(len(rows["jking"][2]), 16)
            self.assertEqual(rows["jmueller"][3], "Jürgen Müller")

    def test_values_wider_than_8000_bytes_travel_as_text_and_image(self):
        ldif = wide_directory()
        for codepage in (1252, 65001):
            with self.subTest(codepage=codepage), Server(BUILD, "--directory", ldif, codepage=codepage) as server:
                expected = BUILD.expected(WIDE_LINE, codepage=codepage, directory=ldif)
                with connect(server) as conn:
                    cursor = conn.cursor()
                    cursor.execute(WIDE_LINE)
                    rows = rows_of(cursor)
                self.assertEqual(rows, expected["rows"])
                self.assertEqual(len(rows[0][1]), 10006)  # characters
                self.assertEqual(len(rows[0][2]), 9000)

    def test_row_count(self):
        with Server(BUILD) as server:
            conn = _mssql.connect(server="127.0.0.1", port=server.port, user=USER, password=PASSWORD)
            try:
                conn.execute_query(SEARCH)
                self.assertEqual(len(list(conn)), BUILD.expected(SEARCH)["count"])
            finally:
                conn.close()


class Errors(unittest.TestCase):
    def test_the_procedure_errors_arrive_as_sql_errors(self):
        lines = [
            "EXEC quarlix",
            f"EXEC quarlix @filter = '(cn=*)'",
            f"EXEC quarlix '{DIRECTORY}', '', '*', 'NOT_A_SCOPE'",
            "EXEC quarlix 'LDAP://CN=nobody,DC=corp,DC=example,DC=com'",
            f"EXEC quarlix N'{DIRECTORY}\u03a9'",  # N'...' the code page cannot hold stays nvarchar
        ]
        with Server(BUILD) as server:
            conn = _mssql.connect(server="127.0.0.1", port=server.port, user=USER, password=PASSWORD)
            try:
                for line in lines:
                    with self.subTest(line=line):
                        # (-Q hands N'...' over as nvarchar whatever it holds: the procedure's refusal.)
                        expected = BUILD.expected(line.replace("\u03a9", ""), codepage=1252)
                        with self.assertRaises(_mssql.MSSQLDatabaseException) as caught:
                            conn.execute_query(line)
                            list(conn)
                        e = caught.exception
                        self.assertEqual(e.number, 20001)
                        self.assertEqual(e.severity, 16)
                        self.assertEqual(e.state, expected["error"]["state"])
                        self.assertIn(expected["error"]["text"].strip().splitlines()[0], e.message)
                # The connection goes on after errors.
                conn.execute_query(SEARCH)
                self.assertEqual(len(list(conn)), BUILD.expected(SEARCH)["count"])
                # Each with the number and severity a server gives the case.
                for statement, number, severity in (("SELECT 1 FROM t", 208, 16), ("UPDATE x SET y = 1", 50000, 16),
                                                    ("EXEC other_proc 'a'", 2812, 16), ("EXEC quarlix 'a',, 'b'", 102, 15),
                                                    ("USE tempdb", 911, 16), ("COMMIT", 3902, 16)):
                    with self.subTest(statement=statement):
                        with self.assertRaises(_mssql.MSSQLDatabaseException) as caught:
                            conn.execute_query(statement)
                        self.assertEqual((caught.exception.number, caught.exception.severity), (number, severity))
                conn.execute_non_query("SET ANSI_NULLS ON; SET TEXTSIZE 2147483647")
                conn.execute_non_query("USE master")
                self.assertIn("quarlix-server", conn.execute_scalar("SELECT @@VERSION"))
            finally:
                conn.close()

    def test_wrong_password_and_unknown_login_are_refused(self):
        with Server(BUILD) as server:
            for user, password in ((USER, "wrong"), ("mallory", PASSWORD), (USER, "")):
                with self.subTest(user=user):
                    with self.assertRaises(pymssql.OperationalError) as caught:
                        pymssql.connect(server="127.0.0.1", port=str(server.port), user=user, password=password)
                    # DB-Library keeps the number of the server's message (its text goes to tsql, see there).
                    self.assertEqual(caught.exception.args[0][0], 18456)
            self.assertNotIn("wrong", server.stderr())
            self.assertNotIn(PASSWORD, server.stderr())
            # Login names ignore case, as a server's do.
            pymssql.connect(server="127.0.0.1", port=str(server.port), user=USER.upper(), password=PASSWORD).close()


class TextParameters(unittest.TestCase):
    """pymssql writes a str parameter into the batch as N'...', and sends an
    empty str to callproc as a NULL nvarchar: both reach the procedure as
    varchar, as quarlix-exec passes the same values written as '...'."""

    def test_str_parameters_in_a_batch_and_an_empty_one_by_rpc(self):
        values = (DIRECTORY, "(sAMAccountName=j*)", "sAMAccountName,cn")
        expected = BUILD.expected("EXEC quarlix " + ", ".join(f"'{v}'" for v in values))
        with Server(BUILD) as server, connect(server) as conn:
            cursor = conn.cursor()
            cursor.execute("EXEC quarlix %s, %s, %s", values)
            same_rows(self, rows_of(cursor), expected["rows"])
            cursor.execute("EXEC quarlix N'" + "', N'".join(values) + "'")
            same_rows(self, rows_of(cursor), expected["rows"])
            empty = BUILD.expected(f"EXEC quarlix '{DIRECTORY}', '', 'name', 'GET_CHILD_OBJECTS'")
            cursor.callproc("quarlix", (DIRECTORY, "", "name", "GET_CHILD_OBJECTS"))
            if cursor.description is None:  # pymssql may stop before an RPC's first result set
                cursor.nextset()
            same_rows(self, rows_of(cursor), empty["rows"])


class Rpc(unittest.TestCase):
    def test_rpc_by_name_with_positional_and_named_values(self):
        line = f"EXEC quarlix '{DIRECTORY}', '(sAMAccountName=a*)', 'sAMAccountName,mail'"
        expected = BUILD.expected(line)
        with Server(BUILD) as server:
            conn = _mssql.connect(server="127.0.0.1", port=server.port, user=USER, password=PASSWORD)
            try:
                for name, named in (("quarlix", True), ("master..quarlix", False), ("MASTER.DBO.QUARLIX", True)):
                    with self.subTest(name=name, named=named):
                        proc = conn.init_procedure(name)
                        # DB-Library sends SQLCHAR values as char; SQLVARCHAR ones it turns into nvarchar.
                        for parameter, value in (("@adspath", DIRECTORY), ("@filter", "(sAMAccountName=a*)"),
                                                 ("@field_names", "sAMAccountName,mail")):
                            proc.bind(value, _mssql.SQLCHAR, parameter if named else None)
                        proc.execute()
                        rows = [[row[i] for i in range(len(expected["columns"]))] for row in conn]
                        self.assertEqual(rows, expected["rows"])
                # nvarchar that the code page holds reaches the procedure as varchar ...
                proc = conn.init_procedure("quarlix")
                for parameter, value in (("@adspath", DIRECTORY), ("@filter", "(sAMAccountName=a*)"),
                                         ("@field_names", "sAMAccountName,mail")):
                    proc.bind(value, _mssql.SQLVARCHAR, parameter)
                proc.execute()
                self.assertEqual([[row[i] for i in range(len(expected["columns"]))] for row in conn], expected["rows"])
                # ... and any other still as nvarchar, for the procedure's own check to answer.
                proc = conn.init_procedure("quarlix")
                proc.bind(DIRECTORY + "\u03a9", _mssql.SQLVARCHAR, "@adspath")
                with self.assertRaises(_mssql.MSSQLDatabaseException) as caught:
                    proc.execute()
                self.assertEqual(caught.exception.number, 20001)
                self.assertIn("Wrong parameter @adspath. Parameter data type is wrong.", caught.exception.message)
                # Any other procedure is unknown here.
                with self.assertRaises(_mssql.MSSQLDatabaseException) as caught:
                    conn.init_procedure("sp_who").execute()
                self.assertEqual(caught.exception.number, 2812)
            finally:
                conn.close()


class Cancel(unittest.TestCase):
    def test_cancel_half_way_then_the_next_call_is_whole(self):
        everything = f"EXEC quarlix '{DIRECTORY}', '(objectClass=*)', '*'"
        with Server(BUILD) as server:
            conn = _mssql.connect(server="127.0.0.1", port=server.port, user=USER, password=PASSWORD)
            try:
                for _ in range(5):
                    conn.execute_query(everything)
                    next(iter(conn))
                    conn.cancel()  # sends an attention and reads to its acknowledgement
                    conn.execute_query(SEARCH)
                    self.assertEqual(len(list(conn)), BUILD.expected(SEARCH)["count"])
            finally:
                conn.close()


class Concurrency(unittest.TestCase):
    def test_many_connections_give_the_same_answers_as_one_by_one(self):
        with Server(BUILD) as server:
            alone = {}
            with connect(server) as conn:
                for line in ROADS:
                    cursor = conn.cursor()
                    cursor.execute(line)
                    alone[line] = rows_of(cursor)

            def client(index):
                with connect(server) as conn:
                    answers = {}
                    for line in ROADS[index % len(ROADS):] + ROADS[: index % len(ROADS)]:
                        cursor = conn.cursor()
                        cursor.execute(line)
                        answers[line] = rows_of(cursor)
                    return answers

            with concurrent.futures.ThreadPoolExecutor(16) as pool:
                results = list(pool.map(client, range(32)))
            for answers in results:
                self.assertEqual(answers, alone)


class Tls(unittest.TestCase):
    def test_encrypted_connections(self):
        cert, key = certificate()
        with Server(BUILD, "--tls-cert", cert, "--tls-key", key) as server:
            conn = pymssql.connect(server="127.0.0.1", port=str(server.port), user=USER, password=PASSWORD,
                                   autocommit=True, conn_properties="")
            cursor = conn.cursor()
            cursor.execute(SEARCH)
            same_rows(self, rows_of(cursor), BUILD.expected(SEARCH, codepage=1252)["rows"])
            conn.close()
            self.assertIn("(TLS)", server.stderr())


if __name__ == "__main__":
    BUILD = Build(sys.argv[1], sys.argv[2])
    unittest.main(argv=[sys.argv[0], "-v"] + sys.argv[3:])
