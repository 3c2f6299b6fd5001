#!/usr/bin/env bash
# Start-up and first-reply figures of the window program under an Xvfb of its own, next to
# the least Qt window; see bench/StartupBench.cpp. Needs Xvfb, and root or cap_net_raw for
# the ping.
#   bench/startup.sh [RUNS] [REPLY_RUNS]     BUILD_DIR defaults to build/default
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build/default}
command -v Xvfb >/dev/null || { echo "startup.sh: Xvfb is missing (scripts/install-deps.sh)" >&2; exit 1; }
[ -f "$BUILD_DIR/build.ninja" ] || cmake --preset default >/dev/null
cmake --build "$BUILD_DIR" -j "${JOBS:-2}" --target bench_startup >/dev/null
"$BUILD_DIR/bench/bench_startup" "${1:-20}" "${2:-500}"
