#!/usr/bin/env bash
# The Windows build: cross-compiles with MinGW-w64, runs the tests under Wine, then serves
# the page from tapdeck-headless.exe and starts Tapdeck.exe on a virtual display, pressing
# its Start button and fetching the page it serves.
# Usage: scripts/windows.sh [--screenshot]
#   (--screenshot: also update docs/windows-screenshot.png and docs/windows-pairing.png)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/window-helpers.sh

scripts/deps.sh windows

cmake --preset mingw
cmake --build --preset mingw -j2

build=build/mingw
export WINEDEBUG=-all WINEPREFIX="$PWD/$build/wineprefix"
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
# The first start creates the private prefix, which takes a while: do it once per build folder.
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "Creating the Wine prefix $WINEPREFIX"
  "$wine" wineboot --init >/dev/null 2>&1
  # Without a window manager Wine draws the window frames itself.
  "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
fi
smoke="$build/smoke"
rm -rf "$smoke" && mkdir -p "$smoke"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  "$wineserver" -k 2>/dev/null || true
}
trap cleanup EXIT
# One persistent Wine server for the processes that follow; stopped on the way out.
# Its first client starts Wine's background services, which keep the output they inherit open:
# start them here on /dev/null, or CTest would wait for them on every test's output.
start_wine() {
  "$wineserver" -k 2>/dev/null || true  # a server still running for this private prefix
  "$wineserver" -p
  "$wine" wineboot </dev/null >/dev/null 2>&1
}
start_wine

ctest --preset mingw -j2 --timeout 120

# tapdeck-headless.exe: listens on a port of the system's choice and stops at the end of input.
mkfifo "$smoke/headless-input"
"$wine" "$build/bin/tapdeck-headless.exe" --port 0 --open <"$smoke/headless-input" >"$smoke/headless.out" 2>&1 &
headless=$!
pids+=("$headless")
exec 3>"$smoke/headless-input"
port=$(wait_for_line "$smoke/headless.out" 60 '^listening IPv4 ' | awk '{print $3}' | tr -d '\r')
check_page "$port" "$smoke"
curl -sS --max-time 10 -o /dev/null "http://127.0.0.1:$port/KeyboardKey?str=a"
wait_for_line "$smoke/headless.out" 20 '^key vk=0x41 ' >/dev/null
exec 3>&-
wait "$headless"
wait_for_line "$smoke/headless.out" 5 '^stopped' >/dev/null
echo "tapdeck-headless.exe: served, recorded the key and stopped"

# Tapdeck.exe on a virtual display (Wine's desktop process, started with the first program,
# serves the windows of all later ones, so Wine starts again with the display), beside the page files and the test double of the driver
# library (so that Start can acquire device 2).
cp "$build"/bin/{Tapdeck.exe,index.html,script.js,styles.css} "$build/bin/vjoy_double/vJoyInterface.dll" "$smoke/"
# As a new user: no paired devices, no open mode left from an earlier run.
rm -rf "$WINEPREFIX"/drive_c/users/*/AppData/Roaming/Tapdeck
start_display "$smoke"
start_wine
# The Win32 view's own tests need the display.
"$wine" "$build/bin/tapdeck_win32_view_tests.exe" </dev/null
"$wine" "$smoke/Tapdeck.exe" >"$smoke/tapdeck.log" 2>&1 &
tapdeck=$!
pids+=("$tapdeck")
window=$(find_window)
sleep 2  # the first paint
import -window "$window" "$smoke/windows-screenshot.png"
if [ "${1:-}" = "--screenshot" ]; then cp "$smoke/windows-screenshot.png" docs/windows-screenshot.png; fi

start_in_window "$window" "$smoke"

# "Pair a phone" opens the pairing card beside the window; Escape closes it.
click_in_window "$window" 77 238
card=""
for _ in $(seq 100); do
  card=$(xdotool search --onlyvisible --name '^Pair a phone$' 2>/dev/null | head -1) && [ -n "$card" ] && break
  sleep 0.1
done
[ -n "$card" ] || { echo "Pair a phone opened no card" >&2; exit 1; }
sleep 1  # the first paint
import -window "$card" "$smoke/windows-pairing.png"
if [ "${1:-}" = "--screenshot" ]; then cp "$smoke/windows-pairing.png" docs/windows-pairing.png; fi
xdotool key --window "$card" Escape 2>/dev/null
for _ in $(seq 50); do xdotool search --onlyvisible --name '^Pair a phone$' >/dev/null 2>&1 || break; sleep 0.1; done
if xdotool search --onlyvisible --name '^Pair a phone$' >/dev/null 2>&1; then echo "Escape left the card open" >&2; exit 1; fi

xdotool key --window "$window" alt+F4 2>/dev/null
for _ in $(seq 200); do kill -0 "$tapdeck" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$tapdeck" 2>/dev/null; then echo "Tapdeck.exe did not exit on closing its window" >&2; exit 1; fi
echo "Tapdeck.exe: the window opened, Start served the page on port $START_PORT, Pair a phone showed the card, closing the window ended it"
