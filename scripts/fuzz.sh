#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build/fuzz}
SECONDS_EACH=${2:-30}
cmake --preset fuzz -B "$BUILD" >/dev/null
cmake --build "$BUILD" -j "${JOBS:-2}"
status=0
for f in "$BUILD"/tests/fuzz/fuzz_*; do
  [ -x "$f" ] || continue
  name=$(basename "$f")
  corpus="$BUILD/corpus/$name"
  mkdir -p "$corpus"
  echo "fuzz: $name for ${SECONDS_EACH}s"
  if ! "$f" -max_total_time="$SECONDS_EACH" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
       -artifact_prefix="$BUILD/" "$corpus" >"$BUILD/$name.log" 2>&1; then
    echo "fuzz: $name FAILED"; tail -40 "$BUILD/$name.log"; status=1
  else
    grep -E "stat::number_of_executed_units|Done" "$BUILD/$name.log" | tail -2
  fi
done
exit $status
