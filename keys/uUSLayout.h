#pragma once
// The US-English keyboard layout, used where the platform has no layout of its own to ask
// (Linux and the recorder): the character translation and the scan code of every key.

#include <array>
#include <cstdint>

// Key codes (low byte the virtual key, high byte the shift state) of U+0000 to U+007F.
extern const std::array<std::uint16_t, 128> USCharKeys;
// Scan code of every virtual key, 0 for none.
extern const std::array<std::uint8_t, 256> USScanCodes;

// The key code that types ch, or 0xFFFF when the layout has no key for it.
std::uint16_t USVkKeyScan(char16_t ch);
// MapVirtualKeyW(vk, MAPVK_VK_TO_VSC): the scan code of a virtual key, 0 for none.
std::uint32_t USScanCode(std::uint32_t vk);
