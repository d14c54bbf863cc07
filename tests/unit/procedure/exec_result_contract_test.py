#!/usr/bin/env python3
"""What a server reads from an answer, through the real host path
(quarlix-exec loading the built library): every cell fits its declared
width, wide columns are text or image, binary columns are found in any row,
the text NULL is data, and calls the host cannot take get a clear message.
The sample directory and LDIF files written here serve as directories; the
expected values are read from those files."""
import base64
import json
import os
import re
import subprocess
import sys
import tempfile
import unittest

EXEC = None
SAMPLE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..", "samples", "corp.ldif")
USAGE = ("Usage:\nexec master..quarlix \t{[@adspath =]'adspath'}\n\t\t\t[, [@filter =] 'filter']\n"
         "\t\t\t[, [@field_names =] 'name1[,...n]']\n\t\t\t[, [@scope =] 'scope']\n")
VARCHAR, BIGVARCHAR, TEXT, VARBINARY, BIGVARBINARY, IMAGE = 0x27, 0xA7, 0x23, 0x25, 0xA5, 0x22


def run(sql, *options):
    completed = subprocess.run([EXEC, "--format", "events", *options, "-Q", sql], capture_output=True, timeout=120)
    events = [json.loads(line) for line in completed.stdout.decode().splitlines()]
    return completed.returncode, events


def answer(test, sql, *options):
    """Columns as (name, type, width) and rows as lists of bytes or None, after
    checking that the call succeeded and every cell fits its column."""
    code, events = run(sql, *options)
    test.assertEqual(code, 0, events[-3:])
    columns = [(e["name"], e["type"], e["maxlen"]) for e in events if e["event"] == "describe"]
    rows = [[None if c is None else bytes.fromhex(c) for c in e["cells"]] for e in events if e["event"] == "row"]
    test.assertEqual(events[-2], {"event": "done", "status": 17, "count": len(rows)})
    for row in rows:
        for (name, _, width), cell in zip(columns, row):
            if cell is not None:
                test.assertLessEqual(len(cell), width, name)
    return columns, rows


def sample_entry(dn):
    """The attributes of one entry of the sample LDIF, values as bytes."""
    with open(SAMPLE, "rb") as f:
        text = f.read().decode()
    for block in text.split("\n\n"):
        lines = block.replace("\n ", "").splitlines()
        attributes = {}
        for line in lines:
            if line.startswith("#") or ":" not in line:
                continue
            name, _, rest = line.partition(":")
            value = base64.b64decode(rest[2:]) if rest.startswith(": ") else rest.lstrip(" ").encode()
            attributes.setdefault(name, []).append(value)
        if attributes.get("dn") == [dn.encode()]:
            return attributes
    raise AssertionError("no entry " + dn)


def ldif_file(directory, entries):
    path = os.path.join(directory, "wide.ldif")
    with open(path, "w") as f:
        f.write("version: 1\n\n")
        for dn, attributes in entries:
            f.write("dn: %s\n" % dn)
            for name, values in attributes:
                for value in values:
                    if isinstance(value, bytes):
                        f.write("%s:: %s\n" % (name, base64.b64encode(value).decode()))
                    else:
                        f.write("%s: %s\n" % (name, value))
            f.write("\n")
    return path


ROOT = "DC=wide,DC=example"
PERSON = [("objectClass", ["top", "person", "organizationalPerson", "user"])]
DESCRIPTION = "".join(chr(0x41 + i % 26) for i in range(20000))
PHOTO = bytes((i * 13) & 0xFF for i in range(100000))
MAILBOXES = ["box%04d" % i for i in range(5000)]
NULL_GUID = b"NULL"


class SampleDirectory(unittest.TestCase):
    def test_widths_count_the_bytes_of_the_cell(self):
        dn = "CN=J\u00fcrgen M\u00fcller,OU=Engineering,OU=Staff,DC=corp,DC=example,DC=com"
        cn = sample_entry(dn)["cn"][0]
        self.assertGreater(len(cn), len(cn.decode()))  # more bytes than characters
        columns, rows = answer(self, "EXEC quarlix 'LDAP://%s', '', 'Name,cn'" % dn)
        self.assertEqual(rows, [[b"CN=" + cn, cn]])
        self.assertEqual(columns, [("Name", VARCHAR, len(cn) + 3), ("cn", VARCHAR, len(cn))])

    def test_a_column_is_binary_when_a_later_row_carries_bytes(self):
        olivia = sample_entry("CN=Olivia Reed,OU=Staff,DC=corp,DC=example,DC=com")
        alice = sample_entry("CN=Alice Smith,OU=Sales,OU=Staff,DC=corp,DC=example,DC=com")
        self.assertNotIn("thumbnailPhoto", olivia)
        photo = alice["thumbnailPhoto"][0]
        columns, rows = answer(self, "EXEC quarlix 'LDAP://DC=corp,DC=example,DC=com', "
                                     "'(|(cn=Olivia Reed)(cn=Alice Smith))', 'cn,thumbnailPhoto,objectGUID'")
        self.assertEqual([row[0] for row in rows], [b"Olivia Reed", b"Alice Smith"])
        self.assertEqual(columns[1], ("thumbnailPhoto", VARBINARY, len(photo)))
        self.assertEqual(rows[0][1], None)
        self.assertEqual(rows[1][1], photo)
        self.assertEqual(columns[2][1], VARBINARY)
        self.assertEqual(rows[1][2], alice["objectGUID"][0])

    def test_more_than_four_positional_parameters_get_the_usage_text(self):
        code, events = run("EXEC quarlix 'LDAP://DC=corp,DC=example,DC=com', '', 'cn', 'GET_OBJECT_LIST', 'x'")
        self.assertEqual(code, 1)
        self.assertEqual([e["event"] for e in events], ["message", "done", "return"])
        self.assertEqual((events[0]["number"], events[0]["severity"], events[0]["state"]), (20001, 16, 1))
        self.assertEqual(bytes.fromhex(events[0]["hex"]).decode(), "Wrong count of parameters.\n" + USAGE)


class WrittenDirectory(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.TemporaryDirectory()
        many = [("a%04d" % i, ["x"]) for i in range(5000)]
        cls.ldif = ldif_file(cls.folder.name, [
            (ROOT, [("objectClass", ["top", "domain"]), ("dc", ["wide"])]),
            ("CN=Wide," + ROOT, PERSON + [("cn", ["Wide"]), ("description", [DESCRIPTION]),
                                           ("jpegPhoto", [PHOTO]), ("otherMailbox", MAILBOXES)]),
            ("CN=Null Text," + ROOT, PERSON + [("cn", ["Null Text"]), ("description", ["NULL"]),
                                                ("objectGUID", [NULL_GUID])]),
            ("CN=Many," + ROOT, PERSON + [("cn", ["Many"])] + many),
        ])

    @classmethod
    def tearDownClass(cls):
        cls.folder.cleanup()

    def call(self, sql):
        return answer(self, sql, "--directory", self.ldif)

    def test_wide_search_values_are_text_and_image_columns_with_whole_cells(self):
        columns, rows = self.call("EXEC quarlix 'LDAP://%s', '(cn=Wide)', 'cn,description,jpegPhoto'" % ROOT)
        self.assertEqual(columns, [("cn", VARCHAR, 4), ("description", TEXT, len(DESCRIPTION)),
                                   ("jpegPhoto", IMAGE, len(PHOTO))])
        self.assertEqual(rows, [[b"Wide", DESCRIPTION.encode(), PHOTO]])

    def test_a_joined_property_wider_than_8000_bytes_is_a_text_column(self):
        joined = ("|".join(MAILBOXES) + "|").encode()
        self.assertGreater(len(joined), 8000)
        columns, rows = self.call("EXEC quarlix 'LDAP://CN=Wide,%s', '', 'otherMailbox,cn'" % ROOT)
        self.assertEqual(columns, [("otherMailbox", TEXT, len(joined)), ("cn", VARCHAR, 4)])
        self.assertEqual(rows, [[joined, b"Wide"]])

    def test_the_text_null_is_data_and_an_absent_value_is_sql_null(self):
        columns, rows = self.call("EXEC quarlix 'LDAP://%s', '(cn=Null Text)', 'description,objectGUID,mail'" % ROOT)
        self.assertEqual(rows, [[b"NULL", NULL_GUID, None]])
        self.assertEqual([c[1] for c in columns], [VARCHAR, VARBINARY, VARCHAR])
        self.assertEqual(columns[2][2], 4)  # an absent cell is as wide as before
        columns, rows = self.call("EXEC quarlix 'LDAP://CN=Null Text,%s', '', 'description,mail'" % ROOT)
        self.assertEqual(rows, [[b"NULL", None]])

    def test_more_than_4096_columns_fail_the_call(self):
        code, events = run("EXEC quarlix 'LDAP://CN=Many,%s'" % ROOT, "--directory", self.ldif)
        self.assertEqual(code, 1)
        self.assertEqual([e["event"] for e in events], ["message", "done", "return"])
        text = bytes.fromhex(events[0]["hex"]).decode()
        self.assertEqual(events[0]["state"], 1)
        counted = re.search(r"\b(\d+) columns\b", text)
        self.assertIsNotNone(counted, text)
        self.assertEqual(int(counted.group(1)), 5000 + 2)  # objectClass, cn and a0000 .. a4999
        self.assertIn("4096", text)


if __name__ == "__main__":
    EXEC = sys.argv.pop(1)
    unittest.main()
