// tap-latency: how long a tap takes from the phone's request to the input event, measured on
// tapdeck-headless. It starts tapdeck-headless --port 0 with its standard output on a pipe,
// then, one request at a time on a fresh loopback connection each, sends
//   GET /KeyboardKey?str=a   and waits for the first "key ..." line (the key going down),
//   GET /ButtonsDown?str=1   and waits for the "joy SetBtn ..." line,
// and measures from just before the request is sent to the arrival of that line. Between two
// button presses /ButtonsUp?str=1 releases the button again (not measured), so every press
// is a change of state; the key's release line is read off before the next request. The
// connection and reading the response are outside the measured time.
//
// Usage: tap-latency [--count N] [--warmup N] [--headless PATH]
// Prints p50, p99 and max per kind and whether p99 stays below 0.5 ms; exit status 0 when
// both kinds meet that, 1 when one does not, 2 when the run failed.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "base/uFiles.h"
#include "base/uSockets.h"
#include "base/uText.h"
#include "tests/web/ChildProcess.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::duration;
using std::chrono::milliseconds;

constexpr double kGoalMilliseconds = 0.5;

struct TOptions {
  int Count = 1000;
  int Warmup = 20;
  std::string Headless;
};

TOptions ParseOptions(int argc, char** argv) {
  TOptions options;
  options.Headless = Utf16ToUtf8(ExtractFilePath(ExecutablePath())) + "tapdeck-headless";
  for (int i = 1; i < argc; ++i) {
    const std::string_view name = argv[i];
    if (i + 1 >= argc) throw std::runtime_error("usage: tap-latency [--count N] [--warmup N] [--headless PATH]");
    const char* value = argv[++i];
    if (name == "--count") {
      options.Count = std::max(1, std::atoi(value));
    } else if (name == "--warmup") {
      options.Warmup = std::max(0, std::atoi(value));
    } else if (name == "--headless") {
      options.Headless = value;
    } else {
      throw std::runtime_error("unknown option " + std::string(name));
    }
  }
  return options;
}

// The running tapdeck-headless and the port it listens on.
class THeadless {
 public:
  explicit THeadless(const std::string& AProgram) : FChild(AProgram, {"--port", "0", "--open"}) {
    if (!FChild.Started()) throw std::runtime_error("cannot start " + AProgram);
    while (std::optional<std::string> line = FChild.ReadLine()) {
      if (line->starts_with("listening IPv4 ")) {
        FPort = static_cast<std::uint16_t>(std::stoi(line->substr(15)));
        return;
      }
    }
    throw std::runtime_error("tapdeck-headless did not start listening: " + FChild.ReadErrors(milliseconds(500)));
  }
  ~THeadless() {
    FChild.CloseInput();  // the end of its standard input stops it
    FChild.Wait();
  }

  std::uint16_t Port() const { return FPort; }

  // The next output line that starts with APrefix; lines of another kind are skipped, but a
  // "log" line (an error report) ends the run.
  void WaitForLine(std::string_view APrefix) {
    for (;;) {
      const std::optional<std::string> line = FChild.ReadLine(milliseconds(5000));
      if (!line) throw std::runtime_error("no line starting with '" + std::string(APrefix) + "' within 5 s");
      if (line->starts_with(APrefix)) return;
      if (line->starts_with("log ")) throw std::runtime_error("tapdeck-headless reported: " + *line);
    }
  }

 private:
  TChildProcess FChild;
  std::uint16_t FPort = 0;
};

// One request on a connection of its own. The time runs from just before the request is sent
// until AExpectedLine has arrived on the output; then the response is read to its end.
double TimedRequest(THeadless& AHeadless, std::string_view ATarget, std::string_view AExpectedLine) {
  TSocket socket = TSocket::Open(TIPVersion::IPv4);
  if (!socket.Connect("127.0.0.1", AHeadless.Port())) throw std::runtime_error("cannot connect");
  const std::string request = "GET " + std::string(ATarget) + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
  const Clock::time_point start = Clock::now();
  if (!socket.SendAll(request)) throw std::runtime_error("cannot send");
  AHeadless.WaitForLine(AExpectedLine);
  const Clock::time_point arrived = Clock::now();

  std::string response;
  char buffer[1024];
  for (;;) {
    if (!socket.WaitReadable(5000)) throw std::runtime_error("no response within 5 s");
    const std::ptrdiff_t got = socket.Receive(buffer, sizeof buffer);
    if (got <= 0) break;
    response.append(buffer, static_cast<std::size_t>(got));
  }
  if (!response.starts_with("HTTP/1.1 200 ")) throw std::runtime_error("unexpected response: " + response);
  return duration<double, std::milli>(arrived - start).count();
}

// A key tap: the key going down is measured, its release line is read off too.
double KeyTap(THeadless& AHeadless) {
  const double ms = TimedRequest(AHeadless, "/KeyboardKey?str=a", "key vk=0x41 ");
  AHeadless.WaitForLine("key vk=0x41 ");
  return ms;
}

// A button press, then its release (not measured).
double ButtonTap(THeadless& AHeadless) {
  const double ms = TimedRequest(AHeadless, "/ButtonsDown?str=1", "joy SetBtn -1 ");
  TimedRequest(AHeadless, "/ButtonsUp?str=1", "joy SetBtn 0 ");
  return ms;
}

// The value below which the given share of the sorted samples lie (nearest rank).
double Percentile(const std::vector<double>& ASorted, double AShare) {
  const auto rank = static_cast<std::size_t>(AShare * static_cast<double>(ASorted.size()) + 0.999999);
  return ASorted[std::clamp<std::size_t>(rank, 1, ASorted.size()) - 1];
}

// Prints one kind's line; true when its p99 meets the goal.
bool Report(const char* AKind, std::vector<double> ASamples) {
  std::sort(ASamples.begin(), ASamples.end());
  const double p99 = Percentile(ASamples, 0.99);
  const bool met = p99 < kGoalMilliseconds;
  std::printf("%-8s %6zu %9.3f %9.3f %9.3f   p99 < %.1f ms: %s\n", AKind, ASamples.size(), Percentile(ASamples, 0.5),
              p99, ASamples.back(), kGoalMilliseconds, met ? "yes" : "no");
  return met;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const TOptions options = ParseOptions(argc, argv);
    THeadless headless(options.Headless);
    for (int i = 0; i < options.Warmup; ++i) {
      KeyTap(headless);
      ButtonTap(headless);
    }
    std::vector<double> keys, buttons;
    keys.reserve(static_cast<std::size_t>(options.Count));
    buttons.reserve(static_cast<std::size_t>(options.Count));
    for (int i = 0; i < options.Count; ++i) keys.push_back(KeyTap(headless));
    for (int i = 0; i < options.Count; ++i) buttons.push_back(ButtonTap(headless));

    std::printf("%-8s %6s %9s %9s %9s   (milliseconds, request sent to event line)\n", "kind", "taps", "p50", "p99",
                "max");
    const bool keysMet = Report("key", keys);
    const bool buttonsMet = Report("button", buttons);
    return keysMet && buttonsMet ? 0 : 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tap-latency: %s\n", e.what());
    return 2;
  }
}
