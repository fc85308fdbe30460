#include <pthread.h>

#include <cstring>

#include "base/uText.h"
#include "base/uThreads.h"

struct TPlatformThread::THandle {
  pthread_t Thread;
};

namespace {

void* Run(void* arg) {
  std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(arg));
  (*body)();
  return nullptr;
}

}  // namespace

TPlatformThread::TPlatformThread() noexcept = default;

TPlatformThread::TPlatformThread(std::function<void()> ABody, std::size_t AStackSize,
                                 TThreadPriority /*APriority*/) {
  // Raising a thread above the default scheduling class needs privileges that this
  // program does not ask for, so every thread runs at the normal priority here.
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  const auto minimum = static_cast<std::size_t>(PTHREAD_STACK_MIN);
  if (AStackSize < minimum) AStackSize = minimum;
  pthread_attr_setstacksize(&attr, AStackSize);
  auto body = std::make_unique<std::function<void()>>(std::move(ABody));
  auto handle = std::make_unique<THandle>();
  const int rc = pthread_create(&handle->Thread, &attr, Run, body.get());
  pthread_attr_destroy(&attr);
  if (rc != 0) throw EThreadError(u"Cannot start a thread: " + Utf8ToUtf16(std::strerror(rc)));
  body.release();  // the thread owns it now
  FHandle = std::move(handle);
}

TPlatformThread::~TPlatformThread() { Join(); }

TPlatformThread::TPlatformThread(TPlatformThread&& AOther) noexcept = default;

TPlatformThread& TPlatformThread::operator=(TPlatformThread&& AOther) noexcept {
  if (this != &AOther) {
    Join();
    FHandle = std::move(AOther.FHandle);
  }
  return *this;
}

void TPlatformThread::Join() noexcept {
  if (!FHandle) return;
  pthread_join(FHandle->Thread, nullptr);
  FHandle.reset();
}
