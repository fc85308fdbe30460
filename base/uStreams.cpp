#include "base/uStreams.h"

#include <algorithm>

void TMemoryStream::SetPosition(std::int64_t APosition) {
  FPosition = APosition < 0 ? 0 : static_cast<std::size_t>(APosition);
}

void TMemoryStream::Write(std::string_view ABytes) {
  if (ABytes.empty()) return;
  const std::size_t end = FPosition + ABytes.size();
  if (end > FBytes.size()) FBytes.resize(end, '\0');
  std::copy(ABytes.begin(), ABytes.end(), FBytes.begin() + static_cast<std::ptrdiff_t>(FPosition));
  FPosition = end;
}

std::string TMemoryStream::Read(std::size_t ACount) {
  if (FPosition >= FBytes.size()) return {};
  const std::size_t n = std::min(ACount, FBytes.size() - FPosition);
  std::string out = FBytes.substr(FPosition, n);
  FPosition += n;
  return out;
}

void TMemoryStream::Clear() {
  FBytes.clear();
  FPosition = 0;
}
