#!/usr/bin/env python3
"""The counting of scripts/test-all.sh: what each kind of step reads from its
output, and that a step which ran nothing, or stopped half-way, fails.
Argument: scripts/test-steps.sh."""
import os
import subprocess
import sys
import tempfile
import unittest

STEPS = None


def run_steps(body):
    """Runs `body` (bash: step functions and run_step calls) after sourcing
    the steps, then print_summary; returns the exit status, the summary line
    and the totals line."""
    with tempfile.TemporaryDirectory() as logs:
        script = 'set -euo pipefail\nlogs=%s\n. %s\n%s\nprint_summary\n' % (logs, STEPS, body)
        done = subprocess.run(["bash", "-c", script], capture_output=True, text=True, timeout=60)
    lines = done.stdout.splitlines()
    return done.returncode, lines[-2], lines[-1]


def printing(text, status=0):
    """A step function printing `text`, then ending with `status`."""
    return "f() { cat <<'END'\n%s\nEND\nreturn %d; }\n" % (text, status)


class Counting(unittest.TestCase):
    def test_ctest_counts_passed_and_failed_tests(self):
        self.assertEqual(run_steps(printing("100% tests passed, 0 tests failed out of 3") + "run_step ctest ctest f"),
                         (0, "ctest 3 passed", "3 passed, 0 failed"))
        self.assertEqual(run_steps(printing("67% tests passed, 1 tests failed out of 3", 8) + "run_step ctest ctest f"),
                         (1, "ctest 2 passed, 1 failed", "2 passed, 1 failed"))

    def test_steps_that_ran_nothing_fail(self):
        for kind, text, why in (("ctest", "No tests were found!!!", "ran no test"),
                                ("unittest", "Ran 0 tests in 0.000s\n\nOK", "1 Python suites ran no test"),
                                ("fuzz", "nothing to fuzz", "ran no test")):
            unit = "targets " if kind == "fuzz" else ""
            self.assertEqual(run_steps(printing(text) + "run_step s %s f" % kind),
                             (1, "s 0 %spassed, 1 failed (%s)" % (unit, why), "0 passed, 1 failed"), kind)

    def test_a_python_suite_inside_ctest_that_ran_nothing_fails(self):
        body = ("f() { echo '100% tests passed, 0 tests failed out of 2'\n"
                "  printf '<system-out>Ran 5 tests in 1s\\nOK</system-out><system-out>Ran 0 tests in 0s\\nOK'"
                ' > "$junit"; }\nrun_step ctest ctest f')
        self.assertEqual(run_steps(body),
                         (1, "ctest 2 passed, 1 failed (its 2 Python suites ran 5 cases) (1 Python suites ran no test)",
                          "2 passed, 1 failed"))

    def test_unittest_adds_up_every_suite_and_leaves_skipped_out(self):
        text = ("Ran 4 tests in 0.1s\n\nOK (skipped=1)\n"
                "Ran 3 tests in 0.2s\n\nFAILED (failures=1, errors=1)")
        self.assertEqual(run_steps(printing(text, 1) + "run_step windows unittest f"),
                         (1, "windows 4 passed, 2 failed (1 skipped)", "4 passed, 2 failed"))

    def test_fuzz_counts_targets_and_one_that_ran_no_input_fails(self):
        text = ("a_fuzzer                 ok            1234 inputs  \n"
                "b_fuzzer                 ok               0 inputs  \n"
                "c_fuzzer                 FAILED          17 inputs  \n"
                "d_fuzzer                 ok               ? inputs  \n"
                "e_fuzzer                 ok              99 inputs  ")
        self.assertEqual(run_steps(printing(text, 1) + "run_step fuzz fuzz f"),
                         (1, "fuzz 2 targets passed, 3 failed", "2 passed, 3 failed"))

    def test_a_step_that_stops_half_way_fails(self):
        # The step runs under set -e: the count after the failing command is
        # never printed.
        body = ("f() { false; echo '100% tests passed, 0 tests failed out of 9'; }\n"
                "g() { echo '100% tests passed, 0 tests failed out of 2'; return 3; }\n"
                "run_step early ctest f\nrun_step late ctest g")
        self.assertEqual(run_steps(body),
                         (1, "early 0 passed, 1 failed (ran no test); late 2 passed, 1 failed (exit status 3)",
                          "2 passed, 2 failed"))

    def test_setup_steps_show_only_when_they_fail_and_steps_add_up(self):
        body = (printing("100% tests passed, 0 tests failed out of 3") +
                "run_step packages setup true\nrun_step one ctest f\nrun_step two ctest f")
        self.assertEqual(run_steps(body), (0, "one 3 passed; two 3 passed", "6 passed, 0 failed"))
        self.assertEqual(run_steps(printing("100% tests passed, 0 tests failed out of 3") +
                                   "run_step packages setup false\nrun_step one ctest f"),
                         (1, "packages FAILED (exit status 1); one 3 passed", "3 passed, 1 failed"))


if __name__ == "__main__":
    STEPS = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=2)
