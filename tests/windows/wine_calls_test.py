#!/usr/bin/env python3
"""The x86_64 DLL under wine64, called through quarlix-exec.exe the way a
server calls it: the calls that need no directory answer with the same bytes
as the Linux build; the directory roads go through Wine's own ADSI to a slapd
on loopback.

Environment: QX_WINE (wine64), QX_WIN_EXEC (quarlix-exec.exe), QX_LINUX_EXEC
(the Linux quarlix-exec), QX_LDAP_URL (ldap://127.0.0.1:PORT/ of the slapd
that slapd_fixture.sh started)."""
import json
import os
import subprocess
import sys
import tempfile
import unittest

BASE = "dc=example,dc=com"
PEOPLE = "ou=people," + BASE
# Wine's ADSI has no IADsContainer (the wrapper notes that when it opens an
# object) and no IADsPropertyList (reading the object fails); its message
# table has no text for E_NOINTERFACE.
CONTAINER_MISSING = "\nCan not get interface. HR: 80004002"
NO_INTERFACE_DESCRIBED = "\n[Could not find a description for error # 0x80004002.]"


def run(command):
    # Output goes to files, not pipes: the helpers Wine starts on the first
    # call inherit the handles and outlive the call, and a pipe would stay
    # open until they end.
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        code = subprocess.run(command, stdin=subprocess.DEVNULL, stdout=out, stderr=err, timeout=120).returncode
        out.seek(0), err.seek(0)
        completed = subprocess.CompletedProcess(command, code, out.read(), err.read())
    # Every call made here prints an answer and exits 0 or 1 (the
    # procedure's result); anything else is the host or Wine failing.
    if completed.returncode not in (0, 1) or not completed.stdout:
        raise AssertionError("%s exited with %d, printing %r: %s" % (
            command, completed.returncode, completed.stdout, completed.stderr.decode(errors="replace")))
    return completed.returncode, completed.stdout


def refused(command):
    """The exit status and standard error of a command line the host refuses."""
    with tempfile.TemporaryFile() as err:
        code = subprocess.run(command, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=err,
                              timeout=120).returncode
        err.seek(0)
        return code, err.read().replace(b"\r\n", b"\n")


def windows_host(*arguments):
    return run([os.environ["QX_WINE"], os.environ["QX_WIN_EXEC"], *arguments])


def linux_host(*arguments):
    return run([os.environ["QX_LINUX_EXEC"], *arguments])


def call_windows(sql):
    return windows_host("--format", "events", "-Q", sql)


def call_linux(sql):
    return linux_host("--no-directory", "--format", "events", "-Q", sql)


def events(stdout):
    return [json.loads(line) for line in stdout.decode().splitlines()]


def message_text(event):
    return bytes.fromhex(event["hex"]).decode("latin-1")


def ldap_path(dn):
    # The procedure searches only paths that begin with "LDAP" in capitals.
    return "LDAP://" + os.environ["QX_LDAP_URL"].split("://", 1)[1] + dn


class SameBytesAsLinux(unittest.TestCase):
    """Everything that happens before the directory is reached."""

    def assertSameAnswer(self, sql):
        windows, linux = call_windows(sql), call_linux(sql)
        self.assertEqual(windows[1].decode(), linux[1].decode(), sql)
        self.assertEqual(windows[0], linux[0], sql)
        return events(windows[1])

    def test_host_version(self):
        windows, linux = windows_host("--version"), linux_host("--version")
        self.assertEqual(windows, linux)
        self.assertRegex(windows[1].decode(), r"\Aquarlix-exec \d+\.\d+\.\d+\n\Z")

    def test_command_line_as_on_linux(self):
        for arguments in (["--codepage=0"], ["--codepage", "x"], ["--library="], ["--format=csv", "--format", "json"],
                          ["--frobnicate=1"], ["--trace=1"], ["--format"]):
            with self.subTest(arguments=arguments):
                windows = refused([os.environ["QX_WINE"], os.environ["QX_WIN_EXEC"], "a", *arguments])
                self.assertEqual(windows, refused([os.environ["QX_LINUX_EXEC"], "a", *arguments]))
                self.assertEqual(windows[0], 2)
                self.assertTrue(windows[1].startswith(b"quarlix-exec: "), windows[1])
        # A value after '=' is the value in the next argument.
        self.assertEqual(windows_host("--format=events", "--query=EXEC master..quarlix"),
                         call_windows("EXEC master..quarlix"))

    def test_usage_text(self):
        answer = self.assertSameAnswer("EXEC master..quarlix")
        self.assertEqual([e["event"] for e in answer], ["message", "done", "return"])
        self.assertTrue(message_text(answer[0]).startswith("Wrong count of parameters.\nUsage:\n"))
        # The host calls __GetXpVersion first and refuses any other version
        # than 0x07000000, so a returned value means the DLL passed it.
        self.assertEqual(answer[2], {"event": "return", "value": 1})

    def test_parameter_errors(self):
        cases = {
            "EXEC quarlix @adspath = N'x'": "Wrong parameter @adspath. Parameter data type is wrong.",
            "EXEC quarlix '%s'" % ("x" * 512): "Wrong parameter @adspath. Parameter too long.",
            "EXEC quarlix @filter = '(cn=*)'": "Wrong parameters. ",
            "EXEC quarlix 'LDAP://x', '', '*', 'GET_EVERYTHING'": "Wrong parameters. \nWrong parameter @scope.",
            "EXEC quarlix @adspath = 'LDAP://x', @field_names = ''": "Parameter 3 can not be empty.",
        }
        for sql, text in cases.items():
            with self.subTest(sql=sql[:60]):
                answer = self.assertSameAnswer(sql)
                self.assertEqual(message_text(answer[0]), text)

    def test_five_positional_parameters_get_the_usage_text(self):
        sql = "EXEC quarlix 'a', 'b', 'c', 'GET_OBJECT_LIST', 'e'"
        answer = self.assertSameAnswer(sql)
        self.assertTrue(message_text(answer[0]).startswith("Wrong count of parameters.\nUsage:\n"))
        self.assertEqual(answer[0]["state"], 1)

    def test_path_that_cannot_be_bound(self):
        sql = "EXEC quarlix 'LDAP://localhost:1/DC=nowhere'"
        texts = []
        for code, stdout in (call_windows(sql), call_linux(sql)):
            answer = events(stdout)
            self.assertEqual(code, 1)
            self.assertEqual([e["event"] for e in answer], ["message", "done", "return"])
            texts.append(message_text(answer[0]))
            self.assertRegex(texts[-1], r"\ACannot create object\. HR: [0-9A-F]{1,8}\Z")
        print("\n  unbound path, Wine: %r, Linux: %r" % tuple(texts), file=sys.stderr)


def ldapsearch(base, filter_text, *attributes):
    """(dn, {attribute: first value}) per entry, in the server's order."""
    lines = subprocess.run(["ldapsearch", "-x", "-LLL", "-o", "ldif-wrap=no", "-H", os.environ["QX_LDAP_URL"],
                            "-b", base, filter_text, *attributes],
                           check=True, capture_output=True, text=True, timeout=60).stdout.splitlines()
    entries = []
    for line in lines:
        if line.startswith("dn: "):
            entries.append((line[4:], {}))
        elif ": " in line and entries:
            name, value = line.split(": ", 1)
            entries[-1][1].setdefault(name, value)
    return entries


class DirectoryThroughWineAdsi(unittest.TestCase):
    def answer(self, sql):
        code, stdout = call_windows(sql)
        return code, events(stdout)

    def test_search_returns_every_entry_across_pages_in_server_order(self):
        expected = [(e["cn"], e["mail"]) for _, e in ldapsearch(PEOPLE, "(objectClass=inetOrgPerson)", "cn", "mail")]
        self.assertGreater(len(expected), 100)
        code, answer = self.answer("EXEC quarlix '%s', '(objectClass=inetOrgPerson)', 'cn,mail'" % ldap_path(PEOPLE))
        self.assertEqual(code, 0, answer[:3])
        describes = [(e["name"], e["type"], e["maxlen"]) for e in answer if e["event"] == "describe"]
        self.assertEqual(describes, [("cn", 0x27, max(len(cn) for cn, _ in expected)),
                                     ("mail", 0x27, max(len(mail) for _, mail in expected))])
        rows = [tuple(bytes.fromhex(cell).decode() for cell in e["cells"]) for e in answer if e["event"] == "row"]
        self.assertEqual(rows, expected)
        self.assertEqual(answer[-2:], [{"event": "done", "status": 17, "count": len(expected)},
                                       {"event": "return", "value": 0}])

    def test_text_beyond_ascii_comes_in_the_ansi_code_page(self):
        # "Café 007" in the directory (UTF-8 on the wire); Wine's ANSI code
        # page here is 1252, where é is the single byte E9.
        code, answer = self.answer("EXEC quarlix '%s', '(uid=person007)', 'description'" % ldap_path(PEOPLE))
        self.assertEqual(code, 0, answer[:3])
        rows = [e["cells"] for e in answer if e["event"] == "row"]
        self.assertEqual(rows, [["Caf\xe9 007".encode("cp1252").hex()]])

    def test_failure_roads_of_wines_adsi(self):
        member = ldap_path("uid=person001," + PEOPLE)
        cases = {
            "EXEC quarlix '%s'" % member: CONTAINER_MISSING + NO_INTERFACE_DESCRIBED,
            "EXEC quarlix '%s', '', 'Name', 'GET_OBJECT_LIST'" % member: CONTAINER_MISSING + NO_INTERFACE_DESCRIBED,
            "EXEC quarlix '%s', '', '*', 'GET_GROUP_MEMBERS'" % ldap_path("cn=staff," + BASE):
                "Can not get IADsGroup.",
        }
        for sql, text in cases.items():
            with self.subTest(sql=sql):
                code, answer = self.answer(sql)
                self.assertEqual(code, 1)
                self.assertEqual([e["event"] for e in answer], ["message", "done", "return"])
                self.assertEqual((answer[0]["state"], message_text(answer[0])), (1, text))

    def test_child_road_without_container_answers_empty(self):
        for fields, describes in (("*", []), ("cn", [("cn", 0x27, 0)])):
            with self.subTest(fields=fields):
                code, answer = self.answer("EXEC quarlix '%s', '', '%s', 'GET_CHILD_OBJECTS'" %
                                           (ldap_path(PEOPLE), fields))
                self.assertEqual(code, 0, answer)
                self.assertEqual([(e["name"], e["type"], e["maxlen"]) for e in answer if e["event"] == "describe"],
                                 describes)
                self.assertEqual(answer[-2:], [{"event": "done", "status": 17, "count": 0},
                                               {"event": "return", "value": 0}])


if __name__ == "__main__":
    unittest.main(verbosity=2)
