// Key presses as evdev events of a virtual keyboard of our own, created through uinput.
#include <errno.h>
#include <fcntl.h>
#include <linux/uinput.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstring>

#include "keys/uKeyboard_linux.h"

std::unique_ptr<TUinputKeyOutput> TUinputKeyOutput::Open() {
  const int fd = ::open("/dev/uinput", O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return nullptr;
  bool ok = ::ioctl(fd, UI_SET_EVBIT, EV_KEY) == 0 && ::ioctl(fd, UI_SET_EVBIT, EV_SYN) == 0;
  for (std::uint16_t code : EvdevKeyCodes()) ok = ok && ::ioctl(fd, UI_SET_KEYBIT, code) == 0;
  uinput_setup setup{};
  setup.id.bustype = BUS_VIRTUAL;
  setup.id.vendor = 0x1209;  // the pid.codes vendor id for open projects
  setup.id.product = 0x7464;
  setup.id.version = 1;
  std::strncpy(setup.name, "Tapdeck Virtual Keyboard", UINPUT_MAX_NAME_SIZE - 1);
  ok = ok && ::ioctl(fd, UI_DEV_SETUP, &setup) == 0 && ::ioctl(fd, UI_DEV_CREATE) == 0;
  if (!ok) {
    ::close(fd);
    return nullptr;
  }
  auto output = std::make_unique<TUinputKeyOutput>(fd);
  output->fOwnsDevice = true;
  return output;
}

TUinputKeyOutput::~TUinputKeyOutput() {
  if (fOwnsDevice) {
    ::ioctl(fFd, UI_DEV_DESTROY);
    ::close(fFd);
  }
}

void TUinputKeyOutput::Key(std::uint8_t AVirtualKey, bool AUp) {
  const std::uint16_t code = VKeyToEvdev(AVirtualKey);
  if (code == 0) return;  // a key this keyboard does not have
  input_event events[2]{};
  events[0].type = EV_KEY;
  events[0].code = code;
  events[0].value = AUp ? 0 : 1;
  events[1].type = EV_SYN;
  events[1].code = SYN_REPORT;
  events[1].value = 0;
  std::lock_guard lock(fLock);
  const char* data = reinterpret_cast<const char*>(events);
  std::size_t left = sizeof events;
  while (left > 0) {
    const ssize_t written = ::write(fFd, data, left);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;  // the results of keyboard calls are not reported
    data += written;
    left -= static_cast<std::size_t>(written);
  }
}
