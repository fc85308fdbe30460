#!/bin/busybox sh
# /init of the test kernel's initramfs (tests/kernel/run.sh builds it). Loads the input
# modules, brings up loopback, runs the checks and ends with one verdict line on the
# console, then powers off. Every line of ours starts with "tapdeck-guest:" or is a
# check's own PASS, FAIL or info line.
/bin/busybox --install -s /bin
export PATH=/bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
mount -t tmpfs tmpfs /tmp
mount -t tmpfs tmpfs /run
echo "tapdeck-guest: started, kernel $(uname -r)"

verdict=pass
fail() {
  echo "FAIL $*"
  verdict=fail
}

ip link set lo up || fail "loopback up"
for module in $(cat /lib/modules/order); do
  insmod "/lib/modules/$module" || fail "insmod $module"
done

cd /opt/tapdeck || fail "no /opt/tapdeck"

# The suite's own round trip through the kernel, which skips where /dev/uinput is missing.
echo "tapdeck-guest: tapdeck_tests --gtest_filter=TvJoyUinputSystem.*"
./tapdeck_tests --gtest_filter='TvJoyUinputSystem.*' --gtest_brief=1 >/tmp/gtest.out 2>&1
status=$?
cat /tmp/gtest.out
if [ "$status" -ne 0 ] || grep -q SKIPPED /tmp/gtest.out || ! grep -q 'PASSED.* 1 test' /tmp/gtest.out; then
  fail "TvJoyUinputSystem.RoundTripThroughTheKernel did not run and pass"
else
  echo "PASS TvJoyUinputSystem.RoundTripThroughTheKernel"
fi

echo "tapdeck-guest: tapdeck-kernel-check"
./tapdeck-kernel-check || verdict=fail
echo "tapdeck-guest: tapdeck-sdl-check"
./tapdeck-sdl-check || verdict=fail

echo "tapdeck-guest: verdict $verdict"
sync
poweroff -f
