#!/usr/bin/env bash
# Tap-to-event latency, by hand, not in CI (Linux). Builds the release preset's tap-latency
# and tapdeck-headless and runs 1,000 key taps and 1,000 button presses one at a time,
# printing p50, p99 and max per kind and whether p99 stays below 0.5 ms. Arguments go to
# tap-latency (--count N, --warmup N, --headless PATH). Exit status: 0 when both kinds meet
# the goal, 1 when one does not, 2 when the run failed.
#
# Usage: bench/latency.sh          bench/latency.sh --count 5000
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset release -DTAPDECK_BUILD_TESTS=OFF >/dev/null
cmake --build --preset release --target tap-latency tapdeck-headless >/dev/null
exec build/release/bin/tap-latency "$@"
