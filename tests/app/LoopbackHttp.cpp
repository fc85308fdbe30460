#include "tests/app/LoopbackHttp.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "web/uHTTPWebBrokerBridge.h"

namespace {

int ConnectLoopback(int port) {
  const int s = ::socket(AF_INET, SOCK_STREAM, 0);
  if (s < 0) return -1;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    ::close(s);
    return -1;
  }
  return s;
}

}  // namespace

std::string LoopbackGet(int APort, const std::string& APath) {
  const int s = ConnectLoopback(APort);
  if (s < 0) return {};
  const std::string request = "GET " + APath + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
  std::string response;
  if (::send(s, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size())) {
    char buffer[4096];
    for (ssize_t n; (n = ::recv(s, buffer, sizeof buffer, 0)) > 0;) response.append(buffer, n);
  }
  ::close(s);
  return response;
}

bool LoopbackConnects(int APort) {
  const int s = ConnectLoopback(APort);
  if (s >= 0) ::close(s);
  return s >= 0;
}

TLoopbackConnection::TLoopbackConnection(int APort) : FSocket(ConnectLoopback(APort)) {}

TLoopbackConnection::~TLoopbackConnection() {
  if (FSocket >= 0) ::close(FSocket);
}
