#include "keys/uSendKeys.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <map>
#include <set>

#include "base/uText.h"
#include "tests/keys/KeysTestSupport.h"
#include "tests/support/KeySequencePlayer.h"
#include "tests/support/KeyboardWatch.h"

namespace {

std::string Show(const std::u16string& text) { return Utf16ToUtf8(text); }

// ---------------------------------------------------------------------------------------
// Event for event, in every mode.

struct TModesCase {
  std::u16string Sequence;
  std::string Key, Down, Up;  // {skDown, skUp}, {skDown}, {skUp}
};

// The release-only mode sends no key-down at all: one key-up per key (however often the press
// repeated it), and the modifier characters' keys are released without being pressed.
const TModesCase kModesCases[] = {
    {u"a", "A↓ A↑", "A↓", "A↑"},
    {u"A", "Shift↓ A↓ A↑ Shift↑", "Shift↓ A↓", "A↑ Shift↑"},
    {u"+a", "Shift↓ A↓ A↑ Shift↑", "Shift↓ A↓ Shift↑", "A↑ Shift↑"},
    {u"+<a", "LShift↓ A↓ A↑ LShift↑", "LShift↓ A↓ LShift↑", "A↑ LShift↑"},
    {u"^{F4}", "Ctrl↓ F4↓ F4↑ Ctrl↑", "Ctrl↓ F4↓ Ctrl↑", "F4↑ Ctrl↑"},
    {u"{LEFT 3}", "Left↓ Left↑ Left↓ Left↑ Left↓ Left↑", "Left↓ Left↓ Left↓", "Left↑"},
    {u"{a 2}", "Shift↓ A↓ A↑ A↓ A↑ Shift↑", "Shift↓ A↓ A↓", "A↑ Shift↑"},
    {u"%(fx)", "Alt↓ F↓ F↑ X↓ X↑ Alt↑", "Alt↓ F↓ X↓ Alt↑", "F↑ X↑ Alt↑"},
    {u"%fx", "Alt↓ F↓ F↑ Alt↑ X↓ X↑", "Alt↓ F↓ Alt↑ X↓", "F↑ Alt↑ X↑"},
    {u"~", "Enter↓ Enter↑", "Enter↓ Enter↑", "Enter↑"},
    {u"{{}", "Shift↓ OEM_4↓ OEM_4↑ Shift↑", "Shift↓ OEM_4↓", "OEM_4↑ Shift↑"},
    {u"{}}", "Shift↓ OEM_6↓ OEM_6↑ Shift↑", "Shift↓ OEM_6↓", "OEM_6↑ Shift↑"},
    {u"{+}", "Shift↓ OEM_PLUS↓ OEM_PLUS↑ Shift↑", "Shift↓ OEM_PLUS↓", "OEM_PLUS↑ Shift↑"},
    {u"#>{DEL}&b", "RWin↓ Del↓ Del↑ RWin↑ Tab↓ B↓ B↑ Tab↑", "RWin↓ Del↓ RWin↑ Tab↓ B↓ Tab↑", "Del↑ RWin↑ B↑ Tab↑"},
    {u"{NUMLOCK}", "", "", ""},
    {u"{a 0}", "Shift↓ Shift↑", "Shift↓", "Shift↑"},
    {u"{LEFT 0}", "", "", ""},
    {u"", "", "", ""},
};

TEST(TKeySequencePlay, EveryModeEventForEvent) {
  for (const TModesCase& c : kModesCases) {
    const std::pair<TKeyboardSendKeyDownUps, const std::string*> modes[] = {
        {kKey, &c.Key}, {kDown, &c.Down}, {kUp, &c.Up}};
    for (const auto& [mode, notation] : modes) {
      const auto events = Play(c.Sequence, mode)->Events();
      EXPECT_EQ(events, Expected(*notation))
          << "sequence " << Show(c.Sequence) << " in mode " << int(mode.Bits()) << ": got " << Notation(events);
    }
  }
}

// ---------------------------------------------------------------------------------------
// The language's corners, with the messages they log.

struct TPlayCase {
  std::u16string Sequence;
  std::string Events;
  std::vector<std::u16string> Messages;
};

const TPlayCase kEdgeCases[] = {
    // Side marks need a character after them.
    {u"+<", "Shift↓ Shift↓ OEM_COMMA↓ OEM_COMMA↑ Shift↑ Shift↑", {}},
    {u"^>x", "RCtrl↓ X↓ X↑ RCtrl↑", {}},
    {u"^>", "Ctrl↓ Shift↓ OEM_PERIOD↓ OEM_PERIOD↑ Shift↑ Ctrl↑", {}},
    {u"%<a%>b", "LAlt↓ A↓ A↑ LAlt↑ RAlt↓ B↓ B↑ RAlt↑", {}},
    {u"+>a", "RShift↓ A↓ A↑ RShift↑", {}},
    {u"^<a", "LCtrl↓ A↓ A↑ LCtrl↑", {}},
    {u"a<b", "A↓ A↑ Shift↓ OEM_COMMA↓ OEM_COMMA↑ Shift↑ B↓ B↑", {}},
    // The Windows key: no mark and "<" are the left one.
    {u"#<a", "LWin↓ A↓ A↑ LWin↑", {}},
    {u"#a", "LWin↓ A↓ A↑ LWin↑", {}},
    {u"#>a", "RWin↓ A↓ A↑ RWin↑", {}},
    {u"&a", "Tab↓ A↓ A↑ Tab↑", {}},
    {u"&>a", "Tab↓ A↓ A↑ Tab↑", {}},
    // Held modifiers: pressed twice, released once; released in index order.
    {u"++a", "Shift↓ Shift↓ A↓ A↑ Shift↑", {}},
    {u"+^%a", "Shift↓ Ctrl↓ Alt↓ A↓ A↑ Ctrl↑ Alt↑ Shift↑", {}},
    {u"#(#<a)", "LWin↓ LWin↓ A↓ A↑ LWin↑ LWin↑", {}},
    // Groups.
    {u"+(ab", "Shift↓ A↓ A↑ B↓ B↑ Shift↑", {}},
    {u"+)a", "Shift↓ Shift↑ A↓ A↑", {}},
    {u"%((a)b)", "Alt↓ A↓ A↑ Alt↑ B↓ B↑", {}},
    {u"+(a~b)", "Shift↓ A↓ A↑ Enter↓ Enter↑ B↓ B↑ Shift↑", {}},
    {u"+~a", "Shift↓ Enter↓ Enter↑ Shift↑ A↓ A↑", {}},
    // Names fold to upper case; a one-character name types the capital.
    {u"{enter}{Enter}{ENTER}", "Enter↓ Enter↑ Enter↓ Enter↑ Enter↓ Enter↑", {}},
    {u"{a}", "Shift↓ A↓ A↑ Shift↑", {}},
    {u"{~}{(}", "Shift↓ OEM_3↓ OEM_3↑ Shift↑ Shift↓ 9↓ 9↑ Shift↑", {}},
    // Brace escapes.
    {u"{ENTER}}", "Shift↓ OEM_6↓ OEM_6↑ Shift↑", {}},
    {u"{ENTER}{}}", "Enter↓ Enter↑ Shift↓ OEM_6↓ OEM_6↑ Shift↑", {}},
    {u"{{x", "Shift↓ OEM_4↓ OEM_4↑ Shift↑", {}},
    {u"{{xa", "Shift↓ OEM_4↓ OEM_4↑ Shift↑ A↓ A↑", {}},
    {u"{{", "Shift↓ OEM_4↓ OEM_4↑ Shift↑", {}},
    {u"+({{}a)", "Shift↓ Shift↓ OEM_4↓ OEM_4↑ Shift↑ A↓ A↑ Shift↑", {}},
    // Repeat counts through the integer conversion, low 16 bits.
    {u"{LEFT $A}", "Left↓ Left↑ Left↓ Left↑ Left↓ Left↑ Left↓ Left↑ Left↓ Left↑ Left↓ Left↑ Left↓ Left↑ "
                   "Left↓ Left↑ Left↓ Left↑ Left↓ Left↑", {}},
    {u"{LEFT 65538}", "Left↓ Left↑ Left↓ Left↑", {}},
    {u"{TAB  2}", "Tab↓ Tab↑ Tab↓ Tab↑", {}},
    {u"{UP 0x2}", "Up↓ Up↑ Up↓ Up↑", {}},
    // Names that are not in the table keep held modifiers for the next key.
    {u"{ 3}", "", {u"Invalid Key Name"}},
    {u"{}", "", {u"Invalid Key Name"}},
    {u"+{XYZ}a", "Shift↓ A↓ A↑ Shift↑", {u"Invalid Key Name"}},
    {u"{LEFTX}{F25}{F}", "Shift↓ F↓ F↑ Shift↑", {u"Invalid Key Name", u"Invalid Key Name"}},
    // Twenty 8-bit characters at most: the count behind a long name is cut with it.
    {u"{ABCDEFGHIJKLMNOPQRST}", "", {u"Invalid Key Name"}},
    {u"{ABCDEFGHIJKLMNOPQRSTUVWXYZ}", "", {u"Invalid Key Name"}},
    {u"{LEFT               2 3}", "Left↓ Left↑ Left↓ Left↑", {}},
    {u"{LEFT                3}", "", {u"'               ' is not a valid integer value"}},
    // Characters the layout cannot type.
    {u"+\u00E9a", "Shift↓ A↓ A↑ Shift↑", {u"Invalid KeyName"}},
    {u"\U0001F600", "", {u"Invalid KeyName", u"Invalid KeyName"}},
    {u"x\xD800y", "X↓ X↑ Y↓ Y↑", {u"Invalid KeyName"}},
    {u"{\u00E9}{\u20AC}", "", {}},                   // one-character names: no key, no message
    {u"{\u0416}", "Shift↓ OEM_2↓ OEM_2↑ Shift↑", {}},  // not in the code page: "?"
    // Control characters carry Ctrl in their shift state; Shift is pressed and released first.
    {u"\n", "Ctrl↓ Enter↓ Enter↑ Ctrl↑", {}},
    {std::u16string(1, u'\0'), "Shift↓ Ctrl↓ 2↓ 2↑ Shift↑ Ctrl↑", {}},
};

TEST(TKeySequencePlay, EdgeCasesAndTheirMessages) {
  for (const TPlayCase& c : kEdgeCases) {
    TLogWatch log;
    const auto events = Play(c.Sequence)->Events();
    EXPECT_EQ(events, Expected(c.Events)) << "sequence " << Show(c.Sequence) << ": got " << Notation(events);
    EXPECT_EQ(log.Messages(), c.Messages) << "sequence " << Show(c.Sequence);
  }
}

TEST(TKeySequencePlay, ACheckReportsWhatPlayingWouldLogAndLogsNothing) {
  for (const TPlayCase& c : kEdgeCases) {
    TLogWatch log;
    EXPECT_EQ(TKeySequence::Check(c.Sequence), c.Messages) << "sequence " << Show(c.Sequence);
    EXPECT_EQ(log.Messages(), std::vector<std::u16string>{}) << "sequence " << Show(c.Sequence);
  }
  EXPECT_EQ(TKeySequence::Check(u"{BOSST}"), std::vector<std::u16string>{u"Invalid Key Name"});
  EXPECT_EQ(TKeySequence::Check(u"{TAB"), std::vector<std::u16string>{u"No close bracket."});
}

TEST(TKeySequencePlay, CountMinusOneIs65535Presses) {
  const auto events = Play(u"{LEFT -1}")->Events();
  ASSERT_EQ(events.size(), 2u * 65535u);
  const auto down = Expected("Left↓")[0], up = Expected("Left↑")[0];
  for (std::size_t k = 0; k < events.size(); k += 2) {
    ASSERT_EQ(events[k], down) << k;
    ASSERT_EQ(events[k + 1], up) << k;
  }
}

// The Alt key, which no character of the US layout asks for, is pressed and released last.
class TAltLayoutRecorder : public TKeyboardRecorder {
 public:
  TAltLayoutRecorder() : TKeyboardRecorder(false) {}
  std::uint16_t VkKeyScanW(char16_t ch) override { return ch == u'q' ? 0x0751 : TKeyboardRecorder::VkKeyScanW(ch); }
};

TEST(TKeySequencePlay, ShiftStateModifiersPressAndReleaseInTheSameOrder) {
  auto keyboard = std::make_shared<TAltLayoutRecorder>();
  PlayInto(keyboard, u"q");
  EXPECT_EQ(keyboard->Events(), Expected("Shift↓ Ctrl↓ Alt↓ Q↓ Q↑ Shift↑ Ctrl↑ Alt↑"))
      << Notation(keyboard->Events());
}

TEST(TKeySequencePlay, EmptyDownUpsSendsKeyDownsWithoutShiftState) {
  const TModesCase cases[] = {
      {u"A", "A↓", "", ""},
      {u"+a", "Shift↓ A↓ Shift↑", "", ""},
      {u"~", "Enter↓ Enter↑", "", ""},
      {u"{LEFT 2}", "Left↓ Left↓", "", ""},
  };
  for (const TModesCase& c : cases) {
    const auto events = Play(c.Sequence, TKeyboardSendKeyDownUps{})->Events();
    EXPECT_EQ(events, Expected(c.Key)) << Show(c.Sequence) << ": got " << Notation(events);
  }
}

TEST(TKeySequencePlay, DownThenUpOfAShiftedKeyEndsWithEverythingReleased) {
  auto keyboard = std::make_shared<TKeyboardRecorder>(false);
  PlayInto(keyboard, u"A", kDown);
  PlayInto(keyboard, u"A", kUp);
  EXPECT_EQ(keyboard->Events(), Expected("Shift↓ A↓ A↑ Shift↑")) << Notation(keyboard->Events());
  EXPECT_FALSE(keyboard->GetKeyState(0x10) & 0x8000);
  EXPECT_FALSE(keyboard->GetKeyState(0x41) & 0x8000);
}

// A chord held as long as the finger: the press keeps the modifier characters' keys down, the
// release of the same text lets go of everything. Within the text a modifier still lets go
// before the next key, as without holding.
TEST(TKeySequencePlay, HeldModifiersStayDownUntilTheReleaseOfTheSameText) {
  const TModesCase cases[] = {
      // Sequence, both halves, press, release
      {u"+<l", "LShift↓ L↓ L↑ LShift↑", "LShift↓ L↓", "L↑ LShift↑"},
      {u"^{F4}", "Ctrl↓ F4↓ F4↑ Ctrl↑", "Ctrl↓ F4↓", "F4↑ Ctrl↑"},
      {u"%(fx)", "Alt↓ F↓ F↑ X↓ X↑ Alt↑", "Alt↓ F↓ X↓", "F↑ X↑ Alt↑"},
      {u"%fx", "Alt↓ F↓ F↑ Alt↑ X↓ X↑", "Alt↓ F↓ Alt↑ X↓", "F↑ Alt↑ X↑"},
      {u"+a^b", "Shift↓ A↓ A↑ Shift↑ Ctrl↓ B↓ B↑ Ctrl↑", "Shift↓ A↓ Shift↑ Ctrl↓ B↓", "A↑ Shift↑ B↑ Ctrl↑"},
      {u"+~", "Shift↓ Enter↓ Enter↑ Shift↑", "Shift↓ Enter↓ Enter↑", "Enter↑ Shift↑"},
      {u"+{NUMLOCK}", "Shift↓ Shift↑", "Shift↓", "Shift↑"},
      {u"+{LEFT", "Shift↓ Shift↑", "Shift↓", "Shift↑"},  // playing stops at the missing "}"
  };
  for (const TModesCase& c : cases) {
    auto keyboard = std::make_shared<TKeyboardRecorder>(false);
    const std::pair<TKeyboardSendKeyDownUps, const std::string*> modes[] = {
        {kKey, &c.Key}, {kDown, &c.Down}, {kUp, &c.Up}};
    for (const auto& [mode, notation] : modes) {
      keyboard->Clear();
      PlayInto(keyboard, c.Sequence, mode, 0, 0, true);
      EXPECT_EQ(keyboard->Events(), Expected(*notation))
          << Show(c.Sequence) << " in mode " << int(mode.Bits()) << ": got " << Notation(keyboard->Events());
    }
    for (int vk = 0; vk < 256; ++vk) EXPECT_FALSE(keyboard->GetKeyState(vk) & 0x8000) << Show(c.Sequence) << " " << vk;
  }
}

// ---------------------------------------------------------------------------------------
// Num Lock: one read-flip-write of the key-state array, no event, no pause.

TEST(TKeySequenceNumLock, CountThreeFlipsOnceWithoutEventsOrPauses) {
  const auto keyboard = Play(u"{NUMLOCK 3}", kKey, 30, 50);
  const std::vector<TKeyCall> calls = keyboard->Calls();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0].Kind, TKeyCallKind::GetKeyState);
  EXPECT_EQ(calls[0].Vk, 0x90u);
  EXPECT_EQ(calls[1].Kind, TKeyCallKind::GetKeyboardState);
  EXPECT_EQ(calls[2].Kind, TKeyCallKind::SetKeyboardState);
  EXPECT_EQ(calls[2].Value & 1u, 1u);
  EXPECT_TRUE(keyboard->NumLockOn());
}

TEST(TKeySequenceNumLock, DownThenUpFlipsTwiceInEveryMode) {
  for (const auto modes : {kDown, kUp, kKey, TKeyboardSendKeyDownUps{}}) {
    auto keyboard = std::make_shared<TKeyboardRecorder>(false);
    std::vector<std::string> lines;
    keyboard->SetListener([&lines](const std::string& line) { lines.push_back(line); });
    PlayInto(keyboard, u"{NUMLOCK}", modes);
    EXPECT_TRUE(keyboard->NumLockOn());
    PlayInto(keyboard, u"{numlock}", modes);
    EXPECT_FALSE(keyboard->NumLockOn());
    EXPECT_EQ(lines, (std::vector<std::string>{"numlock on", "numlock off"}));
    EXPECT_TRUE(keyboard->Events().empty());
  }
}

TEST(TKeySequenceNumLock, OtherEntriesOfTheKeyStateArraySurviveTheFlip) {
  auto keyboard = std::make_shared<TKeyboardRecorder>(false);
  std::uint8_t state[256] = {};
  state[0x14] = 0x01;  // Caps Lock on
  state[0x90] = 0x80;  // Num Lock held down, toggle off
  keyboard->SetKeyboardState(state);
  PlayInto(keyboard, u"{NUMLOCK}");
  keyboard->GetKeyboardState(state);
  EXPECT_EQ(state[0x14], 0x01);
  EXPECT_EQ(state[0x90], 0x81);
}

// ---------------------------------------------------------------------------------------
// Delays go through the keyboard's Sleep.

std::string Timeline(const TKeyboardRecorder& AKeyboard) {
  std::string text;
  for (const TKeyCall& c : AKeyboard.EventsAndSleeps()) {
    if (!text.empty()) text += ' ';
    if (c.Kind == TKeyCallKind::Sleep)
      text += std::to_string(c.Value) + "ms";
    else
      text += Notation({{static_cast<std::uint8_t>(c.Vk), static_cast<std::uint8_t>(c.Scan), c.Flags, c.Extra}});
  }
  return text;
}

TEST(TKeySequenceDelays, PausesWhereTheDelaysSay) {
  struct TCase {
    std::u16string Sequence;
    TKeyboardSendKeyDownUps Modes;
    std::int32_t DelayModifiers, DelayKeys;
    std::string Timeline;
  } cases[] = {
      {u"{LEFT 2}", kKey, 0, 50, "Left↓ 50ms Left↑ Left↓ 50ms Left↑"},
      {u"+a", kKey, 30, 0, "Shift↓ 30ms A↓ A↑ Shift↑"},
      {u"+a", kDown, 30, 0, "Shift↓ 30ms A↓ 30ms Shift↑"},
      {u"A", kKey, 30, 50, "Shift↓ 30ms A↓ 50ms A↑ Shift↑"},
      {u"A", kUp, 30, 50, "A↑ Shift↑"},
      {u"~", kDown, 30, 50, "Enter↓ 50ms Enter↑"},
      {u"+a", kKey, -5, -1, "Shift↓ A↓ A↑ Shift↑"},
  };
  for (const TCase& c : cases) {
    const auto keyboard = Play(c.Sequence, c.Modes, c.DelayModifiers, c.DelayKeys);
    EXPECT_EQ(Timeline(*keyboard), c.Timeline) << Show(c.Sequence);
  }
}

// ---------------------------------------------------------------------------------------
// Playing stops early at a "{" without "}" and at a bad repeat count, and then releases
// the modifiers the sequence pressed.

TEST(TKeySequenceEarlyStop, ReleasesHeldModifiersAndLogsAsBefore) {
  const struct {
    std::u16string Sequence;
    TKeyboardSendKeyDownUps Modes;
    std::string Events;
    std::u16string Message;
  } cases[] = {
      // The count is folded with the name, so the message shows it in capitals.
      {u"+{LEFT x}", kKey, "Shift↓ Shift↑", u"'X' is not a valid integer value"},
      {u"+{LEFT x}b", kKey, "Shift↓ Shift↑", u"'X' is not a valid integer value"},
      {u"{LEFT }", kKey, "", u"'' is not a valid integer value"},
      {u"{ }", kKey, "", u"'' is not a valid integer value"},
      {u"{LEFT 99999999999}", kKey, "", u"'99999999999' is not a valid integer value"},
      {u"+^{LEFT 1x}", kDown, "Shift↓ Ctrl↓ Ctrl↑ Shift↑", u"'1X' is not a valid integer value"},
      {u"+{LEFT", kKey, "Shift↓ Shift↑", u"No close bracket."},
      {u"%(a{B", kKey, "Alt↓ A↓ A↑ Alt↑", u"No close bracket."},
      {u"%(a{B", kUp, "A↑ Alt↑", u"No close bracket."},
      {u"a{", kKey, "A↓ A↑", u"No close bracket."},
      {u"#>{ENTER", kDown, "RWin↓ RWin↑", u"No close bracket."},
  };
  for (const auto& c : cases) {
    TLogWatch log;
    const auto events = Play(c.Sequence, c.Modes)->Events();
    EXPECT_EQ(events, Expected(c.Events)) << Show(c.Sequence) << ": got " << Notation(events);
    EXPECT_EQ(log.Messages(), std::vector<std::u16string>{c.Message}) << Show(c.Sequence);
  }
}

// ---------------------------------------------------------------------------------------
// The key-name table.

TEST(TKeySequenceKeyNames, SixtyFiveNamesInByteOrder) {
  ASSERT_EQ(KeyNames.size(), 65u);
  EXPECT_EQ(KeyNames.front().Name, "BACKSPACE");
  EXPECT_EQ(KeyNames.back().Name, "UP");
  for (std::size_t k = 1; k < KeyNames.size(); ++k)
    EXPECT_LT(KeyNames[k - 1].Name, KeyNames[k].Name) << "at " << k;
  for (const TKeyName& e : KeyNames) {
    EXPECT_GE(e.Name.size(), 2u);
    EXPECT_LE(e.Name.size(), 11u);
  }
}

TEST(TKeySequenceKeyNames, EveryNameResolvesAndPlays) {
  std::map<std::string, std::uint8_t> names = {
      {"BACKSPACE", 0x08}, {"BKSP", 0x08}, {"BS", 0x08},      {"BREAK", 0x03},      {"CAPSLOCK", 0x14},
      {"CLEAR", 0x0C},     {"DEL", 0x2E},  {"DELETE", 0x2E},  {"DOWN", 0x28},       {"END", 0x23},
      {"ENTER", 0x0D},     {"ESC", 0x1B},  {"ESCAPE", 0x1B},  {"HELP", 0x2F},       {"HOME", 0x24},
      {"INS", 0x2D},       {"LEFT", 0x25}, {"NUMDECIMAL", 0x6E}, {"NUMDIVIDE", 0x6F}, {"NUMLOCK", 0x90},
      {"NUMMINUS", 0x6D},  {"NUMMULTIPLY", 0x6A}, {"NUMPLUS", 0x6B}, {"PGDN", 0x22}, {"PGUP", 0x21},
      {"PRTSC", 0x2A},     {"RIGHT", 0x27}, {"SCROLLLOCK", 0x91}, {"SPACE", 0x20},   {"TAB", 0x09},
      {"UP", 0x26},
  };
  for (int k = 1; k <= 24; ++k) names["F" + std::to_string(k)] = static_cast<std::uint8_t>(0x70 + k - 1);
  for (int k = 0; k <= 9; ++k) names["NUM" + std::to_string(k)] = static_cast<std::uint8_t>(0x60 + k);
  ASSERT_EQ(names.size(), 65u);

  TLogWatch log;
  TKeySequencePlayer worker;
  for (const auto& [name, vk] : names) {
    EXPECT_EQ(worker.KeyNameToVKey(name), vk) << name;
    if (vk == 0x90) continue;  // Num Lock sends no event
    const auto events = Play(u"{" + AsciiToUtf16(name) + u"}")->Events();
    ASSERT_EQ(events.size(), 2u) << name;
    EXPECT_EQ(events[0].Vk, vk) << name;
    EXPECT_EQ(events[1].Flags & 2u, 2u) << name;
  }
  EXPECT_TRUE(log.Messages().empty());
}

TEST(TKeySequenceKeyNames, NearMissesAreNotFound) {
  TLogWatch log;
  TKeySequencePlayer worker;
  for (const char* name : {"", "A", "F", "F0", "F25", "F100", "ENTE", "ENTERS", "left", "UPP", "ZZZ", "\xFF\xFF"})
    EXPECT_EQ(worker.KeyNameToVKey(name), 0xFFFF) << name;
  EXPECT_EQ(log.Messages(), std::vector<std::u16string>(12, u"Invalid Key Name"));
}

TEST(TKeySequenceTables, ShiftAndExtendedKeys) {
  EXPECT_EQ(ShiftKeys, (std::array<std::uint8_t, 15>{0x11, 0x12, 0x10, 0x5B, 0x09, 0xA2, 0xA4, 0xA0, 0x5B, 0x09,
                                                     0xA3, 0xA5, 0xA1, 0x5C, 0x09}));
  EXPECT_EQ(ExtendedKeys.count(), 10u);
  for (std::uint8_t vk : {0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x27, 0x28, 0x2D, 0x2E}) EXPECT_TRUE(ExtendedKeys[vk]);
}

TEST(TKeySequenceTables, DownUpsIsOneByte) {
  static_assert(sizeof(TKeyboardSendKeyDownUps) == 1);
  EXPECT_EQ(TKeyboardSendKeyDownUps{}.Bits(), 0);
  EXPECT_EQ(kDown.Bits(), 1);
  EXPECT_EQ(kUp.Bits(), 2);
  EXPECT_EQ(kKey.Bits(), 3);
  TKeyboardSendKeyDownUps modes = kKey;
  modes.Exclude(skDown);
  EXPECT_EQ(modes, kUp);
}

// ---------------------------------------------------------------------------------------
// The worker's life on its own thread.

// A worker that counts the runs of its thread body and its destruction.
class TCountedWorker : public TKeySequence {
 public:
  TCountedWorker(std::atomic<int>& ARuns, std::atomic<int>& ADestroyed) : fRuns(ARuns), fDestroyed(ADestroyed) {}
  ~TCountedWorker() override { ++fDestroyed; }

 protected:
  void Execute() override {
    ++fRuns;
    TKeySequence::Execute();
  }

 private:
  std::atomic<int>& fRuns;
  std::atomic<int>& fDestroyed;
};

class TKeySequenceWorker : public ::testing::Test {
 protected:
  std::shared_ptr<TKeyboardRecorder> fRecorder = std::make_shared<TKeyboardRecorder>(false);
  // Selects the recorder for the workers; waits for them at the end of every test.
  TKeyboardWatch fWatch{fRecorder};
};

TEST_F(TKeySequenceWorker, CreatedWithDefaults) {
  std::atomic<int> runs = 0, destroyed = 0;
  {
    TCountedWorker worker(runs, destroyed);
    EXPECT_TRUE(worker.Sequence().empty());
    EXPECT_EQ(worker.DelayModifiers(), 0);
    EXPECT_EQ(worker.DelayKeys(), 0);
    EXPECT_EQ(worker.DownUps(), kKey);
  }
  fWatch.WaitForWorkers();
  EXPECT_EQ(runs, 0);  // creating does not start
  EXPECT_EQ(destroyed, 1);
}

TEST_F(TKeySequenceWorker, StartPlaysOnItsOwnThreadAndDestroysItself) {
  TLogWatch log;
  std::atomic<int> runs = 0, destroyed = 0;
  auto* worker = new TCountedWorker(runs, destroyed);
  worker->SetSequence(u"+{LEFT x}");
  worker->Start();
  fWatch.WaitForWorkers();
  EXPECT_EQ(runs, 1);
  EXPECT_EQ(destroyed, 1);
  EXPECT_EQ(fWatch.LiveWorkers(), 0);
  const auto calls = fRecorder->Calls();
  ASSERT_FALSE(calls.empty());
  EXPECT_NE(calls[0].Thread, std::this_thread::get_id());
  EXPECT_EQ(fRecorder->Events(), Expected("Shift↓ Shift↑"));
  EXPECT_EQ(log.Messages(), std::vector<std::u16string>{u"'X' is not a valid integer value"});
}

TEST_F(TKeySequenceWorker, KeepsTheKeyboardItWasCreatedWith) {
  const std::weak_ptr<TKeyboard> created = GetKeyboard();
  auto worker = std::make_unique<TKeySequence>();
  worker->SetSequence(u"a");
  SelectKeyboard(std::make_unique<TKeyboardRecorder>(false));  // the old one lives on in the worker
  EXPECT_NE(GetKeyboard(), created.lock());
  worker.release()->Start();
  fWatch.WaitForWorkers();
  EXPECT_EQ(Notation(fRecorder->Events()), "A↓ A↑");
  EXPECT_TRUE(created.expired());  // the worker let go of it when it was destroyed
}

// Holds every worker at its first event until all have arrived, so they really run at once
// (and their thread ids, which tell their events apart, cannot be reused).
class TGateRecorder : public TKeyboardRecorder {
 public:
  explicit TGateRecorder(std::size_t AWorkers) : TKeyboardRecorder(false), fWorkers(AWorkers) {}
  void keybd_event(std::uint8_t bVk, std::uint8_t bScan, std::uint32_t dwFlags, std::uintptr_t dwExtraInfo) override {
    {
      std::unique_lock lock(fGateLock);
      if (fArrived.insert(std::this_thread::get_id()).second) {
        fGate.notify_all();
        fGate.wait(lock, [this] { return fArrived.size() == fWorkers; });
      }
    }
    TKeyboardRecorder::keybd_event(bVk, bScan, dwFlags, dwExtraInfo);
  }

 private:
  const std::size_t fWorkers;
  std::mutex fGateLock;
  std::condition_variable fGate;
  std::set<std::thread::id> fArrived;
};

TEST(TKeySequenceConcurrent, WorkersKeepTheirOwnEventsInOrder) {
  const std::u16string sequences[] = {u"abcdefghij{LEFT 50}", u"+(klmno){UP 50}", u"%{F4 40}xyz", u"{HOME 30}0123"};
  const auto recorder = std::make_shared<TGateRecorder>(std::size(sequences));
  TKeyboardWatch watch(recorder);
  for (const auto& s : sequences) {
    auto* worker = new TKeySequence;
    worker->SetSequence(s);
    worker->Start();
  }
  watch.WaitForWorkers();
  std::map<std::thread::id, std::vector<TKeyEvent>> events;
  for (const TKeyCall& c : recorder->Calls())
    if (c.Kind == TKeyCallKind::Event)
      events[c.Thread].push_back({static_cast<std::uint8_t>(c.Vk), static_cast<std::uint8_t>(c.Scan), c.Flags, c.Extra});
  ASSERT_EQ(events.size(), std::size(sequences));
  std::vector<std::string> got, want;
  for (const auto& [thread, list] : events) got.push_back(Notation(list));
  for (const auto& s : sequences) want.push_back(Notation(Play(s)->Events()));
  std::sort(got.begin(), got.end());
  std::sort(want.begin(), want.end());
  EXPECT_EQ(got, want);
}

}  // namespace
