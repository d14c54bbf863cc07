"""The command lines of quarlix-server and quarlix-exec: both take an
option's value after '=' as well as in the next argument, and both refuse the
same faults (a bad number, one out of range, a missing or empty value, an
unknown option, one given twice) in the same words.
Usage: command_line_test.py QUARLIX_SERVER QUARLIX_EXEC"""
import os
import subprocess
import sys
import unittest

import pytds

from server_fixture import DIRECTORY, PASSWORD, USER, Build, Server, same_rows

BUILD = None
LINE = f"EXEC quarlix '{DIRECTORY}', '(cn=J*)', 'cn,sAMAccountName'"


def refusal(program, *arguments):
    """The reason a host gives for refusing its command line, its name taken out."""
    done = subprocess.run([program, *arguments], capture_output=True, text=True, timeout=60, stdin=subprocess.DEVNULL)
    name = os.path.basename(program)
    assert done.returncode == 2, (program, arguments, done.returncode, done.stderr)
    assert done.stderr.startswith(name + ": "), done.stderr
    return done.stderr[len(name) + 2:].replace(name, "PROGRAM")


class CommandLines(unittest.TestCase):
    def test_both_hosts_refuse_the_same_faults_in_the_same_words(self):
        faults = {
            ("--codepage", "0"): "--codepage takes a number from 1 to 65535, not 0",
            ("--codepage=65536",): "--codepage takes a number from 1 to 65535, not 65536",
            ("--codepage", "-1"): "--codepage takes a whole number in decimal digits, not '-1'",
            ("--codepage=0x4e4",): "--codepage takes a whole number in decimal digits, not '0x4e4'",
            ("--codepage",): "--codepage needs a value",
            ("--library=",): "--library needs a value that is not empty",
            ("--directory", ""): "--directory needs a value that is not empty",
            ("--no-directory=yes",): "--no-directory takes no value",
            ("--codepage=1252", "--codepage", "1252"): "--codepage given twice",
            ("--library", "a", "--library=b"): "--library given twice",
            ("--directory=a.ldif", "--no-directory"): "give one of --directory FILE or --no-directory, once",
            ("--frobnicate",): "unknown option '--frobnicate' (PROGRAM --help lists them)",
            ("--frobnicate=1",): "unknown option '--frobnicate' (PROGRAM --help lists them)",
        }
        for arguments, reason in faults.items():
            with self.subTest(arguments=arguments):
                server = refusal(BUILD.server, "--listen", "127.0.0.1:0", "--logins", "unused", *arguments)
                self.assertEqual(server, reason + "\n")
                self.assertEqual(refusal(BUILD.exec, "a", *arguments), server)

    def test_the_help_lists_the_shared_options_alike(self):
        def rows(program):
            text = subprocess.run([program, "--help"], capture_output=True, text=True, timeout=60, check=True).stdout
            return {line.split()[0] for line in text.splitlines() if line.startswith("  -")}
        server, exec_ = rows(BUILD.server), rows(BUILD.exec)
        for option in ("--library", "--directory", "--no-directory", "--codepage", "--version", "-h,"):
            self.assertIn(option, server)
            self.assertIn(option, exec_)

    def test_values_after_equals_reach_the_server(self):
        def answer(*options, codepage=None):
            """The column types and rows of a server started with these options."""
            with Server(BUILD, *options, codepage=codepage) as server:
                with pytds.connect(server="127.0.0.1", port=server.port, user=USER, password=PASSWORD,
                                   autocommit=True) as conn:
                    cursor = conn.cursor()
                    cursor.execute(LINE)
                    return [d[1] for d in cursor.description], [list(r) for r in cursor.fetchall()]

        sample = os.path.join(os.path.dirname(BUILD.server), "samples", "corp.ldif")
        types, rows = answer("--codepage=65001", f"--directory={sample}", "--idle-timeout=60")
        same_rows(self, rows, BUILD.expected(LINE, codepage=65001)["rows"])
        # As in the next argument, and unlike the default code page (text
        # columns go as nvarchar in 65001 only).
        self.assertEqual(answer("--directory", sample, codepage=65001)[0], types)
        self.assertNotEqual(answer(codepage=None)[0], types)

if __name__ == "__main__":
    BUILD = Build(sys.argv[1], sys.argv[2])
    unittest.main(argv=[sys.argv[0], "-v"] + sys.argv[3:])
