#!/usr/bin/env bash
# Installs what is missing, builds every configuration and runs every test: the house style
# (scripts/lint.sh: clang-format first, clang-tidy once the builds are there), unit, gui
# (offscreen), e2e (Xvfb), netlab (network namespaces, root), the sanitizer build, the
# Windows cross build under Wine (its unit and GUI tests, the real vexlo.exe end to end, the
# zip and the installer), the fuzz targets for a bounded time and the Debian package with
# its validators. It ends with the time of each step and one line, "tests: N passed, N failed".
#
# The Windows build needs a static Qt for MinGW-w64, which scripts/qt-windows.sh builds once
# (35-45 minutes on 2 cores) and keeps in ~/.cache/vexlo; later runs find it there at once.
#
# Every run starts from whatever clone it is in, fresh or not, and reuses only work whose
# result is known, from two caches beside that Qt which every clone on the machine shares:
# ccache for every compilation of every configuration (cmake/CompilerCache.cmake, capped at
# 2 GB), and clang-tidy's passes, kept per file and everything the file's verdict depends on
# (scripts/tidy.py). Every test runs every time. A missing or damaged cache costs time only.
#
# The other configurations are configured while the default one builds. Then four lanes
# share the machine: one builds the other configurations and the package and one runs
# clang-tidy, both niced (VEXLO_BUILD_NICE, default 10) so that they yield; the third runs
# each build's tests as soon as that build is there, at normal priority, so that the tests
# that time things keep the processor they ask for; the fourth, niced, runs the sanitizer's
# tests and the fuzz targets, which time nothing. Each step writes to a log of its own, printed
# whole when the step ends.
set -uo pipefail
cd "$(dirname "$0")/.."
export JOBS=${JOBS:-2}
FUZZ_SECONDS=${FUZZ_SECONDS:-30}
BUILD_NICE=${VEXLO_BUILD_NICE:-10}
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
# The clock in seconds; a locale may write its decimal point as a comma.
now() { echo "${EPOCHREALTIME/,/.}"; }
START=$(now)
# The shared compiler cache's counters, before and after: the summary says what this run
# found there (other runs on the machine meanwhile count too).
CCACHE_FOLDER=${VEXLO_CACHE:-${XDG_CACHE_HOME:-${HOME:-/root}/.cache}/vexlo}/ccache
ccache_counts() {
  command -v ccache >/dev/null && CCACHE_DIR=$CCACHE_FOLDER ccache --print-stats 2>/dev/null |
    awk '$1 ~ /^(direct|preprocessed)_cache_hit$/ { h += $2 } $1 == "cache_miss" { m += $2 }
         END { print h + 0, m + 0 }' || echo 0 0
}
read -r CCACHE_HITS CCACHE_MISSES < <(ccache_counts)

# Seconds since START (or since $1), with one decimal.
since() { awk -v a="${1:-$START}" -v b="$(now)" 'BEGIN { printf "%.1f", b - a }'; }

# step ID NAME [--after ID] COMMAND...: runs the command with its output in the step's log,
# prints the log in one piece when it ends, and keeps the step's start, wall time, processor
# time (of every process it waited for) and exit status. With --after it first waits for
# that step, and fails without running when that step failed. $WORK/ID.done appears when
# the step has ended.
step() {
  local id=$1 name=$2
  shift 2
  if [ "$1" = --after ]; then
    local before=$2
    shift 2
    after "$before" || set -- sh -c "echo \"not run: '\$1' failed\"; exit 1" step "$before"
  fi
  local log=$WORK/$id.log begin offset
  begin=$(now)
  offset=$(since)
  (
    "$@"
    rc=$?
    times >"$WORK/$id.times"
    exit $rc
  ) >"$log" 2>&1
  local rc=$?
  local wall cpu
  wall=$(since "$begin")
  # The second line of `times`: user and system time of the processes waited for.
  cpu=$(sed -n 2p "$WORK/$id.times" 2>/dev/null |
    awk '{ t = 0; for (i = 1; i <= 2; i++) { split($i, p, /[ms]/); t += p[1] * 60 + p[2] }
           printf "%.0f", t }')
  # ctest's summary lines: their counts go into the totals.
  grep -E '[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" |
    sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\2 \1/' >"$WORK/$id.counts"
  printf '%s|%s|%s|%s|%s\n' "$name" "$offset" "$wall" "${cpu:-?}" "$rc" >"$WORK/$id.result"
  flock "$WORK/print.lock" sh -c 'echo; echo "=== $1 (started at ${2}s, took ${3}s)"; cat "$4"' \
    step "$name" "$offset" "$wall" "$log"
  echo "$rc" >"$WORK/$id.done"
  return "$rc"
}

# after ID: waits for step ID to end; fails when it failed.
after() {
  while [ ! -f "$WORK/$1.done" ]; do sleep 1; done
  [ "$(cat "$WORK/$1.done")" = 0 ]
}

# Built once, then found in its cache: the step takes a moment unless the machine is fresh.
qt_lane() {
  step qt_windows "Qt for Windows (cached)" nice -n "$BUILD_NICE" scripts/qt-windows.sh
}

build_lane() {
  # The Windows build first: its tests under Wine mostly wait, and they wait while the
  # sanitizer build runs.
  step build_windows "build: windows (MinGW-w64)" --after qt_windows \
    nice -n "$BUILD_NICE" scripts/windows-tests.sh --build-only build/windows
  step package_windows "package: windows zip, installer" --after build_windows \
    nice -n "$BUILD_NICE" sh -c 'cd build/windows && cpack -G "ZIP;NSIS"'
  # The sanitizer build leaves out the e2e and netlab tests: it runs only unit and GUI ones.
  step build_sanitize "build: sanitize (clang)" --after configure \
    nice -n "$BUILD_NICE" cmake --build --preset sanitize -j "$JOBS"
  step build_fuzz "build: fuzz (clang)" --after configure \
    nice -n "$BUILD_NICE" scripts/fuzz.sh --build-only build/fuzz
  # The Debian package of the default build, checked by lintian, appstreamcli and
  # desktop-file-validate.
  step package "package: deb and its validators" --after build_default \
    nice -n "$BUILD_NICE" scripts/package.sh build/default
}

tidy_lane() {
  # Each file once, with the first build that compiles it; the Windows and fuzz builds add
  # only their own files. It needs their compile commands, not their objects.
  step tidy "house style: clang-tidy" --after configure \
    nice -n "$BUILD_NICE" scripts/lint.sh --tidy-only build/default build/windows build/fuzz
}

test_lane() {
  step test_default "test: default, unit and gui" --after build_default \
    ctest --test-dir build/default --output-on-failure -j "$JOBS" -LE 'netlab|e2e|wine'
  # These two keep to one test at a time: namespaces and X servers of their own, and timing.
  step test_lab "test: default, e2e and netlab" --after build_default \
    ctest --test-dir build/default --output-on-failure -L 'netlab|e2e'
  # A fresh machine makes its Wine prefix once; this lane has the time for it.
  step wine_prefix "Wine prefix" scripts/windows-tests.sh --prepare-only build/windows
  step test_windows "test: windows, under Wine" --after build_windows \
    scripts/windows-tests.sh --test-only build/windows
  # vexlo.exe end to end, and its installer, under Wine in Xvfb; driven from the Linux build.
  step test_wine "test: windows, e2e under Wine" --after package_windows \
    ctest --test-dir build/default --output-on-failure -L wine
}

# The sanitizer's tests and the fuzz targets keep no time of their own and touch neither the
# lab nor an X server: they run beside the lab's long waits, niced like the builds, instead of
# after them.
check_lane() {
  step test_sanitize "test: sanitize, unit and gui" --after build_sanitize \
    env ASAN_OPTIONS=detect_leaks=1 nice -n "$BUILD_NICE" \
    ctest --test-dir build/sanitize --output-on-failure -j "$JOBS" -L 'unit|gui|privileged'
  step test_fuzz "test: fuzz, ${FUZZ_SECONDS}s each" --after build_fuzz \
    nice -n "$BUILD_NICE" scripts/fuzz.sh --run-only build/fuzz "$FUZZ_SECONDS"
}

step deps "dependencies" scripts/install-deps.sh || {
  echo "cannot install dependencies"
  exit 1
}
step format "house style: clang-format" scripts/lint.sh
# From a fresh machine the longest step of all; it starts first and shares the machine.
qt_lane &
LANES=($!)
# Configuring waits mostly on the disk and on compiler checks: it goes beside the build.
step configure "configure: sanitize, windows, fuzz" \
  sh -c 'cmake --preset sanitize && cmake --preset windows && cmake --preset fuzz' &
CONFIGURE=$!
step build_default "build: default" \
  sh -c 'cmake --preset default && cmake --build --preset default -j "$JOBS"'
wait "$CONFIGURE"
build_lane &
LANES+=($!)
tidy_lane &
LANES+=($!)
test_lane &
LANES+=($!)
check_lane &
LANES+=($!)
wait "${LANES[@]}"
TOTAL=$(since)

echo
echo "step                                start      wall     cpu  result"
for f in "$WORK"/*.result; do
  IFS='|' read -r name offset wall cpu rc <"$f"
  printf '%s\t%-33s %7ss %8ss %6ss  %s\n' "$offset" "$name" "$offset" "$wall" "$cpu" \
    "$([ "$rc" = 0 ] && echo ok || echo FAILED)"
done | sort -n -k1,1 | cut -f2-
printf '%-33s %17ss  (the lanes overlap: wall times add up to more)\n' "total" "$TOTAL"
read -r hits misses < <(ccache_counts)
echo "compiler cache: $((hits - CCACHE_HITS)) objects reused, $((misses - CCACHE_MISSES)) compiled" \
  "($CCACHE_FOLDER)"

passed_total=0
failed_total=0
while read -r total bad; do
  passed_total=$((passed_total + total - bad))
  failed_total=$((failed_total + bad))
done < <(cat "$WORK"/*.counts)
bad_steps=$(grep -lv '^0$' "$WORK"/*.done 2>/dev/null | wc -l)
if [ "$bad_steps" -ne 0 ]; then
  echo "FAILED STEPS:"
  for f in $(grep -lv '^0$' "$WORK"/*.done); do
    echo "  $(cut -d'|' -f1 "${f%.done}.result")"
  done
  [ "$failed_total" -gt 0 ] || failed_total=$bad_steps
fi
echo "tests: $passed_total passed, $failed_total failed"
[ "$bad_steps" -eq 0 ]
