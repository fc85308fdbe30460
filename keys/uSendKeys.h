#pragma once
// TKeySequence: a worker thread that plays one key sequence into the keyboard input and
// then destroys itself. The sequence language: plain characters, the modifier characters
// "+", "^", "%", "#" and "&" (with "<" or ">" for the left or right key), groups "(...)",
// "~" for Enter, and key names in braces with an optional repeat count, "{LEFT 3}".
//
// Workers play at once, except that a worker waits for the workers of the same sequence text
// that were started before it: so a release never overtakes its press. The text is the key's
// identity here: a press and its release carry the same text (a cell's key, a binding), while
// different texts, "a" and "+a" as much as "a" and "b", play independently of each other.

#include <array>
#include <bitset>
#include <chrono>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "keys/uKeyboard.h"

enum TKeyboardSendKeyDownUp : std::uint8_t { skDown, skUp };

// A set of TKeyboardSendKeyDownUp in one byte: bit 0 skDown, bit 1 skUp.
class TKeyboardSendKeyDownUps {
 public:
  constexpr TKeyboardSendKeyDownUps() = default;
  constexpr TKeyboardSendKeyDownUps(std::initializer_list<TKeyboardSendKeyDownUp> AMembers) {
    for (TKeyboardSendKeyDownUp m : AMembers) Include(m);
  }
  constexpr bool Contains(TKeyboardSendKeyDownUp AMember) const { return fBits & Bit(AMember); }
  constexpr void Include(TKeyboardSendKeyDownUp AMember) { fBits = static_cast<std::uint8_t>(fBits | Bit(AMember)); }
  constexpr void Exclude(TKeyboardSendKeyDownUp AMember) { fBits = static_cast<std::uint8_t>(fBits & ~Bit(AMember)); }
  constexpr bool Empty() const { return fBits == 0; }
  constexpr std::uint8_t Bits() const { return fBits; }
  constexpr bool operator==(const TKeyboardSendKeyDownUps&) const = default;

 private:
  static constexpr std::uint8_t Bit(TKeyboardSendKeyDownUp AMember) { return static_cast<std::uint8_t>(1u << AMember); }
  std::uint8_t fBits = 0;
};

// One entry of KeyNames: an upper-case name and its virtual key.
struct TKeyName {
  std::string_view Name;
  std::uint8_t VKey;
};

// The 65 key names, in ascending byte order of the names (searched by halving).
extern const std::array<TKeyName, 65> KeyNames;
// The modifier keys, indexed by side × 5 + modifier ("^" 0, "%" 1, "+" 2, "#" 3, "&" 4;
// side 0 no mark, 1 "<", 2 ">"); also the order in which held modifiers are released.
extern const std::array<std::uint8_t, 15> ShiftKeys;
// The virtual keys sent with the extended-key flag.
extern const std::bitset<256> ExtendedKeys;

class TKeySequence {
 public:
  // Created without running; started once by Start. Plays into the process-wide keyboard as
  // it is now (GetKeyboard; the choice of keyboard is the injection point for tests and
  // tapdeck-headless).
  TKeySequence();
  // Plays into AKeyboard instead (Check plays into a recorder).
  explicit TKeySequence(std::shared_ptr<TKeyboard> AKeyboard);
  // Only for a worker that was never started: a started one destroys itself.
  virtual ~TKeySequence();
  TKeySequence(const TKeySequence&) = delete;
  TKeySequence& operator=(const TKeySequence&) = delete;

  const std::u16string& Sequence() const { return fSequence; }
  void SetSequence(std::u16string AValue) { fSequence = std::move(AValue); }
  std::int32_t DelayModifiers() const { return fDelayModifiers; }
  void SetDelayModifiers(std::int32_t AValue) { fDelayModifiers = AValue; }
  std::int32_t DelayKeys() const { return fDelayKeys; }
  void SetDelayKeys(std::int32_t AValue) { fDelayKeys = AValue; }
  // {skDown}: keys are only pressed. {skUp}: keys are only released, and the keys of
  // modifier characters too; nothing is pressed (Num Lock still flips). Both: pressed and
  // released.
  TKeyboardSendKeyDownUps DownUps() const { return fDownUps; }
  void SetDownUps(TKeyboardSendKeyDownUps AValue) { fDownUps = AValue; }
  // Off by default. On, a play without skUp keeps the keys of modifier characters down at the
  // end of the sequence, a chord held as long as the finger ("+<l": LShift and L down); the
  // release-only play of the same text lets go of them. Within the sequence the modifiers of
  // one key are still let go of before the next key is pressed ("%fx": Alt is up again for x).
  bool HoldModifiers() const { return fHoldModifiers; }
  void SetHoldModifiers(bool AValue) { fHoldModifiers = AValue; }

  // Runs Execute on a thread of its own, which then destroys the worker: the worker must have
  // been created with new (or released from a unique_ptr) and is not touched afterwards.
  // The worker's turn is taken here, on the calling thread: its thread plays once every
  // worker of the same sequence text started before has finished.
  // If no thread can be started the worker is destroyed and the error passes out.
  void Start();

  // What playing ASequence would report, in order (empty for a sequence that plays
  // cleanly): played at once on the calling thread into a recording keyboard with the US
  // layout, so nothing reaches the PC and nothing is logged.
  static std::vector<std::u16string> Check(std::u16string ASequence);

 protected:
  // The thread body: plays the sequence and logs whatever error ends it.
  virtual void Execute();
  // The virtual key of an upper-case key name; 0xFFFF (reported) when there is none.
  std::uint16_t KeyNameToVKey(std::string_view AName);

 private:
  void SendSequence();

  void SendKeyEvent(std::uint8_t AVirtualKey, std::uint8_t AScanCode, std::uint32_t AFlags);
  void SendKey(std::uint8_t AVirtualKey, std::uint16_t ACount, bool AAndRelease);
  void ReleaseKey(std::uint8_t AVirtualKey);
  void SendShiftedKey(std::uint16_t AKey, std::uint16_t ACount);
  void ReleaseShifts();
  void ReleaseShiftsNow();
  bool ReleasesOnly() const { return fDownUps.Contains(skUp) && !fDownUps.Contains(skDown); }
  bool HoldsModifiers() const { return fHoldModifiers && !fDownUps.Contains(skUp); }
  void Pause(std::int32_t AMilliseconds);
  // A problem with the sequence: to the log, or to the list of a check.
  void Report(const std::u16string& AMessage);

  std::u16string fSequence;
  std::int32_t fDelayModifiers = 0;
  std::int32_t fDelayKeys = 0;
  std::array<bool, 15> fShiftsDown{};
  TKeyboardSendKeyDownUps fDownUps{skDown, skUp};
  bool fHoldModifiers = false;
  // Set when held modifiers are to be let go of before the next key (HoldModifiers).
  bool fReleaseDue = false;
  // The keyboard chosen when the worker was created; kept alive as long as the worker.
  std::shared_ptr<TKeyboard> fKeyboard;
  // Set while checking: problems are collected here instead of being logged.
  std::vector<std::u16string>* fReports = nullptr;
};

// Plays ASequence on a worker of its own (TKeySequence::Start: in turn after the workers of
// the same text started before); nothing for an empty sequence. The keyboard routes play
// through it, and so does whatever lets go of keys that a request left pressed ({skUp}).
void StartKeySequence(std::u16string ASequence, TKeyboardSendKeyDownUps ADownUps, bool AHoldModifiers = false);

// Waits until no worker is playing or waiting for its turn, at most ATimeout; whether none is.
// For the end of the service and of the program, after the last releases were started.
bool WaitForKeySequences(std::chrono::milliseconds ATimeout);
