#include "web/uHTTPWebBrokerBridge.h"

#include <gtest/gtest.h>

#include <atomic>
#include <regex>
#include <thread>

#include "base/uText.h"
#include "tests/support/Threads.h"
#include "tests/support/WaitUntil.h"
#include "tests/web/HTTPTestSupport.h"
#include "web/uMainPage.h"

namespace {

class HTTPService : public ::testing::Test {
 protected:
  void SetUp() override { Service.Start(); }
  std::uint16_t Port() const { return Service.Port(); }
  TClientRead Send(std::string_view request) { return Exchange(Port(), request); }
  THTTPReply Reply(std::string_view request) {
    const TClientRead read = Send(request);
    EXPECT_TRUE(read.Closed) << "the server did not close the connection";
    return ParseReply(read.Bytes);
  }

  TTestRoutes Routes;
  TTestService Service{Routes};
};

// The Date header follows the RFC 1123 form.
const std::regex kDatePattern(R"((Sun|Mon|Tue|Wed|Thu|Fri|Sat), \d\d (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) \d{4} \d\d:\d\d:\d\d GMT)");

std::string HeaderOnlyBytes(int code, std::string_view reason, const THTTPReply& reply) {
  return "HTTP/1.1 " + std::to_string(code) + " " + std::string(reason) +
         "\r\nConnection: close\r\nContent-Length: 0\r\nDate: " + reply.Header("Date") + "\r\n\r\n";
}

// ---- Defaults and activation ---------------------------------------------------------

TEST(HTTPServiceProperties, DefaultsAfterConstruction) {
  TWebRequestHandler handler;
  TIdHTTPWebBrokerBridge server(&handler);
  EXPECT_FALSE(server.Active());
  EXPECT_EQ(server.DefaultPort(), 80);
  EXPECT_EQ(server.Bindings().Count(), 0);
  EXPECT_FALSE(server.KeepAlive());
  EXPECT_EQ(server.ListenQueue(), 15);
  EXPECT_EQ(server.MaxConnections(), 0);
  EXPECT_EQ(server.MaximumHeaderLineCount(), 1024);
  EXPECT_EQ(server.ServerSoftware(), u"");
  server.SetActive(false);  // already inactive: nothing happens
  EXPECT_FALSE(server.Active());
}

TEST(HTTPServiceProperties, NewBindingTakesTheCurrentDefaultPort) {
  TIdHTTPWebBrokerBridge server;
  server.SetDefaultPort(1234);
  TIdSocketHandle& binding = server.Bindings().Add();
  server.SetDefaultPort(99);
  EXPECT_EQ(binding.Port(), 1234);
  EXPECT_EQ(binding.IPVersion(), Id_IPv4);
  EXPECT_EQ(binding.IP(), u"");
  EXPECT_EQ(server.Bindings().Add().Port(), 99);
  EXPECT_THROW(server.Bindings().Items(2), EListError);
}

TEST_F(HTTPService, ListensOnIPv4AndWhereAvailableIPv6) {
  ASSERT_GE(Service.Server().Bindings().Count(), 1);
  EXPECT_EQ(Service.Server().Bindings().Items(0).IPVersion(), Id_IPv4);
  EXPECT_NE(Port(), 0);
  EXPECT_EQ(Reply("GET /record HTTP/1.1\r\nHost: a\r\n\r\n").Status, 200);
  if (!IPv6Supported()) GTEST_SKIP() << "this machine has no IPv6";
  ASSERT_EQ(Service.Server().Bindings().Count(), 2);
  const std::uint16_t port6 = Service.Port(Id_IPv6);
  ASSERT_NE(port6, 0);
  const TClientRead read = Exchange(port6, "GET /record HTTP/1.1\r\nHost: a\r\n\r\n", TIPVersion::IPv6);
  EXPECT_EQ(ParseReply(read.Bytes).Status, 200);
}

TEST(HTTPServiceActivation, PortInUseRaisesAndStaysInactive) {
  TSocket other = TSocket::Open(TIPVersion::IPv4);
  ASSERT_TRUE(other.Bind("", 0));
  ASSERT_TRUE(other.Listen(1));
  const std::uint16_t taken = other.LocalPort();

  TTestRoutes routes;
  TTestService service(routes);
  service.Server().SetDefaultPort(taken);
  try {
    service.Server().SetActive(true);
    FAIL() << "activation on a taken port succeeded";
  } catch (const EIdCouldNotBindSocket& e) {
    EXPECT_EQ(e.Message(), u"Could not bind socket. Address and port are already in use.");
  }
  EXPECT_FALSE(service.Server().Active());
  // The bindings that activation added stay, with the port they were made with.
  ASSERT_GE(service.Server().Bindings().Count(), 1);
  EXPECT_EQ(service.Server().Bindings().Items(0).Port(), taken);
  EXPECT_THROW(service.Server().SetActive(true), EIdCouldNotBindSocket);

  service.Server().Bindings().Clear();
  service.Server().SetDefaultPort(0);
  service.Server().SetActive(true);
  EXPECT_TRUE(service.Server().Active());
  EXPECT_EQ(ParseReply(Exchange(service.Port(), "GET /record HTTP/1.0\r\n\r\n").Bytes).Status, 200);
}

TEST(HTTPServiceActivation, StopThenStartOnTheSamePortSucceeds) {
  TTestRoutes routes;
  TTestService service(routes);
  service.Start();
  const std::uint16_t port = service.Port();
  // A served connection leaves the port with a connection that is still closing.
  EXPECT_EQ(ParseReply(Exchange(port, "GET /record HTTP/1.0\r\n\r\n").Bytes).Status, 200);
  service.Server().SetActive(false);
  service.Server().Bindings().Clear();
  service.Server().SetDefaultPort(port);
  service.Server().SetActive(true);
  EXPECT_EQ(service.Port(), port);
  EXPECT_EQ(ParseReply(Exchange(port, "GET /record HTTP/1.0\r\n\r\n").Bytes).Status, 200);
}

TEST(HTTPServiceActivation, BindingsKeepTheirEntriesAfterStop) {
  TTestRoutes routes;
  TTestService service(routes);
  service.Start();
  const int count = service.Server().Bindings().Count();
  service.Server().SetActive(false);
  EXPECT_EQ(service.Server().Bindings().Count(), count);
  EXPECT_EQ(service.Server().Bindings().Items(0).BoundPort(), 0);
  service.Server().SetActive(true);  // the same bindings again, port 0 each
  EXPECT_NE(service.Port(), 0);
}

// ---- Request line, headers, version checks -------------------------------------------

TEST_F(HTTPService, Http10WithoutHostIsServedHttp11WithoutHostGets400) {
  EXPECT_EQ(Reply("GET /record HTTP/1.0\r\n\r\n").Status, 200);
  ASSERT_EQ(Routes.Recorded().size(), 1u);
  const TClientRead read = Send("GET /record HTTP/1.1\r\n\r\n");
  const THTTPReply reply = ParseReply(read.Bytes);
  EXPECT_EQ(read.Bytes, HeaderOnlyBytes(400, "Bad Request", reply));
  EXPECT_EQ(Routes.Recorded().size(), 1u);
  EXPECT_EQ(Reply("GET /record HTTP/2.0\r\nHost:\r\n\r\n").Status, 400);
  EXPECT_EQ(Reply("GET /record HTTP/1.10\r\n\r\n").Status, 400);
}

TEST_F(HTTPService, MethodIsUpperCased) {
  EXPECT_EQ(Reply("get /record?str=a HTTP/1.1\r\nHost: x\r\n\r\n").Status, 200);
  ASSERT_TRUE(Routes.Last());
  EXPECT_EQ(Routes.Last()->Method, u"GET");
  EXPECT_EQ(Routes.Last()->PathInfo, u"/record");
  EXPECT_EQ(Routes.Last()->Query, u"str=a");
}

TEST_F(HTTPService, KeepAliveIsAnsweredWithCloseAndTheServerCloses) {
  TTestClient client(Port());
  client.Send("GET /record HTTP/1.1\r\nHost: x\r\nConnection: keep-alive\r\n\r\n");
  const TClientRead read = client.ReadAll();
  EXPECT_TRUE(read.Closed);
  EXPECT_EQ(ParseReply(read.Bytes).Header("Connection"), "close");
}

TEST_F(HTTPService, MethodOverrideAppliesToPostOnly) {
  EXPECT_EQ(Reply("POST /record HTTP/1.1\r\nHost: x\r\nX-HTTP-Method-Override: get\r\nContent-Length: 0\r\n\r\n").Status, 200);
  EXPECT_EQ(Routes.Last()->Method, u"GET");
  // The first non-empty one of the three names counts.
  Reply("POST /record HTTP/1.1\r\nHost: x\r\nX-HTTP-Method-Override:\r\nX-METHOD-OVERRIDE: delete\r\n"
        "X-HTTP-Method: patch\r\nContent-Length: 0\r\n\r\n");
  EXPECT_EQ(Routes.Last()->Method, u"PATCH");
  Reply("PUT /record HTTP/1.1\r\nHost: x\r\nX-HTTP-Method-Override: get\r\nContent-Length: 0\r\n\r\n");
  EXPECT_EQ(Routes.Last()->Method, u"PUT");
}

TEST_F(HTTPService, PostWithoutBodyHasTheQueryAsContent) {
  EXPECT_EQ(Reply("POST /record?str=a HTTP/1.1\r\nHost: x\r\n\r\n").Status, 200);
  ASSERT_TRUE(Routes.Last());
  EXPECT_EQ(Routes.Last()->Content, "str=a");
  EXPECT_EQ(Routes.Last()->ContentLength, 5);
}

TEST_F(HTTPService, ContentDependsOnBodyAndContentType) {
  struct TCase {
    const char* Request;
    const char* Content;
    const char16_t* ContentType;
  } const cases[] = {
      {"POST /record?q=1 HTTP/1.1\r\nHost: x\r\nContent-Length: 3\r\nContent-Type: text/plain\r\n\r\nabc", "abc",
       u"text/plain"},
      {"POST /record?q=1 HTTP/1.1\r\nHost: x\r\nContent-Length: 0\r\n"
       "Content-Type: Application/X-WWW-Form-Urlencoded; charset=UTF-8\r\n\r\n",
       "q=1", u"Application/X-WWW-Form-Urlencoded"},
      {"POST /record?q=1 HTTP/1.1\r\nHost: x\r\nContent-Length: 0\r\nContent-Type: text/plain\r\n\r\n", "",
       u"text/plain"},
      {"GET /record?q=1 HTTP/1.1\r\nHost: x\r\n\r\n", "q=1", u""},
      {"POST /record?q=1 HTTP/1.1\r\nHost: x\r\nContent-Type: text/plain; a=b; charset=x\r\n"
       "Transfer-Encoding: chunked\r\n\r\n0\r\n\r\n",
       "", u"text/plain; a=b"},
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(Reply(c.Request).Status, 200) << c.Request;
    ASSERT_TRUE(Routes.Last());
    EXPECT_EQ(Routes.Last()->Content, c.Content) << c.Request;
    EXPECT_EQ(Routes.Last()->ContentType, c.ContentType) << c.Request;
  }
}

TEST_F(HTTPService, TargetIsSplitAndDecoded) {
  Reply("GET /rec%6Frd?a=%41+b HTTP/1.0\r\n\r\n");
  EXPECT_EQ(Routes.Last()->PathInfo, u"/record");
  EXPECT_EQ(Routes.Last()->Query, u"a=%41+b");
  // The absolute form names the host when the Host header is missing.
  EXPECT_EQ(Reply("GET http://example.com:81/record?x=1 HTTP/1.1\r\n\r\n").Status, 200);
  EXPECT_EQ(Routes.Last()->PathInfo, u"/record");
  EXPECT_EQ(Routes.Last()->Query, u"x=1");
  EXPECT_EQ(Routes.Last()->Host, "example.com:81");
}

TEST_F(HTTPService, MalformedRequestLinesCloseWithoutAByte) {
  for (const char* request : {"GET\r\n\r\n", "\r\nGET / HTTP/1.0\r\n\r\n", "GET"}) {
    TTestClient client(Port());
    client.Send(request);
    client.ShutdownSend();
    const TClientRead read = client.ReadAll();
    EXPECT_TRUE(read.Closed) << request;
    EXPECT_EQ(read.Bytes, "") << request;
  }
  EXPECT_TRUE(Routes.Recorded().empty());
}

TEST_F(HTTPService, LineAndHeaderCountLimits) {
  const std::string longTarget = "/record?" + std::string(16384, 'a');
  // The request line may hold 16384 bytes before its line break, not one more.
  const std::string fits = "GET " + longTarget.substr(0, 16384 - 13) + " HTTP/1.0";
  ASSERT_EQ(fits.size(), 16384u);
  EXPECT_EQ(Reply(fits + "\r\n\r\n").Status, 200);
  const TClientRead tooLong = Send(fits + "a\r\n\r\n");
  EXPECT_TRUE(tooLong.Closed);
  EXPECT_EQ(tooLong.Bytes, "");
  EXPECT_EQ(Send("GET /record HTTP/1.0\r\nX: " + std::string(16400, 'b') + "\r\n\r\n").Bytes, "");

  auto withHeaders = [](int count) {
    std::string request = "GET /record HTTP/1.1\r\nHost: x\r\n";
    for (int i = 1; i < count; ++i) request += "X-" + std::to_string(i) + ": v\r\n";
    return request + "\r\n";
  };
  EXPECT_EQ(Reply(withHeaders(1025)).Status, 200);
  const TClientRead tooMany = Send(withHeaders(1026));
  EXPECT_TRUE(tooMany.Closed);
  EXPECT_EQ(tooMany.Bytes, "");
}

TEST_F(HTTPService, AuthorizationBasicIsAcceptedOtherSchemesClose) {
  EXPECT_EQ(Reply("GET /record HTTP/1.0\r\nAuthorization: bAsIc dXNlcjpwdw==\r\n\r\n").Status, 200);
  const TClientRead read = Send("GET /record HTTP/1.0\r\nAuthorization: Bearer abc\r\n\r\n");
  EXPECT_TRUE(read.Closed);
  EXPECT_EQ(read.Bytes, "");
  EXPECT_EQ(Routes.Recorded().size(), 1u);
}

// ---- Bodies ---------------------------------------------------------------------------

TEST_F(HTTPService, ChunkedBodyWithExtensionsAndTrailers) {
  EXPECT_EQ(Reply("POST /record HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: gzip, Chunked\r\n\r\n"
                  "5;name=value\r\nhello\r\n"
                  "6 ; other\r\n world\r\n"
                  "0\r\nTrailer-One: 1\r\nTrailer-Two: 2\r\n\r\n")
                .Status,
            200);
  ASSERT_TRUE(Routes.Last());
  EXPECT_EQ(Routes.Last()->Content, "hello world");
  // A size that is not a number ends the body.
  Reply("POST /record HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\nzz\r\n");
  EXPECT_EQ(Routes.Last()->Content, "abc");
}

TEST_F(HTTPService, UnknownTransferEncodingGets400) {
  EXPECT_EQ(Reply("POST /record HTTP/1.0\r\nTransfer-Encoding: gzip\r\n\r\n").Status, 400);
  EXPECT_EQ(Reply("POST /record HTTP/1.0\r\nTransfer-Encoding: identity\r\nContent-Length: 2\r\n\r\nab").Status, 200);
  EXPECT_EQ(Routes.Last()->Content, "ab");
}

TEST_F(HTTPService, PostSendingBytesWithoutLengthGets411) {
  const TClientRead read = Send("POST /record HTTP/1.1\r\nHost: x\r\n\r\nstr=a");
  EXPECT_EQ(read.Bytes, HeaderOnlyBytes(411, "Length Required", ParseReply(read.Bytes)));
  EXPECT_EQ(Reply("PUT /record HTTP/1.1\r\nHost: x\r\n\r\nstr=a").Status, 411);
  // Other methods without a length have no body, whatever follows.
  EXPECT_EQ(Reply("GET /record HTTP/1.1\r\nHost: x\r\n\r\nstr=a").Status, 200);
  EXPECT_TRUE(Routes.Last());
}

TEST_F(HTTPService, ExpectOtherThanContinueGets417) {
  const TClientRead read = Send("POST /record HTTP/1.1\r\nHost: x\r\nExpect: something\r\nContent-Length: 1\r\n\r\n");
  EXPECT_EQ(read.Bytes, HeaderOnlyBytes(417, "Expectation Failed", ParseReply(read.Bytes)));
  EXPECT_TRUE(Routes.Recorded().empty());
  // For HTTP/1.0 the header is not looked at.
  EXPECT_EQ(Reply("GET /record HTTP/1.0\r\nExpect: something\r\n\r\n").Status, 200);
}

TEST_F(HTTPService, ContinueIsSentBeforeTheBody) {
  TTestClient client(Port());
  client.Send("POST /record HTTP/1.1\r\nHost: x\r\nExpect: 100-Continue\r\nContent-Length: 5\r\n\r\n");
  EXPECT_EQ(client.ReadUntil("\r\n\r\n"), "HTTP/1.1 100 Continue\r\n\r\n");
  client.Send("str=b");
  const TClientRead read = client.ReadAll();
  EXPECT_EQ(ParseReply(read.Bytes).Status, 200);
  EXPECT_EQ(Routes.Last()->Content, "str=b");
}

TEST_F(HTTPService, BodiesAboveOneMebibyteGet413) {
  const std::string limit = std::to_string(1024 * 1024);
  // An announced size is refused before anything is read or stored, however large.
  for (const std::string& length : {std::to_string(1024 * 1024 + 1), std::string("99999999999999999999999")}) {
    const TClientRead read = Send("POST /record HTTP/1.1\r\nHost: x\r\nContent-Length: " + length + "\r\n\r\nab");
    EXPECT_TRUE(read.Closed);
    EXPECT_EQ(read.Bytes, HeaderOnlyBytes(413, "Payload Too Large", ParseReply(read.Bytes)));
  }
  // With 100-continue the refusal comes instead of the interim line.
  EXPECT_EQ(Reply("POST /record HTTP/1.1\r\nHost: x\r\nExpect: 100-continue\r\nContent-Length: 2000000\r\n\r\n").Status,
            413);
  // Chunks adding up to more than the limit.
  const std::string chunk(512 * 1024, 'c');
  std::string chunked = "POST /record HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n";
  chunked += "80000\r\n" + chunk + "\r\n80000\r\n" + chunk + "\r\n1\r\nc\r\n0\r\n\r\n";
  EXPECT_EQ(Reply(chunked).Status, 413);
  EXPECT_EQ(Reply("POST /record HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\nFFFFFFFFFFFFFFFFFFFF\r\n").Status,
            413);
  EXPECT_TRUE(Routes.Recorded().empty());
  // Exactly the limit is accepted.
  EXPECT_EQ(Reply("POST /record HTTP/1.1\r\nHost: x\r\nContent-Length: " + limit + "\r\n\r\n" +
                  std::string(1024 * 1024, 'd'))
                .Status,
            200);
  ASSERT_TRUE(Routes.Last());
  EXPECT_EQ(Routes.Last()->Content.size(), 1024u * 1024u);
}

// ---- Responses ------------------------------------------------------------------------

TEST_F(HTTPService, EmptyRouteResponseBytes) {
  const TClientRead read = Send("GET /record HTTP/1.1\r\nHost: x\r\n\r\n");
  const THTTPReply reply = ParseReply(read.Bytes);
  ASSERT_TRUE(reply.Valid);
  EXPECT_TRUE(std::regex_match(reply.Header("Date"), kDatePattern)) << reply.Header("Date");
  EXPECT_EQ(read.Bytes, HeaderOnlyBytes(200, "OK", reply));
  // A request no route took goes out unchanged: 200, no content.
  EXPECT_EQ(Send("GET /nothing HTTP/1.0\r\n\r\n").Bytes, HeaderOnlyBytes(200, "OK", reply));
}

TEST_F(HTTPService, TextBodyGoesOutInIso88591WithItsHeadersInOrder) {
  const THTTPReply reply = Reply("GET /text HTTP/1.1\r\nHost: x\r\n\r\n");
  ASSERT_TRUE(reply.Valid);
  ASSERT_EQ(reply.Headers.size(), 4u);
  EXPECT_EQ(reply.Headers[0], (std::pair<std::string, std::string>("Connection", "close")));
  EXPECT_EQ(reply.Headers[1], (std::pair<std::string, std::string>("Content-Type", "text/html; charset=ISO-8859-1")));
  EXPECT_EQ(reply.Headers[2], (std::pair<std::string, std::string>("Content-Length", "6")));
  EXPECT_EQ(reply.Headers[3].first, "Date");
  EXPECT_EQ(reply.Body, "caf\xE9 ?");
}

TEST_F(HTTPService, StreamGoesOutWholeWhateverItsPosition) {
  const THTTPReply reply = Reply("GET /stream HTTP/1.0\r\n\r\n");
  EXPECT_EQ(reply.Header("Content-Type"), "application/octet-stream");
  EXPECT_EQ(reply.Header("Content-Length"), "3");
  EXPECT_EQ(reply.Body, std::string("\x00\x01\xff", 3));
  const TClientRead head = Send("HEAD /stream HTTP/1.0\r\n\r\n");
  EXPECT_EQ(ParseReply(head.Bytes).Header("Content-Length"), "3");
  EXPECT_EQ(ParseReply(head.Bytes).Body, "");
}

TEST_F(HTTPService, FailingRouteGetsTheErrorPage) {
  const THTTPReply reply = Reply("GET /fail HTTP/1.0\r\n\r\n");
  EXPECT_EQ(reply.StatusLine, "HTTP/1.1 500 Internal Server Error");
  EXPECT_EQ(reply.Header("Content-Type"), "text/html; charset=ISO-8859-1");
  EXPECT_NE(reply.Body.find("route failed"), std::string::npos);
  EXPECT_EQ(reply.Header("Content-Length"), std::to_string(reply.Body.size()));
}

TEST(HTTPServiceConcurrent, BusyPoolGets500WithTheMessage) {
  TTestRoutes routes;
  TTestService service(routes);
  service.Handler().SetMaxConnections(1);
  service.Start();
  TTestClient blocked(service.Port());
  blocked.Send("GET /block HTTP/1.0\r\n\r\n");
  ASSERT_TRUE(routes.WaitForBlocked(1));

  const TClientRead read = Exchange(service.Port(), "GET /record HTTP/1.0\r\n\r\n");
  const THTTPReply reply = ParseReply(read.Bytes);
  const std::string message = "Maximum number of concurrent connections exceeded.  Please try again later";
  EXPECT_EQ(read.Bytes, "HTTP/1.1 500 Internal Server Error\r\nConnection: close\r\n"
                        "Content-Type: text/html; charset=ISO-8859-1\r\nContent-Length: " +
                            std::to_string(message.size()) + "\r\nDate: " + reply.Header("Date") + "\r\n\r\n" +
                            message);
  routes.OpenGate();
  EXPECT_EQ(ParseReply(blocked.ReadAll().Bytes).Status, 200);
}

// ---- The page -------------------------------------------------------------------------

TEST(HTTPServicePage, HeadGetsThePageLengthWithoutBody) {
  TTestRoutes routes;
  TTestService service(routes, MainPageModuleClass());
  service.Start();
  const THTTPReply get = ParseReply(Exchange(service.Port(), "GET / HTTP/1.1\r\nHost: x\r\n\r\n").Bytes);
  ASSERT_EQ(get.Status, 200);
  EXPECT_EQ(get.Header("Content-Type"), "text/html; charset=ISO-8859-1");
  ASSERT_FALSE(get.Body.empty());
  EXPECT_EQ(get.Header("Content-Length"), std::to_string(get.Body.size()));
  const TClientRead head = Exchange(service.Port(), "HEAD / HTTP/1.1\r\nHost: x\r\n\r\n");
  const THTTPReply headReply = ParseReply(head.Bytes);
  EXPECT_EQ(headReply.Status, 200);
  EXPECT_EQ(headReply.Header("Content-Length"), get.Header("Content-Length"));
  EXPECT_EQ(headReply.Body, "");
}

// ---- Stop -----------------------------------------------------------------------------

TEST_F(HTTPService, SilentConnectionIsHeldUntilStop) {
  TTestClient client(Port());
  for (int i = 0; i < 500 && Service.Server().ConnectionCount() == 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_EQ(Service.Server().ConnectionCount(), 1);
  EXPECT_FALSE(client.ReadAll(std::chrono::milliseconds(50)).Closed);
  Service.Server().SetActive(false);
  EXPECT_EQ(Service.Server().ConnectionCount(), 0);
  const TClientRead read = client.ReadAll();
  EXPECT_TRUE(read.Closed);
  EXPECT_EQ(read.Bytes, "");
}

TEST(HTTPServiceConcurrent, StopWithManyIdleConnectionsLeavesNoThread) {
  // A sanitizer's runtime may start a helper thread of its own with the first thread the
  // process makes; one started and joined here leaves only the service's threads to count.
  std::thread([] {}).join();
  const int threadsBefore = ProcessThreadCount();
  ASSERT_GT(threadsBefore, 0) << "the system does not tell the thread count";
  TTestRoutes routes;
  TTestService service(routes);
  service.Start();
  std::vector<std::unique_ptr<TTestClient>> clients;
  // In batches that fit the listen queue, so no connect waits for a retried handshake.
  for (int batch = 0; batch < 20; ++batch) {
    for (int i = 0; i < 10; ++i) clients.push_back(std::make_unique<TTestClient>(service.Port()));
    ASSERT_TRUE(WaitUntil([&] { return service.Server().ConnectionCount() == static_cast<int>(clients.size()); }))
        << service.Server().ConnectionCount() << " of " << clients.size() << " connections taken";
  }
  clients.front()->Send("POST /record HTTP/1.1\r\nHost: x\r\nContent-Length: 100\r\n\r\nhalf");
  service.Server().SetActive(false);
  EXPECT_FALSE(service.Server().Active());
  EXPECT_EQ(service.Server().ConnectionCount(), 0);
  // A joined thread may linger in the system's list for a moment.
  EXPECT_TRUE(WaitUntil([&] { return ProcessThreadCount() == threadsBefore; }))
      << ProcessThreadCount() << " threads, " << threadsBefore << " before the service";
  for (auto& client : clients) EXPECT_TRUE(client->ReadAll().Closed);
  EXPECT_TRUE(routes.Recorded().empty());
}

TEST(HTTPServiceConcurrent, RunningRouteCompletesWhenStopped) {
  TTestRoutes routes;
  TTestService service(routes);
  service.Start();
  TTestClient client(service.Port());
  client.Send("GET /block HTTP/1.0\r\n\r\n");
  ASSERT_TRUE(routes.WaitForBlocked(1));
  std::atomic<bool> stopped{false};
  std::atomic<int> inRouteWhenStopped{-1};
  std::thread stopper([&] {
    service.Server().SetActive(false);
    inRouteWhenStopped = routes.InGate();
    stopped = true;
  });
  // The stop cuts the connection off first; the route's write then fails without a word.
  EXPECT_EQ(client.ReadAll().Bytes, "");
  // A stop that did not wait for the route would return now: it is given the time to.
  WaitUntil([&] { return stopped.load(); }, std::chrono::milliseconds(200));
  routes.OpenGate();
  stopper.join();
  EXPECT_EQ(inRouteWhenStopped, 0) << "the stop returned while the route still ran";
}

TEST(HTTPServiceConcurrent, ParallelClientsAreAllServed) {
  TTestRoutes routes;
  TTestService service(routes);
  service.Start();
  constexpr int kClients = 8;
  constexpr int kRequests = 25;
  std::atomic<int> ok{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kClients; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < kRequests; ++i) {
        const std::string request = "GET /record?c=" + std::to_string(t) + " HTTP/1.1\r\nHost: x\r\n\r\n";
        if (ParseReply(Exchange(service.Port(), request).Bytes).Status == 200) ++ok;
      }
    });
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(ok, kClients * kRequests);
  EXPECT_EQ(routes.Recorded().size(), static_cast<std::size_t>(kClients * kRequests));
}

// One request as a client that may find the service gone: true when a whole 200 came back.
// A client that leaves mid-request sends the request line only and closes at once.
bool RequestOrLeave(std::uint16_t APort, bool ALeave) {
  TSocket socket = TSocket::Open(TIPVersion::IPv4);
  if (!socket.Connect("127.0.0.1", APort)) return false;
  if (ALeave) {
    socket.SendAll("GET /record HTTP/1.0\r\n");
    return false;
  }
  if (!socket.SendAll("GET /record HTTP/1.0\r\n\r\n")) return false;
  std::string bytes;
  char buffer[1024];
  for (std::ptrdiff_t got; (got = socket.Receive(buffer, sizeof buffer)) > 0;) bytes.append(buffer, static_cast<std::size_t>(got));
  return ParseReply(bytes).Status == 200;
}

// Connections end in every order: a finished one's thread joins those that finished before
// it while its own socket is closed and a later thread may already be tearing it down,
// clients leave mid-request, and a stop cuts in while requests are in flight. Under the
// sanitizers this catches a connection that is destroyed while its thread still uses it.
TEST(HTTPServiceConcurrent, ConnectionsEndingInAnyOrderAndAStopCuttingInTearDownCleanly) {
  TTestRoutes routes;
  TTestService service(routes);
  for (int round = 0; round < 4; ++round) {
    service.Start();
    const std::uint16_t port = service.Port();
    std::atomic<bool> stopping{false};
    std::atomic<int> answered{0};
    std::vector<std::thread> clients;
    for (int c = 0; c < 4; ++c)
      clients.emplace_back([&, c] {
        for (int i = 0; !stopping; ++i)
          if (RequestOrLeave(port, (i + c) % 3 == 0)) ++answered;
      });
    for (int i = 0; i < 10000 && answered < 40; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_GE(answered, 40) << "round " << round;
    service.Server().SetActive(false);
    stopping = true;
    for (auto& client : clients) client.join();
    EXPECT_EQ(service.Server().ConnectionCount(), 0);
    EXPECT_EQ(service.Server().UnjoinedThreadCount(), 0);
  }
}

TEST(HTTPServiceConcurrent, ConnectionLimitRefusesTheExtraConnection) {
  TTestRoutes routes;
  TTestService service(routes);
  service.Server().SetMaxConnections(1);
  service.Start();
  TTestClient first(service.Port());
  for (int i = 0; i < 500 && service.Server().ConnectionCount() == 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  const TClientRead refused = Exchange(service.Port(), "GET /record HTTP/1.0\r\n\r\n");
  EXPECT_TRUE(refused.Closed);
  EXPECT_EQ(refused.Bytes, "");
  first.Send("GET /record HTTP/1.0\r\n\r\n");
  EXPECT_EQ(ParseReply(first.ReadAll().Bytes).Status, 200);
}

}  // namespace
