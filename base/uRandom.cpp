#include "base/uRandom.h"

#include <cstring>
#include <limits>

std::uint32_t SecureRandomBelow(std::uint32_t ABound) {
  // Values past the last whole multiple of the bound are drawn again, so every result is
  // equally likely.
  const std::uint32_t limit = std::numeric_limits<std::uint32_t>::max() - std::numeric_limits<std::uint32_t>::max() % ABound;
  for (;;) {
    const std::string bytes = SecureRandomBytes(sizeof(std::uint32_t));
    std::uint32_t value = 0;
    std::memcpy(&value, bytes.data(), sizeof value);
    if (value < limit) return value % ABound;
  }
}
