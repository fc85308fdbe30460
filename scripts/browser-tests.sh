#!/usr/bin/env bash
# Browser tests: the control page in Debian's Chromium (driven by playwright-core) against
# tapdeck-headless, and the end-to-end test under Xvfb. Installs what is missing and builds.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh build test browser
[ -f build/default/CMakeCache.txt ] || cmake --preset default
cmake --build --preset default --target tapdeck-headless tapdeck-xkeywindow tapdeck-xkeypoll tapdeck_webroot

cd tests/browser
npm ci --no-audit --no-fund --loglevel=error --prefer-offline --cache "$PWD/../../build/npm-cache"
TAPDECK_BIN_DIR="$PWD/../../build/default/bin" node --test --test-concurrency=1 --test-timeout=120000 *.test.mjs
