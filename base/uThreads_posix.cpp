#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstring>

#include "base/uText.h"
#include "base/uThreads.h"

struct TPlatformThread::THandle {
  pthread_t Thread;
};

namespace {

struct TStart {
  std::function<void()> Body;
  TThreadPriority Priority;
};

void* Run(void* arg) {
  std::unique_ptr<TStart> start(static_cast<TStart*>(arg));
  // The scheduling classes above the normal one need privileges; a raised nice value is
  // the highest priority a thread can have without them, and only where the system grants
  // it (a privileged process, or a nice limit that allows it). Otherwise it stays normal.
  if (start->Priority == TThreadPriority::Highest) setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), -10);
  start->Body();
  return nullptr;
}

}  // namespace

TPlatformThread::TPlatformThread() noexcept = default;

TPlatformThread::TPlatformThread(std::function<void()> ABody, std::size_t AStackSize,
                                 TThreadPriority APriority) {
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  const auto minimum = static_cast<std::size_t>(PTHREAD_STACK_MIN);
  if (AStackSize < minimum) AStackSize = minimum;
  pthread_attr_setstacksize(&attr, AStackSize);
  auto body = std::make_unique<TStart>(TStart{std::move(ABody), APriority});
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
