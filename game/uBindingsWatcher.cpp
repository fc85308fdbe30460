#include "game/uBindingsWatcher.h"

#include "base/uText.h"
#include "log/uGlobals.h"

TBindingsHolder::TBindingsHolder() : FCurrent(std::make_shared<const TBindings>(std::u16string(kNoBindingsFolder))) {}

std::shared_ptr<const TBindings> TBindingsHolder::Current() const {
  std::lock_guard lock(FLock);
  return FCurrent;
}

void TBindingsHolder::Set(std::shared_ptr<const TBindings> ABindings) {
  std::lock_guard lock(FLock);
  FCurrent = std::move(ABindings);
}

TBindingsHolder& GetBindings() {
  static TBindingsHolder holder;
  return holder;
}

TBindingsWatcher::TBindingsWatcher(TBindingsHolder& AHolder, TBindingsSource ASource, TListener AListener,
                                   std::chrono::milliseconds APollInterval)
    : FHolder(AHolder), FSource(std::move(ASource)), FListener(std::move(AListener)), FPollInterval(APollInterval) {
  FHolder.Set(LoadBindings(FSource, FHolder.Current()));
  FThread = std::thread([this] { Run(); });
}

TBindingsWatcher::~TBindingsWatcher() {
  {
    std::lock_guard lock(FLock);
    FStopping = true;
  }
  FWake.notify_all();
  FThread.join();
}

void TBindingsWatcher::Run() {
  std::unique_lock lock(FLock);
  for (;;) {
    if (FWake.wait_for(lock, FPollInterval, [this] { return FStopping; })) return;
    lock.unlock();
    try {
      const std::shared_ptr<const TBindings> current = FHolder.Current();
      if (RestampInputs(current->Inputs()) != current->Inputs()) {
        std::shared_ptr<const TBindings> next = LoadBindings(FSource, current);
        FHolder.Set(next);
        if (FListener) FListener(next);
      }
    } catch (const std::exception& e) {
      // The watcher goes on: the next change of the files is read again.
      LogToGlobals(u"Bindings: " + Utf8ToUtf16(e.what()), u"BINDINGS");
    }
    lock.lock();
  }
}
