#include "keys/uUSLayout.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

TEST(USLayout, MatchesTheTableItWasGeneratedFrom) {
  const std::filesystem::path path = std::filesystem::path(TAPDECK_SHARED_DIR) / "us-keyboard.tsv";
  std::ifstream in(path);
  if (!in) GTEST_SKIP() << "no layout table at " << path;
  std::string line;
  int chars = 0, vks = 0;
  bool header = false;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    if (!header) {
      EXPECT_EQ(line, "kind\tcode\tvalue");
      header = true;
      continue;
    }
    std::istringstream row(line);
    std::string kind, code, value;
    ASSERT_TRUE(std::getline(row, kind, '\t') && std::getline(row, code, '\t') && std::getline(row, value)) << line;
    const unsigned long index = std::stoul(code, nullptr, 16);
    if (kind == "char") {
      EXPECT_EQ(USVkKeyScan(static_cast<char16_t>(index)), std::stoul(value, nullptr, 16)) << line;
      ++chars;
    } else if (kind == "vk") {
      EXPECT_EQ(USScanCode(static_cast<std::uint32_t>(index)), std::stoul(value)) << line;
      ++vks;
    } else {
      ADD_FAILURE() << "unknown row: " << line;
    }
  }
  EXPECT_EQ(chars, 128);
  EXPECT_EQ(vks, 256);
}

TEST(USLayout, CharactersAboveAsciiHaveNoKey) {
  for (char16_t ch : {u'\u0080', u'\u00E9', u'\u20AC', u'\xD83D', u'\xFFFF'}) EXPECT_EQ(USVkKeyScan(ch), 0xFFFF);
  EXPECT_EQ(USScanCode(256), 0u);
  EXPECT_EQ(USScanCode(0x41), 30u);
}

}  // namespace
