#pragma once
// The integer conversion every subsystem uses for ids, repeat counts and the port:
// leading blanks, an optional sign, decimal digits or hexadecimal after "$", "x", "X",
// "0x" or "0X", nothing after the digits, and a value that fits 32 bits (hexadecimal
// digits read as a 32-bit pattern, so "$FFFFFFFF" is -1).

#include <cstdint>
#include <optional>
#include <string_view>

std::optional<std::int32_t> TryStrToInt(std::u16string_view text);
// The caller's default when the text does not convert.
std::int32_t StrToIntDef(std::u16string_view text, std::int32_t def);
// Raises EConvertError "'<text>' is not a valid integer value" when it does not convert.
std::int32_t StrToInt(std::u16string_view text);
