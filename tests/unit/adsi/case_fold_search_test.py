#!/usr/bin/env python3
"""Case-insensitive searches of the embedded directory through the real host
path (quarlix-exec mounting an LDIF file): a filter in one case finds values
in another, for every simple case fold of the Unicode data. Arguments: the
quarlix-exec binary and CaseFolding.txt; expected entries come from the data."""
import base64
import json
import os
import subprocess
import sys
import tempfile
import unittest

EXEC, CASE_FOLDING = sys.argv[1:3]
ROOT = "DC=fold,DC=example"
PERSON = "objectClass: top\nobjectClass: person\nobjectClass: organizationalPerson\nobjectClass: user\n"


def simple_folds():
    folds = {}
    with open(CASE_FOLDING, encoding="utf-8") as data:
        for line in data:
            fields = [f.strip() for f in line.split("#", 1)[0].split(";")]
            if len(fields) >= 3 and fields[1] in ("C", "S"):
                folds[int(fields[0], 16)] = int(fields[2], 16)
    return folds


def entry(cn, **attributes):
    text = "dn: CN=%s,%s\n%scn: %s\n" % (cn, ROOT, PERSON, cn)
    for name, value in attributes.items():
        text += "%s:: %s\n" % (name, base64.b64encode(value.encode()).decode())
    return text + "\n"


def search(ldif, filter_, fields="cn"):
    sql = "EXEC quarlix 'LDAP://%s', '%s', '%s'" % (ROOT, filter_.replace("'", "''"), fields)
    done = subprocess.run([EXEC, "--format", "json", "--directory", ldif, "-Q", sql],
                          capture_output=True, timeout=120)
    if done.returncode != 0:
        raise AssertionError("%r failed: %r %r" % (filter_, done.stdout[-300:], done.stderr[-300:]))
    answer = json.loads(done.stdout)
    return sorted(row[0] for row in answer["rows"])


class CaseFoldSearch(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folds = simple_folds()
        cls.folder = tempfile.TemporaryDirectory()
        cls.ldif = os.path.join(cls.folder.name, "fold.ldif")
        with open(cls.ldif, "w", encoding="utf-8") as f:
            f.write("version: 1\n\ndn: %s\nobjectClass: top\nobjectClass: domain\n\n" % ROOT)
            f.write(entry("Yvonne", givenName="\u0178vonne", sn="\u0386\u03bb\u03c6\u03b1"))
            f.write(entry("Plain", givenName="yvonne", sn="\u03b1\u03bb\u03c6\u03b1"))
            # One entry per mapping, its surname the unfolded letter.
            for code in sorted(cls.folds):
                f.write(entry("u%05X" % code, sn="%cw" % code))

    @classmethod
    def tearDownClass(cls):
        cls.folder.cleanup()

    def test_small_letters_find_capitals_and_capitals_find_small_letters(self):
        self.assertEqual(search(self.ldif, "(givenName=\u00ffvonne)"), ["Yvonne"])
        self.assertEqual(search(self.ldif, "(givenName=\u0178VONNE)"), ["Yvonne"])
        self.assertEqual(search(self.ldif, "(sn=\u03ac\u03bb\u03c6\u03b1)"), ["Yvonne"])
        self.assertEqual(search(self.ldif, "(sn=\u0386\u039b\u03a6\u0391)"), ["Yvonne"])
        self.assertEqual(search(self.ldif, "(givenName=\u00ffv*)"), ["Yvonne"])
        # Folding is not stripping accents: y and ÿ, α and ά stay apart.
        self.assertEqual(search(self.ldif, "(givenName=yvonne)"), ["Plain"])
        self.assertEqual(search(self.ldif, "(sn=\u0391\u03bb\u03c6\u03b1)"), ["Plain"])

    def test_every_fold_of_the_data_matches_in_a_search(self):
        by_target = {}
        for code in sorted(self.folds):
            by_target.setdefault(self.folds[code], []).append("u%05X" % code)
        # As many folded letters in one filter as @filter takes (511 bytes).
        batches, clauses, targets = [], "", []
        for target in sorted(by_target):
            clause = "(sn=%cw)" % target
            if len(("(|%s%s)" % (clauses, clause)).encode()) > 511:
                batches.append(("(|%s)" % clauses, targets))
                clauses, targets = "", []
            clauses += clause
            targets.append(target)
        batches.append(("(|%s)" % clauses, targets))
        for filter_, targets in batches:
            with self.subTest(first="U+%04X" % targets[0]):
                expected = sorted(cn for t in targets for cn in by_target[t])
                self.assertEqual(search(self.ldif, filter_), expected)
        self.assertEqual(sum(len(t) for _, t in batches), len(by_target))

if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
