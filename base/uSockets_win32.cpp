// Winsock 2. Two things differ from POSIX sockets and are handled here: a shutdown from
// another thread neither fails a listener's accept nor reliably wakes a blocked receive or
// send, so blocking waits run in short slices that look for a shutdown; and SO_REUSEADDR would let
// another program take over a port we listen on, so the listener binds exclusively.

// winsock2.h must come before windows.h.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <set>
#include <string>

#include "base/uSockets.h"
#include "base/uSystem_win32.h"

namespace {

// One reference on the network stack for the whole process, taken on first use and kept to
// the end: connection threads may still use sockets while static objects are destroyed.
bool WinsockStarted() {
  static const bool started = [] {
    WSADATA data;
    return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return started;
}

SOCKET Sock(std::intptr_t handle) { return static_cast<SOCKET>(handle); }

// The sockets that Shutdown was called on and that their owner has not closed yet.
std::mutex gShutLock;
std::set<SOCKET>& ShutDown() {
  static std::set<SOCKET>& sockets = *new std::set<SOCKET>;
  return sockets;
}

bool IsShutDown(SOCKET s) {
  std::lock_guard lock(gShutLock);
  return ShutDown().count(s) != 0;
}

// How long one slice of a blocking wait lasts before it looks for a shutdown again.
constexpr int kSliceMilliseconds = 100;
constexpr std::size_t kSendPiece = 64 * 1024;

// Ready within AMilliseconds (-1: without limit) for reading (or closed by the peer, or
// failed), or for writing. False at once, and for good, after Shutdown.
bool WaitFor(SOCKET s, int AMilliseconds, bool AWrite) {
  for (;;) {
    if (IsShutDown(s)) return false;
    const int slice = AMilliseconds < 0 ? kSliceMilliseconds : std::min(AMilliseconds, kSliceMilliseconds);
    fd_set ready, failed;
    FD_ZERO(&ready);
    FD_SET(s, &ready);
    FD_ZERO(&failed);
    FD_SET(s, &failed);
    timeval timeout{slice / 1000, (slice % 1000) * 1000};
    const int rc = AWrite ? ::select(0, nullptr, &ready, &failed, &timeout) : ::select(0, &ready, nullptr, nullptr, &timeout);
    if (rc > 0) return !IsShutDown(s);
    if (rc < 0) return true;  // the call that follows reports the failure
    if (AMilliseconds >= 0 && (AMilliseconds -= slice) <= 0) return false;
  }
}

bool MakeAddress(TIPVersion version, std::string_view text, std::uint16_t port, sockaddr_storage& out,
                 int& length) {
  std::memset(&out, 0, sizeof out);
  const std::string address(text);
  if (version == TIPVersion::IPv4) {
    auto& a = reinterpret_cast<sockaddr_in&>(out);
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_ANY);
    if (!address.empty() && ::inet_pton(AF_INET, address.c_str(), &a.sin_addr) != 1) return false;
    length = sizeof a;
  } else {
    auto& a = reinterpret_cast<sockaddr_in6&>(out);
    a.sin6_family = AF_INET6;
    a.sin6_port = htons(port);
    a.sin6_addr = in6addr_any;
    if (!address.empty() && ::inet_pton(AF_INET6, address.c_str(), &a.sin6_addr) != 1) return false;
    length = sizeof a;
  }
  return true;
}

SOCKET NewSocket(int AFamily) {
  return ::WSASocketW(AFamily, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
}

// A listener's accept waits for a connection, and a shutdown is none: a connection of our
// own wakes the waiting thread at once, which then sees the shutdown and accepts nothing.
void WakeListener(SOCKET AListener) {
  BOOL listening = FALSE;
  int size = sizeof listening;
  if (::getsockopt(AListener, SOL_SOCKET, SO_ACCEPTCONN, reinterpret_cast<char*>(&listening), &size) != 0 ||
      !listening)
    return;
  sockaddr_storage address;
  int length = sizeof address;
  if (::getsockname(AListener, reinterpret_cast<sockaddr*>(&address), &length) != 0) return;
  if (address.ss_family == AF_INET) {
    auto& a = reinterpret_cast<sockaddr_in&>(address);
    if (a.sin_addr.s_addr == htonl(INADDR_ANY)) a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  } else if (address.ss_family == AF_INET6) {
    auto& a = reinterpret_cast<sockaddr_in6&>(address);
    if (IN6_IS_ADDR_UNSPECIFIED(&a.sin6_addr)) a.sin6_addr = in6addr_loopback;
  } else {
    return;
  }
  const SOCKET waker = NewSocket(address.ss_family);
  if (waker == INVALID_SOCKET) return;
  // Without blocking: the connection need only reach the listener's queue, never be used.
  u_long nonBlocking = 1;
  ::ioctlsocket(waker, FIONBIO, &nonBlocking);
  ::connect(waker, reinterpret_cast<sockaddr*>(&address), length);
  fd_set writable;
  FD_ZERO(&writable);
  FD_SET(waker, &writable);
  timeval timeout{0, 500 * 1000};
  ::select(0, nullptr, &writable, nullptr, &timeout);
  ::closesocket(waker);
}

}  // namespace

bool IPv6Supported() {
  if (!WinsockStarted()) return false;
  const SOCKET s = NewSocket(AF_INET6);
  if (s == INVALID_SOCKET) return false;
  ::closesocket(s);
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
  if (!WinsockStarted()) throw ESocketError(SystemErrorText(static_cast<DWORD>(::WSAGetLastError())));
  const SOCKET s = NewSocket(AVersion == TIPVersion::IPv4 ? AF_INET : AF_INET6);
  if (s == INVALID_SOCKET) throw ESocketError(SystemErrorText(static_cast<DWORD>(::WSAGetLastError())));
  TSocket socket(static_cast<THandle>(s), AVersion);
  const DWORD on = 1;
  if (AVersion == TIPVersion::IPv6)
    ::setsockopt(s, IPPROTO_IPV6, IPV6_V6ONLY, reinterpret_cast<const char*>(&on), sizeof on);
  // No other socket may bind the port while this one holds it. Connections of an earlier
  // listener that linger in TIME_WAIT do not stand in the way on Windows.
  ::setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on), sizeof on);
  return socket;
}

bool TSocket::IsOpen() const noexcept { return FHandle != kInvalid; }

bool TSocket::Bind(std::string_view AAddress, std::uint16_t APort) {
  sockaddr_storage address;
  int length = 0;
  if (!IsOpen() || !MakeAddress(FVersion, AAddress, APort, address, length)) return false;
  return ::bind(Sock(FHandle), reinterpret_cast<sockaddr*>(&address), length) == 0;
}

std::uint16_t TSocket::LocalPort() const {
  sockaddr_storage address;
  int length = sizeof address;
  if (!IsOpen() || ::getsockname(Sock(FHandle), reinterpret_cast<sockaddr*>(&address), &length) != 0) return 0;
  if (address.ss_family == AF_INET) return ntohs(reinterpret_cast<sockaddr_in&>(address).sin_port);
  if (address.ss_family == AF_INET6) return ntohs(reinterpret_cast<sockaddr_in6&>(address).sin6_port);
  return 0;
}

std::string TSocket::PeerAddress() const {
  sockaddr_storage address;
  int length = sizeof address;
  if (!IsOpen() || ::getpeername(Sock(FHandle), reinterpret_cast<sockaddr*>(&address), &length) != 0) return {};
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

bool TSocket::Listen(int ABacklog) { return IsOpen() && ::listen(Sock(FHandle), ABacklog) == 0; }

TSocket TSocket::Accept() {
  if (!IsOpen()) return {};
  if (!WaitFor(Sock(FHandle), -1, false)) return {};
  const SOCKET s = ::accept(Sock(FHandle), nullptr, nullptr);
  if (s == INVALID_SOCKET) return {};
  return TSocket(static_cast<THandle>(s), FVersion);
}

bool TSocket::Connect(std::string_view AAddress, std::uint16_t APort) {
  sockaddr_storage address;
  int length = 0;
  if (!IsOpen() || !MakeAddress(FVersion, AAddress, APort, address, length)) return false;
  return ::connect(Sock(FHandle), reinterpret_cast<sockaddr*>(&address), length) == 0;
}

bool TSocket::SendAll(std::string_view ABytes) {
  if (!IsOpen()) return false;
  while (!ABytes.empty()) {
    // In pieces, each once there is room, so that a shutdown ends a send to a peer that
    // reads nothing.
    if (!WaitFor(Sock(FHandle), -1, true)) return false;
    const int chunk = static_cast<int>(std::min<std::size_t>(ABytes.size(), kSendPiece));
    const int sent = ::send(Sock(FHandle), ABytes.data(), chunk, 0);
    if (sent == SOCKET_ERROR) return false;
    ABytes.remove_prefix(static_cast<std::size_t>(sent));
  }
  return true;
}

std::ptrdiff_t TSocket::Receive(char* ABuffer, std::size_t ASize) {
  if (!IsOpen()) return -1;
  // After a shutdown the stream has ended, as it has on POSIX.
  if (!WaitFor(Sock(FHandle), -1, false)) return IsShutDown(Sock(FHandle)) ? 0 : -1;
  const int got = ::recv(Sock(FHandle), ABuffer, static_cast<int>(std::min<std::size_t>(ASize, kSendPiece)), 0);
  if (got == SOCKET_ERROR) return IsShutDown(Sock(FHandle)) ? 0 : -1;
  return got;
}

bool TSocket::WaitReadable(int AMilliseconds) {
  return IsOpen() && WaitFor(Sock(FHandle), std::max(AMilliseconds, 0), false);
}

void TSocket::Shutdown() noexcept {
  if (!IsOpen()) return;
  {
    std::lock_guard lock(gShutLock);
    ShutDown().insert(Sock(FHandle));
  }
  ::shutdown(Sock(FHandle), SD_BOTH);
  WakeListener(Sock(FHandle));
}

void TSocket::ShutdownSend() noexcept {
  if (IsOpen()) ::shutdown(Sock(FHandle), SD_SEND);
}

void TSocket::Close() noexcept {
  if (!IsOpen()) return;
  // Forgotten before closing: the system may hand the same value to the next socket.
  {
    std::lock_guard lock(gShutLock);
    ShutDown().erase(Sock(FHandle));
  }
  ::closesocket(Sock(FHandle));
  FHandle = kInvalid;
}
