#include "tests/keys/KeysTestSupport.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "base/uText.h"
#include "keys/uUSLayout.h"
#include "tests/support/KeySequencePlayer.h"

namespace {

const std::map<std::string, std::uint8_t> kNamedKeys = {
    {"Break", 0x03},    {"Back", 0x08},      {"Tab", 0x09},       {"Enter", 0x0D},    {"Shift", 0x10},
    {"Ctrl", 0x11},     {"Alt", 0x12},       {"Esc", 0x1B},       {"Space", 0x20},    {"PgUp", 0x21},
    {"PgDn", 0x22},     {"End", 0x23},       {"Home", 0x24},      {"Left", 0x25},     {"Up", 0x26},
    {"Right", 0x27},    {"Down", 0x28},      {"Ins", 0x2D},       {"Del", 0x2E},      {"LWin", 0x5B},
    {"RWin", 0x5C},     {"F1", 0x70},        {"F4", 0x73},        {"F24", 0x87},      {"NumLock", 0x90},
    {"LShift", 0xA0},   {"RShift", 0xA1},    {"LCtrl", 0xA2},     {"RCtrl", 0xA3},    {"LAlt", 0xA4},
    {"RAlt", 0xA5},     {"OEM_1", 0xBA},     {"OEM_PLUS", 0xBB},  {"OEM_COMMA", 0xBC}, {"OEM_MINUS", 0xBD},
    {"OEM_PERIOD", 0xBE}, {"OEM_2", 0xBF},   {"OEM_3", 0xC0},     {"OEM_4", 0xDB},    {"OEM_5", 0xDC},
    {"OEM_6", 0xDD},    {"OEM_7", 0xDE},
};

// Written out here rather than taken from the code under test.
bool IsExtended(std::uint8_t vk) { return (vk >= 0x21 && vk <= 0x28) || vk == 0x2D || vk == 0x2E; }

const std::string kDownArrow = "\xE2\x86\x93";  // ↓
const std::string kUpArrow = "\xE2\x86\x91";    // ↑

// Every keyboard test starts with a recorder selected, so none reaches the real keyboard.
class TRecorderEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { SelectKeyboard(std::make_unique<TKeyboardRecorder>(false)); }
};

[[maybe_unused]] ::testing::Environment* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new TRecorderEnvironment);

}  // namespace

std::uint8_t VKeyOf(const std::string& AName) {
  if (auto it = kNamedKeys.find(AName); it != kNamedKeys.end()) return it->second;
  if (AName.size() == 1 && ((AName[0] >= 'A' && AName[0] <= 'Z') || (AName[0] >= '0' && AName[0] <= '9')))
    return static_cast<std::uint8_t>(AName[0]);
  ADD_FAILURE() << "unknown key name in expectation: " << AName;
  return 0;
}

std::vector<TKeyEvent> Expected(const std::string& ANotation) {
  std::vector<TKeyEvent> events;
  std::istringstream in(ANotation);
  std::string token;
  while (in >> token) {
    const bool down = token.ends_with(kDownArrow);
    if (!down && !token.ends_with(kUpArrow)) {
      ADD_FAILURE() << "token without arrow: " << token;
      continue;
    }
    const std::uint8_t vk = VKeyOf(token.substr(0, token.size() - kDownArrow.size()));
    const std::uint32_t flags = (IsExtended(vk) ? 1u : 0u) | (down ? 0u : 2u);
    events.push_back({vk, static_cast<std::uint8_t>(USScanCode(vk)), flags, 13});
  }
  return events;
}

std::string Notation(const std::vector<TKeyEvent>& AEvents) {
  std::string text;
  for (const TKeyEvent& e : AEvents) {
    std::string name;
    for (const auto& [n, vk] : kNamedKeys)
      if (vk == e.Vk) name = n;
    if (name.empty()) name = (e.Vk >= '0' && e.Vk <= 'Z') ? std::string(1, static_cast<char>(e.Vk)) : "?";
    if (!text.empty()) text += ' ';
    text += name + ((e.Flags & 2) ? kUpArrow : kDownArrow);
    if (e.Scan != USScanCode(e.Vk) || e.Extra != 13 || ((e.Flags & 1) != 0) != IsExtended(e.Vk)) text += "(!)";
  }
  return text;
}

TLogWatch::TLogWatch() {
  CreateGlobals();
  Globals->SetObserver(this);
}

TLogWatch::~TLogWatch() {
  Globals->SetObserver(nullptr);
  DestroyGlobals();
}

void TLogWatch::Reported(const std::u16string& pMessage, const std::u16string& pLogger) {
  std::lock_guard lock(fLock);
  fReports.emplace_back(pMessage, pLogger);
}

std::vector<std::u16string> TLogWatch::Messages() {
  std::lock_guard lock(fLock);
  std::vector<std::u16string> messages;
  for (const auto& [message, logger] : fReports) {
    EXPECT_EQ(logger, u"KEY") << Utf16ToUtf8(message);
    messages.push_back(message);
  }
  return messages;
}

void PlayInto(const std::shared_ptr<TKeyboard>& AKeyboard, const std::u16string& ASequence,
              TKeyboardSendKeyDownUps AModes, std::int32_t ADelayModifiers, std::int32_t ADelayKeys,
              bool AHoldModifiers) {
  PlayKeySequence(AKeyboard, ASequence, AModes, ADelayModifiers, ADelayKeys, AHoldModifiers);
}

std::shared_ptr<TKeyboardRecorder> Play(const std::u16string& ASequence, TKeyboardSendKeyDownUps AModes,
                                        std::int32_t ADelayModifiers, std::int32_t ADelayKeys) {
  auto recorder = std::make_shared<TKeyboardRecorder>(false);
  PlayInto(recorder, ASequence, AModes, ADelayModifiers, ADelayKeys);
  return recorder;
}
