// The ANSI code page is the system's own (CP_ACP).
#include "base/uSystem_win32.h"
#include "base/uText.h"

std::u16string AnsiToUtf16(std::string_view bytes) {
  if (bytes.empty()) return {};
  const int size = static_cast<int>(bytes.size());
  const int length = ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  if (length > 0) ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, wide.data(), length);
  return FromWide(wide);
}

std::string Utf16ToAnsi(std::u16string_view text) {
  if (text.empty()) return {};
  // No best-fit mapping: a character the code page lacks becomes "?" rather than a look-alike.
  const std::wstring wide = ToWide(text);
  const int size = static_cast<int>(wide.size());
  const int length =
      ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), size, nullptr, 0, "?", nullptr);
  std::string out(static_cast<std::size_t>(length), '\0');
  if (length > 0)
    ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), size, out.data(), length, "?", nullptr);
  return out;
}

char Utf16CharToAnsi(char16_t ch) {
  const std::string bytes = Utf16ToAnsi(std::u16string_view(&ch, 1));
  // A double-byte code page may need two bytes for one character: then it has no single byte.
  return bytes.size() == 1 ? bytes[0] : '?';
}
