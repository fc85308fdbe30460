#!/usr/bin/env bash
# The Windows build: cross-compiles with MinGW-w64 and runs the tests under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

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
fi
# One persistent Wine server for every test process of this run; stopped on the way out.
# Its first client starts Wine's background services, which keep the output they inherit open:
# start them here on /dev/null, or CTest would wait for them on every test's output.
"$wineserver" -k 2>/dev/null || true  # a server still running for this private prefix
"$wineserver" -p
trap '"$wineserver" -k 2>/dev/null || true' EXIT
"$wine" wineboot </dev/null >/dev/null 2>&1

# A Wine process now and then fails to start at all (no output, at once): such a test gets a
# second run; a real failure fails again.
ctest --preset mingw -j2 --timeout 120 --repeat until-pass:2
