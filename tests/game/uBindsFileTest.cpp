#include "game/uBindsFile.h"

#include <gtest/gtest.h>

#include "base/uText.h"
#include "game/uBindsKeys.h"
#include "keys/uSendKeys.h"
#include "tests/support/TempDir.h"

namespace {

std::string Show(const std::u16string& text) { return Utf16ToUtf8(text); }

struct TKeyCase {
  const char* Layout;
  const char* Name;
  std::u16string Text;  // empty: no mapping
  std::u16string Reading;
};

const TKeyCase kKeyCases[] = {
    {"en-US", "Key_L", u"l", u"L"},
    {"en-US", "Key_0", u"0", u"0"},
    {"en-US", "Key_F5", u"{F5}", u"F5"},
    {"en-US", "Key_F24", u"{F24}", u"F24"},
    {"en-US", "Key_F25", u"", u""},
    {"en-US", "Key_F05", u"", u""},
    {"en-US", "Key_Numpad_7", u"{NUM7}", u"Numpad 7"},
    {"en-US", "Key_Numpad_Add", u"{NUMPLUS}", u"Numpad +"},
    {"en-US", "Key_Numpad_Enter", u"", u""},  // the language has no name for it apart from Enter
    {"en-US", "Key_Space", u"{SPACE}", u"Space"},
    {"en-US", "Key_Enter", u"{ENTER}", u"Enter"},
    {"en-US", "Key_Tab", u"{TAB}", u"Tab"},
    {"en-US", "Key_Backspace", u"{BACKSPACE}", u"Backspace"},
    {"en-US", "Key_Delete", u"{DELETE}", u"Delete"},
    {"en-US", "Key_Insert", u"{INS}", u"Insert"},
    {"en-US", "Key_PageUp", u"{PGUP}", u"Page Up"},
    {"en-US", "Key_UpArrow", u"{UP}", u"Up Arrow"},
    {"en-US", "Key_CapsLock", u"{CAPSLOCK}", u"Caps Lock"},
    {"en-US", "Key_Minus", u"-", u"-"},
    {"en-US", "Key_Equals", u"=", u"="},
    {"en-US", "Key_LeftBracket", u"[", u"["},
    {"en-US", "Key_SemiColon", u";", u";"},
    {"en-US", "Key_Apostrophe", u"'", u"'"},
    {"en-US", "Key_Grave", u"`", u"`"},
    {"en-US", "Key_BackSlash", u"\\", u"\\"},
    {"en-US", "Key_Comma", u",", u","},
    {"en-US", "Key_Period", u".", u"."},
    {"en-US", "Key_Slash", u"/", u"/"},
    {"en-US", "Key_Hash", u"", u""},  // "#" is Shift+3 there: no key of its own
    {"en-US", "Key_LeftShift", u"", u""},  // only held around another key
    {"en-US", "Key_l", u"", u""},
    {"en-US", "Joy_1", u"", u""},
    {"en-GB", "Key_Hash", u"{#}", u"#"},
    {"en-GB", "Key_BackSlash", u"\\", u"\\"},
    {"de-DE", "Key_Hash", u"{#}", u"#"},
    {"de-DE", "Key_Minus", u"-", u"-"},
    {"de-DE", "Key_Slash", u"", u""},
    {"de-DE", "Key_Z", u"z", u"Z"},
    {"DE-de", "Key_Comma", u",", u","},
    {"fr-FR", "Key_A", u"a", u"A"},
    {"fr-FR", "Key_1", u"", u""},  // AZERTY types digits with Shift
    {"xx-XX", "Key_Minus", u"", u""},
    {"xx-XX", "Key_F1", u"{F1}", u"F1"},
    {"", "Key_Minus", u"-", u"-"},  // no layout named: the game's default, en-US
};

TEST(BindsKeys, KeyNamesBecomeKeysOfTheLayoutThatPlayCleanly) {
  for (const TKeyCase& c : kKeyCases) {
    SCOPED_TRACE(std::string(c.Layout) + " " + c.Name);
    const auto key = SequenceKey(c.Name, c.Layout);
    ASSERT_EQ(key.has_value(), !c.Text.empty());
    if (!key) continue;
    EXPECT_EQ(Show(key->Text), Show(c.Text));
    EXPECT_EQ(Show(key->Reading), Show(c.Reading));
    EXPECT_TRUE(TKeySequence::Check(key->Text).empty());
    EXPECT_TRUE(TKeySequence::Check(u"+<^>" + key->Text).empty());
  }
}

TEST(BindsKeys, ModifiersAndReadings) {
  const std::pair<const char*, std::u16string> modifiers[] = {
      {"Key_LeftShift", u"+<"}, {"Key_RightShift", u"+>"}, {"Key_LeftControl", u"^<"},
      {"Key_RightControl", u"^>"}, {"Key_LeftAlt", u"%<"},   {"Key_RightAlt", u"%>"},
      {"Key_Tab", u"&"},        {"Key_A", u""},           {"Key_LeftWin", u""},
  };
  for (const auto& [name, text] : modifiers) {
    const auto modifier = SequenceModifier(name);
    EXPECT_EQ(modifier ? Show(modifier->Text) : "", Show(text)) << name;
  }
  EXPECT_EQ(Show(SequenceModifier("Key_RightControl")->Reading), "Right Ctrl");
  EXPECT_EQ(Show(KeyNameReading("Key_Numpad_Enter")), "Numpad Enter");
  EXPECT_EQ(Show(KeyNameReading("Key_PageDown")), "Page Down");
  EXPECT_EQ(Show(SplitWords("PlayerHUDModeToggle")), "Player HUD Mode Toggle");
  EXPECT_EQ(Show(SplitWords("UI_Up")), "UI Up");
}

TEST(BindsFile, ReadsTheButtonActionsOfAFile) {
  const TBindsFile file = ParseBindsFile(
      "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\r\n"
      "<Root PresetName=\"Mine\" MajorVersion=\"4\" MinorVersion=\"0\">\r\n"
      "  <KeyboardLayout> en-GB </KeyboardLayout>\r\n"
      "  <MouseXMode Value=\"Bindings_MouseYaw\" />\r\n"
      "  <YawAxisRaw><Binding Device=\"044F0402\" Key=\"Joy_XAxis\" /><Inverted Value=\"0\" /></YawAxisRaw>\r\n"
      "  <!-- a comment -->\r\n"
      "  <LandingGearToggle>\r\n"
      "    <Primary Device=\"Keyboard\" Key=\"Key_L\"><Modifier Device=\"Keyboard\" Key=\"Key_LeftShift\" /></Primary>\r\n"
      "    <Secondary Device=\"{NoDevice}\" Key=\"\" />\r\n"
      "  </LandingGearToggle>\r\n"
      "  <UI_Up><Secondary Device=\"Keyboard\" Key=\"Key_W\" /></UI_Up>\r\n"
      "  <LandingGearToggle><Primary Device=\"Keyboard\" Key=\"Key_G\" /></LandingGearToggle>\r\n"
      "</Root>\r\n",
      u"Mine.4.0.binds");
  EXPECT_EQ(file.PresetName, "Mine");
  EXPECT_EQ(file.MajorVersion + "." + file.MinorVersion, "4.0");
  EXPECT_EQ(file.KeyboardLayout, "en-GB");
  ASSERT_EQ(file.Actions.size(), 2u);  // the axis and the setting are no button actions; the first of two holds
  const TBindsAction* gear = file.Find("LandingGearToggle");
  ASSERT_NE(gear, nullptr);
  EXPECT_EQ(gear->Primary.Key, "Key_L");
  ASSERT_EQ(gear->Primary.Modifiers.size(), 1u);
  EXPECT_EQ(gear->Primary.Modifiers[0].Key, "Key_LeftShift");
  EXPECT_TRUE(gear->Secondary.Unbound());
  EXPECT_TRUE(file.Find("UI_Up")->Primary.Unbound());
  EXPECT_EQ(file.Find("UI_Up")->Secondary.Key, "Key_W");
}

TEST(BindsFile, RefusesWhatIsNoBindingsFile) {
  std::string deep = "<Root>";
  for (int i = 0; i < 40; ++i) deep += "<a>";
  for (int i = 0; i < 40; ++i) deep += "</a>";
  deep += "</Root>";
  const std::pair<std::string, const char*> cases[] = {
      {"", "not a bindings file"},
      {"<Root><LandingGearToggle>", "not a bindings file"},
      {"<Other/>", "no Root element"},
      {"<Root/><Root/>", "not a bindings file"},
      {"<!DOCTYPE Root [<!ENTITY x \"Key_L\">]><Root><A><Primary Device=\"Keyboard\" Key=\"&x;\"/></A></Root>",
       "no DOCTYPE"},
      {deep, "nested too deeply"},
      {"<Root>" + std::string(kMaxBindsFileSize, ' ') + "</Root>", "larger than 4 MiB"},
  };
  for (const auto& [bytes, message] : cases) {
    SCOPED_TRACE(message);
    try {
      ParseBindsFile(bytes, u"x.binds");
      ADD_FAILURE() << "accepted";
    } catch (const EBindsError& e) {
      EXPECT_TRUE(e.Message().starts_with(u"x.binds: ")) << Show(e.Message());
      EXPECT_NE(Show(e.Message()).find(message), std::string::npos) << Show(e.Message());
    }
  }
}

TEST(BindsFile, ReadsNoMoreOfAHugeFileThanItsLimit) {
  TempDir dir;
  dir.Write("Huge.binds", "<Root>" + std::string(kMaxBindsFileSize + 100, ' ') + "</Root>");
  EXPECT_THROW(ReadBindsFile(dir.File("Huge.binds")), EBindsError);
  EXPECT_THROW(ReadBindsFile(dir.File("Missing.binds")), EBindsError);
}

}  // namespace
