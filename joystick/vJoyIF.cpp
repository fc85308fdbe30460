#include "joystick/vJoyIF.h"

#include <atomic>
#include <mutex>
#include <vector>

namespace {

// Connection threads may still call the library while the process exits, so neither the
// current library nor a replaced one is ever destroyed; both stay reachable from here.
std::mutex gChooserLock;
std::atomic<IvJoyInterface*> gLibrary{nullptr};
std::vector<IvJoyInterface*>* gReplaced = nullptr;

}  // namespace

IvJoyInterface& vJoyLibrary() {
  if (IvJoyInterface* library = gLibrary.load(std::memory_order_acquire)) return *library;
  std::lock_guard lock(gChooserLock);
  IvJoyInterface* library = gLibrary.load(std::memory_order_relaxed);
  if (library == nullptr) {
    library = CreateSystemvJoyLibrary().release();
    gLibrary.store(library, std::memory_order_release);
  }
  return *library;
}

void SelectvJoyLibrary(std::unique_ptr<IvJoyInterface> ALibrary) {
  std::lock_guard lock(gChooserLock);
  if (IvJoyInterface* previous = gLibrary.load(std::memory_order_relaxed)) {
    if (gReplaced == nullptr) gReplaced = new std::vector<IvJoyInterface*>;
    gReplaced->push_back(previous);
  }
  gLibrary.store(ALibrary.release(), std::memory_order_release);
}
