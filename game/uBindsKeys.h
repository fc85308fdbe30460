#pragma once
// The keys of the game's keyboard bindings in this program's key-sequence language.
//
// Key names follow the keyboard layout that the bindings file names: a name stands for the
// key that carries it on that layout. Letters ("Key_L"), digits ("Key_7") and keys that type no
// character ("Key_F5", "Key_Numpad_7", "Key_Space", the arrows...) mean the same on every
// layout. A key that types a character ("Key_Minus", "Key_Hash"...) is sent as the character it
// types unshifted on that layout, which the keyboard's character translation turns back into
// that key; a layout without such a key has no mapping for the name. A name without a mapping
// is never guessed: the caller reports it.

#include <optional>
#include <string>
#include <string_view>

// One key, or one modifier, of a binding.
struct TSequenceKey {
  std::u16string Text;     // in the key-sequence language: "l", "{F5}", "{#}"; "+<" for a modifier
  std::u16string Reading;  // for people: "L", "F5", "#"; "Left Shift"
};

// The key a binding presses, for the layout the file names ("en-US", "de-DE"; empty means
// en-US, the game's default); nothing when this program has no mapping for it.
std::optional<TSequenceKey> SequenceKey(std::string_view AKeyName, std::string_view ALayout);

// A modifier held with the key: Shift, Ctrl and Alt of either side, and Tab (the language's
// "&"). Nothing for any other key, which the language cannot hold around another one.
std::optional<TSequenceKey> SequenceModifier(std::string_view AKeyName);

// A key name in words, for keys without a mapping: "Key_Numpad_Enter" gives "Numpad Enter".
std::u16string KeyNameReading(std::string_view AKeyName);

// The number 1 to ALast that AText spells in decimal without a leading zero ("F5", "Joy_12"
// after their prefixes), or 0.
int KeyNumber(std::string_view AText, int ALast);

// A name in words: underscores become blanks and a CamelCase name is split into its words
// ("PlayerHUDModeToggle" gives "Player HUD Mode Toggle").
std::u16string SplitWords(std::string_view AName);
