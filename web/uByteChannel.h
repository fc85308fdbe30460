#pragma once
// The byte stream one connection is served over: what reading a request and writing its
// response need of a socket. The service serves its sockets through TSocketByteChannel;
// anything else that delivers and takes bytes (a fuzz target's memory) can stand in.

#include <cstddef>
#include <string>
#include <string_view>

#include "base/uSockets.h"

class TByteChannel {
 public:
  virtual ~TByteChannel() = default;

  // Blocks until bytes arrive: their count, 0 when the peer closed its side or the channel
  // was shut down, -1 on failure.
  virtual std::ptrdiff_t Receive(char* ABuffer, std::size_t ASize) = 0;
  // Sends every byte, blocking as needed; false when the connection failed.
  virtual bool SendAll(std::string_view ABytes) = 0;
  // Whether bytes (or the peer's close) are waiting, waiting at most AMilliseconds.
  virtual bool WaitReadable(int AMilliseconds) = 0;
  // Ends the sending direction only: the peer reads the end of the stream.
  virtual void ShutdownSend() = 0;
  // The peer's address as text; empty when it is not known (a channel that is no socket).
  virtual std::string PeerAddress() const { return {}; }
};

// A connected socket as a byte channel. The socket stays with its owner, who closes it.
class TSocketByteChannel final : public TByteChannel {
 public:
  explicit TSocketByteChannel(TSocket& ASocket) : FSocket(ASocket) {}

  std::ptrdiff_t Receive(char* ABuffer, std::size_t ASize) override;
  bool SendAll(std::string_view ABytes) override;
  bool WaitReadable(int AMilliseconds) override;
  void ShutdownSend() override;
  std::string PeerAddress() const override;

 private:
  TSocket& FSocket;
};
