#!/usr/bin/env bash
# Builds and runs the benchmarks; prints figures and ratios. Needs root for raw sockets and
# Xvfb for the start-up figures.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset default >/dev/null
cmake --build --preset default -j "${JOBS:-2}" --target bench_ping bench_hostlist bench_grid_paint >/dev/null
echo "== ping"
build/default/bench/bench_ping "${1:-2000}" "${2:-10000}"
echo
echo "== host list"
build/default/bench/bench_hostlist
echo
echo "== host list grid"
build/default/bench/bench_grid_paint
echo
echo "== start-up"
bench/startup.sh
