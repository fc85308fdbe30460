// The address list read from a network namespace of the test's own, with interfaces and
// addresses in every state the list must tell apart. Needs the rights to make a namespace
// (root in CI) and iproute2's "ip"; skipped without root, failed without the rest.

#include <sched.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "base/uAddresses.h"
#include "base/uErrors.h"
#include "base/uText.h"
#include "tests/support/NeedsRoot.h"

namespace {

// Runs "ip" with AArguments in the calling thread's namespace; whether it succeeded.
bool Ip(const std::string& AArguments) {
  const int status = std::system(("ip " + AArguments + " >/dev/null 2>&1").c_str());
  return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

struct TNamespaceResult {
  std::string Skipped;  // why the namespace could not be set up
  std::vector<std::string> Addresses;
  std::string Error;
};

TEST(LocalIPv4AddressesLinux, OnlyPreferredAddressesOfInterfacesThatAreUpAndNotLoopback) {
  TNamespaceResult result;
  // A namespace belongs to the thread that made it (and the processes it starts), so the
  // rest of the test process keeps the machine's own.
  std::thread([&result] {
    if (::unshare(CLONE_NEWNET) != 0) {
      result.Skipped = "cannot make a network namespace (needs root)";
      return;
    }
    const char* const setup[] = {
        "link set lo up",
        // A wired card: an address, a second one past its preferred lifetime.
        "link add v0 type veth peer name v1",
        "link set v0 up",
        "addr add 10.1.0.1/24 dev v0",
        "addr add 10.1.0.2/24 dev v0 preferred_lft 0",
        // Its other end is down: its address is not offered.
        "addr add 10.2.0.1/24 dev v1",
        // A VPN's tunnel, up though nothing carries it yet, and a point-to-point address on
        // it: the tunnel's own address counts, not the peer's.
        "tuntap add t0 mode tun",
        "link set t0 up",
        "addr add 10.3.0.1/24 dev t0",
        "addr add 10.4.0.1 peer 10.4.0.2 dev t0",
        // Another loopback address.
        "addr add 127.0.0.2/8 dev lo",
    };
    for (const char* step : setup)
      if (!Ip(step)) {
        result.Skipped = std::string("\"ip ") + step + "\" failed (iproute2 missing, or no veth or tun support)";
        return;
      }
    try {
      for (const std::u16string& address : LocalIPv4Addresses()) result.Addresses.push_back(Utf16ToUtf8(address));
    } catch (const Exception& e) {
      result.Error = Utf16ToUtf8(e.Message());
    }
  }).join();
  if (!result.Skipped.empty()) TAPDECK_SKIP_UNLESS_ROOT(result.Skipped);
  EXPECT_EQ(result.Error, "");
  // In the order of the interfaces, and of the addresses on each.
  EXPECT_EQ(result.Addresses, (std::vector<std::string>{"10.1.0.1", "10.3.0.1", "10.4.0.1"}));
}

}  // namespace
