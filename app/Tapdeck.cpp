// The program: start-up, the window's message loop, and exit, in that order.

#include <QApplication>

#include "app/fMainQt.h"
#include "keys/uKeyboard.h"
#include "log/uGlobals.h"
#include "page/uPageInfo.h"
#include "web/uMainPage.h"
#include "web/uWebRequestHandler.h"

int main(int argc, char* argv[]) {
  CreateGlobals();
  WebRequestHandler().SetWebModuleClass(MainPageModuleClass());

  int result = 0;
  {
    QApplication application(argc, argv);
    // Ties the window to tapdeck.desktop, whose icon the desktop shows for it.
    QApplication::setDesktopFileName("tapdeck");
    TfrmMainPlatform platform;
    platform.KeyboardStatus = [] { return KeyboardStatusText(HasKeyboardOutput(), KeyboardOutputName()); };
    TfrmMainQt window(std::move(platform));
    // Centres itself once shown, when its frame is known.
    window.show();
    result = application.exec();
    // Leaving this block destroys the window, which stops the service and waits for every
    // connection, before the toolkit goes.
  }
  DestroyGlobals();
  FreePageInfo();
  // The joystick object is left alone: the device is not given up at exit.
  return result;
}
