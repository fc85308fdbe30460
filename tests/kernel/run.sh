#!/usr/bin/env bash
# The Linux devices against a real kernel: boots Debian's Linux 6.1 under QEMU with an
# initramfs made of busybox, the input modules (evdev, uinput, joydev), tapdeck-headless
# and the check programs of the current build with their shared libraries, and reads the
# verdict from the serial console. Exits 1 when the verdict is missing or not "pass".
#
# The kernel package is downloaded once (apt-get download) and kept in build/kernel/.
# KVM is used when /dev/kvm works, software emulation (TCG) otherwise.
#   TAPDECK_KERNEL_ACCEL=kvm|tcg   use this accelerator and no other
#   TAPDECK_KERNEL_TIMEOUT=300     seconds the guest may take, start to power-off
set -euo pipefail
cd "$(dirname "$0")/../.."

if [ "$(uname -s)" != Linux ] || [ "$(uname -m)" != x86_64 ]; then
  echo "FAIL setup: the kernel test boots an x86-64 Linux kernel and runs on x86-64 Linux only" >&2
  exit 1
fi

scripts/deps.sh build kernel
cmake --preset default >/dev/null
programs=(tapdeck-headless tapdeck-kernel-check tapdeck-sdl-check tapdeck_tests)
cmake --build --preset default --target "${programs[@]}" tapdeck_webroot

cache=build/kernel
bin=build/default/bin
mkdir -p "$cache"
work=$(mktemp -d "$cache/work.XXXXXX")
qemu=""
cleanup() {
  if [ -n "$qemu" ]; then kill "$qemu" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

# ---- The kernel: vmlinuz and the modules, unpacked once ------------------------------

# The module file of a module name (names use "_" where file names may use "-").
module_file() {
  local tree=$1 name=$2
  find "$tree" \( -name "$name.ko*" -o -name "${name//_/-}.ko*" \) -print -quit
}

# Copies a module, uncompressed, and the modules it depends on, dependencies first, into
# the kernel folder, and lists it in its load order.
add_module() {
  local tree=$1 into=$2 name=$3 file dep
  [ -f "$into/$name.ko" ] && return 0
  file=$(module_file "$tree" "$name")
  if [ -z "$file" ]; then
    echo "FAIL setup: module $name is not in the kernel package" >&2
    exit 1
  fi
  case "$file" in
    *.ko.xz) xz -dc "$file" >"$into/$name.ko" ;;
    *.ko.zst) zstd -qdc "$file" >"$into/$name.ko" ;;
    *.ko.gz) gzip -dc "$file" >"$into/$name.ko" ;;
    *) cp "$file" "$into/$name.ko" ;;
  esac
  for dep in $(tr '\0' '\n' <"$into/$name.ko" | sed -n 's/^depends=//p' | tr ',' ' '); do
    add_module "$tree" "$into" "$dep"
  done
  echo "$name.ko" >>"$into/order"
}

kernel=$(find "$cache" -maxdepth 1 -name 'linux-*' -type d | sort -V | tail -n 1)
if [ -z "$kernel" ]; then
  pattern='^linux-image-6\.1\.0-[0-9]+-amd64$'
  package=$(apt-cache search --names-only "$pattern" | cut -d' ' -f1 | sort -V | tail -n 1)
  if [ -z "$package" ]; then
    $sudo apt-get update -qq
    package=$(apt-cache search --names-only "$pattern" | cut -d' ' -f1 | sort -V | tail -n 1)
  fi
  if [ -z "$package" ]; then
    echo "FAIL setup: apt knows no package linux-image-6.1.0-*-amd64" >&2
    exit 1
  fi
  echo "Downloading $package"
  (cd "$work" && apt-get download -q "$package" 2>&1 | grep -v '^W: Download is performed unsandboxed' || true)
  deb=$(find "$work" -maxdepth 1 -name '*.deb' -print -quit)
  [ -n "$deb" ] || { echo "FAIL setup: apt-get download $package gave no package" >&2; exit 1; }
  dpkg-deb -x "$deb" "$work/root"
  version=$(ls "$work/root/lib/modules")
  unpacked="$work/linux-$version"
  mkdir -p "$unpacked"
  cp "$work/root/boot/vmlinuz-$version" "$unpacked/vmlinuz"
  for module in evdev uinput joydev; do
    add_module "$work/root/lib/modules/$version" "$unpacked" "$module"
  done
  mv "$unpacked" "$cache/linux-$version"
  kernel="$cache/linux-$version"
  rm -rf "$work/root" "$deb"
fi

# ---- The initramfs, from the current build -------------------------------------------

root="$work/initramfs"
mkdir -p "$root"/{bin,dev,proc,sys,tmp,run,lib/modules,opt/tapdeck}
cp /bin/busybox "$root/bin/busybox"
cp "$kernel"/*.ko "$kernel/order" "$root/lib/modules/"
install -m 755 tests/kernel/init.sh "$root/init"
for program in "${programs[@]}"; do
  strip --strip-debug -o "$root/opt/tapdeck/$program" "$bin/$program"
done
cp "$bin"/index.html "$bin"/script.js "$bin"/styles.css "$root/opt/tapdeck/"

# Every shared library the programs load, at the path where the loader finds it here;
# libudev is loaded by SDL at run time (for its evdev input), so ldd does not list it.
udev=$(PATH="$PATH:/sbin:/usr/sbin" ldconfig -p | awk '/libudev\.so\.1 .*x86-64/ && !found { print $NF; found = 1 }')
[ -n "$udev" ] || { echo "FAIL setup: libudev.so.1 not found" >&2; exit 1; }
for file in "${programs[@]/#/$bin/}" "$udev"; do
  ldd "$file" | awk '{ for (i = 1; i <= NF; i++) if ($i ~ /^\//) print $i }'
done | sort -u | while read -r library; do
  mkdir -p "$root$(dirname "$library")"
  cp -L "$library" "$root$library"
done
cp -L "$udev" "$root$udev"

initramfs="$work/initramfs.cpio"
(cd "$root" && find . | cpio -o -H newc --quiet) >"$initramfs"

# ---- Boot ----------------------------------------------------------------------------

log="$cache/serial.log"
limit=${TAPDECK_KERNEL_TIMEOUT:-300}

# Boots with an accelerator; when a probe time is given and the guest's init has not
# spoken by then, gives up with status 125 (an accelerator that does not work).
boot() {
  local accel=$1 probe=$2 status=0 i
  : >"$log"
  timeout -k 5 "$limit" qemu-system-x86_64 -accel "$accel" -m 512 -nographic -no-reboot -nic none \
    -kernel "$kernel/vmlinuz" -initrd "$initramfs" -append "console=ttyS0 panic=-1 quiet" \
    </dev/null >"$log" 2>&1 &
  qemu=$!
  if [ "$probe" -gt 0 ]; then
    for ((i = 0; i < probe * 10; i++)); do
      grep -q 'tapdeck-guest: started' "$log" && break
      kill -0 "$qemu" 2>/dev/null || break
      sleep 0.1
    done
    if ! grep -q 'tapdeck-guest: started' "$log"; then
      kill "$qemu" 2>/dev/null || true
      wait "$qemu" 2>/dev/null || true
      qemu=""
      return 125
    fi
  fi
  wait "$qemu" || status=$?
  qemu=""
  return "$status"
}

accel=${TAPDECK_KERNEL_ACCEL:-}
started=$(date +%s)
status=0
if [ -n "$accel" ]; then
  boot "$accel" 0 || status=$?
elif [ -r /dev/kvm ] && [ -w /dev/kvm ] && [ ! -e "$cache/kvm-does-not-boot" ]; then
  # /dev/kvm can be there and still not run a guest (nested virtualisation without the
  # features it needs): then the kernel does not reach its init in time. Remembered for
  # this build folder, so later runs here go straight to software emulation.
  accel=kvm
  boot kvm 10 || status=$?
  if [ "$status" -eq 125 ]; then
    echo "KVM did not boot the kernel within 10 s; using software emulation (remembered in $cache/kvm-does-not-boot)"
    touch "$cache/kvm-does-not-boot"
    accel=tcg status=0
    boot tcg 0 || status=$?
  fi
else
  accel=tcg
  boot tcg 0 || status=$?
fi
seconds=$(($(date +%s) - started))

# The guest's own lines: everything from its init on, without the console's carriage
# returns and the firmware's terminal controls.
plain() { tr -d '\r' <"$log" | sed 's/\x1bc//g; s/\x1b\[[0-9;?]*[A-Za-z]//g'; }
if grep -q 'tapdeck-guest: started' "$log"; then
  plain | sed -n '/tapdeck-guest: started/,$p'
else
  plain | tail -n 40
fi
echo "kernel test: $(basename "$kernel"), $accel, $seconds s, serial console in $log"
if grep -q 'tapdeck-guest: verdict pass' "$log"; then
  echo "kernel test: pass"
  exit 0
fi
if [ "$status" -eq 124 ]; then
  echo "FAIL kernel test: no verdict within $limit s"
elif grep -q 'tapdeck-guest: verdict' "$log"; then
  echo "FAIL kernel test: the guest's verdict is fail"
else
  echo "FAIL kernel test: the guest ended without a verdict (QEMU status $status)"
fi
exit 1
