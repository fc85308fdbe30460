// tapdeck-xkeywindow: a test X client for the end-to-end browser test. It maps a window on
// $DISPLAY, gives it the keyboard focus, prints "ready", then one line per key event that
// reaches it ("press l", "release l"), flushed at once, until it is killed.

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>

int main() {
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) {
    std::fprintf(stderr, "error: cannot open the display\n");
    return 1;
  }
  const int screen = DefaultScreen(display);
  const Window window = XCreateSimpleWindow(display, RootWindow(display, screen), 0, 0, DisplayWidth(display, screen),
                                            DisplayHeight(display, screen), 0, 0, 0);
  XSelectInput(display, window, KeyPressMask | KeyReleaseMask | StructureNotifyMask);
  XMapWindow(display, window);
  XEvent event;
  do XNextEvent(display, &event);
  while (event.type != MapNotify);
  XSetInputFocus(display, window, RevertToParent, CurrentTime);
  XSync(display, False);
  std::printf("ready\n");
  std::fflush(stdout);
  for (;;) {
    XNextEvent(display, &event);
    if (event.type != KeyPress && event.type != KeyRelease) continue;
    const char* name = XKeysymToString(XLookupKeysym(&event.xkey, 0));
    std::printf("%s %s\n", event.type == KeyPress ? "press" : "release", name ? name : "?");
    std::fflush(stdout);
  }
}
