#include "game/uBindsKeys.h"

#include <array>
#include <span>

#include "base/uText.h"

namespace {

constexpr std::string_view kKeyPrefix = "Key_";

struct TNamedKey {
  std::string_view Name;  // without "Key_"
  std::u16string_view Text;
  std::u16string_view Reading;
};

// Keys that type no character: the same on every layout.
constexpr std::array<TNamedKey, 22> kNamedKeys{{
    {"Space", u"{SPACE}", u"Space"},
    {"Enter", u"{ENTER}", u"Enter"},
    {"Tab", u"{TAB}", u"Tab"},
    {"Backspace", u"{BACKSPACE}", u"Backspace"},
    {"Delete", u"{DELETE}", u"Delete"},
    {"Insert", u"{INS}", u"Insert"},
    {"Home", u"{HOME}", u"Home"},
    {"End", u"{END}", u"End"},
    {"PageUp", u"{PGUP}", u"Page Up"},
    {"PageDown", u"{PGDN}", u"Page Down"},
    {"UpArrow", u"{UP}", u"Up Arrow"},
    {"DownArrow", u"{DOWN}", u"Down Arrow"},
    {"LeftArrow", u"{LEFT}", u"Left Arrow"},
    {"RightArrow", u"{RIGHT}", u"Right Arrow"},
    {"Escape", u"{ESC}", u"Escape"},
    {"CapsLock", u"{CAPSLOCK}", u"Caps Lock"},
    {"ScrollLock", u"{SCROLLLOCK}", u"Scroll Lock"},
    {"Numpad_Add", u"{NUMPLUS}", u"Numpad +"},
    {"Numpad_Subtract", u"{NUMMINUS}", u"Numpad -"},
    {"Numpad_Multiply", u"{NUMMULTIPLY}", u"Numpad *"},
    {"Numpad_Divide", u"{NUMDIVIDE}", u"Numpad /"},
    {"Numpad_Decimal", u"{NUMDECIMAL}", u"Numpad ."},
}};

// Keys the language holds around another key (Tab is its "&").
constexpr std::array<TNamedKey, 7> kModifierKeys{{
    {"LeftShift", u"+<", u"Left Shift"},
    {"RightShift", u"+>", u"Right Shift"},
    {"LeftControl", u"^<", u"Left Ctrl"},
    {"RightControl", u"^>", u"Right Ctrl"},
    {"LeftAlt", u"%<", u"Left Alt"},
    {"RightAlt", u"%>", u"Right Alt"},
    {"Tab", u"&", u"Tab"},
}};

const TNamedKey* FindKey(std::span<const TNamedKey> AKeys, std::string_view AName) {
  for (const TNamedKey& key : AKeys)
    if (key.Name == AName) return &key;
  return nullptr;
}

// A key that types a character: its name and the character it types unshifted.
struct TCharacterKey {
  std::string_view Name;
  char16_t Character;
};

constexpr std::array<TCharacterKey, 11> kUSKeys{{
    {"Minus", u'-'}, {"Equals", u'='}, {"LeftBracket", u'['}, {"RightBracket", u']'},
    {"SemiColon", u';'}, {"Apostrophe", u'\''}, {"Grave", u'`'}, {"BackSlash", u'\\'},
    {"Comma", u','}, {"Period", u'.'}, {"Slash", u'/'},
}};
// The UK keyboard has a key of its own for "#", beside Enter.
constexpr std::array<TCharacterKey, 12> kGBKeys{{
    {"Minus", u'-'}, {"Equals", u'='}, {"LeftBracket", u'['}, {"RightBracket", u']'},
    {"SemiColon", u';'}, {"Apostrophe", u'\''}, {"Grave", u'`'}, {"BackSlash", u'\\'},
    {"Comma", u','}, {"Period", u'.'}, {"Slash", u'/'}, {"Hash", u'#'},
}};
// On the German keyboard the other characters of these names need Shift or AltGr.
constexpr std::array<TCharacterKey, 4> kDEKeys{{{"Minus", u'-'}, {"Comma", u','}, {"Period", u'.'}, {"Hash", u'#'}}};

struct TLayout {
  std::string_view Name;
  std::span<const TCharacterKey> Keys;
  bool ShiftedDigits;  // the digits need Shift (AZERTY), so a digit key cannot be sent as its digit
};

constexpr std::array<TLayout, 5> kLayouts{{
    {"en-US", kUSKeys, false},
    {"en-GB", kGBKeys, false},
    {"de-DE", kDEKeys, false},
    {"fr-FR", {}, true},
    {"fr-BE", {}, true},
}};

const TLayout* FindLayout(std::string_view ALayout) {
  if (ALayout.empty()) return &kLayouts[0];
  for (const TLayout& layout : kLayouts)
    if (SameTextBytes(layout.Name, ALayout)) return &layout;
  return nullptr;
}

// A character as the key-sequence language types it: the language's own characters in braces.
std::u16string Literal(char16_t ACharacter) {
  if (ACharacter == u'{') return u"{{}";
  if (ACharacter == u'}') return u"{}}";
  if (std::u16string_view(u"+^%#&()~<>").find(ACharacter) != std::u16string_view::npos)
    return std::u16string(u"{") + ACharacter + u"}";
  return std::u16string(1, ACharacter);
}

}  // namespace

std::optional<TSequenceKey> SequenceKey(std::string_view AKeyName, std::string_view ALayout) {
  if (!AKeyName.starts_with(kKeyPrefix)) return std::nullopt;
  const std::string_view name = AKeyName.substr(kKeyPrefix.size());
  const TLayout* layout = FindLayout(ALayout);
  if (name.size() == 1) {
    const char c = name[0];
    if (c >= 'A' && c <= 'Z') return TSequenceKey{std::u16string(1, static_cast<char16_t>(c - 'A' + 'a')), AsciiToUtf16(name)};
    if (c >= '0' && c <= '9' && !(layout && layout->ShiftedDigits)) return TSequenceKey{AsciiToUtf16(name), AsciiToUtf16(name)};
    return std::nullopt;
  }
  if (const TNamedKey* key = FindKey(kNamedKeys, name))
    return TSequenceKey{std::u16string(key->Text), std::u16string(key->Reading)};
  if (name.starts_with('F')) {
    if (const int number = KeyNumber(name.substr(1), 24))
      return TSequenceKey{u"{F" + IntToStr(number) + u"}", u"F" + IntToStr(number)};
  }
  if (name.starts_with("Numpad_") && name.size() == 8 && name[7] >= '0' && name[7] <= '9') {
    const std::u16string digit(1, static_cast<char16_t>(name[7]));
    return TSequenceKey{u"{NUM" + digit + u"}", u"Numpad " + digit};
  }
  if (layout) {
    for (const TCharacterKey& key : layout->Keys)
      if (key.Name == name) return TSequenceKey{Literal(key.Character), std::u16string(1, key.Character)};
  }
  return std::nullopt;
}

std::optional<TSequenceKey> SequenceModifier(std::string_view AKeyName) {
  if (!AKeyName.starts_with(kKeyPrefix)) return std::nullopt;
  const std::string_view name = AKeyName.substr(kKeyPrefix.size());
  if (const TNamedKey* key = FindKey(kModifierKeys, name))
    return TSequenceKey{std::u16string(key->Text), std::u16string(key->Reading)};
  return std::nullopt;
}

std::u16string KeyNameReading(std::string_view AKeyName) {
  std::string_view name = AKeyName;
  if (name.starts_with(kKeyPrefix)) name.remove_prefix(kKeyPrefix.size());
  if (const TNamedKey* key = FindKey(kNamedKeys, name)) return std::u16string(key->Reading);
  if (const TNamedKey* key = FindKey(kModifierKeys, name)) return std::u16string(key->Reading);
  return SplitWords(name);
}

int KeyNumber(std::string_view AText, int ALast) {
  if (AText.empty() || AText[0] == '0') return 0;
  int value = 0;
  for (char c : AText) {
    if (c < '0' || c > '9') return 0;
    value = value * 10 + (c - '0');
    if (value > ALast) return 0;
  }
  return value;
}

std::u16string SplitWords(std::string_view AName) {
  const auto upper = [](char c) { return c >= 'A' && c <= 'Z'; };
  const auto lower = [](char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'); };
  std::string words;
  for (std::size_t i = 0; i < AName.size(); ++i) {
    const char c = AName[i];
    if (c == '_' || c == ' ') {
      if (!words.empty() && words.back() != ' ') words += ' ';
      continue;
    }
    // A word starts at a capital after a small letter, and at the last capital of an
    // abbreviation that a small letter follows ("HUDMode").
    if (upper(c) && i > 0 && !words.empty() && words.back() != ' ' &&
        (lower(AName[i - 1]) || (upper(AName[i - 1]) && i + 1 < AName.size() && AName[i + 1] >= 'a' && AName[i + 1] <= 'z')))
      words += ' ';
    words += c;
  }
  while (!words.empty() && words.back() == ' ') words.pop_back();
  return Utf8ToUtf16(words);
}
