// Serving one connection over a byte channel held in memory: the answer does not depend on
// how the request's bytes are cut into receives, and what the reader leaves unread.

#include "web/uHTTPConnection.h"

#include <gtest/gtest.h>

#include <new>
#include <regex>
#include <string>
#include <vector>

#include "tests/support/MemoryByteChannel.h"
#include "tests/web/HTTPTestSupport.h"

namespace {

// The response with its Date value blanked, so two serves compare byte for byte.
std::string WithoutDate(const std::string& AResponse) {
  static const std::regex kDate("Date: [^\r]*\r\n");
  return std::regex_replace(AResponse, kDate, "Date: -\r\n");
}

struct TServed {
  std::string Response;
  std::vector<TRecordedRequest> Recorded;
};

TServed Serve(const std::string& ARequest, std::vector<std::size_t> APieces) {
  TTestRoutes routes;
  TWebRequestHandler handler;
  handler.SetWebModuleClass([&routes] { return MakeTestModule(routes); });
  TMemoryByteChannel channel(ARequest, std::move(APieces));
  ServeHTTPConnection(channel, handler, THTTPConnectionLimits{});
  EXPECT_EQ(channel.SendsAfterShutdown(), 0);
  return {WithoutDate(channel.Sent()), routes.Recorded()};
}

std::string RecordedText(const std::vector<TRecordedRequest>& ARecorded) {
  std::string text;
  for (const TRecordedRequest& r : ARecorded)
    text += std::string(r.Method.begin(), r.Method.end()) + " " + std::string(r.PathInfo.begin(), r.PathInfo.end()) +
            " [" + r.Content + "] " + std::to_string(r.ContentLength) + " " + r.Host + "\n";
  return text;
}

TEST(HTTPConnectionOverChannel, TheAnswerDoesNotDependOnHowTheRequestArrives) {
  // Each request with the status it is answered with; 0: closed without an answer.
  const struct {
    std::string request;
    int status;
  } cases[] = {
      {"GET /record?a=1 HTTP/1.1\r\nHost: x\r\n\r\n", 200},
      {"POST /record HTTP/1.1\r\nHost: x\r\nContent-Length: 11\r\n\r\nhello world", 200},
      {"POST /record HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n5;x=y\r\nhello\r\n6\r\n world\r\n0\r\nT: "
       "1\r\n\r\n",
       200},
      {"POST /record HTTP/1.1\r\nHost: x\r\nExpect: 100-continue\r\nContent-Length: 3\r\n\r\nabc", 200},
      {"GET /record HTTP/1.1\r\nHost:\r\n folded\r\n\r\n", 200},
      {"GET /record HTTP/1.0\n\n", 200},
      {"GET /record HTTP/1.1\r\n\r\n", 400},
      {"POST /record HTTP/1.1\r\nHost: x\r\n\r\nstray body", 411},
      {"GET /record HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: gzip\r\n\r\n", 400},
      {"POST /record HTTP/1.1\r\nHost: x\r\nContent-Length: 40000\r\n\r\n" + std::string(40000, 'b'), 200},
      {"GET /record HTTP/1.1\r\nHost: x\r\nX-Long: " + std::string(16000, 'v') + "\r\n\r\n", 200},
      {"GET /record HTTP/1.1\r\nHost: x\r\nX-Long: " + std::string(20000, 'v') + "\r\n\r\n", 0},
      {"GET /record HTTP/1.1\r\nHost: x\r\n\r\nGET /record HTTP/1.1\r\nHost: y\r\n\r\n", 200},
      {"GET /text HTTP/1.1\r\nHost: x\r\n\r\n", 200},
      {"HEAD /stream HTTP/1.1\r\nHost: x\r\n\r\n", 200},
      {"GET /fail HTTP/1.1\r\nHost: x\r\n\r\n", 500},
      {"GET /record HTTP/1.1\r\nHost: x\r\nContent-Length: 5\r\n\r\nab", 0},
  };
  for (const auto& [request, status] : cases) {
    SCOPED_TRACE(request.substr(0, 80));
    const TServed whole = Serve(request, {});
    EXPECT_EQ(whole.Response.empty() ? 0 : ParseReply(whole.Response).Status, status);
    for (const std::vector<std::size_t>& pieces :
         {std::vector<std::size_t>(request.size(), 1), std::vector<std::size_t>(request.size() / 7 + 1, 7),
          std::vector<std::size_t>{request.size() / 2, 0, 1, 8191, 8192, 8193}}) {
      const TServed split = Serve(request, pieces);
      EXPECT_EQ(split.Response, whole.Response);
      EXPECT_EQ(RecordedText(split.Recorded), RecordedText(whole.Recorded));
    }
  }
}

TEST(HTTPConnectionOverChannel, AnEarlyAnswerShutsTheSendingSideAndReadsOffTheRest) {
  const std::string request = "GET /record HTTP/1.1\r\n\r\n" + std::string(100000, 'x');
  TTestRoutes routes;
  TWebRequestHandler handler;
  handler.SetWebModuleClass([&routes] { return MakeTestModule(routes); });
  TMemoryByteChannel channel(request);
  ServeHTTPConnection(channel, handler, THTTPConnectionLimits{});
  EXPECT_EQ(ParseReply(channel.Sent()).Status, 400);
  EXPECT_TRUE(channel.SendShutDown());
  EXPECT_EQ(channel.Unread(), 0u);
  EXPECT_TRUE(routes.Recorded().empty());
}

// A channel that raises where a socket never would: at its AFailAt-th call of any kind.
class TRaisingChannel final : public TByteChannel {
 public:
  TRaisingChannel(std::string_view AInput, int AFailAt, bool ABadAlloc) : FInner(AInput), FFailAt(AFailAt), FBadAlloc(ABadAlloc) {}
  std::ptrdiff_t Receive(char* ABuffer, std::size_t ASize) override {
    Call();
    return FInner.Receive(ABuffer, ASize);
  }
  bool SendAll(std::string_view ABytes) override {
    Call();
    return FInner.SendAll(ABytes);
  }
  bool WaitReadable(int AMilliseconds) override {
    Call();
    return FInner.WaitReadable(AMilliseconds);
  }
  void ShutdownSend() override {
    Call();
    FInner.ShutdownSend();
  }
  int Calls() const { return FCalls; }

 private:
  void Call() {
    if (++FCalls != FFailAt) return;
    if (FBadAlloc) throw std::bad_alloc();
    throw 42;  // not even an exception class
  }
  TMemoryByteChannel FInner;
  const int FFailAt;
  const bool FBadAlloc;
  int FCalls = 0;
};

TEST(HTTPConnectionOverChannel, NothingEscapesWhereverAnErrorArises) {
  // A request answered early, one served by a route and one with a pipelined second request,
  // so every kind of channel call comes up.
  const std::string requests[] = {"POST /record HTTP/1.1\r\nHost: x\r\n\r\nstray",
                                  "GET /text HTTP/1.1\r\nHost: x\r\n\r\n",
                                  "GET /record HTTP/1.1\r\nHost: x\r\n\r\nGET / HTTP/1.1\r\n\r\n"};
  for (const std::string& request : requests) {
    TTestRoutes routes;
    TWebRequestHandler handler;
    handler.SetWebModuleClass([&routes] { return MakeTestModule(routes); });
    TRaisingChannel counting(request, 0, false);
    ServeHTTPConnection(counting, handler, THTTPConnectionLimits{});
    ASSERT_GT(counting.Calls(), 1);
    for (int failAt = 1; failAt <= counting.Calls(); ++failAt)
      for (bool badAlloc : {true, false}) {
        SCOPED_TRACE(request.substr(0, 20) + " call " + std::to_string(failAt));
        TRaisingChannel channel(request, failAt, badAlloc);
        EXPECT_NO_THROW(ServeHTTPConnection(channel, handler, THTTPConnectionLimits{}));
      }
  }
}

TEST(HTTPConnectionOverChannel, AHandlerRaisingSomethingThatIsNoErrorGets500) {
  TWebRequestHandler handler;
  handler.SetWebModuleClass([]() -> std::unique_ptr<TWebModule> { throw 42; });
  TMemoryByteChannel channel("GET / HTTP/1.1\r\nHost: x\r\n\r\n");
  ServeHTTPConnection(channel, handler, THTTPConnectionLimits{});
  const THTTPReply reply = ParseReply(channel.Sent());
  EXPECT_EQ(reply.Status, 500);
  EXPECT_EQ(reply.Body, "Unknown error");
}

}  // namespace
