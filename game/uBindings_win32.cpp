#include "game/uBindings.h"

// vJoy gives every device it drives the same USB ids, vendor 1234 and product BEAD.
std::vector<std::string> TapdeckJoystickDevices(std::int32_t /*ADevice*/) { return {"1234BEAD"}; }
