#!/usr/bin/env bash
# Sets up the machine and runs every test: the Linux build, the same tests
# under AddressSanitizer and UndefinedBehaviorSanitizer, concurrent calls under
# ThreadSanitizer, the Windows DLLs (inspected, and the x86_64 one run under
# wine64), the integration tests against a slapd on loopback, and short
# fuzzing runs.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

step() { printf '\n==== %s ====\n' "$*"; }

step "Packages"
scripts/install-deps.sh all

step "Linux build and tests"
cmake --preset linux >/dev/null
cmake --build --preset linux
ctest --preset linux -j "$jobs"

step "Sanitizer build and tests"
cmake --preset linux-asan >/dev/null
cmake --build --preset linux-asan
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --preset linux-asan -j "$jobs"

step "ThreadSanitizer: concurrent calls"
cmake --preset linux-tsan >/dev/null
cmake --build --preset linux-tsan
ctest --preset linux-tsan
# The same program against a slapd on loopback.
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
  ctest --test-dir build/linux-tsan -R '^stress_slapd_concurrency$' --output-on-failure

if [ -x tests/windows/run.sh ]; then
  step "Windows DLLs"
  tests/windows/run.sh
fi

if [ -x tests/fuzz/run.sh ]; then
  step "Fuzzing (bounded)"
  tests/fuzz/run.sh --seconds "${QUARLIX_FUZZ_SECONDS:-20}"
fi

step "All tests passed"
