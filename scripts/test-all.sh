#!/usr/bin/env bash
# Sets up the machine and runs every test: the Linux build, the same tests
# under AddressSanitizer and UndefinedBehaviorSanitizer, concurrent calls under
# ThreadSanitizer, the Windows DLLs (inspected, the x86_64 one run under
# wine64, the i686 one under wine32 in an emulated i386 machine), the
# integration tests against a slapd on loopback, and short fuzzing runs.
#
#   scripts/test-all.sh           everything (what CI runs)
#   scripts/test-all.sh --quick   the plain Linux build and its tests only,
#                                 without those labelled slow (over a minute)
#
# Every step runs to its end, even after an earlier one failed; the run ends
# with one line counting what each step ran, then "N passed, N failed" alone
# on the last line. Exit status 0 only when nothing failed and every step ran
# at least one test. Each step's output is also kept in build/test-all/NAME.log.
#
# ADDING A STEP: one call, in the list at the bottom,
#
#     run_step NAME KIND COMMAND [ARGUMENT...]
#
#   NAME     one word, shown in the summary ("ctest", "windows", ...)
#   KIND     how the step's output is counted:
#              ctest     ctest's "...tests passed, F tests failed out of T"
#                        lines (give ctest --no-tests=error, and for the
#                        Python suites inside, --output-junit "$junit", see
#                        the ctest steps below)
#              unittest  Python unittest's "Ran N tests" and its OK/FAILED line
#              fuzz      tests/fuzz/run.sh's line per target
#              setup     counts nothing; only its exit status matters
#   COMMAND  a program or a function of this file; it runs under `set -e`.
#            Every count in its output adds up (a step may run several
#            suites). It fails when it exits non-zero or, unless it is a
#            setup step, when it counted no test at all.
#
# run_step and the counting live in scripts/test-steps.sh (tested by
# tests/scripts/test_steps_test.py).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

quick=0
case "${1:-}" in
  "") ;;
  --quick) quick=1 ;;
  *) echo "usage: $0 [--quick]" >&2; exit 2 ;;
esac

logs=$PWD/build/test-all
. scripts/test-steps.sh

# --- The steps ---------------------------------------------------------------

# The plain build, every unit and integration test. Tests are asked for by
# name: a build folder configured without them (QUARLIX_BUILD_TESTS=OFF) would
# otherwise keep that.
linux_tests() {
  local skip=()
  [ "$quick" = 1 ] && skip=(-LE slow)
  cmake --preset linux -DQUARLIX_BUILD_TESTS=ON >/dev/null
  cmake --build --preset linux
  scripts/install-node-modules.sh >/dev/null
  ctest --preset linux -j "$jobs" --no-tests=error --output-junit "$junit" --test-output-size-passed 1000000 \
    "${skip[@]}"
}

sanitizer_tests() {
  cmake --preset linux-asan -DQUARLIX_BUILD_TESTS=ON >/dev/null
  cmake --build --preset linux-asan
  scripts/install-node-modules.sh >/dev/null
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --preset linux-asan -j "$jobs" --no-tests=error --output-junit "$junit" --test-output-size-passed 1000000
}

thread_sanitizer_tests() {
  cmake --preset linux-tsan -DQUARLIX_BUILD_TESTS=ON >/dev/null
  cmake --build --preset linux-tsan
  ctest --preset linux-tsan --no-tests=error
  # The same program against a slapd on loopback.
  TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
    ctest --test-dir build/linux-tsan -R '^stress_slapd_concurrency$' --output-on-failure --no-tests=error
}

# Every C and C++ source as scripts/format.sh leaves it (QUARLIX_FORMAT_CHECK=0
# skips the check, for a tree under edit).
format_check() {
  if [ "${QUARLIX_FORMAT_CHECK:-1}" = 0 ]; then
    echo "format check skipped (QUARLIX_FORMAT_CHECK=0)"
    return 0
  fi
  scripts/format.sh --check
}

if [ "$quick" = 1 ]; then
  run_step packages setup scripts/install-deps.sh base
  run_step format setup format_check
  run_step ctest ctest linux_tests
else
  run_step packages setup scripts/install-deps.sh all
  run_step format setup format_check
  run_step ctest ctest linux_tests
  run_step asan ctest sanitizer_tests
  run_step tsan ctest thread_sanitizer_tests
  run_step windows unittest tests/windows/run.sh
  run_step i686 unittest tests/windows/i686.sh
  run_step fuzz fuzz tests/fuzz/run.sh --seconds "${QUARLIX_FUZZ_SECONDS:-20}"
fi

print_summary
