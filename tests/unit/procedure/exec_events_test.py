#!/usr/bin/env python3
"""The call through the real host path: quarlix-exec loading the built
procedure library, every host event checked byte for byte."""
import json
import re
import subprocess
import sys
import unittest

EXEC = None
USAGE = ("Usage:\nexec master..quarlix \t{[@adspath =]'adspath'}\n\t\t\t[, [@filter =] 'filter']\n"
         "\t\t\t[, [@field_names =] 'name1[,...n]']\n\t\t\t[, [@scope =] 'scope']\n")


def run(sql, *options):
    completed = subprocess.run([EXEC, "--format", "events", *options, "-Q", sql],
                               capture_output=True, timeout=60)
    events = [json.loads(line) for line in completed.stdout.decode().splitlines()]
    return completed.returncode, events


class Failures(unittest.TestCase):
    def assertFailure(self, sql, text=None, state=1, pattern=None):
        code, events = run(sql)
        self.assertEqual(code, 1, events)
        self.assertEqual([e["event"] for e in events], ["message", "done", "return"])
        message = events[0]
        self.assertEqual((message["number"], message["severity"], message["state"]), (20001, 16, state))
        raw = bytes.fromhex(message["hex"]).decode()
        if text is not None:
            self.assertEqual(raw, text)
        if pattern is not None:
            self.assertRegex(raw, pattern)
        self.assertEqual(events[1], {"event": "done", "status": 3, "count": 0})
        self.assertEqual(events[2], {"event": "return", "value": 1})

    def test_no_parameters_get_the_usage_text(self):
        self.assertEqual(len(USAGE.encode()), 146)
        self.assertFailure("EXEC quarlix", "Wrong count of parameters.\n" + USAGE)

    def test_five_positional_parameters_get_the_usage_text(self):
        self.assertFailure("EXEC quarlix 'a', 'b', 'c', 'GET_OBJECT_LIST', 'e'", "Wrong count of parameters.\n" + USAGE)

    def test_national_character_path_has_the_wrong_type(self):
        self.assertFailure("EXEC quarlix @adspath = N'x'",
                           "Wrong parameter @adspath. Parameter data type is wrong.")

    def test_length_limit(self):
        self.assertFailure("EXEC quarlix '%s'" % ("x" * 512), "Wrong parameter @adspath. Parameter too long.")
        # 511 bytes pass intake: the failure comes from opening the object.
        self.assertFailure("EXEC quarlix 'LDAP://%s'" % ("x" * 504), pattern=r"\ACannot create object\. HR: ")

    def test_parameter_errors(self):
        self.assertFailure("EXEC quarlix @filter = '(cn=*)'", "Wrong parameters. ")
        self.assertFailure("EXEC quarlix 'LDAP://x', '', '*', 'GET_EVERYTHING'",
                           "Wrong parameters. \nWrong parameter @scope.")
        self.assertFailure("EXEC quarlix @adspath = 'LDAP://x', @field_names = ''", "Parameter 3 can not be empty.")

    def test_unbound_path(self):
        self.assertFailure("EXEC quarlix 'LDAP://CN=Nobody,DC=corp,DC=example,DC=com'",
                           "Cannot create object. HR: 80072030")


class Results(unittest.TestCase):
    def test_search_on_the_sample_directory(self):
        code, events = run("EXEC master..quarlix 'LDAP://OU=Sales,OU=Staff,DC=corp,DC=example,DC=com', "
                           "'(objectClass=user)', 'cn,objectGUID'")
        self.assertEqual(code, 0, events)
        describes = [e for e in events if e["event"] == "describe"]
        rows = [e for e in events if e["event"] == "row"]
        self.assertEqual([(d["name"], d["type"], d["maxlen"]) for d in describes][1], ("objectGUID", 0x25, 16))
        self.assertGreater(len(rows), 0)
        self.assertEqual(bytes.fromhex(rows[0]["cells"][0]).decode(), "Alice Smith")
        self.assertEqual(len(bytes.fromhex(rows[0]["cells"][1])), 16)
        self.assertEqual(events[-2], {"event": "done", "status": 17, "count": len(rows)})
        self.assertEqual(events[-1], {"event": "return", "value": 0})

    def test_every_road_answers_on_the_sample(self):
        base = "DC=corp,DC=example,DC=com"
        calls = [
            "EXEC quarlix 'LDAP://CN=Alice Smith,OU=Sales,OU=Staff,%s', '', 'Name,mail'" % base,
            "EXEC quarlix @adspath = 'LDAP://OU=Staff,%s', @scope = 'GET_CHILD_OBJECTS', @field_names = 'Name'" % base,
        ]
        for sql in calls:
            code, events = run(sql)
            self.assertEqual(code, 0, (sql, events))
            self.assertTrue(any(e["event"] == "row" for e in events), sql)

    def test_a_column_name_that_is_not_utf8_keeps_its_bytes(self):
        # Under code page 1252 the field name e-acute is the one byte E9: the
        # readable name cannot show it, the hex beside it does.
        alice = "LDAP://CN=Alice Smith,OU=Sales,OU=Staff,DC=corp,DC=example,DC=com"
        completed = subprocess.run([EXEC, "--format", "events", "--codepage", "1252", alice, "", b"cn,\xe9"],
                                   capture_output=True, timeout=60)
        self.assertEqual(completed.returncode, 0, completed.stderr)
        events = [json.loads(line) for line in completed.stdout.decode().splitlines()]
        describes = [(e["name"], e["hex"]) for e in events if e["event"] == "describe"]
        self.assertEqual(describes, [("cn", "636e"), ("\ufffd", "e9")])
        rows = [e["cells"] for e in events if e["event"] == "row"]
        self.assertEqual(rows, [[b"Alice Smith".hex(), None]])


class ParameterForms(unittest.TestCase):
    """Positional or named, as the host's help and the README say."""
    ALICE = "LDAP://CN=Alice Smith,OU=Sales,OU=Staff,DC=corp,DC=example,DC=com"

    def names_and_cells(self, sql):
        code, events = run(sql)
        self.assertEqual(code, 0, (sql, events))
        return ([e["name"] for e in events if e["event"] == "describe"],
                [e["cells"] for e in events if e["event"] == "row"])

    def test_positional_and_named_in_any_order_and_case_answer_alike(self):
        expected = self.names_and_cells("EXEC quarlix '%s', '', 'cn,title'" % self.ALICE)
        self.assertEqual(expected[0], ["cn", "title"])
        self.assertEqual(len(expected[1]), 1)
        for sql in ("EXEC quarlix @field_names = 'cn,title', @adspath = '%s'" % self.ALICE,
                    "EXEC quarlix @ADSPATH = '%s', @Field_Names = 'cn,title', @filter = ''" % self.ALICE,
                    # None of the four names: the values count by position.
                    "EXEC quarlix @path = '%s', @f = '', @fields = 'cn,title'" % self.ALICE):
            self.assertEqual(self.names_and_cells(sql), expected, sql)

    def test_mixing_positional_and_named_is_refused(self):
        for sql in ("EXEC quarlix '%s', @field_names = 'cn'" % self.ALICE,
                    "EXEC quarlix '%s', '', @scope = 'GET_OBJECT_LIST'" % self.ALICE):
            code, events = run(sql)
            self.assertEqual(code, 1, sql)
            self.assertEqual(bytes.fromhex(events[0]["hex"]), b"Wrong parameters. ", sql)

    def test_an_unknown_name_beside_the_four_is_left_out(self):
        self.assertEqual(self.names_and_cells("EXEC quarlix @adspath = '%s', @fields = 'mail', @field_names = 'cn'"
                                              % self.ALICE)[0], ["cn"])


if __name__ == "__main__":
    EXEC = sys.argv.pop(1)
    unittest.main()
