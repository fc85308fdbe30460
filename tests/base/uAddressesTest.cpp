#include "base/uAddresses.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "base/uText.h"

namespace {

TEST(LocalIPv4Addresses, DottedDecimalIPv4WithoutLoopback) {
  const std::regex dotted(R"((\d{1,3})\.(\d{1,3})\.(\d{1,3})\.(\d{1,3}))");
  const std::vector<std::u16string> addresses = LocalIPv4Addresses();
  if (addresses.empty()) GTEST_SKIP() << "this machine has no IPv4 address besides loopback: no entry to check";
  for (const auto& a : addresses) {
    const std::string text = Utf16ToUtf8(a);
    std::smatch m;
    ASSERT_TRUE(std::regex_match(text, m, dotted)) << text;
    for (int i = 1; i <= 4; ++i) EXPECT_LE(std::stoi(m[i]), 255) << text;
    EXPECT_NE(m[1], "127") << "loopback address listed: " << text;
  }
}

}  // namespace
