#!/usr/bin/env bash
# Builds the `fuzz` preset and runs every fuzz target for a bounded time on
# its corpus (tests/fuzz/corpus/<target>, read only; new inputs go to
# build/fuzz/fuzzing/<target>/corpus). Fails when a target finds a crash, a
# leak, a time-out or a broken invariant; the input is then in
# build/fuzz/fuzzing/<target>/artifacts (keep it under regressions/<target>).
#
#   tests/fuzz/run.sh [--seconds N] [--only TARGET] [--merge]
#     --seconds N   time per target (default 20; 600 for a long run)
#     --only T      just that target
#     --merge       afterwards add the new inputs that reach new edges to the
#                   committed corpus (edges only, not hit counts: it stays small)
#
# The targets run in a network namespace of their own (unshare -n): paths in
# fuzzed calls may name any server, and nothing may leave the machine.
set -euo pipefail
cd "$(dirname "$0")/../.."

seconds=20
only=""
merge=0
while [ $# -gt 0 ]; do
  case "$1" in
    --seconds) seconds=$2; shift 2 ;;
    --only) only=$2; shift 2 ;;
    --merge) merge=1; shift ;;
    *) echo "usage: $0 [--seconds N] [--only TARGET] [--merge]" >&2; exit 2 ;;
  esac
done

targets=(procedure_call_fuzzer filter_fuzzer ldif_fuzzer search_value_fuzzer property_value_fuzzer tds_request_fuzzer
         tsql_grammar_fuzzer utf_codec_fuzzer attribute_type_fuzzer)
[ -n "$only" ] && targets=("$only")

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target fuzzers

unshare -n true || { echo "fuzzing needs a network namespace of its own (unshare -n, as root)" >&2; exit 1; }

export LSAN_OPTIONS=suppressions=$PWD/tests/fuzz/lsan.supp
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
out=build/fuzz/fuzzing
failed=()
summary=()
for target in "${targets[@]}"; do
  work=$out/$target
  rm -rf "$work/artifacts"
  mkdir -p "$work/corpus" "$work/artifacts"
  longest=4096
  export ASAN_OPTIONS=detect_leaks=1
  if [ "$target" = ldif_fuzzer ]; then
    longest=12000  # room for a slice of the sample directory
    # Whole stacks through libldap, which has no frame pointers, so that
    # lsan.supp can name the function that leaks.
    ASAN_OPTIONS=$ASAN_OPTIONS:fast_unwind_on_malloc=0
  fi
  options=(-max_total_time="$seconds" -max_len="$longest" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
           -artifact_prefix="$work/artifacts/")
  [ -f "tests/fuzz/dict/$target.dict" ] && options+=(-dict="tests/fuzz/dict/$target.dict")
  printf '%s: fuzzing for %ss\n' "$target" "$seconds"
  if unshare -n "build/fuzz/$target" "${options[@]}" "$work/corpus" "tests/fuzz/corpus/$target" \
      >"$work/log.txt" 2>&1; then
    status=ok
  else
    status=FAILED
    failed+=("$target")
    tail -n 60 "$work/log.txt"
    ls -l "$work/artifacts"
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log.txt" | tail -n 1)
  extra=$(grep -E '^procedure_call: ' "$work/log.txt" | tail -n 1 | sed 's/^procedure_call: //' || true)
  summary+=("$(printf '%-24s %-7s %10s inputs  %s' "$target" "$status" "${runs:-?}" "$extra")")

  if [ "$merge" = 1 ] && [ "$status" = ok ]; then
    merged=$(mktemp -d)
    cp "tests/fuzz/corpus/$target"/* "$merged"/
    unshare -n "build/fuzz/$target" -merge=1 -use_counters=0 -max_len="$longest" "$merged" "$work/corpus" >>"$work/log.txt" 2>&1
    cp -n "$merged"/* "tests/fuzz/corpus/$target"/
    rm -rf "$merged"
  fi
done

echo
printf '%s\n' "${summary[@]}"
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzzing found problems in: ${failed[*]}" >&2
  exit 1
fi
