#pragma once
// What a response that stays open (a stream of events) waits on between its writes: news to
// send, or the service stopping. The service owns one per connection and cancels it at Stop,
// so a stream never delays Stop; whatever has news wakes the streams that wait.

#include <chrono>
#include <condition_variable>
#include <mutex>

class TConnectionSignal {
 public:
  // The service stops: every wait ends at once, now and later.
  void Cancel();
  bool Cancelled() const;
  // There is news: the current or next wait ends.
  void Wake();
  // Waits until woken, cancelled or ATimeout has passed, and takes the wake; false once
  // cancelled.
  bool Wait(std::chrono::milliseconds ATimeout);

 private:
  mutable std::mutex FLock;
  std::condition_variable FChanged;
  bool FCancelled = false;
  bool FWoken = false;
};
