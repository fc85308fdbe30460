#include "tests/web/HTTPTestSupport.h"

#include <gtest/gtest.h>


#include "base/uText.h"

using namespace std::chrono;

TTestClient::TTestClient(std::uint16_t APort, TIPVersion AVersion) : FSocket(TSocket::Open(AVersion)) {
  FConnected = FSocket.Connect(AVersion == TIPVersion::IPv4 ? "127.0.0.1" : "::1", APort);
  EXPECT_TRUE(FConnected) << "cannot connect to port " << APort;
}

TClientRead TTestClient::ReadAll(milliseconds ATimeout) {
  TClientRead result;
  result.Bytes = std::move(FPending);
  FPending.clear();
  const auto deadline = steady_clock::now() + ATimeout;
  char buffer[16384];
  for (;;) {
    const auto left = duration_cast<milliseconds>(deadline - steady_clock::now()).count();
    if (left <= 0 || !FSocket.WaitReadable(static_cast<int>(left))) return result;
    const std::ptrdiff_t got = FSocket.Receive(buffer, sizeof buffer);
    if (got <= 0) {
      result.Closed = true;
      return result;
    }
    result.Bytes.append(buffer, static_cast<std::size_t>(got));
  }
}

std::string TTestClient::ReadUntil(std::string_view AMarker, milliseconds ATimeout) {
  const auto deadline = steady_clock::now() + ATimeout;
  char buffer[4096];
  while (FPending.find(AMarker) == std::string::npos) {
    const auto left = duration_cast<milliseconds>(deadline - steady_clock::now()).count();
    if (left <= 0 || !FSocket.WaitReadable(static_cast<int>(left))) break;
    const std::ptrdiff_t got = FSocket.Receive(buffer, sizeof buffer);
    if (got <= 0) break;
    FPending.append(buffer, static_cast<std::size_t>(got));
  }
  const std::size_t at = FPending.find(AMarker);
  const std::size_t end = at == std::string::npos ? FPending.size() : at + AMarker.size();
  std::string result = FPending.substr(0, end);
  FPending.erase(0, end);
  return result;
}

TClientRead Exchange(std::uint16_t APort, std::string_view ARequest, TIPVersion AVersion) {
  TTestClient client(APort, AVersion);
  if (!client.Connected()) return {};
  client.Send(ARequest);
  return client.ReadAll();
}

std::string THTTPReply::Header(std::string_view AName) const {
  for (const auto& [name, value] : Headers)
    if (SameTextBytes(name, AName)) return value;
  return {};
}

THTTPReply ParseReply(const std::string& ABytes) {
  THTTPReply reply;
  const std::size_t end = ABytes.find("\r\n\r\n");
  if (end == std::string::npos) return reply;
  std::size_t pos = ABytes.find("\r\n");
  reply.StatusLine = ABytes.substr(0, pos);
  if (reply.StatusLine.size() < 12 || reply.StatusLine.rfind("HTTP/1.1 ", 0) != 0) return reply;
  reply.Status = std::stoi(reply.StatusLine.substr(9, 3));
  while (pos < end) {
    const std::size_t next = ABytes.find("\r\n", pos + 2);
    const std::string line = ABytes.substr(pos + 2, next - pos - 2);
    const std::size_t colon = line.find(": ");
    if (colon == std::string::npos) return reply;
    reply.Headers.emplace_back(line.substr(0, colon), line.substr(colon + 2));
    pos = next;
  }
  reply.Body = ABytes.substr(end + 4);
  reply.Valid = true;
  return reply;
}

void TTestRoutes::Record(const TRecordedRequest& ARequest) {
  std::lock_guard lock(FLock);
  FRecorded.push_back(ARequest);
}

std::vector<TRecordedRequest> TTestRoutes::Recorded() const {
  std::lock_guard lock(FLock);
  return FRecorded;
}

std::optional<TRecordedRequest> TTestRoutes::Last() const {
  std::lock_guard lock(FLock);
  if (FRecorded.empty()) return std::nullopt;
  return FRecorded.back();
}

void TTestRoutes::OpenGate() {
  std::lock_guard lock(FLock);
  FGateOpen = true;
  FChanged.notify_all();
}

void TTestRoutes::WaitInGate() {
  std::unique_lock lock(FLock);
  ++FBlocked;
  FChanged.notify_all();
  FChanged.wait(lock, [this] { return FGateOpen; });
  --FBlocked;
}

bool TTestRoutes::WaitForBlocked(int ACount) {
  std::unique_lock lock(FLock);
  return FChanged.wait_for(lock, seconds(10), [&] { return FBlocked >= ACount; });
}

int TTestRoutes::InGate() const {
  std::lock_guard lock(FLock);
  return FBlocked;
}

namespace {

class TTestModule : public TWebModule {
 public:
  explicit TTestModule(TTestRoutes& ARoutes) {
    Add(u"record", [&ARoutes](TWebRequest& request, TWebResponse&) {
      TRecordedRequest r{request.Method(), request.PathInfo(), request.Query(), request.ContentType(),
                         request.Content(), request.ContentLength(), request.GetFieldByName("Host")};
      ARoutes.Record(r);
    });
    Add(u"text", [](TWebRequest&, TWebResponse& response) { response.SetContent(u"caf\u00e9 \u20ac"); });
    Add(u"stream", [](TWebRequest&, TWebResponse& response) {
      response.SetContentType(u"application/octet-stream");
      auto stream = std::make_unique<TMemoryStream>(std::string("\x00\x01\xff", 3));
      stream->SetPosition(2);
      response.SetContentStream(std::move(stream));
    });
    Add(u"block", [&ARoutes](TWebRequest&, TWebResponse&) { ARoutes.WaitInGate(); });
    Add(u"fail", [](TWebRequest&, TWebResponse&) -> void { throw Exception(u"route failed"); });
  }

 private:
  void Add(const std::u16string& name, std::function<void(TWebRequest&, TWebResponse&)> body) {
    TWebActionItem& item = Actions().Add();
    item.SetName(name);
    item.SetPathInfo(u"/" + name);
    item.SetOnAction([body = std::move(body)](TWebActionItem&, TWebRequest& request, TWebResponse& response,
                                              bool&) { body(request, response); });
  }
};

}  // namespace

std::unique_ptr<TWebModule> MakeTestModule(TTestRoutes& ARoutes) { return std::make_unique<TTestModule>(ARoutes); }

TTestService::TTestService(TTestRoutes& ARoutes, TWebModuleClass AModuleClass)
    : FServer(std::make_unique<TIdHTTPWebBrokerBridge>(&FHandler)) {
  if (!AModuleClass) AModuleClass = [&ARoutes] { return MakeTestModule(ARoutes); };
  FHandler.SetWebModuleClass(std::move(AModuleClass));
  FServer->SetDefaultPort(0);
}

TTestService::~TTestService() { FServer.reset(); }

void TTestService::Start() {
  FServer->SetActive(true);
  ASSERT_TRUE(FServer->Active());
}

std::uint16_t TTestService::Port(TIdIPVersion AVersion) const {
  for (int i = 0; i < FServer->Bindings().Count(); ++i)
    if (FServer->Bindings().Items(i).IPVersion() == AVersion) return FServer->Bindings().Items(i).BoundPort();
  return 0;
}
