#include "base/uIntConv.h"

#include <gtest/gtest.h>

#include "base/uErrors.h"
#include "base/uText.h"

namespace {

struct Case {
  const char16_t* text;
  std::optional<std::int32_t> value;
};

const Case kCases[] = {
    {u"0", 0},
    {u"12", 12},
    {u" 12", 12},
    {u"   -7", -7},
    {u"+5", 5},
    {u"-0", 0},
    {u"2147483647", 2147483647},
    {u"-2147483648", INT32_MIN},
    {u"$10", 16},
    {u"$A", 10},
    {u"$a", 10},
    {u"x1F", 31},
    {u"X1f", 31},
    {u"0x10", 16},
    {u"0X10", 16},
    {u"$FFFFFFFF", -1},
    {u"$80000000", INT32_MIN},
    {u"-$10", -16},
    {u"$00000000FF", 255},
    {u"007", 7},
    {u"2147483648", std::nullopt},
    {u"-2147483649", std::nullopt},
    {u"$100000000", std::nullopt},
    {u"12 ", std::nullopt},
    {u"", std::nullopt},
    {u" ", std::nullopt},
    {u"+", std::nullopt},
    {u"-", std::nullopt},
    {u"$", std::nullopt},
    {u"0x", std::nullopt},
    {u"abc", std::nullopt},
    {u"1a", std::nullopt},
    {u"\t1", std::nullopt},
    {u"1.5", std::nullopt},
    {u"- 1", std::nullopt},
    {u"$G", std::nullopt},
    {u"99999999999999999999", std::nullopt},
};

TEST(IntConv, AcceptsAndRefusesTheDocumentedForms) {
  for (const auto& c : kCases) {
    SCOPED_TRACE(Utf16ToUtf8(c.text));
    EXPECT_EQ(TryStrToInt(c.text), c.value);
    EXPECT_EQ(StrToIntDef(c.text, 4711), c.value.value_or(4711));
  }
}

TEST(IntConv, StrToIntRaisesWithTheText) {
  EXPECT_EQ(StrToInt(u" $A"), 10);
  try {
    StrToInt(u"12 ");
    FAIL() << "no error";
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), u"'12 ' is not a valid integer value");
  }
}

}  // namespace
