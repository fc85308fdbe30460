#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

#include "tests/support/LoopbackClient.h"

using namespace std::chrono;

TLoopbackClient::TLoopbackClient(std::uint16_t APort, TOptions AOptions) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return;
  const int on = 1;
  if (AOptions.NoDelay) ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  // Before the connect, so the window the client offers is small from the start.
  if (AOptions.ReceiveBuffer > 0)
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &AOptions.ReceiveBuffer, sizeof AOptions.ReceiveBuffer);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(APort);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int rc;
  do {
    rc = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    ::close(fd);
    return;
  }
  FFd = fd;
}

TLoopbackClient::~TLoopbackClient() { Close(); }

TLoopbackClient::TLoopbackClient(TLoopbackClient&& AOther) noexcept : FFd(std::exchange(AOther.FFd, -1)) {}

TLoopbackClient& TLoopbackClient::operator=(TLoopbackClient&& AOther) noexcept {
  if (this != &AOther) {
    Close();
    FFd = std::exchange(AOther.FFd, -1);
  }
  return *this;
}

bool TLoopbackClient::Send(std::string_view ABytes) {
  if (FFd < 0) return false;
  while (!ABytes.empty()) {
    const ssize_t sent = ::send(FFd, ABytes.data(), ABytes.size(), MSG_NOSIGNAL);
    if (sent < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    ABytes.remove_prefix(static_cast<std::size_t>(sent));
  }
  return true;
}

bool TLoopbackClient::SendBytewise(std::string_view ABytes) {
  for (std::size_t i = 0; i < ABytes.size(); ++i)
    if (!Send(ABytes.substr(i, 1))) return false;
  return true;
}

void TLoopbackClient::ShutdownSend() {
  if (FFd >= 0) ::shutdown(FFd, SHUT_WR);
}

TLoopbackRead TLoopbackClient::Read(milliseconds ATimeout, std::size_t ALimit) {
  TLoopbackRead result;
  if (FFd < 0) {
    result.Closed = true;
    return result;
  }
  const auto deadline = steady_clock::now() + ATimeout;
  char buffer[16384];
  while (result.Bytes.size() < ALimit) {
    // A time of 0 still looks once at what has arrived.
    const auto left = std::max<std::int64_t>(0, duration_cast<milliseconds>(deadline - steady_clock::now()).count());
    pollfd p{FFd, POLLIN, 0};
    const int ready = ::poll(&p, 1, static_cast<int>(left));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return result;
    const std::size_t want = std::min(sizeof buffer, ALimit - result.Bytes.size());
    const ssize_t got = ::recv(FFd, buffer, want, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      result.Closed = true;
      return result;
    }
    result.Bytes.append(buffer, static_cast<std::size_t>(got));
  }
  return result;
}

void TLoopbackClient::Reset() {
  if (FFd < 0) return;
  const linger immediate{1, 0};
  ::setsockopt(FFd, SOL_SOCKET, SO_LINGER, &immediate, sizeof immediate);
  Close();
}

void TLoopbackClient::Close() {
  if (FFd >= 0) ::close(FFd);
  FFd = -1;
}
