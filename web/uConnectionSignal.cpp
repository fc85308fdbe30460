#include "web/uConnectionSignal.h"

void TConnectionSignal::Cancel() {
  {
    std::lock_guard lock(FLock);
    FCancelled = true;
  }
  FChanged.notify_all();
}

bool TConnectionSignal::Cancelled() const {
  std::lock_guard lock(FLock);
  return FCancelled;
}

void TConnectionSignal::Wake() {
  {
    std::lock_guard lock(FLock);
    FWoken = true;
  }
  FChanged.notify_all();
}

bool TConnectionSignal::Wait(std::chrono::milliseconds ATimeout) {
  std::unique_lock lock(FLock);
  FChanged.wait_for(lock, ATimeout, [this] { return FCancelled || FWoken; });
  FWoken = false;
  return !FCancelled;
}
