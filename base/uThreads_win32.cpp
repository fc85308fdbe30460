#include <process.h>

#include "base/uSystem_win32.h"
#include "base/uThreads.h"

struct TPlatformThread::THandle {
  HANDLE Thread;
};

namespace {

unsigned __stdcall Run(void* arg) {
  std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(arg));
  (*body)();
  return 0;
}

}  // namespace

TPlatformThread::TPlatformThread() noexcept = default;

TPlatformThread::TPlatformThread(std::function<void()> ABody, std::size_t AStackSize, TThreadPriority APriority) {
  auto body = std::make_unique<std::function<void()>>(std::move(ABody));
  // The size reserves the address space only; pages are committed as the stack grows.
  // Started suspended, so the priority holds from the thread's first instruction.
  const std::uintptr_t thread =
      ::_beginthreadex(nullptr, static_cast<unsigned>(AStackSize), Run, body.get(),
                       CREATE_SUSPENDED | STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  if (thread == 0) throw EThreadError(u"Cannot start a thread: " + SystemErrorText(::GetLastError()));
  auto handle = std::make_unique<THandle>(THandle{reinterpret_cast<HANDLE>(thread)});
  if (APriority == TThreadPriority::Highest) ::SetThreadPriority(handle->Thread, THREAD_PRIORITY_HIGHEST);
  body.release();  // the thread owns it now
  ::ResumeThread(handle->Thread);
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
  ::WaitForSingleObject(FHandle->Thread, INFINITE);
  ::CloseHandle(FHandle->Thread);
  FHandle.reset();
}
