#include "tests/support/MemoryByteChannel.h"

#include <algorithm>
#include <cstring>

TMemoryByteChannel::TMemoryByteChannel(std::string_view AInput, std::vector<std::size_t> APieces)
    : FInput(AInput), FPieces(std::move(APieces)) {
  FPieceLeft = FPieces.empty() ? 0 : FPieces.front();
}

std::ptrdiff_t TMemoryByteChannel::Receive(char* ABuffer, std::size_t ASize) {
  // Pieces of size 0 deliver nothing; a receive returning 0 would read as the close.
  while (FPiece < FPieces.size() && FPieceLeft == 0) {
    if (++FPiece < FPieces.size()) FPieceLeft = FPieces[FPiece];
  }
  std::size_t count = std::min(ASize, FInput.size() - FPos);
  if (FPiece < FPieces.size()) count = std::min(count, FPieceLeft);
  if (count == 0) return 0;
  std::memcpy(ABuffer, FInput.data() + FPos, count);
  FPos += count;
  if (FPiece < FPieces.size()) FPieceLeft -= count;
  return static_cast<std::ptrdiff_t>(count);
}

bool TMemoryByteChannel::SendAll(std::string_view ABytes) {
  if (FSendShutDown) {
    ++FSendsAfterShutdown;
    return false;
  }
  FSent.append(ABytes);
  return true;
}

bool TMemoryByteChannel::WaitReadable(int) { return true; }
