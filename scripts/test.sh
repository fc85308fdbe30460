#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh build test
cmake --preset default
cmake --build --preset default
ctest --preset default -j2
scripts/load-tests.sh
tests/kernel/run.sh
scripts/fuzz.sh
scripts/browser-tests.sh
scripts/windows.sh
scripts/package-tests.sh
