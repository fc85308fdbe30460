#include "base/uSockets.h"

#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <thread>
#include <vector>

#include "base/uThreads.h"
#include "tests/support/Threads.h"
#include "tests/support/WaitUntil.h"

namespace {

TSocket Listening(TIPVersion version, std::uint16_t port = 0) {
  TSocket socket = TSocket::Open(version);
  EXPECT_TRUE(socket.Bind("", port));
  EXPECT_TRUE(socket.Listen(4));
  return socket;
}

TEST(Sockets, BindFailsWhileAnotherSocketListens) {
  TSocket first = Listening(TIPVersion::IPv4);
  const std::uint16_t port = first.LocalPort();
  ASSERT_NE(port, 0);
  TSocket second = TSocket::Open(TIPVersion::IPv4);
  EXPECT_FALSE(second.Bind("", port));
  EXPECT_FALSE(second.Bind("not an address", 0));
  first.Close();
  EXPECT_TRUE(second.Bind("", port));
}

TEST(Sockets, IPv6ListenerLeavesIPv4ToItsOwnSocket) {
  if (!IPv6Supported()) GTEST_SKIP() << "this machine has no IPv6";
  TSocket v4 = Listening(TIPVersion::IPv4);
  TSocket v6 = TSocket::Open(TIPVersion::IPv6);
  EXPECT_TRUE(v6.Bind("", v4.LocalPort()));
  EXPECT_TRUE(v6.Listen(4));
  TSocket client = TSocket::Open(TIPVersion::IPv6);
  ASSERT_TRUE(client.Connect("::1", v6.LocalPort()));
  TSocket accepted = v6.Accept();
  ASSERT_TRUE(accepted.IsOpen());
}

TEST(Sockets, SendReceiveAndPeerClose) {
  TSocket listener = Listening(TIPVersion::IPv4);
  TSocket client = TSocket::Open(TIPVersion::IPv4);
  ASSERT_TRUE(client.Connect("127.0.0.1", listener.LocalPort()));
  TSocket server = listener.Accept();
  ASSERT_TRUE(server.IsOpen());
  EXPECT_FALSE(server.WaitReadable(1));
  ASSERT_TRUE(client.SendAll("hello"));
  EXPECT_TRUE(server.WaitReadable(1000));
  char buffer[16];
  ASSERT_EQ(server.Receive(buffer, sizeof buffer), 5);
  EXPECT_EQ(std::string(buffer, 5), "hello");
  client.Close();
  EXPECT_EQ(server.Receive(buffer, sizeof buffer), 0);
  // Writing to a peer that has gone is a failed send, never a signal.
  for (int i = 0; i < 20 && server.SendAll("x"); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_FALSE(server.SendAll("x"));
}

TEST(SocketsConcurrent, ShutdownWakesBlockedAcceptAndReceive) {
  TSocket listener = Listening(TIPVersion::IPv4);
  TSocket client = TSocket::Open(TIPVersion::IPv4);
  ASSERT_TRUE(client.Connect("127.0.0.1", listener.LocalPort()));
  TSocket server = listener.Accept();
  std::ptrdiff_t received = 99;
  bool acceptedOpen = true;
  std::atomic<std::int64_t> readerId{0}, acceptorId{0};
  bool blocked = false;
  bool told = true;
  {
    TPlatformThread reader([&] {
      readerId = CurrentThreadId();
      char buffer[8];
      received = server.Receive(buffer, sizeof buffer);
    }, 64 * 1024);
    TPlatformThread acceptor([&] {
      acceptorId = CurrentThreadId();
      acceptedOpen = listener.Accept().IsOpen();
    }, 64 * 1024);
    // Both must wait inside their calls when the shutdown comes.
    const auto inCall = [&told](std::int64_t AId) {
      if (AId == 0) return false;
      const std::optional<bool> inside = ThreadBlockedInSystemCall(AId);
      told = told && inside.has_value();
      return inside.value_or(true);
    };
    blocked = WaitUntil([&] { return inCall(readerId) && inCall(acceptorId); });
    server.Shutdown();
    listener.Shutdown();
  }  // both threads joined
  EXPECT_TRUE(blocked) << "the threads never blocked in their calls";
  EXPECT_EQ(received, 0);
  EXPECT_FALSE(acceptedOpen);
  if (!told) GTEST_SKIP() << "this system does not tell whether a thread is blocked: the shutdown may have come first";
}

TEST(PlatformThread, RunsAndJoinsWithASmallStack) {
  int value = 0;
  TPlatformThread thread([&] { value = 42; }, 16 * 1024);
  EXPECT_TRUE(thread.Joinable());
  thread.Join();
  EXPECT_FALSE(thread.Joinable());
  EXPECT_EQ(value, 42);
  TPlatformThread moved = std::move(thread);
  EXPECT_FALSE(moved.Joinable());
}

// Stacks are handed on from ended threads to new ones: each thread must still get a stack of
// the size it asked for, all to itself, while others run.
TEST(PlatformThreadConcurrent, ReusedStacksAreWholeAndPrivate) {
  constexpr std::size_t kStack = 128 * 1024;
  std::atomic<int> good{0};
  const auto body = [&good](int seed) {
    volatile unsigned char buffer[64 * 1024];
    for (std::size_t i = 0; i < sizeof buffer; ++i) buffer[i] = static_cast<unsigned char>(seed + i);
    std::this_thread::yield();
    bool same = true;
    for (std::size_t i = 0; i < sizeof buffer; ++i) same = same && buffer[i] == static_cast<unsigned char>(seed + i);
    if (same) ++good;
  };
  int started = 0;
  for (int round = 0; round < 20; ++round) {
    std::vector<TPlatformThread> threads;
    for (int i = 0; i < 8; ++i, ++started) threads.emplace_back([&body, started] { body(started); }, kStack);
  }
  EXPECT_EQ(good.load(), started);
}

}  // namespace
