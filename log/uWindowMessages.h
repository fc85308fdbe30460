#pragma once
// Posting a message to a window (asynchronously, result ignored).

#include <cstdint>

void PostWindowMessage(std::int32_t handle, std::uint32_t message);
