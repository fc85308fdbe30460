#include <windows.h>

#include "tools/uStopRequest.h"

namespace {

HANDLE StopEvent() {
  static HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  return event;
}

BOOL WINAPI OnConsoleControl(DWORD /*type*/) {
  SetEvent(StopEvent());
  return TRUE;
}

DWORD WINAPI ReadStandardInput(LPVOID) {
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  char buffer[256];
  DWORD got = 0;
  while (ReadFile(input, buffer, sizeof buffer, &got, nullptr) && got > 0) {
  }
  SetEvent(StopEvent());
  return 0;
}

}  // namespace

void PrepareStopRequest() {
  StopEvent();
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

void WaitForStopRequest() {
  HANDLE reader = CreateThread(nullptr, 64 * 1024, ReadStandardInput, nullptr, 0, nullptr);
  if (reader) CloseHandle(reader);
  WaitForSingleObject(StopEvent(), INFINITE);
}
