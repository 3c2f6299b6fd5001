#!/usr/bin/env bash
# Installs what is missing, builds every configuration and runs every test:
# unit, gui (offscreen), e2e (Xvfb), netlab (network namespaces, root), the sanitizer
# build, the Windows cross build under Wine, and the fuzz targets for a bounded time.
set -uo pipefail
cd "$(dirname "$0")/.."
JOBS=${JOBS:-2}
FUZZ_SECONDS=${FUZZ_SECONDS:-30}
failed=()
step() { echo; echo "=== $*"; }
run() { "$@" || failed+=("$*"); }

step "dependencies"
scripts/install-deps.sh || { echo "cannot install dependencies"; exit 1; }

step "build and test: default"
run cmake --preset default
run cmake --build --preset default -j "$JOBS"
run ctest --test-dir build/default --output-on-failure -j "$JOBS" -LE 'netlab|e2e'
# These two need the machine to themselves: namespaces and a private X server.
run ctest --test-dir build/default --output-on-failure -L 'netlab|e2e'

step "build and test: address and undefined-behaviour sanitizers"
run cmake --preset sanitize
run cmake --build --preset sanitize -j "$JOBS"
run env ASAN_OPTIONS=detect_leaks=1 ctest --test-dir build/sanitize --output-on-failure -j "$JOBS" -L 'unit|gui'

step "Windows cross build under Wine"
if [ -x scripts/windows-tests.sh ]; then
  run scripts/windows-tests.sh build/windows
fi

step "fuzz targets, ${FUZZ_SECONDS}s each"
if [ -x scripts/fuzz.sh ]; then
  run scripts/fuzz.sh build/fuzz "$FUZZ_SECONDS"
fi

echo
if [ ${#failed[@]} -eq 0 ]; then
  echo "ALL TEST STEPS PASSED"
  exit 0
fi
echo "FAILED STEPS:"
printf '  %s\n' "${failed[@]}"
exit 1
