#pragma once
// The rules of the integer field with up/down arrows, kept apart from any toolkit so that
// every view (and the tests' fake view) behaves alike. The field itself only holds text;
// these functions say what that text means and what it becomes.

#include <cstdint>
#include <optional>
#include <string>

class TSpinEditRules {
 public:
  TSpinEditRules(std::int32_t AMinValue, std::int32_t AMaxValue) : FMinValue(AMinValue), FMaxValue(AMaxValue) {}

  std::int32_t MinValue() const { return FMinValue; }
  std::int32_t MaxValue() const { return FMaxValue; }

  // The text read as an integer, or the lower limit when it is not one. Not limited.
  std::int32_t Value(const std::u16string& AText) const;
  std::int32_t Clamp(std::int64_t AValue) const;
  // The text that setting a value gives: the value clamped, in decimal.
  std::u16string TextForValue(std::int64_t AValue) const;
  // The text after an arrow button or the Up/Down key adds ADelta.
  std::u16string SteppedText(const std::u16string& AText, std::int32_t ADelta) const;
  // The text the field takes when it loses the focus: set again, clamped, only when its
  // value lies outside the limits.
  std::optional<std::u16string> TextOnExit(const std::u16string& AText) const;
  // Whether a typed character goes into the field: digits, "+", "-", the locale's decimal
  // separator and control characters other than Enter. Others are refused with a beep.
  static bool AcceptsChar(char16_t AChar, char16_t ADecimalSeparator);

 private:
  std::int32_t FMinValue;
  std::int32_t FMaxValue;
};
