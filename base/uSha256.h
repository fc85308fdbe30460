#pragma once
// SHA-256, for keeping a fingerprint of a secret instead of the secret itself.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

std::array<std::uint8_t, 32> Sha256(std::string_view AData);
// The digest as 64 lower-case hexadecimal digits.
std::string Sha256Hex(std::string_view AData);
// Whether two byte strings are equal, taking the same time wherever they differ, so that a
// comparison with a secret tells an attacker nothing through its duration.
bool ConstantTimeEquals(std::string_view A, std::string_view B);
