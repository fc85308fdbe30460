// tapdeck-xkeypoll: a test X client that reads the keyboard the way many games do, by asking
// for the state of every key once per frame instead of reading key events. Every 16 ms it
// reads XQueryKeymap on $DISPLAY and prints "down" or "up" (flushed at once) whenever the key
// named on the command line (a keysym name such as "l") changed since the last reading. It
// prints "ready" once it polls, and ends with the end of its standard input.

#include <X11/Xlib.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: tapdeck-xkeypoll KEYSYM-NAME\n");
    return 2;
  }
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) {
    std::fprintf(stderr, "error: cannot open the display\n");
    return 1;
  }
  const KeySym sym = XStringToKeysym(argv[1]);
  const KeyCode code = sym == NoSymbol ? 0 : XKeysymToKeycode(display, sym);
  if (code == 0) {
    std::fprintf(stderr, "error: no key for '%s'\n", argv[1]);
    return 1;
  }

  std::atomic<bool> stop{false};
  std::thread input([&stop] {
    while (std::fgetc(stdin) != EOF) {
    }
    stop = true;
  });

  std::printf("ready\n");
  std::fflush(stdout);
  bool down = false;
  auto next = std::chrono::steady_clock::now();
  while (!stop) {
    char keys[32];
    XQueryKeymap(display, keys);
    const bool now = (keys[code / 8] & (1 << (code % 8))) != 0;
    if (now != down) {
      down = now;
      std::printf("%s\n", down ? "down" : "up");
      std::fflush(stdout);
    }
    next += std::chrono::milliseconds(16);
    std::this_thread::sleep_until(next);
  }
  input.join();
  XCloseDisplay(display);
  return 0;
}
