#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "base/uSockets.h"
#include "base/uText.h"

namespace {

int Fd(std::intptr_t handle) { return static_cast<int>(handle); }

// Fills a socket address of the given version; false when the text is not an address.
bool MakeAddress(TIPVersion version, std::string_view text, std::uint16_t port, sockaddr_storage& out,
                 socklen_t& length) {
  std::memset(&out, 0, sizeof out);
  const std::string address(text);
  if (version == TIPVersion::IPv4) {
    auto& a = reinterpret_cast<sockaddr_in&>(out);
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_ANY);
    if (!address.empty() && inet_pton(AF_INET, address.c_str(), &a.sin_addr) != 1) return false;
    length = sizeof a;
  } else {
    auto& a = reinterpret_cast<sockaddr_in6&>(out);
    a.sin6_family = AF_INET6;
    a.sin6_port = htons(port);
    a.sin6_addr = in6addr_any;
    if (!address.empty() && inet_pton(AF_INET6, address.c_str(), &a.sin6_addr) != 1) return false;
    length = sizeof a;
  }
  return true;
}

}  // namespace

bool IPv6Supported() {
  const int fd = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

TSocket::~TSocket() { Close(); }

TSocket::TSocket(TSocket&& AOther) noexcept : FHandle(AOther.FHandle), FVersion(AOther.FVersion) {
  AOther.FHandle = kInvalid;
}

TSocket& TSocket::operator=(TSocket&& AOther) noexcept {
  if (this != &AOther) {
    Close();
    FHandle = AOther.FHandle;
    FVersion = AOther.FVersion;
    AOther.FHandle = kInvalid;
  }
  return *this;
}

TSocket TSocket::Open(TIPVersion AVersion) {
  const int fd = ::socket(AVersion == TIPVersion::IPv4 ? AF_INET : AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw ESocketError(Utf8ToUtf16(std::strerror(errno)));
  TSocket socket(fd, AVersion);
  const int on = 1;
  if (AVersion == TIPVersion::IPv6) ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
  // Lets a new listener bind while connections of the previous one linger in TIME_WAIT;
  // Linux still refuses the bind while another socket listens on the port.
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  return socket;
}

bool TSocket::IsOpen() const noexcept { return FHandle != kInvalid; }

bool TSocket::Bind(std::string_view AAddress, std::uint16_t APort) {
  sockaddr_storage address;
  socklen_t length = 0;
  if (!IsOpen() || !MakeAddress(FVersion, AAddress, APort, address, length)) return false;
  return ::bind(Fd(FHandle), reinterpret_cast<sockaddr*>(&address), length) == 0;
}

std::uint16_t TSocket::LocalPort() const {
  sockaddr_storage address;
  socklen_t length = sizeof address;
  if (!IsOpen() || ::getsockname(Fd(FHandle), reinterpret_cast<sockaddr*>(&address), &length) != 0) return 0;
  if (address.ss_family == AF_INET) return ntohs(reinterpret_cast<sockaddr_in&>(address).sin_port);
  if (address.ss_family == AF_INET6) return ntohs(reinterpret_cast<sockaddr_in6&>(address).sin6_port);
  return 0;
}

std::string TSocket::PeerAddress() const {
  sockaddr_storage address;
  socklen_t length = sizeof address;
  if (!IsOpen() || ::getpeername(Fd(FHandle), reinterpret_cast<sockaddr*>(&address), &length) != 0) return {};
  char text[INET6_ADDRSTRLEN] = {};
  if (address.ss_family == AF_INET) {
    auto& a = reinterpret_cast<sockaddr_in&>(address);
    if (!::inet_ntop(AF_INET, &a.sin_addr, text, sizeof text)) return {};
    return text;
  }
  if (address.ss_family == AF_INET6) {
    auto& a = reinterpret_cast<sockaddr_in6&>(address);
    if (IN6_IS_ADDR_V4MAPPED(&a.sin6_addr)) {
      if (!::inet_ntop(AF_INET, &a.sin6_addr.s6_addr[12], text, sizeof text)) return {};
    } else if (!::inet_ntop(AF_INET6, &a.sin6_addr, text, sizeof text)) {
      return {};
    }
    return text;
  }
  return {};
}

bool TSocket::Listen(int ABacklog) { return IsOpen() && ::listen(Fd(FHandle), ABacklog) == 0; }

TSocket TSocket::Accept() {
  if (!IsOpen()) return {};
  for (;;) {
    const int fd = ::accept4(Fd(FHandle), nullptr, nullptr, SOCK_CLOEXEC);
    if (fd >= 0) return TSocket(fd, FVersion);
    if (errno != EINTR) return {};
  }
}

bool TSocket::Connect(std::string_view AAddress, std::uint16_t APort) {
  sockaddr_storage address;
  socklen_t length = 0;
  if (!IsOpen() || !MakeAddress(FVersion, AAddress, APort, address, length)) return false;
  for (;;) {
    if (::connect(Fd(FHandle), reinterpret_cast<sockaddr*>(&address), length) == 0) return true;
    if (errno != EINTR) return false;
  }
}

bool TSocket::SendAll(std::string_view ABytes) {
  if (!IsOpen()) return false;
  while (!ABytes.empty()) {
    // MSG_NOSIGNAL: a peer that has gone away is a failed send, not a SIGPIPE.
    const ssize_t sent = ::send(Fd(FHandle), ABytes.data(), ABytes.size(), MSG_NOSIGNAL);
    if (sent < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    ABytes.remove_prefix(static_cast<std::size_t>(sent));
  }
  return true;
}

std::ptrdiff_t TSocket::Receive(char* ABuffer, std::size_t ASize) {
  if (!IsOpen()) return -1;
  for (;;) {
    const ssize_t got = ::recv(Fd(FHandle), ABuffer, ASize, 0);
    if (got >= 0) return got;
    if (errno != EINTR) return -1;
  }
}

bool TSocket::WaitReadable(int AMilliseconds) {
  if (!IsOpen()) return false;
  pollfd p{Fd(FHandle), POLLIN, 0};
  for (;;) {
    const int rc = ::poll(&p, 1, AMilliseconds);
    if (rc >= 0) return rc > 0;
    if (errno != EINTR) return false;
  }
}

void TSocket::Shutdown() noexcept {
  if (IsOpen()) ::shutdown(Fd(FHandle), SHUT_RDWR);
}

void TSocket::ShutdownSend() noexcept {
  if (IsOpen()) ::shutdown(Fd(FHandle), SHUT_WR);
}

void TSocket::Close() noexcept {
  if (!IsOpen()) return;
  ::close(Fd(FHandle));
  FHandle = kInvalid;
}
