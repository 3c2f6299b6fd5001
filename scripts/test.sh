#!/usr/bin/env bash
# Installs what is missing, builds every configuration and runs every test:
# unit, gui (offscreen), e2e (Xvfb), netlab (network namespaces, root), the sanitizer
# build, the Windows cross build under Wine, the fuzz targets for a bounded time, and the
# house style (scripts/lint.sh).
set -uo pipefail
cd "$(dirname "$0")/.."
JOBS=${JOBS:-2}
FUZZ_SECONDS=${FUZZ_SECONDS:-30}
failed=()
passed_total=0
failed_total=0
LOG=$(mktemp)
trap 'rm -f "$LOG"' EXIT
step() { echo; echo "=== $*"; }
run() { "$@" || failed+=("$*"); }
# Runs a test command and adds its ctest counts to the totals printed at the end.
tests() {
  "$@" 2>&1 | tee "$LOG"
  local rc=${PIPESTATUS[0]}
  local line
  line=$(grep -E '[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$LOG" | tail -1)
  if [ -n "$line" ]; then
    local bad total
    bad=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
    total=$(sed -E 's/.* failed out of ([0-9]+).*/\1/' <<<"$line")
    passed_total=$((passed_total + total - bad))
    failed_total=$((failed_total + bad))
  fi
  [ "$rc" = 0 ] || failed+=("$*")
}

step "dependencies"
scripts/install-deps.sh || { echo "cannot install dependencies"; exit 1; }

step "build and test: default"
run cmake --preset default
run cmake --build --preset default -j "$JOBS"
tests ctest --test-dir build/default --output-on-failure -j "$JOBS" -LE 'netlab|e2e'
# These two need the machine to themselves: namespaces and a private X server.
tests ctest --test-dir build/default --output-on-failure -L 'netlab|e2e'

step "build and test: address and undefined-behaviour sanitizers"
run cmake --preset sanitize
run cmake --build --preset sanitize -j "$JOBS"
tests env ASAN_OPTIONS=detect_leaks=1 ctest --test-dir build/sanitize --output-on-failure -j "$JOBS" -L 'unit|gui'

step "Windows cross build under Wine"
tests scripts/windows-tests.sh build/windows

step "fuzz targets, ${FUZZ_SECONDS}s each"
run scripts/fuzz.sh build/fuzz "$FUZZ_SECONDS"

step "house style: clang-format and clang-tidy over the project's own sources"
run scripts/lint.sh build/default build/windows build/fuzz

echo
if [ ${#failed[@]} -ne 0 ]; then
  echo "FAILED STEPS:"
  printf '  %s\n' "${failed[@]}"
  [ "$failed_total" -gt 0 ] || failed_total=${#failed[@]}
fi
echo "tests: $passed_total passed, $failed_total failed"
[ ${#failed[@]} -eq 0 ]
