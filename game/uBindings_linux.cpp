#include "game/uBindings.h"

#include <cstdio>

// The uinput gamepad of device N has vendor 0 and product N (joystick/vJoyUinput_linux.cpp).
std::vector<std::string> TapdeckJoystickDevices(std::int32_t ADevice) {
  char name[16];
  std::snprintf(name, sizeof name, "0000%04X", static_cast<unsigned>(ADevice) & 0xFFFFu);
  return {name};
}
