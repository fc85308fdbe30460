#pragma once
// Test helpers for the HTTP service: a loopback client, reply parsing, and a web module
// whose routes record what the service built, block on a gate, or fail.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/uSockets.h"
#include "web/uHTTPWebBrokerBridge.h"
#include "web/uWebRequestHandler.h"

// What a client read from one connection.
struct TClientRead {
  std::string Bytes;
  bool Closed = false;  // the server closed the connection (as opposed to a timeout)
};

class TTestClient {
 public:
  // Connects to the loopback address of the version; fails the test when it cannot.
  TTestClient(std::uint16_t APort, TIPVersion AVersion = TIPVersion::IPv4);
  bool Connected() const { return FSocket.IsOpen() && FConnected; }
  bool Send(std::string_view ABytes) { return FSocket.SendAll(ABytes); }
  // Reads until the server closes or ATimeout passes without the close.
  TClientRead ReadAll(std::chrono::milliseconds ATimeout = std::chrono::seconds(5));
  // Reads until AMarker has arrived (or the close, or the timeout); returns what came.
  std::string ReadUntil(std::string_view AMarker, std::chrono::milliseconds ATimeout = std::chrono::seconds(5));
  void ShutdownSend() { FSocket.ShutdownSend(); }

 private:
  TSocket FSocket;
  bool FConnected = false;
  std::string FPending;  // read by ReadUntil beyond what it returned
};

// One request on a fresh connection: sends it, reads until the server closes.
TClientRead Exchange(std::uint16_t APort, std::string_view ARequest, TIPVersion AVersion = TIPVersion::IPv4);

struct THTTPReply {
  bool Valid = false;
  std::string StatusLine;
  int Status = 0;
  std::vector<std::pair<std::string, std::string>> Headers;  // in order
  std::string Body;
  std::string Header(std::string_view AName) const;
};
THTTPReply ParseReply(const std::string& ABytes);

// What the recording route saw.
struct TRecordedRequest {
  std::u16string Method, PathInfo, Query, ContentType;
  std::string Content;
  std::int32_t ContentLength = 0;
  std::string Host;
};

// State shared by every instance of the test module.
class TTestRoutes {
 public:
  void Record(const TRecordedRequest& ARequest);
  std::vector<TRecordedRequest> Recorded() const;
  std::optional<TRecordedRequest> Last() const;

  // "/block" waits in its route until the gate opens.
  void OpenGate();
  void WaitInGate();
  // Waits until ACount routes are waiting in the gate; false after a few seconds.
  bool WaitForBlocked(int ACount);
  // How many routes wait in the gate now.
  int InGate() const;

 private:
  mutable std::mutex FLock;
  std::condition_variable FChanged;
  std::vector<TRecordedRequest> FRecorded;
  bool FGateOpen = false;
  int FBlocked = 0;
};

// Routes: "/record" records and leaves the response empty; "/text" answers a text with
// characters outside ISO-8859-1; "/stream" a stream; "/block" waits in the gate; "/fail"
// raises. Every other path gets an empty response.
std::unique_ptr<TWebModule> MakeTestModule(TTestRoutes& ARoutes);

// A service on port 0 of every loopback address, dispatching to its own request handler.
class TTestService {
 public:
  // With a null module class, the test module of ARoutes is registered.
  explicit TTestService(TTestRoutes& ARoutes, TWebModuleClass AModuleClass = {});
  ~TTestService();
  TWebRequestHandler& Handler() { return FHandler; }
  TIdHTTPWebBrokerBridge& Server() { return *FServer; }
  void Start();
  // The bound port of the first binding of the version; 0 when there is none.
  std::uint16_t Port(TIdIPVersion AVersion = Id_IPv4) const;

 private:
  TWebRequestHandler FHandler;
  std::unique_ptr<TIdHTTPWebBrokerBridge> FServer;
};
