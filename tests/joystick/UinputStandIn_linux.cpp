// A stand-in for /dev/uinput, preloaded (LD_PRELOAD) into the installed program by the package
// test, which runs where the kernel offers no uinput: the program then finds the node writable,
// its devices "created", and their events written, to /dev/null. It is the Linux counterpart of
// the driver-library stand-in the Windows tests use. Every device the program creates or
// destroys is reported on standard error, so the test can see the joystick acquired.

#include <dlfcn.h>
#include <fcntl.h>
#include <linux/uinput.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <cstdarg>
#include <cstring>
#include <string_view>

namespace {

constexpr std::string_view kNode = "/dev/uinput";
constexpr int kMaxFd = 4096;
std::atomic<bool> gStandIn[kMaxFd];

template <class F>
F Next(const char* AName) {
  return reinterpret_cast<F>(::dlsym(RTLD_NEXT, AName));
}

bool IsNode(const char* APath) { return APath != nullptr && kNode == APath; }
bool IsStandIn(int AFd) { return AFd >= 0 && AFd < kMaxFd && gStandIn[AFd].load(); }

void Report(std::string_view ALine) {
  const std::string_view prefix = "uinput stand-in: ";
  (void)!::write(2, prefix.data(), prefix.size());
  (void)!::write(2, ALine.data(), ALine.size());
  (void)!::write(2, "\n", 1);
}

int OpenStandIn() {
  static const auto realOpen = Next<int (*)(const char*, int, ...)>("open");
  const int fd = realOpen("/dev/null", O_WRONLY | O_CLOEXEC);
  if (fd >= 0 && fd < kMaxFd) gStandIn[fd] = true;
  return fd;
}

mode_t ModeArgument(int AFlags, va_list AArgs) {
  return (AFlags & (O_CREAT | O_TMPFILE)) != 0 ? static_cast<mode_t>(va_arg(AArgs, unsigned)) : 0;
}

}  // namespace

extern "C" {

int access(const char* APath, int AMode) {
  if (IsNode(APath)) return 0;
  static const auto real = Next<int (*)(const char*, int)>("access");
  return real(APath, AMode);
}

int open(const char* APath, int AFlags, ...) {
  if (IsNode(APath)) return OpenStandIn();
  va_list args;
  va_start(args, AFlags);
  const mode_t mode = ModeArgument(AFlags, args);
  va_end(args);
  static const auto real = Next<int (*)(const char*, int, ...)>("open");
  return real(APath, AFlags, mode);
}

int open64(const char* APath, int AFlags, ...) {
  if (IsNode(APath)) return OpenStandIn();
  va_list args;
  va_start(args, AFlags);
  const mode_t mode = ModeArgument(AFlags, args);
  va_end(args);
  static const auto real = Next<int (*)(const char*, int, ...)>("open64");
  return real(APath, AFlags, mode);
}

int ioctl(int AFd, unsigned long ARequest, ...) {
  va_list args;
  va_start(args, ARequest);
  void* argument = va_arg(args, void*);
  va_end(args);
  if (IsStandIn(AFd)) {
    if (ARequest == UI_DEV_CREATE) Report("device created");
    if (ARequest == UI_DEV_DESTROY) Report("device destroyed");
    return 0;
  }
  static const auto real = Next<int (*)(int, unsigned long, ...)>("ioctl");
  return real(AFd, ARequest, argument);
}

int close(int AFd) {
  if (AFd >= 0 && AFd < kMaxFd) gStandIn[AFd] = false;
  static const auto real = Next<int (*)(int)>("close");
  return real(AFd);
}

}  // extern "C"
