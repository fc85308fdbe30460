#include "tests/kernel/GuestSupport.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <thread>

#include "tests/support/LoopbackClient.h"

using namespace std::chrono;

// ---- Checks ------------------------------------------------------------------------

bool TCheckList::Check(bool AOk, const std::string& AName, const std::string& ADetail) {
  if (AOk) {
    ++FPassed;
    std::printf("PASS %s\n", AName.c_str());
  } else {
    ++FFailed;
    std::printf("FAIL %s: %s\n", AName.c_str(), ADetail.c_str());
  }
  std::fflush(stdout);
  return AOk;
}

int TCheckList::Finish(const std::string& AWhat) const {
  std::printf("%s: %d passed, %d failed\n", AWhat.c_str(), FPassed, FFailed);
  std::fflush(stdout);
  return FFailed == 0 && FPassed > 0 ? 0 : 1;
}

// ---- tapdeck-headless --------------------------------------------------------------

THeadless::THeadless(int ADevice)
    : FChild(HeadlessProgram(),
             {"--port", "0", "--open", "--keys", "system", "--joystick", "system", "--device", std::to_string(ADevice)}) {
  if (FChild.Started()) ReadUntilListening(FChild, FPort);
}

bool THeadless::Command(const std::string& ALine, std::string_view AUntil, std::string& AError) {
  if (!FChild.WriteInput(ALine + "\n")) {
    AError = "tapdeck-headless does not take input";
    return false;
  }
  std::string seen;
  while (std::optional<std::string> line = FChild.ReadLine()) {
    if (line->rfind("listening IPv4 ", 0) == 0) FPort = static_cast<std::uint16_t>(std::stoi(line->substr(15)));
    if (line->rfind(AUntil, 0) == 0) return true;
    seen += " [" + *line + "]";
  }
  AError = "no line starting with '" + std::string(AUntil) + "' after '" + ALine + "'; lines:" + seen +
           "; errors: " + Errors();
  return false;
}

std::optional<int> THeadless::Stop() {
  FChild.CloseInput();
  while (std::optional<std::string> line = FChild.ReadLine()) {
    if (*line == "stopped") break;
  }
  return FChild.Wait();
}

std::string THeadless::Errors() { return FChild.ReadErrors(100ms); }

std::string EncodeURIComponent(std::string_view AValue) {
  static constexpr std::string_view kKept = "-_.!~*'()";
  std::string encoded;
  for (char c : AValue) {
    const auto byte = static_cast<unsigned char>(c);
    if (std::isalnum(byte) || kKept.find(c) != std::string_view::npos) {
      encoded += c;
    } else {
      char escape[4];
      std::snprintf(escape, sizeof escape, "%%%02X", byte);
      encoded += escape;
    }
  }
  return encoded;
}

int SendRoute(std::uint16_t APort, const std::string& ARoute, const std::string& AValue) {
  const std::string request =
      "GET " + ARoute + "?str=" + EncodeURIComponent(AValue) + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
  const TLoopbackReply reply = ParseLoopbackReply(LoopbackExchange(APort, request).Bytes);
  return reply.Valid ? reply.Status : 0;
}

// ---- Input devices -----------------------------------------------------------------

namespace {

// Every node in /dev/input whose name starts with APrefix.
std::vector<std::string> InputNodes(const char* APrefix) {
  std::vector<std::string> nodes;
  if (DIR* input = ::opendir("/dev/input")) {
    while (dirent* entry = ::readdir(input)) {
      if (std::strncmp(entry->d_name, APrefix, std::strlen(APrefix)) == 0)
        nodes.push_back("/dev/input/" + std::string(entry->d_name));
    }
    ::closedir(input);
  }
  return nodes;
}

// Polls every node of the prefix until one's name (read with ANameRequest) matches.
template <typename TOpened>
std::unique_ptr<TOpened> FindNode(const char* APrefix, unsigned long ANameRequest, const std::string& AName,
                                  milliseconds ATimeout, std::unique_ptr<TOpened> (*AMake)(std::string, int)) {
  const auto deadline = steady_clock::now() + ATimeout;
  for (;;) {
    for (const std::string& path : InputNodes(APrefix)) {
      const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
      if (fd < 0) continue;
      char name[256] = {};
      if (::ioctl(fd, ANameRequest, name) >= 0 && AName == name) return AMake(path, fd);
      ::close(fd);
    }
    if (steady_clock::now() > deadline) return nullptr;
    std::this_thread::sleep_for(50ms);
  }
}

// Reads records of one size from a non-blocking descriptor: ACount of them within
// ATimeout, then whatever comes within AQuiet. Sets AGone when the device went away.
template <typename TRecord>
std::vector<TRecord> ReadRecords(int AFd, std::size_t ACount, milliseconds ATimeout, milliseconds AQuiet,
                                 bool* AGone = nullptr) {
  std::vector<TRecord> records;
  auto deadline = steady_clock::now() + ATimeout;
  bool quiet = false;
  for (;;) {
    if (!quiet && records.size() >= ACount) {
      quiet = true;
      deadline = steady_clock::now() + AQuiet;
    }
    const auto left = duration_cast<milliseconds>(deadline - steady_clock::now()).count();
    if (left <= 0) break;
    pollfd waiting{AFd, POLLIN, 0};
    if (::poll(&waiting, 1, static_cast<int>(left)) <= 0) continue;
    TRecord record{};
    const ssize_t got = ::read(AFd, &record, sizeof record);
    if (got == static_cast<ssize_t>(sizeof record)) {
      records.push_back(record);
    } else if (got < 0 && errno == ENODEV) {
      if (AGone) *AGone = true;
      break;
    } else if (got < 0 && errno != EAGAIN && errno != EINTR) {
      break;
    }
  }
  return records;
}

bool TestBit(const std::vector<unsigned char>& ABits, int ABit) {
  return (ABits[static_cast<std::size_t>(ABit / 8)] >> (ABit % 8)) & 1;
}

}  // namespace

std::unique_ptr<TEventDevice> TEventDevice::Find(const std::string& AName, milliseconds ATimeout) {
  return FindNode<TEventDevice>("event", EVIOCGNAME(255), AName, ATimeout, [](std::string APath, int AFd) {
    return std::unique_ptr<TEventDevice>(new TEventDevice(std::move(APath), AFd));
  });
}

std::vector<std::string> TEventDevice::AllNames() {
  std::vector<std::string> names;
  std::ifstream devices("/proc/bus/input/devices");
  for (std::string line; std::getline(devices, line);) {
    if (line.rfind("N: Name=\"", 0) == 0 && line.size() > 10) names.push_back(line.substr(9, line.size() - 10));
  }
  return names;
}

bool TEventDevice::Exists(const std::string& AName) {
  for (const std::string& name : AllNames())
    if (name == AName) return true;
  return false;
}

TEventDevice::~TEventDevice() { ::close(FFd); }

input_id TEventDevice::Id() const {
  input_id id{};
  ::ioctl(FFd, EVIOCGID, &id);
  return id;
}

std::vector<int> TEventDevice::Capabilities(int AType) const {
  const int count = AType == 0 ? EV_MAX : AType == EV_ABS ? ABS_MAX : KEY_MAX;
  std::vector<unsigned char> bits(static_cast<std::size_t>(count / 8 + 1));
  std::vector<int> codes;
  if (::ioctl(FFd, EVIOCGBIT(AType, bits.size()), bits.data()) < 0) return codes;
  for (int code = 0; code <= count; ++code)
    if (TestBit(bits, code)) codes.push_back(code);
  return codes;
}

std::optional<input_absinfo> TEventDevice::AbsInfo(int AAxis) const {
  input_absinfo info{};
  if (::ioctl(FFd, EVIOCGABS(AAxis), &info) < 0) return std::nullopt;
  return info;
}

std::vector<int> TEventDevice::Pressed() const {
  std::vector<unsigned char> bits(KEY_MAX / 8 + 1);
  std::vector<int> codes;
  if (::ioctl(FFd, EVIOCGKEY(bits.size()), bits.data()) < 0) return codes;
  for (int code = 0; code <= KEY_MAX; ++code)
    if (TestBit(bits, code)) codes.push_back(code);
  return codes;
}

std::vector<TEvent> TEventDevice::Read(std::size_t ACount, milliseconds ATimeout, milliseconds AQuiet) {
  std::vector<TEvent> events;
  for (const input_event& e : ReadRecords<input_event>(FFd, ACount, ATimeout, AQuiet))
    events.push_back({e.type, e.code, e.value});
  return events;
}

bool TEventDevice::WaitGone(std::vector<TEvent>& AEvents, milliseconds ATimeout) {
  bool gone = false;
  for (const input_event& e : ReadRecords<input_event>(FFd, SIZE_MAX, ATimeout, 0ms, &gone))
    AEvents.push_back({e.type, e.code, e.value});
  return gone;
}

std::unique_ptr<TJoystickNode> TJoystickNode::Find(const std::string& AName, milliseconds ATimeout) {
  return FindNode<TJoystickNode>("js", JSIOCGNAME(255), AName, ATimeout, [](std::string APath, int AFd) {
    return std::unique_ptr<TJoystickNode>(new TJoystickNode(std::move(APath), AFd));
  });
}

TJoystickNode::~TJoystickNode() { ::close(FFd); }

int TJoystickNode::Buttons() const {
  unsigned char count = 0;
  return ::ioctl(FFd, JSIOCGBUTTONS, &count) < 0 ? -1 : count;
}

int TJoystickNode::Axes() const {
  unsigned char count = 0;
  return ::ioctl(FFd, JSIOCGAXES, &count) < 0 ? -1 : count;
}

std::vector<js_event> TJoystickNode::Read(std::size_t ACount, milliseconds ATimeout, milliseconds AQuiet) {
  return ReadRecords<js_event>(FFd, ACount, ATimeout, AQuiet);
}

bool TJoystickNode::WaitGone(milliseconds ATimeout) {
  bool gone = false;
  ReadRecords<js_event>(FFd, SIZE_MAX, ATimeout, 0ms, &gone);
  return gone;
}

std::string CodeName(int ACode) {
  static const std::map<int, std::string> kNames = {
      {KEY_A, "KEY_A"},
      {KEY_F, "KEY_F"},
      {KEY_X, "KEY_X"},
      {KEY_L, "KEY_L"},
      {KEY_F4, "KEY_F4"},
      {KEY_LEFT, "KEY_LEFT"},
      {KEY_ENTER, "KEY_ENTER"},
      {KEY_NUMLOCK, "KEY_NUMLOCK"},
      {KEY_LEFTSHIFT, "KEY_LEFTSHIFT"},
      {KEY_LEFTCTRL, "KEY_LEFTCTRL"},
      {KEY_LEFTALT, "KEY_LEFTALT"},
      {BTN_TRIGGER, "BTN_TRIGGER"},
      {BTN_DEAD, "BTN_DEAD"},
      {BTN_TRIGGER_HAPPY1, "BTN_TRIGGER_HAPPY1"},
      {BTN_TRIGGER_HAPPY16, "BTN_TRIGGER_HAPPY16"},
  };
  const auto found = kNames.find(ACode);
  return found != kNames.end() ? found->second : std::to_string(ACode);
}

std::string DescribeEvents(const std::vector<TEvent>& AEvents) {
  std::string text;
  for (const TEvent& e : AEvents) {
    if (!text.empty()) text += ' ';
    if (e.Type == EV_KEY && (e.Value == 0 || e.Value == 1)) {
      text += CodeName(e.Code) + (e.Value ? "+" : "-");
    } else if (e.Type == EV_SYN && e.Code == SYN_REPORT) {
      text += "SYN";
    } else {
      text += "(" + std::to_string(e.Type) + "," + std::to_string(e.Code) + "," + std::to_string(e.Value) + ")";
    }
  }
  return text.empty() ? "(none)" : text;
}

std::vector<TEvent> KeyEventsWithReports(const std::vector<TEvent>& AEvents, std::string& AError) {
  std::vector<TEvent> keys;
  for (std::size_t i = 0; i < AEvents.size(); i += 2) {
    const bool key = AEvents[i].Type == EV_KEY;
    const bool report = i + 1 < AEvents.size() && AEvents[i + 1].Type == EV_SYN && AEvents[i + 1].Code == SYN_REPORT;
    if (!key || !report) {
      if (AError.empty())
        AError = "event " + std::to_string(i) + (key ? " has no SYN_REPORT after it" : " is not a key event") +
                 " in " + DescribeEvents(AEvents);
      break;
    }
    keys.push_back(AEvents[i]);
  }
  return keys;
}
