#!/usr/bin/env bash
# Starts the program on a virtual X display and saves a picture of its window to
# docs/screenshot.png, and of its pairing card to docs/pairing-card.png.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh build test windows
cmake --preset default
cmake --build --preset default --target tapdeck
mkdir -p docs

# A folder of its own for the settings and the paired devices.
config=$(mktemp -d)
trap 'rm -rf "$config"' EXIT
XDG_CONFIG_HOME=$config xvfb-run -a -s "-screen 0 800x600x24" bash -c '
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
  xdotool mousemove --window "$id" 70 236 click 1
  card=""
  for _ in $(seq 50); do
    card=$(xwininfo -name "Pair a phone" 2>/dev/null | awk "/Window id:/ {print \$4}") && [ -n "$card" ] && break
    sleep 0.1
  done
  [ -n "$card" ] || { echo "the pairing card did not appear" >&2; exit 1; }
  sleep 1
  import -window "$card" docs/pairing-card.png
'
echo "saved docs/screenshot.png and docs/pairing-card.png"
