#!/usr/bin/env bash
# Makes the release packages with CPack (packaging/packaging.cmake) into build/packages/:
#   tapdeck_<version>_amd64.deb        the Debian package, from the Linux build (preset default)
#   Tapdeck-<version>-win64-setup.exe  the Windows installer (NSIS), from the MinGW build
#   Tapdeck-<version>-win64.zip        the portable Windows program, from the same build
# The packaged programs are stripped; their symbols go to build/packages/symbols-<version>/.
# Usage: scripts/package.sh [linux] [windows]   (default: both)
set -euo pipefail
cd "$(dirname "$0")/.."

targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(linux windows)
groups=(build package)
for target in "${targets[@]}"; do
  case "$target" in
    linux) ;;
    windows) groups+=(windows) ;;
    *) echo "unknown package target: $target (linux or windows)" >&2; exit 2 ;;
  esac
done
scripts/deps.sh "${groups[@]}"

# The changelog's date is the last commit's, so the same sources make the same package.
if [ -z "${SOURCE_DATE_EPOCH:-}" ] && git rev-parse --git-dir >/dev/null 2>&1; then
  SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
  export SOURCE_DATE_EPOCH
fi
version=$(sed -n 's/^project(Tapdeck VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
out=build/packages
symbols="$out/symbols-$version"
mkdir -p "$symbols"
for target in "${targets[@]}"; do
  if [ "$target" = linux ]; then
    preset=default program=tapdeck build_targets=(tapdeck tapdeck_docs)
    rm -f "$out/tapdeck_${version}_amd64.deb"
  else
    preset=mingw program=Tapdeck.exe build_targets=(tapdeck)
    rm -f "$out/Tapdeck-$version-win64-setup.exe" "$out/Tapdeck-$version-win64.zip"
  fi
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" --target "${build_targets[@]}"
  log="$out/cpack-$preset.log"
  cpack --config "build/$preset/CPackConfig.cmake" -B "$out" >"$log" 2>&1 || { cat "$log" >&2; exit 1; }
  cp "build/$preset/bin/$program.debug" "$symbols/"
done
rm -rf "$out/_CPack_Packages"
echo "Packages of Tapdeck $version in $out/:"
(cd "$out" && ls -l ./*.deb ./*.exe ./*.zip 2>/dev/null; ls -l "symbols-$version") | sed 's/^/  /'
