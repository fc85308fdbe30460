#include <malloc.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <vector>

#include "base/uText.h"
#include "base/uThreads.h"

namespace {

// A thread stack of our own, with a guard page below it. The system library gives the unused
// part of every stack it made back to the kernel when the thread ends, which costs a flush of
// every processor's address cache per connection; stacks we provide are left alone, so they
// are kept here and handed to the next thread instead.
struct TStack {
  void* Block = nullptr;
  std::size_t BlockSize = 0;
  std::size_t Guard = 0;
};

class TStackCache {
 public:
  TStack Take(std::size_t ASize) {
    {
      std::lock_guard lock(FLock);
      if (FRefused) return {};
      for (std::size_t i = 0; i < FFree.size(); ++i) {
        if (FFree[i].BlockSize == ASize + FFree[i].Guard) {
          const TStack stack = FFree[i];
          FFree[i] = FFree.back();
          FFree.pop_back();
          return stack;
        }
      }
    }
    TStack stack;
    stack.Guard = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    stack.BlockSize = ASize + stack.Guard;
    void* block = mmap(nullptr, stack.BlockSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
    if (block == MAP_FAILED) return {};
    mprotect(block, stack.Guard, PROT_NONE);
    stack.Block = block;
    return stack;
  }

  // The system would not run a thread on a stack of ours; from now on it makes them.
  void Refused() {
    std::lock_guard lock(FLock);
    FRefused = true;
  }

  void Give(const TStack& AStack) {
    if (!AStack.Block) return;
    {
      std::lock_guard lock(FLock);
      if (FFree.size() < kKept) {
        FFree.push_back(AStack);
        return;
      }
    }
    munmap(AStack.Block, AStack.BlockSize);
  }

 private:
  static constexpr std::size_t kKept = 64;
  std::mutex FLock;
  std::vector<TStack> FFree;
  bool FRefused = false;
};

// Lives as long as the process: threads may still end while static objects are destroyed.
TStackCache& Stacks() {
  static auto* cache = [] {
    // Each short thread frees what it allocated as it ends; trimming its heap back to the
    // kernel right then costs the same address-cache flush as a stack would. Memory above this
    // much stays with the process for the next thread instead.
    mallopt(M_TRIM_THRESHOLD, 8 * 1024 * 1024);
    return new TStackCache();
  }();
  return *cache;
}

}  // namespace

struct TPlatformThread::THandle {
  pthread_t Thread;
  TStack Stack;
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
  const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  const auto minimum = static_cast<std::size_t>(PTHREAD_STACK_MIN);
  if (AStackSize < minimum) AStackSize = minimum;
  AStackSize = (AStackSize + page - 1) / page * page;
  auto body = std::make_unique<TStart>(TStart{std::move(ABody), APriority});
  auto handle = std::make_unique<THandle>();
  handle->Stack = Stacks().Take(AStackSize);
  int rc = EINVAL;
  if (handle->Stack.Block) {
    pthread_attr_setstack(&attr, static_cast<char*>(handle->Stack.Block) + handle->Stack.Guard, AStackSize);
    rc = pthread_create(&handle->Thread, &attr, Run, body.get());
  }
  if (rc == EINVAL) {
    // Thread-local storage is kept on the stack as well; where it does not fit (a runtime with
    // large thread-local data), the system makes the stack after all.
    if (handle->Stack.Block) Stacks().Refused();
    Stacks().Give(handle->Stack);
    handle->Stack = {};
    pthread_attr_destroy(&attr);
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, AStackSize);
    rc = pthread_create(&handle->Thread, &attr, Run, body.get());
  }
  pthread_attr_destroy(&attr);
  if (rc != 0) {
    Stacks().Give(handle->Stack);
    throw EThreadError(u"Cannot start a thread: " + Utf8ToUtf16(std::strerror(rc)));
  }
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
  // The thread has ended, so nothing runs on its stack any more.
  Stacks().Give(FHandle->Stack);
  FHandle.reset();
}
