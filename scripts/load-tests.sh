#!/usr/bin/env bash
# Load and fault checks (Linux, loopback only): tapdeck-headless under 500 and 1,000 idle
# connections, 2,200 page and input requests, more requests than the web-module pool takes,
# resets, half requests and stops. Builds what it needs with the default preset, raises the
# open-file limit, and prints one PASS or FAIL line per check; exits 1 when any failed.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "$(uname -s)" != Linux ]; then
  echo "FAIL setup: the load checks read /proc and run on Linux only" >&2
  exit 1
fi

# 1,000 idle connections are held at once, a descriptor each on both ends (the driver and
# tapdeck-headless are separate processes), plus what the other checks keep open.
needed=2048
wanted=4096
hard=$(ulimit -Hn)
if [ "$hard" != unlimited ] && [ "$hard" -lt "$needed" ]; then
  echo "FAIL setup: the hard open-file limit is $hard; these checks need at least $needed (raise it in limits.conf or the container)" >&2
  exit 1
fi
soft=$(ulimit -Sn)
if [ "$soft" != unlimited ] && [ "$soft" -lt "$wanted" ]; then
  if [ "$hard" = unlimited ] || [ "$hard" -ge "$wanted" ]; then ulimit -Sn "$wanted"; else ulimit -Sn "$hard"; fi
fi

[ -f build/default/CMakeCache.txt ] || cmake --preset default >/dev/null
cmake --build --preset default --target tapdeck-headless tapdeck-load

# The driver and the tapdeck-headless it starts get a process group of their own, which is
# removed as a whole however this script ends; the timeout is a backstop far above the run.
set -m
timeout -k 5 300 build/default/bin/tapdeck-load &
driver=$!
trap 'kill -KILL -- "-$driver" 2>/dev/null || true' EXIT
trap 'exit 130' INT TERM
status=0
wait "$driver" || status=$?
if [ "$status" -eq 124 ]; then echo "FAIL load checks: no result within 300 s"; fi
exit "$status"
