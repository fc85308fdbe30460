#pragma once
// A tiny HTTP client on 127.0.0.1 for the window tests, and the port the service bound.

#include <string>

class TIdHTTPWebBrokerBridge;

// The port of the service's first IPv4 binding while it is active (0 when there is none).
int BoundIPv4Port(const TIdHTTPWebBrokerBridge& AServer);

// Sends "GET <path>" over a new connection and returns everything until the server closes.
std::string LoopbackGet(int APort, const std::string& APath);
// Whether a connection to the port is accepted.
bool LoopbackConnects(int APort);

// A connection that stays open and silent until destroyed.
class TLoopbackConnection {
 public:
  explicit TLoopbackConnection(int APort);
  ~TLoopbackConnection();
  TLoopbackConnection(const TLoopbackConnection&) = delete;
  TLoopbackConnection& operator=(const TLoopbackConnection&) = delete;
  bool Connected() const { return FSocket >= 0; }

 private:
  int FSocket = -1;
};
