#include "keys/uSendKeys.h"

#include <algorithm>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

#include "base/uErrors.h"
#include "base/uIntConv.h"
#include "base/uText.h"
#include "keys/uKeyboardRecorder.h"
#include "log/uGlobals.h"

namespace {

constexpr std::uint8_t VK_SHIFT = 0x10, VK_CONTROL = 0x11, VK_MENU = 0x12, VK_RETURN = 0x0D, VK_NUMLOCK = 0x90;
constexpr std::uint32_t KEYEVENTF_EXTENDEDKEY = 0x0001, KEYEVENTF_KEYUP = 0x0002;
constexpr std::uintptr_t kExtraInfo = 13;
constexpr std::uint16_t kNoKey = 0xFFFF;
constexpr std::uint16_t kShiftedOem4 = 0x01DB;  // "{" on a US layout
constexpr std::uint16_t kShiftedOem6 = 0x01DD;  // "}" on a US layout
constexpr std::size_t kMaxNameLength = 20;
const std::u16string kLogger = u"KEY";

int ModifierNumber(char16_t c) {
  switch (c) {
    case u'^': return 0;
    case u'%': return 1;
    case u'+': return 2;
    case u'#': return 3;
    case u'&': return 4;
    default: return -1;
  }
}

std::bitset<256> MakeExtendedKeys() {
  std::bitset<256> keys;
  for (std::uint8_t vk : {0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x27, 0x28, 0x2D, 0x2E}) keys.set(vk);
  return keys;
}

// Which worker of each sequence text was started last, and how many have not finished.
struct TPlayOrder {
  std::mutex Lock;
  std::condition_variable Finished;
  // The finished flag of the last worker started per text; dropped when that one finishes.
  std::map<std::u16string, std::shared_ptr<bool>> Last;
  std::size_t Unfinished = 0;
};

// Never destroyed: detached workers may still finish while static objects go.
TPlayOrder& PlayOrder() {
  static TPlayOrder& order = *new TPlayOrder;
  return order;
}

// A worker's place in the order of its sequence text, from its start until it has finished,
// also when its thread never ran.
class TTurn {
 public:
  explicit TTurn(const std::u16string& ASequence) : fSequence(ASequence), fFinished(std::make_shared<bool>(false)) {
    TPlayOrder& order = PlayOrder();
    std::lock_guard lock(order.Lock);
    fPrevious = std::exchange(order.Last[fSequence], fFinished);
    ++order.Unfinished;
  }
  TTurn(TTurn&&) noexcept = default;
  ~TTurn() { Finish(); }

  // Blocks until the worker started before this one with the same text has finished.
  void Wait() {
    TPlayOrder& order = PlayOrder();
    std::unique_lock lock(order.Lock);
    order.Finished.wait(lock, [this] { return !fPrevious || *fPrevious; });
    fPrevious.reset();
  }

  void Finish() {
    if (!fFinished) return;  // finished already, or moved from
    TPlayOrder& order = PlayOrder();
    {
      std::lock_guard lock(order.Lock);
      *fFinished = true;
      const auto last = order.Last.find(fSequence);
      if (last != order.Last.end() && last->second == fFinished) order.Last.erase(last);
      --order.Unfinished;
    }
    order.Finished.notify_all();
    fFinished.reset();
  }

 private:
  std::u16string fSequence;
  std::shared_ptr<bool> fFinished;  // guarded by the order's lock
  std::shared_ptr<bool> fPrevious;
};

}  // namespace

const std::array<TKeyName, 65> KeyNames = {{
    {"BACKSPACE", 0x08}, {"BKSP", 0x08},        {"BREAK", 0x03},      {"BS", 0x08},
    {"CAPSLOCK", 0x14},  {"CLEAR", 0x0C},       {"DEL", 0x2E},        {"DELETE", 0x2E},
    {"DOWN", 0x28},      {"END", 0x23},         {"ENTER", 0x0D},      {"ESC", 0x1B},
    {"ESCAPE", 0x1B},    {"F1", 0x70},          {"F10", 0x79},        {"F11", 0x7A},
    {"F12", 0x7B},       {"F13", 0x7C},         {"F14", 0x7D},        {"F15", 0x7E},
    {"F16", 0x7F},       {"F17", 0x80},         {"F18", 0x81},        {"F19", 0x82},
    {"F2", 0x71},        {"F20", 0x83},         {"F21", 0x84},        {"F22", 0x85},
    {"F23", 0x86},       {"F24", 0x87},         {"F3", 0x72},         {"F4", 0x73},
    {"F5", 0x74},        {"F6", 0x75},          {"F7", 0x76},         {"F8", 0x77},
    {"F9", 0x78},        {"HELP", 0x2F},        {"HOME", 0x24},       {"INS", 0x2D},
    {"LEFT", 0x25},      {"NUM0", 0x60},        {"NUM1", 0x61},       {"NUM2", 0x62},
    {"NUM3", 0x63},      {"NUM4", 0x64},        {"NUM5", 0x65},       {"NUM6", 0x66},
    {"NUM7", 0x67},      {"NUM8", 0x68},        {"NUM9", 0x69},       {"NUMDECIMAL", 0x6E},
    {"NUMDIVIDE", 0x6F}, {"NUMLOCK", 0x90},     {"NUMMINUS", 0x6D},   {"NUMMULTIPLY", 0x6A},
    {"NUMPLUS", 0x6B},   {"PGDN", 0x22},        {"PGUP", 0x21},       {"PRTSC", 0x2A},
    {"RIGHT", 0x27},     {"SCROLLLOCK", 0x91},  {"SPACE", 0x20},      {"TAB", 0x09},
    {"UP", 0x26},
}};

const std::array<std::uint8_t, 15> ShiftKeys = {
    0x11, 0x12, 0x10, 0x5B, 0x09,  // no mark: Ctrl, Alt, Shift, left Windows key, Tab
    0xA2, 0xA4, 0xA0, 0x5B, 0x09,  // "<": the left-hand keys
    0xA3, 0xA5, 0xA1, 0x5C, 0x09,  // ">": the right-hand keys
};

const std::bitset<256> ExtendedKeys = MakeExtendedKeys();

TKeySequence::TKeySequence() : fKeyboard(GetKeyboard()) {}

TKeySequence::TKeySequence(std::shared_ptr<TKeyboard> AKeyboard) : fKeyboard(std::move(AKeyboard)) {}

TKeySequence::~TKeySequence() = default;

void TKeySequence::Start() {
  // Nobody waits for the thread; it touches nothing of the worker after destroying it. The
  // turn is taken now rather than when the thread gets going, so workers started one after
  // the other play in that order whatever the load.
  try {
    TTurn turn(fSequence);
    std::thread([this, turn = std::move(turn)]() mutable {
      turn.Wait();
      Execute();
      delete this;
      turn.Finish();
    }).detach();
  } catch (...) {
    delete this;
    throw;
  }
}

void TKeySequence::Execute() {
  try {
    SendSequence();
  } catch (const Exception& e) {
    Report(e.Message());
  } catch (const std::exception& e) {
    Report(Utf8ToUtf16(e.what()));
  }
  // A sequence that played to its end has released its modifiers already; one that stopped
  // early (a missing "}" or a bad repeat count) would otherwise leave them pressed.
  ReleaseShifts();
}

void TKeySequence::Report(const std::u16string& AMessage) {
  if (fReports)
    fReports->push_back(AMessage);
  else
    LogToGlobals(AMessage, kLogger);
}

std::vector<std::u16string> TKeySequence::Check(std::u16string ASequence) {
  auto keyboard = std::make_shared<TKeyboardRecorder>(false);
  keyboard->SetKeepCalls(false);
  std::vector<std::u16string> reports;
  TKeySequence player(std::move(keyboard));
  player.fSequence = std::move(ASequence);
  player.fReports = &reports;
  player.Execute();
  return reports;
}

void TKeySequence::SendSequence() {
  fShiftsDown.fill(false);
  fReleaseDue = false;
  bool group = false;
  const std::size_t n = fSequence.size();
  if (n == 0) return;
  // Positions count from 1, as in the sequence's description.
  auto at = [this](std::size_t pos) { return fSequence[pos - 1]; };
  auto releaseUnlessGroup = [&] {
    if (!group) ReleaseShifts();
  };

  std::size_t i = 1;
  while (i <= n) {
    int side = 0;
    if (i + 1 < n) {
      if (at(i + 1) == u'<') side = 1;
      else if (at(i + 1) == u'>') side = 2;
    }
    const char16_t c = at(i);
    const int modifier = ModifierNumber(c);

    if (c == u'(') {
      group = true;
      ++i;
    } else if (c == u')') {
      group = false;
      ReleaseShifts();
      ++i;
    } else if (modifier >= 0) {
      const std::size_t j = static_cast<std::size_t>(side * 5 + modifier);
      // A release-only play presses nothing; the flag has the next release let go of the key.
      if (!ReleasesOnly()) SendKey(ShiftKeys[j], 1, false);
      fShiftsDown[j] = true;
      i += side != 0 ? 2 : 1;
    } else if (c == u'~') {
      if (ReleasesOnly())
        ReleaseKey(VK_RETURN);
      else
        SendKey(VK_RETURN, 1, true);
      releaseUnlessGroup();
      ++i;
    } else if (c == u'{') {
      std::uint16_t count = 1;
      if (i + 1 <= n && at(i + 1) == u'{') {
        // "{{" and the character after it type "{".
        SendShiftedKey(kShiftedOem4, 1);
        releaseUnlessGroup();
        i += 3;
        continue;
      }
      std::string name;  // 8-bit, at most 20 characters
      bool closed = false;
      while (true) {
        ++i;
        if (i > n) break;
        if (at(i) == u'}') {
          ++i;
          closed = true;
          break;
        }
        if (name.size() < kMaxNameLength) name += Utf16CharToAnsi(UpCaseAscii(at(i)));
      }
      if (!closed) {
        Report(u"No close bracket.");
        return;
      }
      if (i <= n && at(i) == u'}') {
        // "}}" types "}"; the name between the braces is not sent.
        SendShiftedKey(kShiftedOem6, 1);
        releaseUnlessGroup();
        ++i;
        continue;
      }
      if (const std::size_t blank = name.find(' '); blank != std::string::npos) {
        count = static_cast<std::uint16_t>(StrToInt(AnsiToUtf16(name.substr(blank + 1))));
        name.resize(blank);
      }
      const std::uint16_t key = name.size() == 1
                                    ? fKeyboard->VkKeyScanW(static_cast<unsigned char>(name[0]))
                                    : KeyNameToVKey(name);
      if (key != kNoKey) {
        SendShiftedKey(key, count);
        releaseUnlessGroup();
      }
    } else {
      const std::uint16_t key = fKeyboard->VkKeyScanW(c);
      if (key == kNoKey) {
        Report(u"Invalid KeyName");
      } else {
        SendShiftedKey(key, 1);
        releaseUnlessGroup();
      }
      ++i;
    }
  }
  ReleaseShifts();
}

std::uint16_t TKeySequence::KeyNameToVKey(std::string_view AName) {
  const auto* it = std::lower_bound(KeyNames.begin(), KeyNames.end(), AName,
                                    [](const TKeyName& e, std::string_view name) { return e.Name < name; });
  if (it != KeyNames.end() && it->Name == AName) return it->VKey;
  Report(u"Invalid Key Name");
  return kNoKey;
}

void TKeySequence::SendKeyEvent(std::uint8_t AVirtualKey, std::uint8_t AScanCode, std::uint32_t AFlags) {
  fKeyboard->keybd_event(AVirtualKey, AScanCode, AFlags, kExtraInfo);
}

void TKeySequence::Pause(std::int32_t AMilliseconds) {
  if (AMilliseconds > 0) fKeyboard->Sleep(static_cast<std::uint32_t>(AMilliseconds));
}

void TKeySequence::SendKey(std::uint8_t AVirtualKey, std::uint16_t ACount, bool AAndRelease) {
  if (fReleaseDue) ReleaseShiftsNow();
  if (AVirtualKey == VK_NUMLOCK) {
    // Num Lock flips its toggle state in the key-state array, without any key event.
    const bool on = fKeyboard->GetKeyState(VK_NUMLOCK) & 1;
    std::uint8_t state[256] = {};
    fKeyboard->GetKeyboardState(state);
    state[VK_NUMLOCK] = static_cast<std::uint8_t>(on ? state[VK_NUMLOCK] & ~1u : state[VK_NUMLOCK] | 1u);
    fKeyboard->SetKeyboardState(state);
    return;
  }
  const auto scan = static_cast<std::uint8_t>(fKeyboard->MapVirtualKeyW(AVirtualKey, 0));
  const std::uint32_t extended = ExtendedKeys.test(AVirtualKey) ? KEYEVENTF_EXTENDEDKEY : 0;
  // A check learns nothing from the repeats of a key but the time they take.
  const std::uint32_t count = fReports ? std::min<std::uint32_t>(ACount, 1) : ACount;
  for (std::uint32_t k = 0; k < count; ++k) {
    SendKeyEvent(AVirtualKey, scan, extended);
    if (AAndRelease) {
      Pause(fDelayKeys);
      SendKeyEvent(AVirtualKey, scan, extended | KEYEVENTF_KEYUP);
    } else {
      Pause(fDelayModifiers);
    }
  }
}

void TKeySequence::ReleaseKey(std::uint8_t AVirtualKey) {
  const auto scan = static_cast<std::uint8_t>(fKeyboard->MapVirtualKeyW(AVirtualKey, 0));
  const std::uint32_t extended = ExtendedKeys.test(AVirtualKey) ? KEYEVENTF_EXTENDEDKEY : 0;
  SendKeyEvent(AVirtualKey, scan, extended | KEYEVENTF_KEYUP);
}

void TKeySequence::SendShiftedKey(std::uint16_t AKey, std::uint16_t ACount) {
  const auto vk = static_cast<std::uint8_t>(AKey & 0xFF);
  const auto shifts = static_cast<std::uint8_t>(AKey >> 8);
  // Pressed and released in the same order: Shift, Ctrl, Alt.
  const std::uint8_t modifiers[3] = {VK_SHIFT, VK_CONTROL, VK_MENU};
  if (fDownUps.Contains(skDown))
    for (int b = 0; b < 3; ++b)
      if (shifts & (1u << b)) SendKey(modifiers[b], 1, false);
  if (ReleasesOnly() && vk != VK_NUMLOCK) {
    // One key-up lets go of a key however often its press was repeated.
    if (ACount > 0) ReleaseKey(vk);
  } else {
    SendKey(vk, ACount, fDownUps.Contains(skUp));  // Num Lock flips in every mode
  }
  if (fDownUps.Contains(skUp))
    for (int b = 0; b < 3; ++b)
      if (shifts & (1u << b)) ReleaseKey(modifiers[b]);
}

void TKeySequence::ReleaseShifts() {
  // A held chord keeps its modifiers down through the end of the sequence; a further key of
  // the sequence lets go of them first (SendKey).
  if (HoldsModifiers()) {
    fReleaseDue = true;
    return;
  }
  ReleaseShiftsNow();
}

void TKeySequence::ReleaseShiftsNow() {
  fReleaseDue = false;
  for (std::size_t j = 0; j < fShiftsDown.size(); ++j) {
    if (fShiftsDown[j]) ReleaseKey(ShiftKeys[j]);
    fShiftsDown[j] = false;
  }
}

void StartKeySequence(std::u16string ASequence, TKeyboardSendKeyDownUps ADownUps, bool AHoldModifiers) {
  if (ASequence.empty()) return;
  auto worker = std::make_unique<TKeySequence>();
  worker->SetSequence(std::move(ASequence));
  worker->SetDownUps(ADownUps);
  worker->SetHoldModifiers(AHoldModifiers);
  // From here on the worker destroys itself, also when its thread cannot be started.
  worker.release()->Start();
}

bool WaitForKeySequences(std::chrono::milliseconds ATimeout) {
  TPlayOrder& order = PlayOrder();
  std::unique_lock lock(order.Lock);
  return order.Finished.wait_for(lock, ATimeout, [&order] { return order.Unfinished == 0; });
}
