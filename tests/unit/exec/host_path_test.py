#!/usr/bin/env python3
"""The real host path: quarlix-exec loads a procedure library by file name,
calls it once and prints what it sent. Arguments: the quarlix-exec binary, the
echoing fake procedure, the same built with another interface version, and a
library that exports no procedure. The repository's LDIF sample serves as a
directory to mount."""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

EXE, FAKE, FAKE_V6, NOT_A_PROCEDURE = sys.argv[1:5]
SAMPLE = os.path.join(os.path.dirname(__file__), "..", "..", "..", "samples", "corp.ldif")


def run(*args, library=FAKE, directory=("--no-directory",)):
    command = [EXE, *directory] + (["--library", library] if library else []) + list(args)
    done = subprocess.run(command, capture_output=True, timeout=60)
    return done.returncode, done.stdout, done.stderr


class Answers(unittest.TestCase):
    def test_plain_values_as_a_table(self):
        code, out, err = run("alice", "")
        self.assertEqual((code, err), (0, b""))
        self.assertEqual(out, b"p1    p2\n----- ----\nalice NULL\n\n(1 row affected)\n")

    def test_exec_line_events_are_byte_exact(self):
        code, out, err = run("--format", "events", "-Q",
                             "EXEC master..quarlix 'it''s', @scope = N'\u00e9', @filter = NULL")
        self.assertEqual((code, err), (0, b""))
        self.assertEqual(out.decode().splitlines(), [
            '{"event":"describe","column":1,"name":"p1","hex":"7031","type":39,"maxlen":4}',
            '{"event":"describe","column":2,"name":"@scope","hex":"4073636f7065","type":165,"maxlen":2}',
            '{"event":"describe","column":3,"name":"@filter","hex":"4066696c746572","type":39,"maxlen":1}',
            '{"event":"row","cells":["69742773","e900",null]}',
            '{"event":"done","status":17,"count":1}',
            '{"event":"return","value":0}',
        ])

    def test_failure_as_table_json_and_csv(self):
        code, out, err = run("-Q", "EXEC quarlix 'fail'")
        self.assertEqual(code, 1)
        self.assertEqual(out, b"Msg 20001, Level 16, State 1, Procedure quarlix, Line 0\n"
                              b"Failure requested.\n\tas asked\n")
        code, out, _ = run("--format", "json", "fail")
        self.assertEqual(code, 1)
        self.assertEqual(out, b'{"error":{"number":20001,"severity":16,"state":1,'
                              b'"text":"Failure requested.\\n\\tas asked"}}\n')
        code, out, err = run("--format", "csv", "fail")
        self.assertEqual((code, out), (1, b""))
        self.assertIn(b"Msg 20001, Level 16", err)

    def test_no_parameters_and_trace(self):
        code, out, err = run("--format", "json", "--trace")
        self.assertEqual(code, 0)
        self.assertEqual(out, b'{"columns":[],"rows":[],"count":0}\n')
        # First where serverless paths go, then every call the procedure made.
        first, rest = err.split(b"\n", 1)
        self.assertTrue(first.startswith(b"quarlix-exec: serverless paths "), first)
        self.assertEqual(rest, b"trace: srv_rpcparams() = 0\ntrace: srv_senddone(17, 0, 0) = 1\n")


class HostErrors(unittest.TestCase):
    def assertHostError(self, result, reason):
        code, out, err = result
        self.assertEqual(code, 2)
        self.assertEqual(out, b"")
        self.assertEqual(err.count(b"\n"), 1, err)
        self.assertTrue(err.startswith(b"quarlix-exec: "), err)
        self.assertIn(reason.encode(), err)

    def test_libraries_it_refuses(self):
        self.assertHostError(run("a", library=FAKE_V6),
                             "reports interface version 0x06500000; this host needs 0x07000000")
        missing = os.path.join(tempfile.gettempdir(), "no-such-procedure.so")
        self.assertHostError(run("a", library=missing), "cannot load " + missing)
        self.assertHostError(run("a", library=NOT_A_PROCEDURE), "does not export __GetXpVersion")

    def run_copy(self, folder, *args):
        """Runs a copy of quarlix-exec placed in `folder`, alone there."""
        copy = os.path.join(folder, "quarlix-exec")
        shutil.copy(EXE, copy)
        return subprocess.run([copy, *args], capture_output=True, timeout=60,
                              env=dict(os.environ, LD_LIBRARY_PATH=os.path.dirname(EXE)))

    def test_defaults_beside_the_program(self):
        with tempfile.TemporaryDirectory() as folder:
            done = self.run_copy(folder, "--no-directory", "a")
            self.assertEqual(done.returncode, 2)
            self.assertIn(os.path.join(folder, "libquarlix.so").encode(), done.stderr)
            # The sample directory beside it is mounted unless told otherwise.
            os.mkdir(os.path.join(folder, "samples"))
            with open(os.path.join(folder, "samples", "corp.ldif"), "w") as ldif:
                ldif.write("this is not LDIF\n")
            done = self.run_copy(folder, "--library", FAKE, "a")
            self.assertEqual(done.returncode, 2)
            self.assertIn(b"cannot mount the directory " + folder.encode(), done.stderr)
            done = self.run_copy(folder, "--library", FAKE, "--no-directory", "a")
            self.assertEqual(done.returncode, 0, done.stderr)

    def test_directory_and_code_page_options(self):
        self.assertEqual(run("a", directory=("--directory", SAMPLE))[0], 0)
        self.assertHostError(run("a", directory=("--directory", "/nonexistent/corp.ldif")), "/nonexistent/corp.ldif")
        self.assertHostError(run("--codepage", "12345", "a"), "code page 12345 is not supported")
        self.assertEqual(run("--codepage", "1252", "--fault", "ADsGetObject=0x80004005", "a")[0], 0)

    def test_fault_operations_are_checked_against_the_list(self):
        code, out, err = run("--fault", "list", library=None)
        self.assertEqual((code, err), (0, b""))
        known = out.decode().splitlines()
        self.assertIn("IDirectorySearch::ExecuteSearch", known)
        self.assertIn("IADs::QueryInterface(IDirectorySearch)", known)
        self.assertEqual(len(known), len(set(known)))
        # Every listed name is taken; misspelt ones are refused, naming the
        # known ones, before anything is called.
        for name in known:
            self.assertEqual(run("--fault", name + "=0x80004005", "a")[0], 0, name)
        for name in ("Search", "IADs::getName", "iads::get_Name"):
            code, out, err = run("--fault", name + "=0x80004005", "a")
            self.assertHostError((code, out, err), "unknown --fault operation '%s'" % name)
            self.assertIn(b"IDirectorySearch::ExecuteSearch, ", err)
            self.assertIn(b"IADs::QueryInterface(IUnknown|IDispatch|", err)
        # The host's page (docs/exec.md) lists the same operations.
        with open(os.path.join(os.path.dirname(__file__), "..", "..", "..", "docs", "exec.md"), encoding="utf-8") as f:
            readme = f.read()
        section = readme[readme.index("The operations `--fault` knows"):]
        section = section[:section.index("\n\n")]
        for name in known:
            if "::QueryInterface(" in name:
                obj, interface = name[:-1].split("::QueryInterface(")
                self.assertIn("`%s`" % obj, section)
                self.assertIn("`%s`" % interface, section)
            else:
                obj, _, method = name.partition("::")
                self.assertTrue("`%s`" % name in section or ("`%s::" % obj in section and "`%s`" % method in section),
                                name)

    def test_bad_command_lines(self):
        self.assertHostError(run("-Q", "EXEC quarlix 'a' 'b'"), "-Q: column 18: expected ','")
        self.assertHostError(run("--format", "xml"), "unknown --format 'xml'")

    def test_help_and_version(self):
        code, out, _ = run("--help", library=None)
        self.assertEqual(code, 0)
        self.assertIn(b"Usage: quarlix-exec", out)
        code, out, _ = run("--version", library=None)
        self.assertEqual(code, 0)
        self.assertRegex(out.decode(), r"^quarlix-exec \d+\.\d+\.\d+\n$")


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
