#!/usr/bin/env python3
"""scripts/format.sh in a scratch repository with the tree's .clang-format:
which files it formats, what --check reports, and that the house style
changes only white space. The expected text comes from clang-format itself.
Arguments: scripts/format.sh .clang-format"""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

FORMAT_SH = None
STYLE = None

# Out of the style in every way the formatter touches, with what it must not
# touch: include order, a string literal and a comment past the column limit.
MESSY = """#include "windows.h"
#include "oleauto.h"
#include <vector>
#include <algorithm>

namespace demo {
int  *first( std::vector<int>  &values ){ return values.empty()?nullptr:&values[0]; }
const char *kText = "a string literal far longer than the column limit allows, which must reach the program whole, as one token, and not as two";
// a comment far longer than the column limit allows, written by hand and to be left exactly as it was written, on one line
int sum(const int *p, int n) { int s = 0; for (int i = 0; i < n; ++i) s += p[i]; return s; }
}  // namespace demo
"""


def git(repo, *args):
    subprocess.run(["git", "-C", repo, *args], check=True, capture_output=True)


def clang_format():
    return shutil.which("clang-format-14") or shutil.which("clang-format")


class Repository:
    """A scratch git repository holding format.sh, the style, an ignore list
    and a few sources, tracked and not."""

    def __init__(self, root):
        self.root = root
        os.makedirs(os.path.join(root, "scripts"))
        shutil.copy(FORMAT_SH, os.path.join(root, "scripts", "format.sh"))
        shutil.copy(STYLE, os.path.join(root, ".clang-format"))
        self.write(".clang-format-ignore", "# generated\ngen/table.inc\nvendor/*  # not ours\n")
        for path in ("src/a.cpp", "src/b.h", "gen/table.inc", "vendor/lib.h", "tests/client.js"):
            self.write(path, MESSY)
        git(root, "init", "-q")
        git(root, "add", "-A")
        self.write("src/untracked.cpp", MESSY)

    def write(self, path, text):
        full = os.path.join(self.root, path)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "w") as f:
            f.write(text)

    def read(self, path):
        with open(os.path.join(self.root, path)) as f:
            return f.read()

    def run(self, *args, env=None):
        return subprocess.run(["bash", os.path.join(self.root, "scripts", "format.sh"), *args], cwd=self.root,
                              capture_output=True, text=True, timeout=120, env=env)

    def formatted(self, path):
        """What clang-format makes of the file with the repository's style."""
        done = subprocess.run([clang_format(), "--style=file", os.path.join(self.root, path)],
                              capture_output=True, text=True, check=True)
        return done.stdout


class FormatScript(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.repo = Repository(self.tmp.name)

    def tearDown(self):
        self.tmp.cleanup()

    def test_formats_tracked_sources_and_leaves_the_ignored_the_untracked_and_the_rest(self):
        listed = self.repo.run("--list")
        self.assertEqual(listed.returncode, 0, listed.stderr)
        self.assertEqual(listed.stdout.split(), ["src/a.cpp", "src/b.h"])

        expected = self.repo.formatted("src/a.cpp")
        self.assertNotEqual(expected, MESSY)
        done = self.repo.run()
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(self.repo.read("src/a.cpp"), expected)
        self.assertEqual(self.repo.read("src/b.h"), self.repo.formatted("src/b.h"))
        for path in ("gen/table.inc", "vendor/lib.h", "tests/client.js", "src/untracked.cpp"):
            self.assertEqual(self.repo.read(path), MESSY, path)

    def test_check_changes_nothing_and_fails_until_the_sources_are_formatted(self):
        before = self.repo.run("--check")
        self.assertNotEqual(before.returncode, 0)
        self.assertIn("src/a.cpp", before.stderr)
        self.assertEqual(self.repo.read("src/a.cpp"), MESSY)

        self.assertEqual(self.repo.run().returncode, 0)
        after = self.repo.run("--check")
        self.assertEqual(after.returncode, 0, after.stderr)
        self.assertIn("2 files formatted", after.stdout)

        # One stray space in one file is enough.
        self.repo.write("src/b.h", self.repo.read("src/b.h").replace("int sum", "int  sum"))
        self.assertNotEqual(self.repo.run("--check").returncode, 0)

    def test_the_style_changes_white_space_only(self):
        # Includes keep their order, literals and comments stay whole: the
        # formatted program is the same program.
        self.assertEqual(self.repo.run().returncode, 0)
        after = self.repo.read("src/a.cpp")
        self.assertEqual("".join(after.split()), "".join(MESSY.split()))
        self.assertEqual(sum(len(line) > 120 for line in after.splitlines()), 2)
        self.assertIn("int* first(std::vector<int>& values)", after)

    def test_another_version_of_clang_format_is_refused(self):
        fake = os.path.join(self.tmp.name, "clang-format-17")
        with open(fake, "w") as f:
            f.write("#!/bin/sh\n[ \"$1\" = --version ] && echo 'clang-format version 17.0.6'\nexit 0\n")
        os.chmod(fake, 0o755)
        env = dict(os.environ, CLANG_FORMAT=fake)
        refused = self.repo.run("--check", env=env)
        self.assertNotEqual(refused.returncode, 0)
        self.assertIn("version 17", refused.stderr)
        env["QUARLIX_FORMAT_ANY_VERSION"] = "1"
        self.assertEqual(self.repo.run("--check", env=env).returncode, 0)


if __name__ == "__main__":
    FORMAT_SH, STYLE = sys.argv[1], sys.argv[2]
    unittest.main(argv=sys.argv[:1], verbosity=2)
