// Fuzz target: the key-sequence player (TKeySequence) playing into the keyboard recorder on
// the calling thread. The recorder's Sleep only records, so delays cost no time.
//
// Input: the first byte chooses the modes — bits 0-1 the down/up set (0 both, 1 down only,
// 2 up only, 3 none), bit 2 a modifier delay, bit 3 a key delay, bit 4 reads the rest as
// UTF-16LE instead of UTF-8, bit 5 holds the modifiers. The rest is the sequence.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/uText.h"
#include "keys/uKeyboardRecorder.h"
#include "keys/uSendKeys.h"
#include "keys/uUSLayout.h"
#include "log/uGlobals.h"
#include "tests/support/KeySequencePlayer.h"

namespace {

constexpr std::uint32_t kKeyUp = 0x0002, kExtended = 0x0001;

// Keeps the first events only, so "{A 65535}" many times over fills no memory, while the
// key state still follows every event.
class TBoundedRecorder : public TKeyboardRecorder {
 public:
  static constexpr std::size_t kRecordedEvents = 20000;
  TBoundedRecorder() : TKeyboardRecorder(false) {}
  void keybd_event(std::uint8_t bVk, std::uint8_t bScan, std::uint32_t dwFlags, std::uintptr_t dwExtraInfo) override {
    fState.KeyEvent(bVk, (dwFlags & kKeyUp) != 0);
    ++fEventCount;
    if (bVk == 0x90) fNumLockEvent = true;
    if ((dwFlags & ~(kKeyUp | kExtended)) != 0 || dwExtraInfo != 13 || bScan != (USScanCode(bVk) & 0xFF) ||
        ((dwFlags & kExtended) != 0) != ExtendedKeys.test(bVk))
      fMalformed = true;
    if (fEventCount <= kRecordedEvents) TKeyboardRecorder::keybd_event(bVk, bScan, dwFlags, dwExtraInfo);
  }
  // Whether any key is down by the events alone.
  bool AnyKeyDown() const {
    for (int vk = 0; vk < 256; ++vk)
      if (fState.KeyState(vk) < 0) return true;
    return false;
  }
  bool Malformed() const { return fMalformed; }
  bool AllRecorded() const { return fEventCount <= kRecordedEvents; }
  bool NumLockEvent() const { return fNumLockEvent; }

 private:
  TKeyStateArray fState;
  std::size_t fEventCount = 0;
  bool fMalformed = false;
  bool fNumLockEvent = false;
};

[[noreturn]] void Fail(const char* AWhat, std::u16string_view ASequence) {
  const std::string shown = Utf16ToUtf8(ASequence.substr(0, 500));
  std::fprintf(stderr, "key sequence check failed: %s\nsequence: %s\n", AWhat, shown.c_str());
  std::abort();
}

std::shared_ptr<TBoundedRecorder> Play(const std::u16string& ASequence, TKeyboardSendKeyDownUps AModes,
                                       std::int32_t ADelayModifiers, std::int32_t ADelayKeys, bool AHold) {
  auto keyboard = std::make_shared<TBoundedRecorder>();
  PlayKeySequence(keyboard, ASequence, AModes, ADelayModifiers, ADelayKeys, AHold);
  return keyboard;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // A worker takes the process-wide keyboard when it is made; never the system's here.
  SelectKeyboard(std::make_unique<TKeyboardRecorder>(false));
  CreateGlobals();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* AData, std::size_t ASize) {
  if (ASize == 0) return 0;
  const std::uint8_t options = AData[0];
  const std::string_view rest(reinterpret_cast<const char*>(AData + 1), ASize - 1);
  const std::u16string sequence = (options & 0x10) ? Utf16LEToUtf16(rest) : Utf8ToUtf16(rest);
  TKeyboardSendKeyDownUps modes;
  if ((options & 3) != 1 && (options & 3) != 3) modes.Include(skUp);
  if ((options & 3) != 2 && (options & 3) != 3) modes.Include(skDown);
  const std::int32_t delayModifiers = (options & 4) ? 7 : 0;
  const std::int32_t delayKeys = (options & 8) ? 11 : 0;
  const bool hold = (options & 0x20) != 0;

  const auto first = Play(sequence, modes, delayModifiers, delayKeys, hold);
  if (first->Malformed()) Fail("an event with a wrong scan code, flag or extra information", sequence);
  if (first->NumLockEvent()) Fail("Num Lock sent as a key event", sequence);
  // Whatever a sequence pressed, a full press-and-release play leaves nothing held.
  if (modes == TKeyboardSendKeyDownUps{skDown, skUp} && first->AnyKeyDown())
    Fail("a key is still down after the sequence", sequence);
  for (const TKeyCall& call : first->Calls()) {
    if (call.Kind != TKeyCallKind::Sleep) continue;
    if (call.Value == 0 || (call.Value != static_cast<std::uint32_t>(delayModifiers) &&
                            call.Value != static_cast<std::uint32_t>(delayKeys)))
      Fail("a pause that is not one of the delays", sequence);
  }
  // Without skUp only held modifiers and Enter are ever released; with skUp alone nothing
  // is ever pressed.
  const std::vector<TKeyEvent> events = first->Events();
  auto isShiftKey = [](std::uint8_t AVk) { return std::find(ShiftKeys.begin(), ShiftKeys.end(), AVk) != ShiftKeys.end(); };
  if (first->AllRecorded()) {
    for (const TKeyEvent& e : events) {
      const bool up = (e.Flags & kKeyUp) != 0;
      if (!modes.Contains(skUp) && up && e.Vk != 0x0D && !isShiftKey(e.Vk))
        Fail("a key released although the mode has no skUp", sequence);
      if (modes == TKeyboardSendKeyDownUps{skUp} && !up) Fail("a key pressed by a release-only play", sequence);
    }
  }
  // The release-only play of a text lets go of whatever its press-only play holds.
  if (modes == TKeyboardSendKeyDownUps{skDown}) {
    const auto held = Play(sequence, modes, delayModifiers, delayKeys, hold);
    PlayKeySequence(held, sequence, {skUp}, delayModifiers, delayKeys, hold);
    if (held->AnyKeyDown()) Fail("a key is still down after the press and the release of the sequence", sequence);
  }
  // The player keeps nothing from one play to the next.
  const auto second = Play(sequence, modes, delayModifiers, delayKeys, hold);
  if (first->Events() != second->Events()) Fail("the same sequence played twice differs", sequence);
  return 0;
}
