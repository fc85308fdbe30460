#pragma once
// A QR code of a text, as a square of modules that each window draws in its own way.

#include <string_view>
#include <vector>

class TQRCode {
 public:
  // Encodes AText (UTF-8 bytes) at error-correction level M; raises Exception when the text
  // does not fit a QR code.
  explicit TQRCode(std::string_view AText);
  // Modules per side, without the quiet zone.
  int Size() const { return FSize; }
  bool Dark(int ARow, int AColumn) const { return FModules[static_cast<std::size_t>(ARow * FSize + AColumn)]; }
  // Light modules a reader needs around the code.
  static constexpr int kQuietZone = 4;

 private:
  int FSize = 0;
  std::vector<bool> FModules;
};
