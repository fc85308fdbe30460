#pragma once
// Playing a key sequence on the calling thread, as a worker's own thread would, into a
// keyboard of the caller's: for tests, fuzz targets and benchmarks. The worker's thread body
// and its key-name lookup are protected members; this subclass opens them.

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "keys/uKeyboard.h"
#include "keys/uSendKeys.h"

class TKeySequencePlayer : public TKeySequence {
 public:
  using TKeySequence::TKeySequence;
  using TKeySequence::Execute;
  using TKeySequence::KeyNameToVKey;
};

// Plays ASequence at once into AKeyboard, with the given modes, delays and holding.
inline void PlayKeySequence(std::shared_ptr<TKeyboard> AKeyboard, std::u16string ASequence,
                            TKeyboardSendKeyDownUps AModes = {skDown, skUp}, std::int32_t ADelayModifiers = 0,
                            std::int32_t ADelayKeys = 0, bool AHoldModifiers = false) {
  TKeySequencePlayer player(std::move(AKeyboard));
  player.SetSequence(std::move(ASequence));
  player.SetDownUps(AModes);
  player.SetDelayModifiers(ADelayModifiers);
  player.SetDelayKeys(ADelayKeys);
  player.SetHoldModifiers(AHoldModifiers);
  player.Execute();
}
