// The program on Windows: start-up, the window's message loop, and exit, in that order.

#include "app/fMainWin32.h"
#include "base/uFiles.h"
#include "base/uSystem_win32.h"
#include "log/uGlobals.h"
#include "page/uPageInfo.h"
#include "web/uMainPage.h"
#include "web/uWebRequestHandler.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int ACmdShow) {
  CreateGlobals();
  WebRequestHandler().SetWebModuleClass(MainPageModuleClass());

  int result = 0;
  try {
    // The keyboard always reaches the system here, so its status line stays empty.
    TfrmMainWin32 window;
    window.Show(ACmdShow);
    result = window.Run();
    // Leaving this block destroys the window, which stops the service and waits for every
    // connection.
  } catch (const Exception& e) {
    // Only the window's own creation can fail here; event handlers report their errors.
    ::MessageBoxW(nullptr, ToWide(ErrorBoxMessage(e.Message())).c_str(),
                  ToWide(ApplicationTitle(ExecutablePath())).c_str(), MB_OK | MB_ICONERROR);
    result = 1;
  }
  DestroyGlobals();
  FreePageInfo();
  // The joystick object is left alone: the device is not given up at exit.
  return result;
}
