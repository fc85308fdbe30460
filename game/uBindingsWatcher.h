#pragma once
// The bindings in use, process-wide, and the watcher that keeps them in step with the game's
// files: it reads them again within a second of the game rewriting the .binds file or the
// start file naming another preset, without a Stop and Start.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "game/uBindings.h"

// Holds the current snapshot; any thread may read it while another swaps it.
class TBindingsHolder {
 public:
  TBindingsHolder();
  // Never null: before any reading, the bindings of no folder (kNoBindingsFolder).
  std::shared_ptr<const TBindings> Current() const;
  void Set(std::shared_ptr<const TBindings> ABindings);

 private:
  mutable std::mutex FLock;
  std::shared_ptr<const TBindings> FCurrent;
};

// The process-wide holder, made on first use.
TBindingsHolder& GetBindings();

class TBindingsWatcher {
 public:
  using TListener = std::function<void(const std::shared_ptr<const TBindings>&)>;

  // Reads ASource's bindings at once into AHolder (before returning, without calling the
  // listener), then looks at the files every APollInterval on a thread of its own; after each
  // change it reads them again, puts the new snapshot in AHolder and calls AListener with it
  // on that thread. A refused file leaves the bindings as they were (see LoadBindings).
  TBindingsWatcher(TBindingsHolder& AHolder, TBindingsSource ASource, TListener AListener = nullptr,
                   std::chrono::milliseconds APollInterval = std::chrono::milliseconds(250));
  // Stops the thread at once (waiting only for a reading or a listener call under way).
  ~TBindingsWatcher();
  TBindingsWatcher(const TBindingsWatcher&) = delete;
  TBindingsWatcher& operator=(const TBindingsWatcher&) = delete;

 private:
  void Run();

  TBindingsHolder& FHolder;
  const TBindingsSource FSource;
  const TListener FListener;
  const std::chrono::milliseconds FPollInterval;
  std::mutex FLock;
  std::condition_variable FWake;
  bool FStopping = false;
  std::thread FThread;
};
