#include "keys/uKeyboard_linux.h"

#include <chrono>
#include <thread>

void TLinuxKeyboard::SendEvent(std::uint8_t AVirtualKey, std::uint8_t /*AScanCode*/, std::uint32_t AFlags,
                               std::uintptr_t /*AExtraInfo*/) {
  // The virtual key alone says which key it is (left and right keys have codes of their
  // own), so the scan code and the extended flag are not needed here.
  if (fOutput) fOutput->Key(AVirtualKey, (AFlags & 0x0002) != 0);
}

void TLinuxKeyboard::Sleep(std::uint32_t dwMilliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(dwMilliseconds));
}

std::unique_ptr<TKeyboard> CreateSystemKeyboard() {
  std::unique_ptr<TKeyOutput> output = TUinputKeyOutput::Open();
  if (!output) output = TXTestKeyOutput::Open(nullptr);
  return std::make_unique<TLinuxKeyboard>(std::move(output));
}
