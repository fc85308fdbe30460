#!/usr/bin/env bash
# Installs the Debian packages a build needs, when they are missing.
# Usage: scripts/deps.sh [build|test|kernel|windows|package|icons|media|browser|bench|fuzz]...
set -euo pipefail

# Node.js and npm build the page's script. A Node.js that brings its own npm (as NodeSource's
# does) conflicts with Debian's npm.
packages=(cmake ninja-build g++ pkg-config libgtest-dev libgmock-dev googletest qt6-base-dev libx11-dev libxtst-dev
          nlohmann-json3-dev libqrencode-dev libpugixml-dev nodejs)
command -v npm >/dev/null || packages+=(npm)
for group in "$@"; do
  case "$group" in
    build) ;;
    # iproute2: the address test sets up a network namespace of its own.
    test) packages+=(xvfb xauth x11-utils x11-apps imagemagick curl iproute2) ;;
    # The kernel test (tests/kernel/run.sh): QEMU, the guest's shell and tools, SDL 2 for
    # its game-library check, and what unpacks the kernel package and builds the initramfs.
    kernel) packages+=(qemu-system-x86 busybox-static libsdl2-dev cpio xz-utils zstd binutils) ;;
    # dpkg-dev: dpkg-source unpacks the Debian source packages the Windows build compiles
    # (cmake/DebianSource.cmake).
    windows) packages+=(g++-mingw-w64-x86-64-posix wine64 curl xvfb xauth xdotool imagemagick dpkg-dev) ;;
    # The release packages (scripts/package.sh) and their tests (scripts/package-tests.sh):
    # makensis, dpkg-shlibdeps, lintian, and what the tests drive the installed programs with.
    package) packages+=(nsis dpkg-dev lintian unzip curl xvfb xauth xdotool imagemagick) ;;
    # Remaking the icon files from the SVG (app/icons/make-icons.sh).
    icons) packages+=(librsvg2-bin imagemagick) ;;
    # Remaking the page's keep-awake video (webroot/make-wake-video.sh).
    media) packages+=(vpx-tools) ;;
    browser) packages+=(chromium) ;;
    bench) packages+=(nginx wrk curl libbenchmark-dev) ;;
    # clang with the libFuzzer and sanitizer runtimes.
    fuzz) packages+=(clang libclang-rt-14-dev) ;;
    *) echo "unknown package group: $group" >&2; exit 2 ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
