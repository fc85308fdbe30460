#include "log/uWindowMessages.h"

// No window on this platform takes numbered messages; the log never has a handle here.
void PostWindowMessage(std::int32_t, std::uint32_t) {}
