#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh build
cmake --preset default
cmake --build --preset default
exec build/default/bin/tapdeck
