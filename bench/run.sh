#!/usr/bin/env bash
# Builds and runs the benchmarks; prints figures and ratios. Needs root for raw sockets.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset default >/dev/null
cmake --build --preset default -j "${JOBS:-2}" --target bench_ping >/dev/null
build/default/bench/bench_ping "${1:-2000}" "${2:-10000}"
echo
bench/startup.sh
