#pragma once
// A connection held in memory: the peer's bytes are given up front, split into the pieces
// that successive receives deliver, and the peer closes its side after the last one. What
// the server sends is collected. Nothing ever blocks: the end of the input is always there.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "web/uByteChannel.h"

class TMemoryByteChannel final : public TByteChannel {
 public:
  // AInput arrives in pieces of the sizes in APieces (no receive crosses the end of one);
  // what the sizes do not cover arrives as fast as the reader asks for it.
  explicit TMemoryByteChannel(std::string_view AInput, std::vector<std::size_t> APieces = {});

  std::ptrdiff_t Receive(char* ABuffer, std::size_t ASize) override;
  bool SendAll(std::string_view ABytes) override;
  // Always true at once: there are bytes, or the peer has closed.
  bool WaitReadable(int AMilliseconds) override;
  void ShutdownSend() override { FSendShutDown = true; }

  const std::string& Sent() const { return FSent; }
  bool SendShutDown() const { return FSendShutDown; }
  // Sends attempted after ShutdownSend; they fail as on a socket.
  int SendsAfterShutdown() const { return FSendsAfterShutdown; }
  // Input bytes the server never received.
  std::size_t Unread() const { return FInput.size() - FPos; }

 private:
  std::string_view FInput;
  std::vector<std::size_t> FPieces;
  std::size_t FPiece = 0;      // index of the piece being received
  std::size_t FPieceLeft = 0;  // bytes of it not yet received
  std::size_t FPos = 0;
  std::string FSent;
  bool FSendShutDown = false;
  int FSendsAfterShutdown = 0;
};
