// Key presses as evdev events of a virtual keyboard of our own, created through uinput.
#include <errno.h>
#include <fcntl.h>
#include <linux/uinput.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "base/uText.h"
#include "keys/uKeyboard_linux.h"
#include "log/uGlobals.h"

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

namespace {

// Writes the rest of an event pair, moving AData and ALeft on by what was written; the error
// number of a write that failed, 0 once everything is written.
int WriteRest(int AFd, const char*& AData, std::size_t& ALeft) {
  while (ALeft > 0) {
    const ssize_t written = ::write(AFd, AData, ALeft);
    if (written < 0 && errno == EINTR) continue;
    if (written < 0) return errno;
    if (written == 0) return EIO;
    AData += written;
    ALeft -= static_cast<std::size_t>(written);
  }
  return 0;
}

void Report(const std::string& AMessage) { LogToGlobals(Utf8ToUtf16("uinput: " + AMessage), u"KEY"); }

}  // namespace

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
  int error = WriteRest(fFd, data, left);
  if (error == 0) return;
  char key[8];
  std::snprintf(key, sizeof key, "0x%02X", AVirtualKey);
  const std::string what = std::string(AUp ? "the release" : "the press") + " of key " + key;
  if (!AUp) {
    Report(what + " was not written (" + std::strerror(error) + ")");
    return;
  }
  // A lost release leaves the key held down for every program that reads this keyboard.
  Report(what + " was not written (" + std::strerror(error) + "); trying once more");
  error = WriteRest(fFd, data, left);
  if (error != 0) Report(what + " was lost (" + std::strerror(error) + "); the key may stay held down");
}
