#include "base/uText.h"

#include <gtest/gtest.h>

namespace {

TEST(Text, Utf8RoundTripsEveryPlane) {
  const std::u16string text = u"a\u00E9\u20AC\U0001F600";
  EXPECT_EQ(Utf16ToUtf8(text), "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
  EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(text)), text);
}

TEST(Text, LoneSurrogatesAndBadBytesBecomeReplacements) {
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
  EXPECT_EQ(Utf8ToUtf16("a\xFF" "b"), u"a\uFFFDb");
  std::u16string out = u"kept";
  EXPECT_FALSE(TryUtf8ToUtf16("\xE2\x82", out));
  EXPECT_EQ(out, u"kept");
}

TEST(Text, AnsiIsWindows1252WithQuestionMarks) {
  EXPECT_EQ(AnsiToUtf16("\x80\x81\x9F\xFF"), u"\u20AC\u0081\u0178\u00FF");
  EXPECT_EQ(Utf16ToAnsi(u"\u20AC\u0178\u00FF\u0100"), "\x80\x9F\xFF?");
  for (int b = 0; b < 256; ++b) {
    const std::string byte(1, static_cast<char>(b));
    EXPECT_EQ(Utf16ToAnsi(AnsiToUtf16(byte)), byte) << b;
  }
}

TEST(Text, CaseFoldingTouchesOnlyAsciiLetters) {
  EXPECT_EQ(UpperCaseAscii(u"abz{\u00E9}"), u"ABZ{\u00E9}");
  EXPECT_TRUE(SameText(u"KeyboardKey", u"KEYBOARDKEY"));
  EXPECT_FALSE(SameText(u"\u00E9", u"\u00C9"));
  EXPECT_TRUE(SameTextBytes("chunked", "CHUNKED"));
}

}  // namespace
