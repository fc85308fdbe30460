#include <windows.h>

#include <string>

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

// Set once, before the reader starts.
void (*OnLine)(const std::string& ALine) = nullptr;

DWORD WINAPI ReadStandardInput(LPVOID) {
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  std::string pending;
  char buffer[256];
  DWORD got = 0;
  while (ReadFile(input, buffer, sizeof buffer, &got, nullptr) && got > 0) {
    pending.append(buffer, got);
    for (std::size_t lf; (lf = pending.find('\n')) != std::string::npos; pending.erase(0, lf + 1)) {
      const std::size_t end = lf > 0 && pending[lf - 1] == '\r' ? lf - 1 : lf;
      OnLine(pending.substr(0, end));
    }
  }
  SetEvent(StopEvent());
  return 0;
}

}  // namespace

void PrepareStopRequest() {
  StopEvent();
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

void WaitForStopRequest(void (*AOnLine)(const std::string& ALine)) {
  OnLine = AOnLine;
  HANDLE reader = CreateThread(nullptr, 64 * 1024, ReadStandardInput, nullptr, 0, nullptr);
  if (reader) CloseHandle(reader);
  WaitForSingleObject(StopEvent(), INFINITE);
}
