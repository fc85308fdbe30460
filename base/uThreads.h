#pragma once
// A joinable thread with a chosen stack size: std::thread cannot set one, and the HTTP
// service runs one thread per connection, so thousands of idle connections must fit.

#include <cstddef>
#include <functional>
#include <memory>

#include "base/uErrors.h"

// The system refused to start a thread.
class EThreadError : public Exception {
  using Exception::Exception;
};

enum class TThreadPriority { Normal, Highest };

class TPlatformThread {
 public:
  TPlatformThread() noexcept;
  // Starts ABody at once. Highest priority is a request the platform may not grant to an
  // unprivileged process. Raises EThreadError when the thread cannot be started.
  TPlatformThread(std::function<void()> ABody, std::size_t AStackSize,
                  TThreadPriority APriority = TThreadPriority::Normal);
  // Joins a thread that was not joined yet.
  ~TPlatformThread();
  TPlatformThread(TPlatformThread&& AOther) noexcept;
  TPlatformThread& operator=(TPlatformThread&& AOther) noexcept;
  TPlatformThread(const TPlatformThread&) = delete;
  TPlatformThread& operator=(const TPlatformThread&) = delete;

  bool Joinable() const noexcept { return FHandle != nullptr; }
  // Waits until the thread has ended; does nothing when there is none.
  void Join() noexcept;

  struct THandle;  // the platform's thread handle

 private:
  std::unique_ptr<THandle> FHandle;
};
