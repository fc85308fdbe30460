#!/usr/bin/env bash
# Live state to every phone, by hand, not in CI (Linux): builds tapdeck-headless and runs
# bench/live-latency.mjs in Debian's Chromium (PHONES, CHANGES and IDLE_S in the environment
# change its 20 phones, 200 changes and 10 idle seconds).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh build test browser
[ -f build/default/CMakeCache.txt ] || cmake --preset default
cmake --build --preset default --target tapdeck-headless tapdeck_webroot >/dev/null
(cd tests/browser && npm ci --no-audit --no-fund --loglevel=error --prefer-offline --cache "$PWD/../../build/npm-cache")
TAPDECK_BIN_DIR="$PWD/build/default/bin" node bench/live-latency.mjs
