#pragma once
// A child process with pipes on its standard input, output and error, for tests that run
// tapdeck-headless as a program.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class TChildProcess {
 public:
  // Starts the program; Started() tells whether that worked.
  TChildProcess(const std::string& AProgram, const std::vector<std::string>& AArgs);
  // Kills a child that is still running.
  ~TChildProcess();
  TChildProcess(const TChildProcess&) = delete;
  TChildProcess& operator=(const TChildProcess&) = delete;

  bool Started() const { return FPid > 0; }
  // The child's process id while it runs (and until Wait has seen it end); -1 otherwise.
  int Pid() const { return FPid; }
  // The next line of standard output (without its line feed), or none at the end of the
  // output or after ATimeout.
  std::optional<std::string> ReadLine(std::chrono::milliseconds ATimeout = std::chrono::seconds(10));
  // Whether ReadLine has met the end of the output (rather than a timeout).
  bool OutputEnded() const { return FOutputEnded; }
  // Everything on standard error until the child closes it (or ATimeout).
  std::string ReadErrors(std::chrono::milliseconds ATimeout = std::chrono::seconds(10));
  // Standard error until what was read holds AText (or the child closes it, or ATimeout).
  std::string ReadErrorsUntil(std::string_view AText, std::chrono::milliseconds ATimeout = std::chrono::seconds(10));
  // Writes to the child's standard input; false when it cannot take them.
  bool WriteInput(std::string_view ABytes);
  void CloseInput();
  void Terminate();  // SIGTERM
  // The exit status, or none when the child did not end within ATimeout (it is killed).
  std::optional<int> Wait(std::chrono::milliseconds ATimeout = std::chrono::seconds(10));

 private:
  int FPid = -1;
  int FInput = -1, FOutput = -1, FErrors = -1;
  std::string FOutputBuffer;
  bool FOutputEnded = false;
};

// tapdeck-headless, beside the test program.
std::string HeadlessProgram();
// tapdeck-headless's lines up to and including its IPv4 listening line; that line's port in
// APort, 0 when it never came.
std::vector<std::string> ReadUntilListening(TChildProcess& AChild, std::uint16_t& APort);
