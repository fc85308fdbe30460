#pragma once
// TCP stream sockets over IPv4 and IPv6: one small interface, one implementation per
// platform. Every call reports failure by its result; only Open raises.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/uErrors.h"

// The network stack refused to create a socket.
class ESocketError : public Exception {
  using Exception::Exception;
};

enum class TIPVersion { IPv4, IPv6 };

// Whether the machine's network stack can create IPv6 sockets.
bool IPv6Supported();

class TSocket {
 public:
  TSocket() noexcept = default;
  // Closes the socket.
  ~TSocket();
  TSocket(TSocket&& AOther) noexcept;
  TSocket& operator=(TSocket&& AOther) noexcept;
  TSocket(const TSocket&) = delete;
  TSocket& operator=(const TSocket&) = delete;

  // A new stream socket. An IPv6 socket takes IPv6 connections only, so an IPv4 socket
  // can share its port. Raises ESocketError with the system's text.
  static TSocket Open(TIPVersion AVersion);
  bool IsOpen() const noexcept;

  // Binds to an address given as text (empty: every address of the socket's version) and
  // a port (0: the system chooses). Fails while another socket listens on that address and
  // port, but not because of connections of an earlier listener that are still closing.
  bool Bind(std::string_view AAddress, std::uint16_t APort);
  // The local port, once bound or connected; 0 otherwise.
  std::uint16_t LocalPort() const;
  // The address of the connected peer as text ("192.0.2.7", "::1"; an IPv4 peer of an IPv6
  // socket in dotted form); empty when there is none.
  std::string PeerAddress() const;
  bool Listen(int ABacklog);
  // Blocks until a connection arrives; a socket that is not open when Shutdown was called
  // or the call failed.
  TSocket Accept();
  // A client connection to an address given as text (tests and tools).
  bool Connect(std::string_view AAddress, std::uint16_t APort);

  // Sends every byte, blocking as needed; false when the connection failed.
  bool SendAll(std::string_view ABytes);
  // Blocks until bytes arrive: their count, 0 when the peer closed its side or the socket
  // was shut down, -1 on failure.
  std::ptrdiff_t Receive(char* ABuffer, std::size_t ASize);
  // Whether bytes (or the peer's close) are waiting, waiting at most AMilliseconds.
  bool WaitReadable(int AMilliseconds);

  // Ends both directions. Safe to call from another thread while one is blocked in Accept
  // or Receive on this socket: that call returns at once. Closing from another thread is
  // therefore Shutdown, then, once the blocked call has returned, Close by the owner (a
  // plain close would neither wake the call reliably nor keep the handle from being reused
  // under it).
  void Shutdown() noexcept;
  // Ends the sending direction only: the peer reads the end of the stream.
  void ShutdownSend() noexcept;
  // Releases the socket; only while no other thread uses it.
  void Close() noexcept;

 private:
  using THandle = std::intptr_t;  // a file descriptor or a SOCKET
  static constexpr THandle kInvalid = -1;
  explicit TSocket(THandle AHandle, TIPVersion AVersion) noexcept : FHandle(AHandle), FVersion(AVersion) {}

  THandle FHandle = kInvalid;
  TIPVersion FVersion = TIPVersion::IPv4;
};
