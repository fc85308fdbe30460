# Helpers for the scripts that start Tapdeck on a virtual X display, press its Start button and
# fetch the page it serves (scripts/windows.sh, scripts/package-tests.sh). Sourced, not run;
# the caller keeps the process ids of what is started here in its array "pids" and ends them.

# Waits up to $2 seconds for the file $1 to hold a line matching $3; prints that line.
wait_for_line() {
  for _ in $(seq $(($2 * 10))); do
    if grep -m1 -E "$3" "$1" 2>/dev/null; then return 0; fi
    sleep 0.1
  done
  echo "timed out waiting for '$3' in $1:" >&2
  cat "$1" >&2 || true
  return 1
}

# Fetches the page from port $1 on loopback into folder $2 and checks that it is the built-in one.
check_page() {
  local page="$2/page-$1.html"
  curl -sS --max-time 10 -o "$page" "http://127.0.0.1:$1/"
  grep -q '<title>Elite Dangerous Tapdeck</title>' "$page" || { echo "unexpected page on port $1" >&2; return 1; }
  echo "page served on port $1 ($(wc -c <"$page") bytes)"
}

# A TCP port that nothing listens on now.
free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# Starts Xvfb on a display nobody uses, its log and display number in folder $1; exports DISPLAY.
start_display() {
  exec 4>"$1/display"
  Xvfb -displayfd 4 -screen 0 800x600x24 -nolisten tcp >"$1/xvfb.log" 2>&1 &
  pids+=("$!")
  exec 4>&-
  DISPLAY=":$(wait_for_line "$1/display" 20 '^[0-9]+$')"
  export DISPLAY
}

# The window's client area, the same for the Qt and the Win32 window.
client_width=322 client_height=372

# Prints the id of the window captioned "Tapdeck" once it is shown at its full size (up to 30
# seconds). The caption can come before the window is mapped and laid out, and clicks computed
# from a smaller first geometry land outside it.
find_window() {
  local window="" WIDTH HEIGHT X Y SCREEN WINDOW
  for _ in $(seq 300); do
    window=$(xdotool search --onlyvisible --name '^Tapdeck$' 2>/dev/null | head -1)
    if [ -n "$window" ] && eval "$(xdotool getwindowgeometry --shell "$window" 2>/dev/null)" \
        && [ "${WIDTH:-0}" -ge $client_width ] && [ "${HEIGHT:-0}" -ge $client_height ]; then
      echo "$window"
      return 0
    fi
    sleep 0.1
  done
  echo "the Tapdeck window did not open at its full size (last seen: ${window:-none}, ${WIDTH:-?} x ${HEIGHT:-?})" >&2
  return 1
}

# Clicks at $2, $3 in the client area of the window $1. The client area sits inside whatever frame is drawn around it (Wine draws its
# own; a window without a window manager has none).
click_in_window() {
  local WIDTH HEIGHT X Y SCREEN WINDOW
  eval "$(xdotool getwindowgeometry --shell "$1")"
  local border=$(((WIDTH - client_width) / 2))
  local caption=$((HEIGHT - client_height - border))
  xdotool mousemove --window "$1" $((border + $2)) $((caption + $3)) click 1
}

# Types a free port into the window $1's port field, presses Start and fetches the page into
# folder $2; the port in START_PORT.
start_in_window() {
  local window=$1
  START_PORT=$(free_port)
  click_in_window "$window" 196 18
  xdotool key --window "$window" End BackSpace BackSpace BackSpace BackSpace 2>/dev/null
  xdotool type --window "$window" "$START_PORT" 2>/dev/null
  click_in_window "$window" 61 104
  for _ in $(seq 100); do curl -s --max-time 1 -o /dev/null "http://127.0.0.1:$START_PORT/" && break; sleep 0.1; done
  check_page "$START_PORT" "$2"
}
