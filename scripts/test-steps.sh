# The steps of scripts/test-all.sh: run_step runs one and counts what it ran,
# print_summary prints the counts. Sourced; needs $logs (a folder for the
# steps' logs). See scripts/test-all.sh for how to add a step.

mkdir -p "$logs"
summary=()
total_passed=0
total_failed=0

# The words given that are not empty, with one space between.
joined() {
  local out="" word
  for word in "$@"; do [ -z "$word" ] || out="${out:+$out }$word"; done
  echo "$out"
}

# The parts of the lines of FILE that match the extended regex, none when
# no line does.
matches() { grep -oE "$1" "$2" || true; }

# The sum of the numbers after "=" or in column 2 of its input.
sum_of() { awk -F"${1:- }" '{n += $2} END {print n + 0}'; }

# Counts from a step's log; each prints "PASSED FAILED NOTE".
count_ctest() {
  local log=$1 junit=$2 passed=0 failed=0 line t f suites=0 cases=0 empty=0 note=""
  while IFS= read -r line; do
    f=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
    t=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\2/' <<<"$line")
    passed=$((passed + t - f))
    failed=$((failed + f))
  done < <(matches '[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log")
  # The Python suites inside ctest: how many cases they ran, and none may
  # have found nothing to run (unittest calls that a success).
  if [ -s "$junit" ]; then
    suites=$(matches 'Ran [0-9]+ tests? in' "$junit" | wc -l)
    cases=$(matches 'Ran [0-9]+ tests? in' "$junit" | sum_of)
    empty=$(matches 'Ran 0 tests in' "$junit" | wc -l)
    [ "$suites" -eq 0 ] || note="(its $suites Python suites ran $cases cases)"
    if [ "$empty" -gt 0 ]; then
      failed=$((failed + empty))
      note=$(joined "$note" "($empty Python suites ran no test)")
    fi
  fi
  echo "$passed $failed $note"
}

count_unittest() {
  local log=$1 ran failed skipped empty note=""
  ran=$(matches '^Ran [0-9]+ tests? in' "$log" | sum_of)
  failed=$(matches '^FAILED \(.*' "$log" | grep -oE '(failures|errors|unexpected successes)=[0-9]+' | sum_of = || true)
  skipped=$(matches '^(OK|FAILED) \(.*' "$log" | grep -oE 'skipped=[0-9]+' | sum_of = || true)
  # A suite that found nothing to run fails (unittest calls that a success).
  empty=$(matches '^Ran 0 tests in' "$log" | wc -l)
  [ "${skipped:-0}" -eq 0 ] || note="($skipped skipped)"
  [ "$empty" -eq 0 ] || note=$(joined "$note" "($empty Python suites ran no test)")
  echo "$((ran - ${failed:-0} - ${skipped:-0})) $((${failed:-0} + empty)) $note"
}

count_fuzz() {
  # "<target>   ok|FAILED   <executed inputs> inputs ...": a target that ran
  # no input at all did not fuzz.
  awk '$1 ~ /_fuzzer$/ && $4 == "inputs" {
         if ($2 == "ok" && $3 ~ /^[0-9]+$/ && $3 > 0) p++; else f++
       } END {print p + 0, f + 0}' "$1"
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
  local counts="0 0"
  case "$kind" in
    ctest) counts=$(count_ctest "$log" "$junit") ;;
    unittest) counts=$(count_unittest "$log") ;;
    fuzz) counts=$(count_fuzz "$log") ;;
    setup) ;;
    *) echo "run_step: unknown kind $kind" >&2; rc=2 ;;
  esac
  read -r passed failed note <<<"$counts"
  if [ "$kind" != setup ] && [ $((passed + failed)) -eq 0 ]; then
    note=$(joined "$note" "(ran no test)")
    failed=1
  fi
  # A failed command counts once even when its output showed no failed test
  # (a build that broke, a script that stopped half-way).
  if [ "$rc" -ne 0 ] && [ "$failed" -eq 0 ]; then
    note=$(joined "$note" "(exit status $rc)")
    failed=1
  fi
  total_passed=$((total_passed + passed))
  total_failed=$((total_failed + failed))
  local counted="$passed passed"
  [ "$kind" != fuzz ] || counted="$passed targets passed"
  [ "$failed" -gt 0 ] && counted="$counted, $failed failed"
  counted=$(joined "$counted" "$note")
  if [ "$kind" = setup ]; then
    counted=$([ "$failed" -eq 0 ] && echo done || echo "FAILED (exit status $rc)")
  fi
  printf -- '---- %s: %s (%d s)\n' "$name" "$counted" $((SECONDS - started))
  # Setup steps show in the summary only when they failed.
  if [ "$kind" != setup ] || [ "$failed" -gt 0 ]; then summary+=("$name $counted"); fi
}

# One line with every step's count, then the totals alone on the last line;
# the status says whether anything failed.
print_summary() {
  printf '\n==== summary ====\n'
  local line="" entry
  for entry in "${summary[@]}"; do line="${line:+$line; }$entry"; done
  echo "$line"
  echo "$total_passed passed, $total_failed failed"
  [ "$total_failed" -eq 0 ]
}
