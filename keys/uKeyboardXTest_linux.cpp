// Key presses as XTest fake key events on the X display: virtual key to keysym to the
// display's own keycode.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include "keys/uKeyboard_linux.h"

std::unique_ptr<TXTestKeyOutput> TXTestKeyOutput::Open(const char* ADisplayName) {
  Display* display = XOpenDisplay(ADisplayName);
  if (!display) return nullptr;
  int eventBase = 0, errorBase = 0, major = 0, minor = 0;
  if (!XTestQueryExtension(display, &eventBase, &errorBase, &major, &minor)) {
    XCloseDisplay(display);
    return nullptr;
  }
  return std::unique_ptr<TXTestKeyOutput>(new TXTestKeyOutput(display));
}

TXTestKeyOutput::~TXTestKeyOutput() { XCloseDisplay(fDisplay); }

void TXTestKeyOutput::Key(std::uint8_t AVirtualKey, bool AUp) {
  const KeySym sym = VKeyToKeySym(AVirtualKey);
  if (sym == NoSymbol) return;
  std::lock_guard lock(fLock);
  const KeyCode code = XKeysymToKeycode(fDisplay, sym);
  if (code == 0) return;  // the display's keymap has no key for it
  XTestFakeKeyEvent(fDisplay, code, AUp ? False : True, CurrentTime);
  XFlush(fDisplay);
}
