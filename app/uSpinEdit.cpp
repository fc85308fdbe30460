#include "app/uSpinEdit.h"

#include <algorithm>

#include "base/uIntConv.h"
#include "base/uText.h"

std::int32_t TSpinEditRules::Value(const std::u16string& AText) const {
  return TryStrToInt(AText).value_or(FMinValue);
}

std::int32_t TSpinEditRules::Clamp(std::int64_t AValue) const {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(AValue, FMinValue, FMaxValue));
}

std::u16string TSpinEditRules::TextForValue(std::int64_t AValue) const { return IntToStr(Clamp(AValue)); }

std::u16string TSpinEditRules::SteppedText(const std::u16string& AText, std::int32_t ADelta) const {
  // 64-bit sum: a typed value at the edge of the 32-bit range must not wrap around.
  return TextForValue(static_cast<std::int64_t>(Value(AText)) + ADelta);
}

std::optional<std::u16string> TSpinEditRules::TextOnExit(const std::u16string& AText) const {
  const std::int32_t value = Value(AText);
  if (Clamp(value) == value) return std::nullopt;
  return TextForValue(value);
}

bool TSpinEditRules::AcceptsChar(char16_t AChar, char16_t ADecimalSeparator) {
  if (AChar >= u'0' && AChar <= u'9') return true;
  if (AChar == u'+' || AChar == u'-' || AChar == ADecimalSeparator) return true;
  return AChar < 0x20 && AChar != u'\r';
}
