#pragma once
// Key-sequence workers run on threads that nobody waits for, and each holds the keyboard it
// was created with until it is destroyed. A watch selects the caller's keyboard for the
// workers through a stand-in of its own, so a test (or a fuzz target) learns from the
// stand-in's end that every worker created with it has gone.

#include <memory>

#include "keys/uKeyboard.h"
#include "tests/support/Latch.h"

class TKeyboardWatch {
 public:
  // Selects AKeyboard, through a stand-in, for every worker created from now on.
  explicit TKeyboardWatch(std::shared_ptr<TKeyboard> AKeyboard);
  // Waits for the workers (WaitForWorkers); the stand-in stays selected.
  ~TKeyboardWatch();
  TKeyboardWatch(const TKeyboardWatch&) = delete;
  TKeyboardWatch& operator=(const TKeyboardWatch&) = delete;

  // Waits until every worker created since the selection or the previous wait has been
  // destroyed, then selects a fresh stand-in for the keyboard (also when the caller selected
  // another keyboard meanwhile). Nothing else may hold the process-wide keyboard meanwhile:
  // a copy of GetKeyboard() kept would keep the stand-in alive. A wait that lasts a minute
  // aborts the process with a message: a worker that never ends is a hang, not a slow test.
  void WaitForWorkers();
  // Workers created since the selection or the previous wait that still exist, while the
  // stand-in is the selected keyboard.
  int LiveWorkers() const;

 private:
  void SelectStandIn();

  std::shared_ptr<TKeyboard> FKeyboard;
  std::shared_ptr<TLatch> FStandInGone;  // released by the stand-in's destructor
  std::weak_ptr<TKeyboard> FStandIn;
};
