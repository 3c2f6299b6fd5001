#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time, all at once:
# each uses one core, and their time is counted by the clock.
# Usage: scripts/fuzz.sh [--build-only|--run-only] [build-dir] [seconds-each]
#   (default: build and run, build/fuzz, 30 seconds)
set -euo pipefail
cd "$(dirname "$0")/.."
MODE=all
case ${1:-} in
--build-only | --run-only)
  MODE=${1#--}
  MODE=${MODE%-only}
  shift
  ;;
esac
BUILD=${1:-build/fuzz}
SECONDS_EACH=${2:-30}
if [ "$MODE" != run ]; then
  cmake --preset fuzz -B "$BUILD" >/dev/null
  cmake --build "$BUILD" -j "${JOBS:-2}"
fi
[ "$MODE" != build ] || exit 0

fuzz() {
  local f=$1 name corpus
  name=$(basename "$f")
  corpus="$BUILD/corpus/$name"
  mkdir -p "$corpus"
  "$f" -max_total_time="$SECONDS_EACH" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$BUILD/$name-" "$corpus" >"$BUILD/$name.log" 2>&1
}

names=()
pids=()
for f in "$BUILD"/tests/fuzz/fuzz_*; do
  [ -x "$f" ] || continue
  echo "fuzz: $(basename "$f") for ${SECONDS_EACH}s"
  fuzz "$f" &
  names+=("$(basename "$f")")
  pids+=($!)
done
[ ${#pids[@]} -gt 0 ] || { echo "fuzz: no targets in $BUILD/tests/fuzz" >&2; exit 1; }
status=0
for i in "${!pids[@]}"; do
  name=${names[$i]}
  if wait "${pids[$i]}"; then
    runs=$(awk '/stat::number_of_executed_units/ { n = $2 } END { print n }' "$BUILD/$name.log")
    rate=$(awk '/stat::average_exec_per_sec/ { n = $2 } END { print n }' "$BUILD/$name.log")
    echo "fuzz: $name: $runs executions, $rate per second"
  else
    echo "fuzz: $name FAILED"
    tail -40 "$BUILD/$name.log"
    status=1
  fi
done
exit $status
