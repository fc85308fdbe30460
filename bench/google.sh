#!/usr/bin/env bash
# The Google Benchmark programs, by hand, not in CI (Linux, libbenchmark-dev from
# scripts/deps.sh bench): page-bench (the panel HTML and the page route's assembly with the
# page files beside it) and keys-bench (a long key sequence played into the recorder).
# Arguments go to both programs, e.g. --benchmark_repetitions=5.
#
# Usage: bench/google.sh           bench/google.sh --benchmark_min_time=2
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset release -DTAPDECK_BUILD_TESTS=OFF >/dev/null
cmake --build --preset release --target page-bench keys-bench >/dev/null
build/release/bin/page-bench "$@"
build/release/bin/keys-bench "$@"
