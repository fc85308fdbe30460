#include "base/uIntConv.h"

#include <string>

#include "base/uErrors.h"
#include "base/uText.h"

std::optional<std::int32_t> TryStrToInt(std::u16string_view text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == u' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';

  bool hex = false;
  if (i < text.size() && (text[i] == u'$' || text[i] == u'x' || text[i] == u'X')) {
    hex = true;
    ++i;
  } else if (i + 1 < text.size() && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X')) {
    hex = true;
    i += 2;
  }
  if (i == text.size()) return std::nullopt;

  // Accumulate in 64 bits and stop as soon as the value leaves the 32-bit range.
  std::uint64_t value = 0;
  const std::uint64_t limit = hex ? 0xFFFFFFFFull : (negative ? 0x80000000ull : 0x7FFFFFFFull);
  for (; i < text.size(); ++i) {
    const int digit = hex ? HexDigitValue(text[i]) : (text[i] >= u'0' && text[i] <= u'9' ? text[i] - u'0' : -1);
    if (digit < 0) return std::nullopt;
    value = value * (hex ? 16 : 10) + static_cast<std::uint64_t>(digit);
    if (value > limit) return std::nullopt;
  }
  std::int64_t result = hex ? static_cast<std::int32_t>(static_cast<std::uint32_t>(value))
                            : static_cast<std::int64_t>(value);
  if (negative) result = -result;
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(result)));
}

std::int32_t StrToIntDef(std::u16string_view text, std::int32_t def) {
  return TryStrToInt(text).value_or(def);
}

std::int32_t StrToInt(std::u16string_view text) {
  if (auto value = TryStrToInt(text)) return *value;
  throw EConvertError(u"'" + std::u16string(text) + u"' is not a valid integer value");
}
