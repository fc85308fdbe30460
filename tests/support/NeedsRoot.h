#pragma once
// Tests that need root (network namespaces, mounts, rights taken away from root) skip with
// their reason when run by another user. CI runs them as root, where they must run: there
// the same reason fails the test instead of hiding it as a skip.

#include <unistd.h>

#include <gtest/gtest.h>

#define TAPDECK_SKIP_UNLESS_ROOT(reason)                                                         \
  do {                                                                                           \
    if (::geteuid() == 0) FAIL() << (reason) << " (running as root, where this must work)";      \
    GTEST_SKIP() << (reason);                                                                    \
  } while (0)
