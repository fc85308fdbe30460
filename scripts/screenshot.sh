#!/usr/bin/env bash
# Starts the program on a virtual X display and saves a picture of its window to
# docs/screenshot.png.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh build test
cmake --preset default
cmake --build --preset default --target tapdeck
mkdir -p docs

xvfb-run -a -s "-screen 0 640x480x24" bash -c '
  set -euo pipefail
  build/default/bin/tapdeck &
  pid=$!
  trap "kill $pid 2>/dev/null || true" EXIT
  id=""
  for _ in $(seq 100); do
    id=$(xwininfo -name Tapdeck 2>/dev/null | awk "/Window id:/ {print \$4}") && [ -n "$id" ] && break
    sleep 0.1
  done
  [ -n "$id" ] || { echo "the window did not appear" >&2; exit 1; }
  sleep 1  # let it finish painting
  import -window "$id" docs/screenshot.png
'
echo "saved docs/screenshot.png"
