#!/usr/bin/env bash
# Sets up the machine and runs every test: the Linux build, the same tests
# under AddressSanitizer and UndefinedBehaviorSanitizer, concurrent calls under
# ThreadSanitizer, the Windows DLLs (inspected, and the x86_64 one run under
# wine64), the integration tests against a slapd on loopback, and short
# fuzzing runs.
#
#   scripts/test-all.sh           everything (what CI runs)
#   scripts/test-all.sh --quick   the plain Linux build and its tests only
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
mkdir -p "$logs"
summary=()
total_passed=0
total_failed=0

# Counts from a step's log; each prints "PASSED FAILED NOTE".
count_ctest() {
  local log=$1 junit=$2 passed=0 failed=0 line t f suites=0 cases=0 empty=0 note=""
  while IFS= read -r line; do
    f=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
    t=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\2/' <<<"$line")
    passed=$((passed + t - f))
    failed=$((failed + f))
  done < <(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" || true)
  # The Python suites inside ctest: how many cases they ran, and none may
  # have found nothing to run (unittest calls that a success).
  if [ -s "$junit" ]; then
    suites=$( (grep -oE 'Ran [0-9]+ tests? in' "$junit" || true) | wc -l)
    cases=$( (grep -oE 'Ran [0-9]+ tests? in' "$junit" || true) | awk '{n += $2} END {print n + 0}')
    empty=$( (grep -oE 'Ran 0 tests in' "$junit" || true) | wc -l)
    [ "$suites" -gt 0 ] && note="(its $suites Python suites ran $cases cases)"
    if [ "$empty" -gt 0 ]; then
      failed=$((failed + empty))
      note="$note ($empty Python suites ran no test)"
    fi
  fi
  echo "$passed $failed $note"
}

count_unittest() {
  local log=$1 ran failed skipped
  ran=$( (grep -oE '^Ran [0-9]+ tests? in' "$log" || true) | awk '{n += $2} END {print n + 0}')
  failed=$( (grep -E '^FAILED \(' "$log" || true) | grep -oE '(failures|errors|unexpected successes)=[0-9]+' |
            awk -F= '{n += $2} END {print n + 0}')
  skipped=$( (grep -E '^(OK|FAILED) \(' "$log" || true) | grep -oE 'skipped=[0-9]+' |
             awk -F= '{n += $2} END {print n + 0}')
  local note=""
  [ "$skipped" -gt 0 ] && note="($skipped skipped)"
  echo "$((ran - failed - skipped)) $failed $note"
}

count_fuzz() {
  # "<target>   ok|FAILED   <executed inputs> inputs ...": a target that ran
  # no input at all did not fuzz.
  awk '$1 ~ /_fuzzer$/ && $4 == "inputs" {
         if ($2 == "ok" && $3 ~ /^[0-9]+$/ && $3 > 0) p++; else f++
       } END {print p + 0, f + 0, "targets"}' "$1"
}

run_step() {
  local name=$1 kind=$2
  shift 2
  local log=$logs/$name.log junit=$logs/$name.junit.xml
  rm -f "$log" "$junit"
  printf '\n==== %s ====\n' "$name"
  local started=$SECONDS rc
  set +e
  (set -e; "$@") 2>&1 | tee "$log"
  rc=${PIPESTATUS[0]}
  set -e
  local passed=0 failed=0 note=""
  case "$kind" in
    ctest) read -r passed failed note < <(count_ctest "$log" "$junit") ;;
    unittest) read -r passed failed note < <(count_unittest "$log") ;;
    fuzz) read -r passed failed note < <(count_fuzz "$log") ;;
    setup) ;;
    *) echo "run_step: unknown kind $kind" >&2; rc=2 ;;
  esac
  if [ "$kind" != setup ] && [ $((passed + failed)) -eq 0 ]; then
    note="$note (ran no test)"
    failed=1
  fi
  # A failed command counts once even when its output showed no failed test
  # (a build that broke, a script that stopped half-way).
  if [ "$rc" -ne 0 ] && [ "$failed" -eq 0 ]; then
    note="$note (exit status $rc)"
    failed=1
  fi
  total_passed=$((total_passed + passed))
  total_failed=$((total_failed + failed))
  local counted="$passed passed"
  [ "$failed" -gt 0 ] && counted="$counted, $failed failed"
  [ -n "$note" ] && counted="$counted $note"
  if [ "$kind" = setup ]; then
    counted=$([ "$failed" -eq 0 ] && echo done || echo "FAILED (exit status $rc)")
  fi
  printf -- '---- %s: %s (%d s)\n' "$name" "$counted" $((SECONDS - started))
  # Setup steps show in the summary only when they failed.
  if [ "$kind" != setup ] || [ "$failed" -gt 0 ]; then summary+=("$name $counted"); fi
}

# --- The steps ---------------------------------------------------------------

# The plain build, every unit and integration test. Tests are asked for by
# name: a build folder configured without them (QUARLIX_BUILD_TESTS=OFF) would
# otherwise keep that.
linux_tests() {
  cmake --preset linux -DQUARLIX_BUILD_TESTS=ON >/dev/null
  cmake --build --preset linux
  ctest --preset linux -j "$jobs" --no-tests=error --output-junit "$junit" --test-output-size-passed 1000000
}

sanitizer_tests() {
  cmake --preset linux-asan -DQUARLIX_BUILD_TESTS=ON >/dev/null
  cmake --build --preset linux-asan
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

if [ "$quick" = 1 ]; then
  run_step packages setup scripts/install-deps.sh base
  run_step ctest ctest linux_tests
else
  run_step packages setup scripts/install-deps.sh all
  run_step ctest ctest linux_tests
  run_step asan ctest sanitizer_tests
  run_step tsan ctest thread_sanitizer_tests
  run_step windows unittest tests/windows/run.sh
  run_step fuzz fuzz tests/fuzz/run.sh --seconds "${QUARLIX_FUZZ_SECONDS:-20}"
fi

# --- The summary -------------------------------------------------------------
printf '\n==== summary ====\n'
line=""
for entry in "${summary[@]}"; do line="${line:+$line; }$entry"; done
echo "$line"
echo "$total_passed passed, $total_failed failed"
[ "$total_failed" -eq 0 ]
