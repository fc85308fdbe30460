// The ANSI code page where the platform has none: Windows-1252.
#include "base/uText.h"

namespace {

// Bytes 0x80 to 0x9F; the five bytes Windows-1252 leaves undefined map to the C1 control
// of the same value, as Windows itself decodes them.
constexpr char16_t kHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

}  // namespace

std::u16string AnsiToUtf16(std::string_view bytes) {
  std::u16string out(bytes.size(), u'\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    out[i] = (b & 0xE0) == 0x80 ? kHigh[b - 0x80] : b;
  }
  return out;
}

char Utf16CharToAnsi(char16_t ch) {
  if (ch < 0x80 || (ch >= 0xA0 && ch <= 0xFF)) return static_cast<char>(ch);
  for (int i = 0; i < 32; ++i)
    if (kHigh[i] == ch) return static_cast<char>(0x80 + i);
  return '?';
}

std::string Utf16ToAnsi(std::u16string_view text) {
  // Pages are mostly ASCII: a plain copy first, then the table only where it is needed.
  std::string out(text.size(), '\0');
  char16_t seen = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    out[i] = static_cast<char>(text[i]);
    seen |= text[i];
  }
  if (seen >= 0x80) {
    for (std::size_t i = 0; i < text.size(); ++i)
      if (text[i] >= 0x80) out[i] = Utf16CharToAnsi(text[i]);
  }
  return out;
}
