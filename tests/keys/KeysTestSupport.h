#pragma once
// Shared helpers of the keyboard tests: expected events written as "Shift↓ A↓ A↑ Shift↑",
// a log watcher, and playing a sequence on the calling thread into a recorder.

#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "keys/uKeyboardRecorder.h"
#include "keys/uSendKeys.h"
#include "log/uGlobals.h"

// The virtual key of a name used in expectations: "Shift", "LCtrl", "Left", "F4", "OEM_4",
// a letter or a digit.
std::uint8_t VKeyOf(const std::string& AName);

// "Shift↓ A↓ A↑ Shift↑" as events with the US scan codes, the extended flag on the
// navigation keys and the extra information 13.
std::vector<TKeyEvent> Expected(const std::string& ANotation);
// The same notation for recorded events, so failures read like the expectation.
std::string Notation(const std::vector<TKeyEvent>& AEvents);

inline const TKeyboardSendKeyDownUps kKey{skDown, skUp};
inline const TKeyboardSendKeyDownUps kDown{skDown};
inline const TKeyboardSendKeyDownUps kUp{skUp};

// Creates Globals for the test and collects every report that reaches it.
class TLogWatch : public TLogObserver {
 public:
  TLogWatch();
  ~TLogWatch() override;
  void Reported(const std::u16string& pMessage, const std::u16string& pLogger) override;
  // The messages, each checked to come from the logger "KEY".
  std::vector<std::u16string> Messages();

 private:
  std::mutex fLock;
  std::vector<std::pair<std::u16string, std::u16string>> fReports;
};

// Plays ASequence on the calling thread into a fresh recorder whose Sleep only records.
std::shared_ptr<TKeyboardRecorder> Play(const std::u16string& ASequence, TKeyboardSendKeyDownUps AModes = kKey,
                                        std::int32_t ADelayModifiers = 0, std::int32_t ADelayKeys = 0);
// Plays ASequence on the calling thread into AKeyboard.
void PlayInto(const std::shared_ptr<TKeyboard>& AKeyboard, const std::u16string& ASequence,
              TKeyboardSendKeyDownUps AModes = kKey, std::int32_t ADelayModifiers = 0,
              std::int32_t ADelayKeys = 0, bool AHoldModifiers = false);
