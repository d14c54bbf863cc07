#!/usr/bin/env python3
"""The i686 DLL under wine32, in the emulated i386 machine of
scripts/i686-machine.sh: every road of roads_test.py on the sample directory
and the integration fixture (faults included), the dates against Wine's own
text, and the platform calls of win32_calls.exe, each against the Linux
build as the x86_64 tests do.

A boot is costly, so every call the tests make in the machine is planned
first and made in one boot; the tests then read the answers. A test that
asks for a call not in the plan fails with that call named.

Environment: QX_LINUX_EXEC, QX_LINUX_CALLS (the Linux build), QX_I686_BUILD
(the i686 build, default build/win32), QX_TMP (a folder for the run)."""
import os
import shlex
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, HERE)
import differential_test  # noqa: E402
import roads_test as roads  # noqa: E402

SIDE = "i686"


class Machine:
    """The calls of one boot: planned, made, then answered."""

    def __init__(self):
        self.lines = []  # the calls file, one request a line
        self.line_of = {}  # request -> its line number
        self.files = []  # the directory files, by path
        self.out = None

    def _plan(self, key, line):
        if key not in self.line_of:
            self.lines.append(line)
            self.line_of[key] = len(self.lines)

    def plan_call(self, ldif, sql, faults=()):
        if ldif not in self.files:
            self.files.append(ldif)
        words = ["--directory", os.path.basename(ldif)]
        for fault in faults:
            words += ["--fault", fault]
        self._plan(("call", ldif, sql, tuple(faults)), shlex.join(words + ["-Q", sql]))

    def plan_calls(self, mode, *arguments):
        self._plan(("calls", mode) + arguments, shlex.join(["win32_calls.exe", mode, *arguments]))

    def boot(self):
        folder = tempfile.mkdtemp(prefix="i686-", dir=os.environ.get("QX_TMP"))
        calls = os.path.join(folder, "calls")
        with open(calls, "w", encoding="utf-8") as f:
            f.write("".join(line + "\n" for line in self.lines))
        self.out = os.path.join(folder, "out")
        command = ["bash", os.path.join(SOURCE, "scripts", "i686-machine.sh"), "--calls", calls, "--out", self.out,
                   "--build", os.environ.get("QX_I686_BUILD", os.path.join(SOURCE, "build", "win32"))]
        for ldif in self.files:
            command += ["--directory", ldif]
        subprocess.run(command, stdin=subprocess.DEVNULL, check=True)

    def _answer(self, key, extension):
        if key not in self.line_of:
            raise AssertionError("not planned for the machine: %r" % (key,))
        number = self.line_of[key]
        base = os.path.join(self.out, str(number))
        if not os.path.exists(base + ".rc"):
            raise AssertionError("the machine did not make call %d: %s" % (number, self.lines[number - 1]))
        with open(base + ".rc") as f:
            code = int(f.read())
        with open(base + extension, "rb") as out, open(base + ".err", "rb") as err:
            return code, out.read(), err.read()

    # The side's interface, as roads_test.OTHER_SIDES asks.
    def call(self, ldif, sql, faults):
        return self._answer(("call", ldif, sql, tuple(faults)), ".events")

    def calls(self, mode, *arguments):
        return self._answer(("calls", mode) + arguments, ".out")


machine = Machine()


def plan():
    """Every call the tests below make in the machine."""
    for ldif, catalogue in ((roads.CORP_LDIF, roads.CORP_ROADS), (roads.fixture_ldif(), roads.FIXTURE_ROADS)):
        for road in catalogue:
            machine.plan_call(ldif, road.sql, road.faults)
            for code in road.describes:
                machine.plan_calls("describe", "0x%08X" % roads.looked_up(code))
    for ldif, dn, attribute in roads.date_cells():
        machine.plan_call(ldif, roads.date_query(dn, attribute))
        machine.plan_calls("date", repr(roads.date_of(ldif, dn, attribute)))
    machine.plan_calls("all")
    for page in ("1252", "20127"):
        machine.plan_calls("bestfit", page)


def setUpModule():
    roads.OTHER_SIDES[SIDE] = machine
    plan()
    machine.boot()


def tearDownModule():
    roads.tearDownModule()


class I686RoadsMatchLinux(roads.RoadsMatchLinux):
    side = SIDE


class I686DatesAreWinesOwn(roads.DatesAreWinesOwn):
    side = SIDE


class I686SameCallsSameAnswers(differential_test.SameCallsSameAnswers):
    @staticmethod
    def windows_calls(*arguments):
        code, stdout, stderr = machine.calls(*arguments)
        if code != 0:
            raise AssertionError("win32_calls.exe %s exited with %d under wine32: %s" % (
                " ".join(arguments), code, stderr.decode(errors="replace")))
        return stdout.decode()


if __name__ == "__main__":
    unittest.main(verbosity=2)
