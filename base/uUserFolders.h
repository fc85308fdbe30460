#pragma once
// The user's own folder for Tapdeck's files (the panel): on Windows "Tapdeck" under the
// roaming application-data folder, elsewhere "tapdeck" under the XDG configuration folder
// ($XDG_CONFIG_HOME, or ~/.config). The folder may not exist yet.

#include <string>

// Ends with the path separator; empty when the system names no such folder.
std::u16string UserTapdeckFolder();
