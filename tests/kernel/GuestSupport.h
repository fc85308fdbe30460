#pragma once
// Shared by the programs that run inside the test kernel (tests/kernel/run.sh): a list of
// checks that prints PASS and FAIL lines, tapdeck-headless with the system keyboard and
// joystick as a child, requests as the page sends them, and the kernel's input devices
// read through their event and joystick nodes.

#include <linux/input.h>
#include <linux/joystick.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tests/web/ChildProcess.h"

using namespace std::chrono_literals;

// ---- Checks ------------------------------------------------------------------------

class TCheckList {
 public:
  // Prints "PASS <name>" or "FAIL <name>: <detail>"; returns AOk.
  bool Check(bool AOk, const std::string& AName, const std::string& ADetail = {});
  // Prints "<what>: N passed, M failed"; the exit status, 0 when nothing failed.
  int Finish(const std::string& AWhat) const;

 private:
  int FPassed = 0;
  int FFailed = 0;
};

// ---- tapdeck-headless --------------------------------------------------------------

// tapdeck-headless beside this program, with --keys system --joystick system, a port of
// the system's choice and the given device number.
class THeadless {
 public:
  explicit THeadless(int ADevice);
  // The IPv4 port it listens on; 0 when it did not start.
  std::uint16_t Port() const { return FPort; }
  // Sends one command line ("stop", "start", "device N") and reads the lines up to the
  // first that starts with AUntil; false when that line did not come. "start" also takes
  // the new port.
  bool Command(const std::string& ALine, std::string_view AUntil, std::string& AError);
  // Ends standard input; the exit status once it has stopped.
  std::optional<int> Stop();
  // What it printed on standard error so far (within a short wait).
  std::string Errors();

 private:
  TChildProcess FChild;
  std::uint16_t FPort = 0;
};

// The page's encoding of a value in a query string (the browser's encodeURIComponent).
std::string EncodeURIComponent(std::string_view AValue);
// "GET <route>?str=<value, encoded>" on a new loopback connection; the answer's status,
// 0 when none came.
int SendRoute(std::uint16_t APort, const std::string& ARoute, const std::string& AValue);

// ---- Input devices -----------------------------------------------------------------

struct TEvent {
  std::uint16_t Type = 0;
  std::uint16_t Code = 0;
  std::int32_t Value = 0;
  bool operator==(const TEvent&) const = default;
};

// An event node (/dev/input/eventN), opened for reading.
class TEventDevice {
 public:
  // Waits up to ATimeout for an event node whose device has this name.
  static std::unique_ptr<TEventDevice> Find(const std::string& AName, std::chrono::milliseconds ATimeout = 5s);
  // Whether an input device of this name exists now (from /proc/bus/input/devices).
  static bool Exists(const std::string& AName);
  // The names of every input device that exists now.
  static std::vector<std::string> AllNames();
  ~TEventDevice();
  TEventDevice(const TEventDevice&) = delete;
  TEventDevice& operator=(const TEventDevice&) = delete;

  const std::string& Path() const { return FPath; }
  input_id Id() const;
  // The codes whose capability bit is set for an event type (0: the event types).
  std::vector<int> Capabilities(int AType) const;
  std::optional<input_absinfo> AbsInfo(int AAxis) const;
  // The keys and buttons that the kernel holds as pressed.
  std::vector<int> Pressed() const;
  // Waits up to ATimeout for ACount events, then takes whatever else comes within AQuiet.
  std::vector<TEvent> Read(std::size_t ACount, std::chrono::milliseconds ATimeout = 10s,
                           std::chrono::milliseconds AQuiet = 250ms);
  // Whether the device went away within ATimeout (a read fails with ENODEV); the events
  // that came before are added to AEvents.
  bool WaitGone(std::vector<TEvent>& AEvents, std::chrono::milliseconds ATimeout = 5s);

 private:
  TEventDevice(std::string APath, int AFd) : FPath(std::move(APath)), FFd(AFd) {}
  std::string FPath;
  int FFd;
};

// A joystick node (/dev/input/jsN), opened for reading.
class TJoystickNode {
 public:
  static std::unique_ptr<TJoystickNode> Find(const std::string& AName, std::chrono::milliseconds ATimeout = 5s);
  ~TJoystickNode();
  TJoystickNode(const TJoystickNode&) = delete;
  TJoystickNode& operator=(const TJoystickNode&) = delete;

  const std::string& Path() const { return FPath; }
  int Buttons() const;
  int Axes() const;
  // As TEventDevice::Read.
  std::vector<js_event> Read(std::size_t ACount, std::chrono::milliseconds ATimeout = 10s,
                             std::chrono::milliseconds AQuiet = 250ms);
  bool WaitGone(std::chrono::milliseconds ATimeout = 5s);

 private:
  TJoystickNode(std::string APath, int AFd) : FPath(std::move(APath)), FFd(AFd) {}
  std::string FPath;
  int FFd;
};

// "BTN_TRIGGER", "KEY_A", ... for the codes these checks use; the number otherwise.
std::string CodeName(int ACode);
// Key events as "KEY_A+" (down) and "KEY_A-" (up), separated by blanks; any other event by
// its numbers.
std::string DescribeEvents(const std::vector<TEvent>& AEvents);
// The key events of a stream in which every key event is followed by its SYN_REPORT and
// nothing else comes; a description of the first place that breaks this in AError.
std::vector<TEvent> KeyEventsWithReports(const std::vector<TEvent>& AEvents, std::string& AError);
