#include "log/uWindowMessages.h"
#include "base/uSystem_win32.h"

void PostWindowMessage(std::int32_t handle, std::uint32_t message) {
  // Window handles fit 32 bits even in 64-bit processes; the result is of no interest.
  ::PostMessageW(reinterpret_cast<HWND>(static_cast<std::intptr_t>(handle)), message, 0, 0);
}
