#pragma once
// Identifiers of the program's resources in Tapdeck.rc, shared with the code that loads them.

// The application icon (app/icons/tapdeck.ico); the lowest icon id, so Explorer shows it.
#define IDI_TAPDECK 1
