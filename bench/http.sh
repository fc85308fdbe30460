#!/usr/bin/env bash
# HTTP benchmark: tapdeck-headless against nginx on loopback, by hand, not in CI.
# Builds the release preset, starts tapdeck-headless and an nginx of its own (temporary
# configuration, loopback only) that serves the same rendered page as a static file and an
# empty 200 response, both with "Connection: close". Then wrk measures "GET /" (against
# nginx's page) and "GET /KeyboardKey?str=" (against nginx's empty response) at 1, 8 and
# 64 connections, and prints requests/s, p50/p99 latency and the ratio tapdeck/nginx.
#
# Usage: bench/http.sh            DURATION=10s CONNECTIONS="1 8 64" bench/http.sh
set -euo pipefail
cd "$(dirname "$0")/.."

DURATION=${DURATION:-10s}
CONNECTIONS=${CONNECTIONS:-"1 8 64"}
for tool in nginx wrk curl; do
  command -v "$tool" >/dev/null || PATH=$PATH:/usr/sbin command -v "$tool" >/dev/null ||
    { echo "missing $tool: scripts/deps.sh bench" >&2; exit 2; }
done
NGINX=$(PATH=$PATH:/usr/sbin command -v nginx)

cmake --preset release -DTAPDECK_BUILD_TESTS=OFF >/dev/null
cmake --build --preset release --target tapdeck-headless >/dev/null

work=$(mktemp -d)
headless_pid=""
nginx_pid=""
cleanup() {
  if [ -n "$nginx_pid" ]; then kill "$nginx_pid" 2>/dev/null || true; wait "$nginx_pid" 2>/dev/null || true; fi
  exec 3>&-  # the end of standard input stops tapdeck-headless
  if [ -n "$headless_pid" ]; then wait "$headless_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

# tapdeck-headless serves until its standard input ends, so a pipe keeps it open.
mkfifo "$work/stdin"
build/release/bin/tapdeck-headless --port 0 <"$work/stdin" >"$work/headless.out" 2>&1 &
headless_pid=$!
# Only this shell holds the pipe's writing end; children are started with it closed.
exec 3>"$work/stdin"
for _ in $(seq 100); do grep -q '^listening IPv4' "$work/headless.out" && break; sleep 0.05; done
tapdeck_port=$(awk '/^listening IPv4/ {print $3}' "$work/headless.out")
[ -n "$tapdeck_port" ] || { cat "$work/headless.out" >&2; exit 1; }

# nginx serves the page exactly as tapdeck rendered it.
mkdir -p "$work/www"
curl -sf "http://127.0.0.1:$tapdeck_port/" -o "$work/www/index.html"
nginx_port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
user_line=""
[ "$(id -u)" -eq 0 ] && user_line="user root;"
cat >"$work/nginx.conf" <<CONF
$user_line
worker_processes auto;
pid $work/nginx.pid;
error_log $work/nginx-error.log;
events { worker_connections 4096; }
http {
  access_log off;
  keepalive_timeout 0;
  client_body_temp_path $work/tmp;
  proxy_temp_path $work/tmp;
  fastcgi_temp_path $work/tmp;
  uwsgi_temp_path $work/tmp;
  scgi_temp_path $work/tmp;
  server {
    listen 127.0.0.1:$nginx_port;
    root $work/www;
    location = / { default_type text/html; try_files /index.html =404; }
    location = /KeyboardKey { return 200 ""; }
  }
}
CONF
"$NGINX" -p "$work" -c "$work/nginx.conf" -g 'daemon off;' 3>&- &
nginx_pid=$!
for _ in $(seq 100); do curl -sf "http://127.0.0.1:$nginx_port/KeyboardKey" >/dev/null && break; sleep 0.05; done

# Latency in milliseconds from wrk's "1.23ms" / "456.00us" / "1.02s".
to_ms() {
  awk -v v="$1" 'BEGIN {
    n = v + 0; u = v; sub(/^[0-9.]+/, "", u)
    if (u == "us") n /= 1000; else if (u == "s") n *= 1000; else if (u == "m") n *= 60000
    printf "%.3f", n }'
}

# One wrk run: "requests/s p50 p99 errors".
measure() {
  local url=$1 connections=$2 threads=2 out
  [ "$connections" -lt 2 ] && threads=1
  out=$(wrk -t "$threads" -c "$connections" -d "$DURATION" --latency -H "Connection: close" "$url" 3>&-)
  local rps p50 p99 errors
  rps=$(awk '/^Requests\/sec:/ {print $2}' <<<"$out")
  p50=$(to_ms "$(awk '$1 == "50%" {print $2}' <<<"$out")")
  p99=$(to_ms "$(awk '$1 == "99%" {print $2}' <<<"$out")")
  errors=$(awk '/Socket errors:/ {gsub(",", ""); print $4 + $6 + $8 + $10}
                /Non-2xx or 3xx/ {print "non2xx:" $NF}' <<<"$out" | paste -sd' ')
  echo "$rps $p50 $p99 ${errors:-0}"
}

goal() {  # the ratio each route should reach, by connection count
  case "$1:$2" in
    page:1) echo 0.80 ;; page:8) echo 0.50 ;; page:64) echo 0.40 ;;
    input:1) echo 0.90 ;; input:8) echo 0.60 ;; input:64) echo 0.45 ;;
    *) echo - ;;
  esac
}

printf '%-6s %5s | %10s %8s %8s %6s | %10s %8s %8s %6s | %6s %5s\n' \
  route conns "tapdeck/s" "p50 ms" "p99 ms" errors "nginx/s" "p50 ms" "p99 ms" errors ratio goal
for route in page input; do
  if [ "$route" = page ]; then path="/"; else path="/KeyboardKey?str="; fi
  for c in $CONNECTIONS; do
    read -r t_rps t_p50 t_p99 t_err < <(measure "http://127.0.0.1:$tapdeck_port$path" "$c")
    read -r n_rps n_p50 n_p99 n_err < <(measure "http://127.0.0.1:$nginx_port$path" "$c")
    ratio=$(awk -v a="$t_rps" -v b="$n_rps" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }')
    printf '%-6s %5s | %10s %8s %8s %6s | %10s %8s %8s %6s | %6s %5s\n' \
      "$route" "$c" "$t_rps" "$t_p50" "$t_p99" "$t_err" "$n_rps" "$n_p50" "$n_p99" "$n_err" "$ratio" "$(goal "$route" "$c")"
  done
done
