#!/usr/bin/env python3
"""What a server reads from an answer, on the x86_64 DLL under wine64 with
the embedded store built for Windows, against the Linux build on the same
LDIF file: widths are the bytes of each cell, columns wider than 8000 bytes
are text and image with whole cells. (The wrong-count answer to five
positional values is in wine_calls_test.py.)

Environment: as roads_test.py (QX_WINE, QX_WIN_EXEC, QX_LINUX_EXEC, QX_TMP)."""
import base64
import os
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from roads_test import CORP, CORP_LDIF, call  # noqa: E402

ROOT = "DC=wide,DC=example"
DESCRIPTION = "".join(chr(0x41 + i % 26) for i in range(20000))
PHOTO = bytes((i * 13) & 0xFF for i in range(100000))
MAILBOXES = ["box%04d" % i for i in range(5000)]


def wide_ldif():
    handle, path = tempfile.mkstemp(suffix=".ldif", prefix="wide-", dir=os.environ.get("QX_TMP"))
    person = "objectClass: top\nobjectClass: person\nobjectClass: organizationalPerson\nobjectClass: user\n"
    with os.fdopen(handle, "w") as f:
        f.write("version: 1\n\ndn: %s\nobjectClass: top\nobjectClass: domain\ndc: wide\n\n" % ROOT)
        f.write("dn: CN=Wide,%s\n%scn: Wide\ndescription: %s\njpegPhoto:: %s\n" % (
            ROOT, person, DESCRIPTION, base64.b64encode(PHOTO).decode()))
        f.write("".join("otherMailbox: %s\n" % m for m in MAILBOXES) + "\n")
    return path


def columns_and_rows(events):
    columns = [(e["name"], e["type"], e["maxlen"]) for e in events if e["event"] == "describe"]
    rows = [[None if c is None else bytes.fromhex(c) for c in e["cells"]] for e in events if e["event"] == "row"]
    return columns, rows


class ResultContractOnTheDll(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.ldif = wide_ldif()

    @classmethod
    def tearDownClass(cls):
        os.remove(cls.ldif)

    def same_as_linux(self, ldif, sql):
        windows_code, windows = call("windows", ldif, sql)
        linux_code, linux = call("linux", ldif, sql)
        self.assertEqual((windows_code, windows), (linux_code, linux), sql)
        self.assertEqual(windows_code, 0, windows[:2])
        columns, rows = columns_and_rows(windows)
        for row in rows:
            for (name, _, width), cell in zip(columns, row):
                if cell is not None:
                    self.assertLessEqual(len(cell), width, name)
        return columns, rows

    def test_wide_values_are_text_and_image_columns_with_whole_cells(self):
        columns, rows = self.same_as_linux(self.ldif, "EXEC quarlix 'LDAP://%s', '(cn=Wide)', 'cn,description,jpegPhoto'" % ROOT)
        self.assertEqual(columns, [("cn", 0x27, 4), ("description", 0x23, 20000), ("jpegPhoto", 0x22, 100000)])
        self.assertEqual(rows, [[b"Wide", DESCRIPTION.encode(), PHOTO]])
        joined = ("|".join(MAILBOXES) + "|").encode()
        columns, rows = self.same_as_linux(self.ldif, "EXEC quarlix 'LDAP://CN=Wide,%s', '', 'otherMailbox'" % ROOT)
        self.assertEqual(columns, [("otherMailbox", 0x23, len(joined))])
        self.assertEqual(rows, [[joined]])

    def test_widths_are_the_bytes_of_the_cell(self):
        dn = "CN=J\u00fcrgen M\u00fcller,OU=Engineering,OU=Staff," + CORP
        columns, rows = self.same_as_linux(CORP_LDIF, "EXEC quarlix 'LDAP://%s', '', 'Name,cn'" % dn)
        cn = "J\u00fcrgen M\u00fcller".encode("cp1252")
        self.assertEqual(rows, [[b"CN=" + cn, cn]])
        self.assertEqual(columns, [("Name", 0x27, len(cn) + 3), ("cn", 0x27, len(cn))])


if __name__ == "__main__":
    unittest.main()
