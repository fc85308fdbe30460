#!/usr/bin/env bash
# Makes the release packages (scripts/package.sh) and tests each the way a user installs it:
#   - the zip holds the program, its page files and the example panels; the programs in the
#     packages are stripped, carry a debug link and the version;
#   - the Windows installer, under Wine in a private prefix (build/package-tests/wineprefix):
#     a silent install for the current user puts the files, the Start-menu shortcut and the
#     "Apps and features" entry in place; the installed Tapdeck.exe, started through that
#     shortcut on a virtual display, serves the page after Start; the silent uninstall removes
#     all of it and leaves the user's panel folder alone. Then a silent install for all users
#     with a desktop shortcut, and its uninstall, which leaves a file the user added;
#   - the Debian package: lintian finds no error; apt-get installs it with its dependencies;
#     /usr/bin/tapdeck opens its window on a virtual display and serves the page after Start;
#     apt-get remove takes it away again.
# Usage: scripts/package-tests.sh [--screenshot]   (--screenshot: also renew docs/installer.png)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/window-helpers.sh

scripts/package.sh
version=$(sed -n 's/^project(Tapdeck VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
packages=build/packages
deb="$packages/tapdeck_${version}_amd64.deb"
setup="$packages/Tapdeck-$version-win64-setup.exe"
zip="$packages/Tapdeck-$version-win64.zip"
# The stand-ins for what this machine lacks: the vJoy driver's library and /dev/uinput.
cmake --build --preset mingw --target vjoy_double >/dev/null
cmake --build --preset default --target uinput_standin >/dev/null

work=build/package-tests
rm -rf "$work/run" && mkdir -p "$work/run"
run="$work/run"
fail() { echo "FAIL: $*" >&2; exit 1; }
pass() { echo "PASS: $*"; }
skip() { echo "SKIPPED: $*"; }

pids=()
cleanup_steps=()
cleanup() {
  local step
  for step in "${cleanup_steps[@]}"; do eval "$step" || true; done
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
}
trap cleanup EXIT

# The page files (the panel editor's too) and the example panels every package must hold.
page_files=(index.html script.js styles.css edit.html edit.js edit.css)
panels=()
for file in panels/*.json; do [ -e "$file" ] && panels+=("$(basename "$file")"); done

# ---- The programs and the zip -------------------------------------------------------------

listing=$(unzip -Z1 "$zip")
for file in Tapdeck.exe LICENSE.txt "${page_files[@]}" panels/ "${panels[@]/#/panels/}"; do
  grep -qx "Tapdeck-$version-win64/$file" <<<"$listing" || fail "the zip lacks $file"
done
unzip -q -o "$zip" -d "$run/zip"
exe="$run/zip/Tapdeck-$version-win64/Tapdeck.exe"
headers=$(x86_64-w64-mingw32-objdump -h "$exe")
grep -q '\.debug_info' <<<"$headers" && fail "Tapdeck.exe in the zip still has its debugging symbols"
grep -q '\.gnu_debuglink' <<<"$headers" || fail "Tapdeck.exe in the zip has no debug link to Tapdeck.exe.debug"
strings -el "$exe" | grep -qx "$version" || fail "Tapdeck.exe's version resource does not say $version"
pass "the zip: Tapdeck.exe ($(stat -c %s "$exe") bytes, stripped, version $version), the licence, the page files, ${#panels[@]} example panels"

# ---- The Debian package -------------------------------------------------------------------

lintian_log="$run/lintian.txt"
lintian --fail-on error "$deb" >"$lintian_log" 2>&1 || { cat "$lintian_log" >&2; fail "lintian found errors in $deb"; }
grep -v 'running with root privileges' "$lintian_log" | sed 's/^/  lintian: /' || true
pass "lintian: no errors ($(grep -c '^W:' "$lintian_log" || true) warnings)"

start_display "$run"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
apt_get() { DEBIAN_FRONTEND=noninteractive $sudo apt-get -o DPkg::Lock::Timeout=300 -y -qq "$@"; }
if dpkg-query -W -f='${Status}' tapdeck 2>/dev/null | grep -q "install ok installed"; then
  # Not this test's to replace: a user's own installation.
  skip "the Debian package's install test: a tapdeck package is installed already (apt-get remove tapdeck to run it)"
else
  cleanup_steps+=("dpkg-query -W tapdeck >/dev/null 2>&1 && apt_get remove tapdeck >/dev/null")
  apt_get install "$PWD/$deb" >"$run/apt-install.log" 2>&1 || { cat "$run/apt-install.log" >&2; fail "apt-get install $deb"; }
  for file in /usr/lib/tapdeck/tapdeck "${page_files[@]/#//usr/lib/tapdeck/}" "${panels[@]/#//usr/lib/tapdeck/panels/}" \
      /usr/share/applications/tapdeck.desktop /usr/share/icons/hicolor/48x48/apps/tapdeck.png \
      /usr/share/icons/hicolor/scalable/apps/tapdeck.svg /usr/share/man/man1/tapdeck.1.gz \
      /usr/lib/udev/rules.d/70-tapdeck-uinput.rules /usr/lib/modules-load.d/tapdeck.conf \
      /usr/share/doc/tapdeck/copyright; do
    [ -e "$file" ] || fail "the Debian package did not install $file"
  done
  grep -q "^License: Expat" /usr/share/doc/tapdeck/copyright || fail "the copyright file names no MIT (Expat) licence"
  [ "$(readlink -f /usr/bin/tapdeck)" = /usr/lib/tapdeck/tapdeck ] || fail "/usr/bin/tapdeck does not lead to /usr/lib/tapdeck/tapdeck"
  sections=$(readelf -S /usr/lib/tapdeck/tapdeck)
  grep -q '\.debug_info' <<<"$sections" && fail "the installed program still has its debugging symbols"
  grep -q '\.gnu_debuglink' <<<"$sections" || fail "the installed program has no debug link to tapdeck.debug"
  grep -qx uinput /usr/lib/modules-load.d/tapdeck.conf || fail "modules-load.d/tapdeck.conf does not load uinput"
  pass "apt-get install: $(dpkg-query -W -f='${Package} ${Version}, depends on ${Depends}' tapdeck)"

  # The program as the desktop entry starts it; the stand-in for /dev/uinput lets Start
  # acquire the joystick where the kernel offers none.
  LD_PRELOAD="$PWD/build/default/libuinput_standin.so" /usr/bin/tapdeck >"$run/tapdeck.log" 2>&1 &
  tapdeck=$!
  pids+=("$tapdeck")
  window=$(find_window)
  start_in_window "$window" "$run"
  grep -q 'uinput stand-in: device created' "$run/tapdeck.log" || fail "Start did not create the joystick device"
  kill "$tapdeck"
  wait "$tapdeck" 2>/dev/null || true
  pass "/usr/bin/tapdeck: the window opened, Start served the page on port $START_PORT"

  apt_get remove tapdeck >"$run/apt-remove.log" 2>&1 || { cat "$run/apt-remove.log" >&2; fail "apt-get remove tapdeck"; }
  dpkg-query -W -f='${Status}' tapdeck 2>/dev/null | grep -q "install ok installed" && fail "tapdeck is still installed"
  for path in /usr/bin/tapdeck /usr/lib/tapdeck /usr/share/applications/tapdeck.desktop /usr/lib/udev/rules.d/70-tapdeck-uinput.rules; do
    [ -e "$path" ] || [ -L "$path" ] && fail "apt-get remove left $path"
  done
  pass "apt-get remove: the program, its files, the desktop entry and the udev rule are gone"
fi

# ---- The Windows installer ----------------------------------------------------------------

wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
# No Mono or Gecko downloads; no shortcuts copied to this machine's own menus.
export WINEDEBUG=-all WINEPREFIX="$PWD/$work/wineprefix" WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
"$wineserver" -k 2>/dev/null || true
rm -rf "$WINEPREFIX"
(unset DISPLAY; "$wine" wineboot --init >/dev/null 2>&1)
"$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
# One persistent server for the rest, whose background services do not hold this output.
"$wineserver" -k 2>/dev/null || true
"$wineserver" -p
"$wine" wineboot </dev/null >/dev/null 2>&1
cleanup_steps+=('"$wineserver" -k')

# A folder of Windows's own ("LOCALAPPDATA") as a Unix path.
windows_folder() { "$wine" cmd /c "echo %$1%" 2>/dev/null | tr -d '\r'; }
unix_path() { "$wine" winepath -u "$1" 2>/dev/null | tr -d '\r'; }
# The value $3 of the key $2 of "Apps and features" under $1 (HKCU or HKLM), or nothing.
uninstall_value() {
  "$wine" reg query "$1\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$2" /v "$3" /reg:64 2>/dev/null |
    tr -d '\r' | awk -v name="$3" '$1 == name { $1 = ""; $2 = ""; sub(/^ +/, ""); print }'
}
# Checks that folder $1 holds the installed files.
check_installed_files() {
  for file in Tapdeck.exe LICENSE.txt Uninstall.exe "${page_files[@]}" "${panels[@]/#/panels/}"; do
    [ -f "$1/$file" ] || fail "the installer did not put $file into $1"
  done
  [ -d "$1/panels" ] || fail "the installer made no panels folder in $1"
}
# Checks the "Apps and features" entry under $1 for the folder $2 (Windows form).
check_entry() {
  [ "$(uninstall_value "$1" Tapdeck DisplayVersion)" = "$version" ] || fail "$1 entry: no DisplayVersion $version"
  [ "$(uninstall_value "$1" Tapdeck Publisher)" = "The Tapdeck developers" ] || fail "$1 entry: no Publisher"
  [ "$(uninstall_value "$1" Tapdeck DisplayIcon)" = "$2\\Tapdeck.exe,0" ] || fail "$1 entry: no DisplayIcon"
  [ "$(uninstall_value "$1" Tapdeck UninstallString)" = "\"$2\\Uninstall.exe\"" ] || fail "$1 entry: no UninstallString"
}
# Runs the uninstaller of folder $1 (Windows form) silently and waits until it is done: it
# starts a copy of itself from a temporary folder "~nsu*.tmp", which does the work, and
# returns at once.
uninstall() {
  "$wine" "$1\\Uninstall.exe" /S || fail "the uninstaller of $1 failed"
  for _ in $(seq 600); do pgrep -f '~nsu' >/dev/null || return 0; sleep 0.1; done
  fail "the uninstaller of $1 did not finish within a minute"
}

if [ "${1:-}" = "--screenshot" ]; then
  "$wine" "$setup" >"$run/setup-gui.log" 2>&1 &
  pids+=("$!")
  for _ in $(seq 300); do
    setup_window=$(xdotool search --name '^Tapdeck Setup$' 2>/dev/null | head -1) && [ -n "$setup_window" ] && break
    sleep 0.1
  done
  [ -n "${setup_window:-}" ] || fail "the installer's window did not open"
  sleep 2
  xdotool mousemove --window "$setup_window" 36 166 click 1  # "For all users"
  sleep 1
  import -window "$setup_window" docs/installer.png
  xdotool key --window "$setup_window" Escape 2>/dev/null
  sleep 1
  xdotool key --window "$setup_window" Return 2>/dev/null  # "Are you sure you want to quit?"
  echo "saved docs/installer.png"
fi

# For the current user: no administrator rights, the folder under LOCALAPPDATA.
"$wine" "$setup" /S || fail "the silent install for the current user ended with status $?"
local_app_data=$(windows_folder LOCALAPPDATA)
user_dir_win="$local_app_data\\Programs\\Tapdeck"
user_dir=$(unix_path "$user_dir_win")
check_installed_files "$user_dir"
start_menu=$(unix_path "$(windows_folder APPDATA)\\Microsoft\\Windows\\Start Menu\\Programs")
[ -f "$start_menu/Tapdeck.lnk" ] || fail "no Start-menu shortcut in $start_menu"
check_entry HKCU "$user_dir_win"
pass "silent install for the current user: $user_dir_win, the Start-menu shortcut, the Apps-and-features entry"

# The installed program, started through its shortcut, with the stand-in for the driver's
# library in the system folder (where the program looks after its own folder).
cp build/mingw/bin/vjoy_double/vJoyInterface.dll "$(unix_path 'C:\windows\system32')/"
"$wine" start "$(windows_folder APPDATA)\\Microsoft\\Windows\\Start Menu\\Programs\\Tapdeck.lnk" >"$run/start.log" 2>&1
window=$(find_window)
start_in_window "$window" "$run"
xdotool key --window "$window" alt+F4 2>/dev/null
for _ in $(seq 200); do xdotool search --name '^Tapdeck$' >/dev/null 2>&1 || break; sleep 0.1; done
xdotool search --name '^Tapdeck$' >/dev/null 2>&1 && fail "the installed Tapdeck.exe did not close"
pass "the installed Tapdeck.exe, started from the Start menu: Start served the page on port $START_PORT"

# The user's own panel folder stays.
panel_dir=$(unix_path "$(windows_folder APPDATA)\\Tapdeck")
mkdir -p "$panel_dir" && echo '{}' >"$panel_dir/panel.json"
uninstall "$user_dir_win"
[ -e "$user_dir" ] && fail "the uninstaller left $user_dir: $(ls -A "$user_dir")"
[ -e "$start_menu/Tapdeck.lnk" ] && fail "the uninstaller left the Start-menu shortcut"
[ -n "$(uninstall_value HKCU Tapdeck DisplayName)" ] && fail "the uninstaller left the Apps-and-features entry"
[ -f "$panel_dir/panel.json" ] || fail "the uninstaller removed the user's panel folder"
pass "silent uninstall: the folder, the shortcut and the entry are gone; the user's panel folder stays"

# For all users (Wine's user counts as an administrator): Program Files, the shortcuts of all
# users, HKLM, and the firewall rule.
"$wine" "$setup" /S /AllUsers /Desktop || fail "the silent install for all users ended with status $?"
all_dir_win="$(windows_folder ProgramW6432)\\Tapdeck"
all_dir=$(unix_path "$all_dir_win")
check_installed_files "$all_dir"
common_menu=$(unix_path "$(windows_folder ProgramData)\\Microsoft\\Windows\\Start Menu\\Programs")
public_desktop=$(unix_path "$(windows_folder PUBLIC)\\Desktop")
[ -f "$common_menu/Tapdeck.lnk" ] || fail "no Start-menu shortcut for all users in $common_menu"
[ -f "$public_desktop/Tapdeck.lnk" ] || fail "no desktop shortcut for all users in $public_desktop"
check_entry HKLM "$all_dir_win"
pass "silent install for all users: $all_dir_win, the shortcuts in the Start menu and on the desktop, the entry under HKLM"
[ "$(uninstall_value HKLM Tapdeck FirewallRule)" = 0x1 ] || fail "the installer did not record the firewall rule it asked for"
skip "the firewall rule: Wine has no Windows Defender Firewall (its netsh accepts the rule and keeps nothing), so the rule for private networks is not checked; the installer asked for it and recorded that, for the uninstaller"

# A file the user put into the program's folder survives the uninstall, and so the folder does.
echo "the user's own" >"$all_dir/vJoyInterface.dll"
uninstall "$all_dir_win"
[ "$(ls -A "$all_dir")" = vJoyInterface.dll ] || fail "after the uninstall $all_dir holds: $(ls -A "$all_dir")"
[ -e "$common_menu/Tapdeck.lnk" ] || [ -e "$public_desktop/Tapdeck.lnk" ] && fail "the uninstaller left a shortcut"
[ -n "$(uninstall_value HKLM Tapdeck DisplayName)" ] && fail "the uninstaller left the entry under HKLM"
pass "silent uninstall for all users: what it installed is gone; a file the user added stays, in its folder"
echo "package tests passed"
