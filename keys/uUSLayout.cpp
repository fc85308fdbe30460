#include "keys/uUSLayout.h"

std::uint16_t USVkKeyScan(char16_t ch) { return ch < USCharKeys.size() ? USCharKeys[ch] : 0xFFFF; }

std::uint32_t USScanCode(std::uint32_t vk) { return vk < USScanCodes.size() ? USScanCodes[vk] : 0; }
