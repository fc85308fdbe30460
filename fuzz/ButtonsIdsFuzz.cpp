// Fuzz target: the button-id lists of the joystick routes (TwmMainPage::ButtonsIdsFromString)
// and the integer conversion they use for each piece.
//
// The input bytes are read as lenient UTF-8. Each piece between commas is also converted by
// std::from_chars where its form allows, as an independent opinion on the value.

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/uIntConv.h"
#include "base/uText.h"
#include "web/uMainPage.h"

namespace {

void Fail(const char* AWhat, std::u16string_view AText) {
  const std::string shown = Utf16ToUtf8(AText.substr(0, 500));
  std::fprintf(stderr, "button id check failed: %s\ntext: %s\n", AWhat, shown.c_str());
  std::abort();
}

std::vector<std::u16string_view> SplitAtCommas(std::u16string_view AText) {
  std::vector<std::u16string_view> pieces;
  for (std::size_t start = 0;;) {
    const std::size_t comma = AText.find(u',', start);
    pieces.push_back(AText.substr(start, comma == std::u16string_view::npos ? std::u16string_view::npos : comma - start));
    if (comma == std::u16string_view::npos) return pieces;
    start = comma + 1;
  }
}

// The value of a piece of the form blanks, sign, then decimal digits or "$" / "x" / "0x"
// and hexadecimal digits, by std::from_chars; the outer optional is empty for other forms.
std::optional<std::optional<std::int32_t>> ReferenceValue(std::u16string_view APiece) {
  std::string ascii;
  for (char16_t c : APiece) {
    if (c > 0x7F) return std::nullopt;
    ascii += static_cast<char>(c);
  }
  std::string_view s(ascii);
  while (s.starts_with(' ')) s.remove_prefix(1);
  bool negative = false;
  if (s.starts_with('+') || s.starts_with('-')) {
    negative = s.front() == '-';
    s.remove_prefix(1);
  }
  int base = 10;
  if (s.starts_with('$') || s.starts_with('x') || s.starts_with('X')) {
    base = 16;
    s.remove_prefix(1);
  } else if (s.starts_with("0x") || s.starts_with("0X")) {
    base = 16;
    s.remove_prefix(2);
  }
  if (s.empty()) return std::optional<std::int32_t>();
  // from_chars takes no sign of its own here; a leading sign left would be a second one.
  if (s.front() == '+' || s.front() == '-') return std::optional<std::int32_t>();
  std::uint64_t value = 0;
  const auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), value, base);
  if (error == std::errc::result_out_of_range) return std::optional<std::int32_t>();
  if (error != std::errc() || end != s.data() + s.size()) return std::optional<std::int32_t>();
  if (base == 16) {
    if (value > 0xFFFFFFFFull) return std::optional<std::int32_t>();
    // Hexadecimal digits are a 32-bit pattern; a sign then negates that value.
    const auto pattern = static_cast<std::uint32_t>(value);
    return std::optional<std::int32_t>(static_cast<std::int32_t>(negative ? 0u - pattern : pattern));
  }
  if (value > (negative ? 0x80000000ull : 0x7FFFFFFFull)) return std::optional<std::int32_t>();
  const auto magnitude = static_cast<std::uint32_t>(value);
  return std::optional<std::int32_t>(static_cast<std::int32_t>(negative ? 0u - magnitude : magnitude));
}

void CheckText(std::u16string_view AText) {
  const std::vector<std::int32_t> ids = TwmMainPage::ButtonsIdsFromString(AText);
  std::vector<std::int32_t> expected;
  if (!AText.empty()) {
    for (std::u16string_view piece : SplitAtCommas(AText)) {
      const std::optional<std::int32_t> value = TryStrToInt(piece);
      if (const auto reference = ReferenceValue(piece); reference && *reference != value)
        Fail("the conversion of a piece differs from std::from_chars", piece);
      if (value) {
        // The decimal form of a value converts back to it.
        if (TryStrToInt(IntToStr(*value)) != value) Fail("a value's decimal text converts differently", piece);
        if (StrToIntDef(piece, -7) != *value) Fail("StrToIntDef differs from TryStrToInt", piece);
      } else if (StrToIntDef(piece, -7) != -7) {
        Fail("StrToIntDef of a bad piece is not the default", piece);
      }
      if (value && *value > 0 && std::find(expected.begin(), expected.end(), *value) == expected.end())
        expected.push_back(*value);
    }
  }
  if (ids != expected) Fail("ids are not the positive values, once each, in order", AText);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* AData, std::size_t ASize) {
  const std::string_view bytes(reinterpret_cast<const char*>(AData), ASize);
  CheckText(Utf8ToUtf16(bytes));
  return 0;
}
