#pragma once
// Tests that need a piece only the Linux build has skip on Windows, saying which piece.

#include <gtest/gtest.h>

#ifdef _WIN32
#define TAPDECK_SKIP_ON_WINDOWS(what) GTEST_SKIP() << "needs " << (what) << ", which the Windows build does not have"
#else
#define TAPDECK_SKIP_ON_WINDOWS(what) static_cast<void>(what)
#endif
