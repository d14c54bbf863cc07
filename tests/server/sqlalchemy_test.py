"""SQLAlchemy (Debian's python3-sqlalchemy) and pandas (python3-pandas)
against quarlix-server over both of its SQL Server dialects, pymssql and
pyodbc, in their default settings: the connect reads the server's version
without a warning, text() and read_sql() parameters reach the procedure as
the values quarlix-exec passes, and the system view the dialects look for
is an unknown object (208), as on a server that has none.
Usage: sqlalchemy_test.py QUARLIX_SERVER QUARLIX_EXEC"""
import glob
import os
import sys
import unittest
import warnings

# pandas 1.5 calls SQLAlchemy 1.4 in ways 2.0 drops, and says so once: not this server's concern.
os.environ.setdefault("SQLALCHEMY_SILENCE_UBER_WARNING", "1")

import pandas  # noqa: E402
import sqlalchemy  # noqa: E402
from sqlalchemy import text  # noqa: E402

from server_fixture import DIRECTORY, PASSWORD, USER, Build, Server

BUILD = None
DRIVER = (glob.glob("/usr/lib/*/odbc/libtdsodbc.so") or ["libtdsodbc.so"])[0]
CALL = "EXEC quarlix :path, :filter, :fields"
VALUES = {"path": DIRECTORY, "filter": "(sAMAccountName=j*)", "fields": "sAMAccountName,mail,cn"}


def engines(server):
    """Each dialect's engine on the server, by its URL form."""
    base = f"{USER}:{PASSWORD}@127.0.0.1:{server.port}/master"
    return {"pymssql": sqlalchemy.create_engine(f"mssql+pymssql://{base}"),
            "pyodbc": sqlalchemy.create_engine(f"mssql+pyodbc://{base}?driver={DRIVER}")}


class Dialects(unittest.TestCase):
    def test_connect_parameters_and_probes(self):
        line = "EXEC quarlix " + ", ".join(f"'{v}'" for v in VALUES.values())
        expected = BUILD.expected(line, codepage=1252)
        with Server(BUILD) as server:
            for dialect, engine in engines(server).items():
                with self.subTest(dialect=dialect):
                    with warnings.catch_warnings(record=True) as caught:
                        warnings.simplefilter("always")
                        connection = engine.connect()
                    version_warnings = [w for w in caught if "server version" in str(w.message)]
                    self.assertEqual(version_warnings, [])
                    # The version the dialect read is the one the server gives.
                    product = connection.exec_driver_sql("SELECT CAST(SERVERPROPERTY('ProductVersion') AS VARCHAR)").scalar()
                    self.assertEqual(engine.dialect.server_version_info, tuple(int(n) for n in product.split(".")))
                    self.assertIn("quarlix-server", connection.exec_driver_sql("SELECT @@VERSION").scalar())
                    self.assertEqual(connection.execute(text(CALL), VALUES).fetchall(),
                                     [tuple(row) for row in expected["rows"]])
                    with self.assertRaises(sqlalchemy.exc.DBAPIError) as refused:
                        connection.exec_driver_sql("SELECT name FROM sys.system_views WHERE name = 'dm_exec_sessions'")
                    self.assertIn("208", str(refused.exception))
                    connection.close()
                    frame = pandas.read_sql(text(CALL), engine, params=VALUES)
                    self.assertEqual(list(frame.columns), [c["name"] for c in expected["columns"]])
                    self.assertEqual(frame.where(frame.notna(), None).values.tolist(), expected["rows"])
                    engine.dispose()


if __name__ == "__main__":
    BUILD = Build(sys.argv[1], sys.argv[2])
    unittest.main(argv=[sys.argv[0], "-v"] + sys.argv[3:])
