#!/usr/bin/env python3
"""The platform calls of win32_calls.cpp, made by the Linux build over
compat/win32 and by the Windows build under wine64 (Wine's kernel32, ole32
and oleaut32), compared line by line.

Every line must be the same, except the lines of the differences listed in
KNOWN: each says why compat/win32 answers otherwise than Wine. A listed
difference that no longer shows fails too, so the list stays true.

Environment: QX_WINE, QX_WIN_CALLS (win32_calls.exe), QX_LINUX_CALLS."""
import os
import re
import subprocess
import tempfile
import unittest

# (pattern of the line keys, why compat/win32 keeps its answer)
KNOWN = [
    (r"^FormatMessageA\(",
     "descriptions come from each platform's message table: compat/win32 holds Windows' texts; Wine's table "
     "words them its own way and has none for COM's, ADSI's and the directory's codes (ERROR_DS_*)"),
    (r"^VariantChangeType\(VT_DATE 0\.99999+,",
     "a time that rounds up to midnight: compat/win32 carries the day (12/31/1899), Wine drops it and writes "
     "12:00:00 AM of day 0"),
    (r"^VariantChangeType\(VT_DATE -657434,",
     "the year 100: compat/win32 writes the short date's four-digit year (1/1/0100), Wine 1/1/100"),
    (r"^MultiByteToWideChar\(65001,0x0000000[01],(surrogate|beyond 10FFFF)(,size)?\)$",
     "a malformed UTF-8 sequence: compat/win32 writes one U+FFFD per byte that cannot begin or continue a "
     "sequence (Unicode's maximal subparts); Wine fewer"),
    (r"^(MultiByteToWideChar\(65001,0x00000008,|WideCharToMultiByte\(65001,0x00000080,lone).*,room 2\)$",
     "invalid input and too small a buffer at once: compat/win32 reports the invalid input (1113), Wine the "
     "buffer (122); both fail"),
    (r"^WideCharToMultiByte\(65001,0x[0-9A-F]{8},.*,usedDefault(,size|,room 2)?\)$",
     "CP_UTF8 with a used-default flag pointer: compat/win32 fails with ERROR_INVALID_PARAMETER as Windows "
     "documents; Wine ignores the pointer"),
    (r"^WideCharToMultiByte\((1252|20127|0|3),0x00000080,",
     "WC_ERR_INVALID_CHARS on a code page that is not UTF-8: compat/win32 fails with ERROR_INVALID_FLAGS as "
     "Windows documents; Wine accepts the flag"),
]


def run(command):
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        code = subprocess.run(command, stdin=subprocess.DEVNULL, stdout=out, stderr=err, timeout=120).returncode
        out.seek(0), err.seek(0)
        stdout, stderr = out.read(), err.read()
    if code != 0:
        raise AssertionError("%s exited with %d: %s" % (command, code, stderr.decode(errors="replace")))
    return stdout.decode()


def lines(text):
    answers = {}
    for line in text.splitlines():
        key, _, value = line.partition(": ")
        if key in answers:
            raise AssertionError("two lines with the key %r" % key)
        answers[key] = value
    return answers


class SameCallsSameAnswers(unittest.TestCase):
    @staticmethod
    def windows_calls(*arguments):
        """What win32_calls.exe prints under Wine for these arguments."""
        return run([os.environ["QX_WINE"], os.environ["QX_WIN_CALLS"], *arguments])

    @classmethod
    def setUpClass(cls):
        cls.linux = lines(run([os.environ["QX_LINUX_CALLS"], "all"]))
        cls.windows = lines(cls.windows_calls("all"))

    def test_the_same_calls_were_made(self):
        self.assertEqual(sorted(self.linux), sorted(self.windows))
        self.assertGreater(len(self.linux), 1000)
        for group in ("SysAllocStringLen(", "VarBstrCat(", "VariantChangeType(VT_DATE", "VariantChangeType(VT_I4",
                      "VariantChangeType(VT_BOOL", "MultiByteToWideChar(1252", "MultiByteToWideChar(65001",
                      "MultiByteToWideChar(20127", "WideCharToMultiByte(1252", "WideCharToMultiByte(65001",
                      "WideCharToMultiByte(20127", "StringFromGUID2(", "FormatMessageA("):
            self.assertTrue(any(key.startswith(group) for key in self.linux), group)

    def test_answers_match_but_for_the_known_differences(self):
        unexplained = []
        shown = {pattern: 0 for pattern, _ in KNOWN}
        for key, linux in self.linux.items():
            windows = self.windows.get(key)
            if windows == linux:
                continue
            patterns = [pattern for pattern, _ in KNOWN if re.search(pattern, key)]
            if not patterns:
                unexplained.append("%s\n  compat/win32: %s\n  Wine:         %s" % (key, linux, windows))
            for pattern in patterns:
                shown[pattern] += 1
        self.assertEqual(unexplained, [], "\n" + "\n".join(unexplained))
        self.assertEqual([pattern for pattern, count in shown.items() if count == 0], [],
                         "listed differences that no longer show")
        print("\n  %d calls; differences, all known: %s" % (
            len(self.linux), ", ".join("%d x %s" % (count, pattern) for pattern, count in shown.items())))

    def test_best_fit_tables_are_wines(self):
        # Every UTF-16 unit a single-byte code page lacks, as each side
        # writes it: the whole table, not samples.
        for page in ("1252", "20127"):
            with self.subTest(page=page):
                linux = run([os.environ["QX_LINUX_CALLS"], "bestfit", page])
                windows = self.windows_calls("bestfit", page)
                self.assertGreater(len(windows.splitlines()), 300)
                self.assertEqual(linux, windows)

    def test_what_the_procedure_relies_on_is_the_same(self):
        # The conversions of every call: 1252 both ways for text beyond
        # ASCII, UTF-8 of valid text, BSTR lengths and dates of whole seconds.
        for key in ("MultiByteToWideChar(1252,0x00000000,bytes 80-FF)", "MultiByteToWideChar(3,0x00000000,bytes 80-FF)",
                    "WideCharToMultiByte(1252,0x00000000,latin)", "WideCharToMultiByte(3,0x00000000,euro and 1252 extras)",
                    "MultiByteToWideChar(65001,0x00000000,utf8 cafe)", "WideCharToMultiByte(65001,0x00000000,pair)",
                    "SysAllocStringByteLen(\"abcde\",5)", "VarBstrCat(\"x\\0y\",\"ab\")",
                    "VariantChangeType(VT_DATE 40098.21739,NOVALUEPROP)", "StringFromGUID2(IADs,39)"):
            with self.subTest(key=key):
                self.assertIn(key, self.linux)
                self.assertEqual(self.linux[key], self.windows[key])


if __name__ == "__main__":
    unittest.main(verbosity=2)
