#include "app/uSpinEdit.h"

#include <gtest/gtest.h>

namespace {

const TSpinEditRules kRules(1, 16);

TEST(TSpinEditRules, ValueIsTheTextAsIntegerUnlimitedOrTheLowerLimit) {
  const struct {
    std::u16string text;
    std::int32_t value;
  } cases[] = {
      {u"5", 5},   {u"99", 99}, {u"-3", -3}, {u"0", 0},     {u"$10", 16},
      {u"", 1},    {u"abc", 1}, {u"1.5", 1}, {u"+", 1},     {u"99999999999", 1},
  };
  for (const auto& c : cases) EXPECT_EQ(kRules.Value(c.text), c.value);
}

TEST(TSpinEditRules, SettingAValueClampsIt) {
  EXPECT_EQ(kRules.TextForValue(2), u"2");
  EXPECT_EQ(kRules.TextForValue(0), u"1");
  EXPECT_EQ(kRules.TextForValue(17), u"16");
  EXPECT_EQ(kRules.TextForValue(-2147483648LL), u"1");
}

TEST(TSpinEditRules, StepsAddOrSubtractOneAndClamp) {
  EXPECT_EQ(kRules.SteppedText(u"2", +1), u"3");
  EXPECT_EQ(kRules.SteppedText(u"2", -1), u"1");
  EXPECT_EQ(kRules.SteppedText(u"1", -1), u"1");
  EXPECT_EQ(kRules.SteppedText(u"16", +1), u"16");
  EXPECT_EQ(kRules.SteppedText(u"99", -1), u"16");
  EXPECT_EQ(kRules.SteppedText(u"abc", +1), u"2");
  // No overflow at the edge of the 32-bit range.
  EXPECT_EQ(kRules.SteppedText(u"2147483647", +1), u"16");
}

TEST(TSpinEditRules, LeavingTheFieldClampsOnlyValuesOutsideTheLimits) {
  EXPECT_EQ(kRules.TextOnExit(u"99"), u"16");
  EXPECT_EQ(kRules.TextOnExit(u"0"), u"1");
  EXPECT_EQ(kRules.TextOnExit(u"-7"), u"1");
  EXPECT_EQ(kRules.TextOnExit(u"7"), std::nullopt);
  // Not an integer: its value is the lower limit, which lies inside, so the text stays.
  EXPECT_EQ(kRules.TextOnExit(u"abc"), std::nullopt);
  EXPECT_EQ(kRules.TextOnExit(u"07"), std::nullopt);
}

TEST(TSpinEditRules, AcceptsDigitsSignsTheDecimalSeparatorAndControlKeysButEnter) {
  for (char16_t ch : std::u16string(u"0123456789+-,")) EXPECT_TRUE(TSpinEditRules::AcceptsChar(ch, u',')) << int(ch);
  EXPECT_TRUE(TSpinEditRules::AcceptsChar(u'\b', u'.'));
  EXPECT_TRUE(TSpinEditRules::AcceptsChar(0x16, u'.'));  // Ctrl+V
  EXPECT_FALSE(TSpinEditRules::AcceptsChar(u'\r', u'.'));
  for (char16_t ch : std::u16string(u"a.xZ $")) EXPECT_FALSE(TSpinEditRules::AcceptsChar(ch, u',')) << int(ch);
  EXPECT_TRUE(TSpinEditRules::AcceptsChar(u'.', u'.'));
}

}  // namespace
