#pragma once
// A single-use countdown for tests that hold threads at chosen points. std::latch would do,
// but its atomic wait deadlocks in MinGW-w64's libstdc++ 12, so the Windows build uses this.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>

class TLatch {
 public:
  explicit TLatch(std::ptrdiff_t ACount) : FCount(ACount) {}
  TLatch(const TLatch&) = delete;
  TLatch& operator=(const TLatch&) = delete;

  void count_down(std::ptrdiff_t AN = 1) {
    std::lock_guard lock(FLock);
    FCount -= AN;
    if (FCount <= 0) FZero.notify_all();
  }
  void wait() {
    std::unique_lock lock(FLock);
    FZero.wait(lock, [this] { return FCount <= 0; });
  }
  // Whether the count reached zero within ATimeout.
  template <class Rep, class Period>
  bool wait_for(const std::chrono::duration<Rep, Period>& ATimeout) {
    std::unique_lock lock(FLock);
    return FZero.wait_for(lock, ATimeout, [this] { return FCount <= 0; });
  }
  void arrive_and_wait(std::ptrdiff_t AN = 1) {
    count_down(AN);
    wait();
  }

 private:
  std::mutex FLock;
  std::condition_variable FZero;
  std::ptrdiff_t FCount;
};
