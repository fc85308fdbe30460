// The HTTP service with the real web module under clients that misbehave: resets in the
// middle of a request or of the page, requests cut off half-way, silent connections, and a
// stop while all of that goes on. Afterwards no thread of the service is left.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "tests/support/LoopbackClient.h"
#include "tests/support/Threads.h"
#include "tests/support/WaitUntil.h"
#include "tests/web/HTTPTestSupport.h"
#include "web/uMainPage.h"

namespace {

using namespace std::chrono_literals;

const char* const kPageRequest = "GET / HTTP/1.1\r\nHost: localhost\r\n\r\n";

// The page files as built, beside the test executable.
TWebModuleClass PageModule() { return MainPageModuleClass(); }

// Waits until the service has ACount open connections; false after a few seconds.
bool WaitForConnections(TIdHTTPWebBrokerBridge& AServer, int ACount) {
  for (int i = 0; i < 500 && AServer.ConnectionCount() != ACount; ++i) std::this_thread::sleep_for(10ms);
  return AServer.ConnectionCount() == ACount;
}

// One misbehaving client; false when the service's side was not as it should be. Resets come
// a moment after the bytes, so the clients do not outrun the listener's accepts: a full listen
// queue drops the next connect, which then waits a second for its retry.
bool Misbehave(std::uint16_t APort, int AKind) {
  switch (AKind % 4) {
    case 0: {  // reset in the middle of the headers
      TLoopbackClient client(APort);
      client.Send("GET / HTTP/1.1\r\nHost: localhost\r\nAcc");
      std::this_thread::sleep_for(1ms);
      client.Reset();
      return true;
    }
    case 1: {  // reset in the middle of an announced body
      TLoopbackClient client(APort);
      client.Send("POST / HTTP/1.1\r\nHost: localhost\r\nContent-Length: 40\r\n\r\nstr=");
      std::this_thread::sleep_for(1ms);
      client.Reset();
      return true;
    }
    case 2: {  // reset after the first bytes of the page, the rest still on its way
      TLoopbackClient client(APort, {.NoDelay = false, .ReceiveBuffer = 2048});
      client.Send(kPageRequest);
      const TLoopbackRead read = client.Read(5s, 10);
      client.Reset();
      return read.Bytes.rfind("HTTP/1.1 ", 0) == 0;
    }
    default: {  // half a request, then nothing more to send: closed without an answer
      TLoopbackClient client(APort);
      client.Send("POST / HTTP/1.1\r\nHost: localhost\r\nContent-Length: 40\r\n\r\nstr=");
      client.ShutdownSend();
      const TLoopbackRead read = client.Read(5s);
      return read.Closed && read.Bytes.empty();
    }
  }
}

TEST(HTTPServiceFaultsConcurrent, ResetsHalfRequestsAndSilenceThenAStopLeaveNoThread) {
  // A sanitizer's runtime may start a helper thread with the first thread the process makes.
  std::thread([] {}).join();
  const int threadsBefore = ProcessThreadCount();
  ASSERT_GT(threadsBefore, 0) << "the system does not tell the thread count";
  TTestRoutes routes;
  TTestService service(routes, PageModule());
  service.Start();
  const std::uint16_t port = service.Port();

  std::atomic<int> wrong{0};
  {
    std::vector<std::thread> clients;
    for (int t = 0; t < 4; ++t)
      clients.emplace_back([&, t] {
        for (int i = t; i < 80; i += 4)
          if (!Misbehave(port, i)) ++wrong;
      });
    for (auto& thread : clients) thread.join();
  }
  EXPECT_EQ(wrong, 0);
  EXPECT_TRUE(WaitForConnections(service.Server(), 0));
  EXPECT_EQ(ParseReply(Exchange(port, kPageRequest).Bytes).Status, 200);

  // Held: requests cut off half-way and silent connections, in groups the listen queue takes.
  const std::string halves[] = {"POST / HTTP/1.1\r\nHost: localhost\r\nContent-Length: 100\r\n\r\nstr=",
                                "GET /KeyboardKey?str=a HTTP/1.1\r\nHost: localhost\r\nUser-Ag", "GET / HTTP/1.1\r\n", ""};
  std::vector<TLoopbackClient> held;
  for (int i = 0; i < 40; ++i) {
    held.emplace_back(port);
    held.back().Send(halves[i % 4]);
    if (i % 10 == 9) {
      ASSERT_TRUE(WaitForConnections(service.Server(), i + 1));
    }
  }
  std::atomic<bool> stop{false};
  std::vector<std::thread> faulting;
  for (int t = 0; t < 2; ++t)
    faulting.emplace_back([&, t] {
      for (int i = t; !stop; i += 2) Misbehave(port, i);
    });
  std::this_thread::sleep_for(50ms);
  service.Server().SetActive(false);
  stop = true;
  for (auto& thread : faulting) thread.join();

  EXPECT_EQ(service.Server().ConnectionCount(), 0);
  // A joined thread may linger in the system's list for a moment.
  EXPECT_TRUE(WaitUntil([&] { return ProcessThreadCount() == threadsBefore; }))
      << ProcessThreadCount() << " threads, " << threadsBefore << " before the service";
  for (auto& client : held) EXPECT_TRUE(client.Read(5s).Closed);
}

// Opens ACount silent connections in groups the listen queue takes, then closes them all.
void OpenAndCloseSilentConnections(TTestService& AService, int ACount) {
  std::vector<TLoopbackClient> clients;
  for (int i = 0; i < ACount; ++i) {
    clients.emplace_back(AService.Port());
    if (i % 10 == 9) {
      ASSERT_TRUE(WaitForConnections(AService.Server(), i + 1));
    }
  }
  clients.clear();
  ASSERT_TRUE(WaitForConnections(AService.Server(), 0));
}

TEST(HTTPServiceFaultsConcurrent, ThreadsOfClosedConnectionsAreReleasedWithoutAnotherConnection) {
  TTestRoutes routes;
  TTestService service(routes);
  service.Start();
  // The clients go, and no other comes that would make the listener clean up after them: the
  // ended threads are joined all the same, and their stacks given back. Only the thread that
  // ended last waits for whoever comes next.
  OpenAndCloseSilentConnections(service, 200);
  EXPECT_LE(service.Server().UnjoinedThreadCount(), 1) << "ended connection threads still hold their stacks";
  EXPECT_EQ(ParseReply(Exchange(service.Port(), "GET /record HTTP/1.0\r\n\r\n").Bytes).Status, 200);
  ASSERT_TRUE(WaitForConnections(service.Server(), 0));
  EXPECT_LE(service.Server().UnjoinedThreadCount(), 1);
}

}  // namespace
