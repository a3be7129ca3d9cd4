#!/bin/bash
# Builds every preset and runs every test suite: Linux natively (plain and sanitized), Windows under Wine.
#
# Each step passes or fails by its own exit status. The numbers of tests come from ctest's JUnit report,
# never from its English summary. At the end: one line per preset (built, tested, or not run and why),
# the counts that the crash and concurrency tests print, and as the last line
#   total: N passed, M failed
# counting the tests that actually ran (a build or suite that failed without a test to blame counts as
# one failure).
set -uo pipefail
cd "$(dirname "$0")/.."

passed=0
failed=0
summary=()
reports=()

# The value of attribute $2 on the first <testsuite> element of the JUnit report $1.
junit_count() {
  tr '\n\t' '  ' <"$1" | grep -o '<testsuite [^>]*' | head -n 1 | grep -Eo " $2=\"[0-9]+\"" | grep -Eo '[0-9]+'
}

# Configures and builds a preset; false when either fails.
build() {
  local preset=$1 log="build/logs/build-$1.log"
  echo "== build $preset"
  if cmake --preset "$preset" >"$log" 2>&1 && cmake --build --preset "$preset" -j2 >>"$log" 2>&1; then
    return 0
  fi
  tail -n 40 "$log"
  return 1
}

# Runs a built preset's suite and adds its tests to the counts.
run_suite() {
  local preset=$1 report="$PWD/build/logs/junit-$1.xml"
  echo "== test $preset"
  rm -f "$report"
  ctest --preset "$preset" -j2 --output-junit "$report" --test-output-size-passed 4096
  local status=$?
  local tests failures disabled skipped
  tests=$(junit_count "$report" tests 2>/dev/null)
  failures=$(junit_count "$report" failures 2>/dev/null)
  disabled=$(junit_count "$report" disabled 2>/dev/null)
  skipped=$(junit_count "$report" skipped 2>/dev/null)
  if [ -z "$tests" ] || [ -z "$failures" ]; then
    summary+=("$preset: built; tests FAILED to report (ctest exit status $status)")
    failed=$((failed + 1))
    return
  fi
  # Disabled and skipped tests did not run: they count neither way.
  local good=$((tests - failures - ${disabled:-0} - ${skipped:-0})) bad=$failures
  # A failing exit status with no failed test (a crash of ctest itself, no tests found) still fails.
  if [ "$status" -ne 0 ] && [ "$bad" -eq 0 ]; then bad=1; fi
  passed=$((passed + good))
  failed=$((failed + bad))
  if [ "$status" -eq 0 ]; then
    summary+=("$preset: built, tested: $good passed, $bad failed")
  else
    summary+=("$preset: built, tested: $good passed, $bad FAILED (ctest exit status $status)")
  fi
  reports+=("$report")
}

mkdir -p build/logs
if ! scripts/install-deps.sh; then
  echo "installing the dependencies FAILED; nothing built or tested"
  echo "total: 0 passed, 1 failed"
  exit 1
fi

export WINEPREFIX="$PWD/build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# The 32-bit Windows tests need a kernel that starts 32-bit programs (Wine's i386 loader).
wine32=yes
/usr/lib/wine/wine --version >/dev/null 2>&1 || wine32=no
wine_ready=no

for preset in linux linux-asan windows-x86 windows-x64; do
  if ! build "$preset"; then
    summary+=("$preset: build FAILED (see build/logs/build-$preset.log); tests not run")
    failed=$((failed + 1))
    continue
  fi
  case "$preset" in
  windows-x86)
    if [ "$wine32" = no ]; then
      summary+=("windows-x86: built; tests not run: this kernel cannot start 32-bit programs (the same sources' Windows tests run 64-bit in windows-x64)")
      continue
    fi
    ;;
  esac
  if [[ "$preset" == windows-* ]] && [ "$wine_ready" = no ]; then
    # Wine makes its prefix on first use; do it once, before tests run side by side.
    /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
    wine_ready=yes
  fi
  run_suite "$preset"
done

# One step on top of the suites: every fuzz target for a bounded time; per-target lines in the log.
echo "== fuzz"
scripts/fuzz.sh >build/fuzz.log 2>&1
fuzz_status=$?
if [ "$fuzz_status" -eq 0 ]; then
  summary+=("fuzz: every target ran 60 s with no finding (build/fuzz.log)")
  passed=$((passed + 1))
else
  summary+=("fuzz: FAILED (exit status $fuzz_status; build/fuzz.log)")
  failed=$((failed + 1))
fi

echo
for report in "${reports[@]}"; do
  grep -ho 'counts: [^&<]*' "$report" | sort -u | sed "s|^|$(basename "$report" .xml | sed 's/^junit-//'): |"
done
printf '%s\n' "${summary[@]}"
echo "total: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
