// tapdeck-load: load and fault checks against tapdeck-headless as a program, on loopback.
// It starts the program itself (port 0), reads its memory and thread count from /proc, and
// prints one PASS or FAIL line per check; the exit status is 1 when any check failed.
//
//   tapdeck-load [--headless PATH]     (default: tapdeck-headless beside this program)

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "tests/support/LoopbackClient.h"
#include "tests/web/ChildProcess.h"

using namespace std::chrono;
using namespace std::chrono_literals;

namespace {

// ---- Limits of the checks -------------------------------------------------------------

constexpr int kLoadIdle = 500;
constexpr int kPageLoads = 200;
constexpr int kInputRequests = 2000;
// Stays within the request handler's 32 web-module instances, so every request must be served.
constexpr int kLoadConcurrency = 32;
constexpr int kPoolSize = 32;
constexpr int kPoolRequests = 40;
constexpr int kMemoryIdle = 1000;
constexpr long kMaxKiBPerIdleConnection = 100;
// What may stay resident after a load has gone, beyond the state the warm-up leaves (pool
// instances made, kept thread stacks touched): freed heap memory that the allocator keeps
// for the next requests instead of trimming it, its high-water marks creeping up for the
// first few thousand requests. Measured -0.4 to +0.3 MiB, also with both cores busy.
constexpr long kMemoryTolerationKiB = 1536;
constexpr int kHeldHalves = 40;
constexpr int kHeldIdle = 100;
// Deadlines, generous so that a loaded machine only makes the run longer; the times
// measured are printed.
constexpr auto kAnswerTime = 10s;
constexpr auto kStopTime = 20s;
constexpr auto kSettleTime = 30s;

const std::string kPoolMessage = "Maximum number of concurrent connections exceeded.  Please try again later";

// ---- Reporting ------------------------------------------------------------------------

// Prints the check's line; its result.
bool Report(bool AOk, std::string_view ACheck, const std::string& ADetail) {
  std::printf("%s %.*s: %s\n", AOk ? "PASS" : "FAIL", static_cast<int>(ACheck.size()), ACheck.data(), ADetail.c_str());
  std::fflush(stdout);
  return AOk;
}

// The first failure of a run with many parts, and how many parts failed.
class TFailures {
 public:
  void Add(const std::string& AWhat) {
    std::lock_guard lock(FLock);
    if (FCount++ == 0) FFirst = AWhat;
  }
  int Count() const {
    std::lock_guard lock(FLock);
    return FCount;
  }
  std::string Summary() const {
    std::lock_guard lock(FLock);
    return FCount == 0 ? std::string("none") : std::to_string(FCount) + ", first: " + FFirst;
  }

 private:
  mutable std::mutex FLock;
  int FCount = 0;
  std::string FFirst;
};

// Runs ACount jobs on AThreads threads; each job gets its number.
void RunParallel(int ACount, int AThreads, const std::function<void(int)>& AJob) {
  std::atomic<int> next{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < AThreads; ++t)
    threads.emplace_back([&] {
      for (int i = next++; i < ACount; i = next++) AJob(i);
    });
  for (auto& thread : threads) thread.join();
}

std::string Printable(std::string_view ABytes) {
  std::string text;
  for (char c : ABytes.substr(0, 120))
    text += (c == '\r') ? std::string("\\r") : (c == '\n') ? std::string("\\n") : std::string(1, c);
  return text;
}

// ---- The program under test -------------------------------------------------------------

struct TProcessStatus {
  long RssKiB = -1;
  int Threads = -1;
};

// tapdeck-headless on port 0. Its output is read all the time, because a full pipe would
// stall every thread that prints an input event; the lines are counted by their start.
class THeadless {
 public:
  explicit THeadless(const std::string& AProgram) : FChild(AProgram, {"--port", "0", "--open"}) {
    if (!FChild.Started()) return;
    FPid = FChild.Pid();
    FReader = std::thread([this] { ReadOutput(); });
    std::unique_lock lock(FLock);
    FChanged.wait_for(lock, 10s, [this] { return FPort != 0 || FEnded; });
  }
  ~THeadless() {
    // A program that is still running here is killed by the child's destructor.
    FChild.CloseInput();
    FChild.Wait(3s);
    FQuit = true;
    if (FReader.joinable()) FReader.join();
  }
  THeadless(const THeadless&) = delete;
  THeadless& operator=(const THeadless&) = delete;

  std::uint16_t Port() const { return FPort; }

  TProcessStatus Status() const {
    TProcessStatus status;
    std::ifstream in("/proc/" + std::to_string(FPid) + "/status");
    std::string line;
    while (std::getline(in, line)) {
      if (line.rfind("VmRSS:", 0) == 0) status.RssKiB = std::stol(line.substr(6));
      if (line.rfind("Threads:", 0) == 0) status.Threads = std::stoi(line.substr(8));
    }
    return status;
  }

  // Waits until the program runs exactly AThreads threads; the last count seen.
  int WaitForThreads(int AThreads, milliseconds ATimeout = kSettleTime) const {
    const auto deadline = steady_clock::now() + ATimeout;
    int threads = Status().Threads;
    while (threads != AThreads && steady_clock::now() < deadline) {
      std::this_thread::sleep_for(5ms);
      threads = Status().Threads;
    }
    return threads;
  }

  // The thread count once it has stayed the same for a while: the idle value.
  int SettledThreads() const {
    int threads = Status().Threads;
    for (int same = 0, i = 0; same < 10 && i < 500; ++i) {
      std::this_thread::sleep_for(10ms);
      const int now = Status().Threads;
      same = now == threads ? same + 1 : 0;
      threads = now;
    }
    return threads;
  }

  // Waits until the resident memory is at most AKiB; the last value read.
  long WaitForRss(long AKiB, milliseconds ATimeout = kSettleTime) const {
    const auto deadline = steady_clock::now() + ATimeout;
    long rss = Status().RssKiB;
    while (rss > AKiB && steady_clock::now() < deadline) {
      std::this_thread::sleep_for(10ms);
      rss = Status().RssKiB;
    }
    return rss;
  }

  long Lines(std::string_view APrefix) const {
    std::lock_guard lock(FLock);
    long count = 0;
    for (const auto& [prefix, n] : FCounts)
      if (prefix == APrefix) count = n;
    return count;
  }

  // Waits until ACount lines that start with APrefix have come; the count seen.
  long WaitForLines(std::string_view APrefix, long ACount, milliseconds ATimeout = kSettleTime) const {
    const auto deadline = steady_clock::now() + ATimeout;
    long lines = Lines(APrefix);
    while (lines < ACount && steady_clock::now() < deadline) {
      std::this_thread::sleep_for(5ms);
      lines = Lines(APrefix);
    }
    return lines;
  }

  void CloseInput() { FChild.CloseInput(); }
  void Terminate() { FChild.Terminate(); }
  // The time from ASince to the "stopped" line, or none within ATimeout.
  std::optional<milliseconds> WaitForStopped(steady_clock::time_point ASince, milliseconds ATimeout) {
    std::unique_lock lock(FLock);
    if (!FChanged.wait_for(lock, ATimeout, [this] { return FStopped.has_value(); })) return std::nullopt;
    return duration_cast<milliseconds>(*FStopped - ASince);
  }
  std::optional<int> Wait(milliseconds ATimeout) { return FChild.Wait(ATimeout); }
  // Still running: not ended, not a zombie.
  bool Running() {
    if (FChild.Pid() <= 0) return false;
    return !FChild.Wait(0ms).has_value();
  }

 private:
  void ReadOutput() {
    // The prefixes the checks count; every other line is read and dropped.
    static const char* const kPrefixes[] = {"key ", "joy SetBtn ", "log ", "error"};
    while (!FQuit) {
      const std::optional<std::string> line = FChild.ReadLine(200ms);
      if (!line) {
        if (FChild.OutputEnded()) break;
        continue;
      }
      std::lock_guard lock(FLock);
      if (line->rfind("listening IPv4 ", 0) == 0) FPort = static_cast<std::uint16_t>(std::stoi(line->substr(15)));
      if (*line == "stopped") FStopped = steady_clock::now();
      for (const char* prefix : kPrefixes) {
        if (line->rfind(prefix, 0) != 0) continue;
        auto known = FCounts.begin();
        while (known != FCounts.end() && known->first != prefix) ++known;
        if (known == FCounts.end())
          FCounts.emplace_back(prefix, 1);
        else
          ++known->second;
      }
      FChanged.notify_all();
    }
    std::lock_guard lock(FLock);
    FEnded = true;
    FChanged.notify_all();
  }

  TChildProcess FChild;
  int FPid = -1;
  std::thread FReader;
  std::atomic<bool> FQuit{false};
  mutable std::mutex FLock;
  std::condition_variable FChanged;
  std::uint16_t FPort = 0;
  bool FEnded = false;
  std::optional<steady_clock::time_point> FStopped;
  std::vector<std::pair<std::string, long>> FCounts;
};

// ---- Requests and their answers ----------------------------------------------------------

// An input request and the output lines it causes.
struct TInputRequest {
  std::string Bytes;
  int KeyLines;
  int JoyLines;
};

// The input routes, in turn: keystrokes by GET and by form POST, a key held and let go,
// joystick buttons pressed and held, pressed, released.
const std::vector<TInputRequest>& InputRequests() {
  static const std::vector<TInputRequest> requests = {
      {"GET /KeyboardKey?str=a HTTP/1.1\r\nHost: localhost\r\n\r\n", 2, 0},
      {"POST /KeyboardKey HTTP/1.1\r\nHost: localhost\r\nContent-Type: application/x-www-form-urlencoded\r\n"
       "Content-Length: 5\r\n\r\nstr=s",
       2, 0},
      {"GET /KeyboardDown?str=d HTTP/1.1\r\nHost: localhost\r\n\r\n", 1, 0},
      {"GET /KeyboardUp?str=d HTTP/1.1\r\nHost: localhost\r\n\r\n", 1, 0},
      {"GET /ButtonsPress?str=,1,2 HTTP/1.1\r\nHost: localhost\r\n\r\n", 0, 4},
      {"GET /ButtonsDown?str=3,4 HTTP/1.1\r\nHost: localhost\r\n\r\n", 0, 2},
      {"GET /ButtonsUp?str=4,3 HTTP/1.1\r\nHost: localhost\r\n\r\n", 0, 2},
  };
  return requests;
}

const char* const kPageRequest = "GET / HTTP/1.1\r\nHost: localhost\r\n\r\n";

// What is wrong with an answer to an input route (empty when it is right): exactly the empty
// 200 response, then the close.
std::string CheckEmptyAnswer(const TLoopbackRead& ARead) {
  const TLoopbackReply reply = ParseLoopbackReply(ARead.Bytes);
  const std::string expected =
      "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: 0\r\nDate: " + reply.Header("Date") + "\r\n\r\n";
  if (!ARead.Closed) return "no close within the time: " + Printable(ARead.Bytes);
  if (ARead.Bytes != expected) return "unexpected answer: " + Printable(ARead.Bytes);
  return {};
}

std::string CheckPageAnswer(const TLoopbackRead& ARead, const std::string& APage) {
  const TLoopbackReply reply = ParseLoopbackReply(ARead.Bytes);
  if (!ARead.Closed) return "page: no close within the time";
  if (reply.Status != 200) return "page: " + Printable(ARead.Bytes);
  if (reply.Header("Content-Type") != "text/html; charset=ISO-8859-1")
    return "page: content type " + reply.Header("Content-Type");
  if (reply.Header("Content-Length") != std::to_string(reply.Body.size()))
    return "page: length does not match the body";
  if (reply.Body != APage) return "page: body differs from the first page";
  return {};
}

// Connections that connect and send nothing. They are opened in groups that fit the listen
// queue, each group once the program has a thread for every connection so far.
class TIdleConnections {
 public:
  // Opens ACount connections, AThreadsBefore being the program's threads before the first.
  // False when the program did not take them all; AReason says how far it got. With
  // AFirstBytes, connection i sends AFirstBytes[i % size] and then nothing more.
  bool Open(const THeadless& AProgram, int ACount, int AThreadsBefore, std::string& AReason,
            const std::vector<std::string>& AFirstBytes = {}) {
    constexpr int kGroup = 10;
    while (static_cast<int>(FClients.size()) < ACount) {
      for (int i = 0; i < kGroup && static_cast<int>(FClients.size()) < ACount; ++i) {
        FClients.emplace_back(AProgram.Port());
        if (!FClients.back().Connected()) {
          AReason = "connect " + std::to_string(FClients.size()) + " failed";
          return false;
        }
        if (!AFirstBytes.empty()) FClients.back().Send(AFirstBytes[(FClients.size() - 1) % AFirstBytes.size()]);
      }
      const int want = AThreadsBefore + static_cast<int>(FClients.size());
      if (AProgram.WaitForThreads(want) != want) {
        AReason = "no thread for every connection after " + std::to_string(FClients.size());
        return false;
      }
    }
    return true;
  }
  // Whether every one is still open, none answered or closed by the program.
  bool AllHeld() {
    for (auto& client : FClients) {
      const TLoopbackRead read = client.Read(0ms);
      if (read.Closed || !read.Bytes.empty()) return false;
    }
    return true;
  }
  void CloseAll() { FClients.clear(); }
  std::vector<TLoopbackClient>& Clients() { return FClients; }

 private:
  std::vector<TLoopbackClient> FClients;
};

std::string KiB(long AValue) { return std::to_string(AValue) + " KiB"; }

// ---- Check 1: idle connections held while pages and input requests run -------------------

// The first page, as later ones must be.
std::string FetchPage(const THeadless& AProgram) {
  return ParseLoopbackReply(LoopbackExchange(AProgram.Port(), kPageRequest).Bytes).Body;
}

// Brings the program to the state it keeps between loads: every instance of the pool
// made, the heaps grown, and the thread stacks it keeps for reuse all taken once by a page
// request (their touched pages stay with them). So pages are loaded through more held
// connections than it keeps stacks, in groups the pool can take, then every route runs.
bool WarmUp(const THeadless& AProgram, int AIdleThreads, const std::string& APage) {
  constexpr int kHeld = 96;
  TIdleConnections held;
  std::string reason;
  if (!held.Open(AProgram, kHeld, AIdleThreads, reason)) return false;
  bool ok = true;
  auto& clients = held.Clients();
  for (std::size_t first = 0; first < clients.size(); first += kLoadConcurrency) {
    const std::size_t end = std::min(clients.size(), first + kLoadConcurrency);
    for (std::size_t i = first; i < end; ++i) clients[i].Send(kPageRequest);
    for (std::size_t i = first; i < end; ++i) ok = CheckPageAnswer(clients[i].Read(10s), APage).empty() && ok;
  }
  held.CloseAll();
  const auto& inputs = InputRequests();
  RunParallel(16 * kLoadConcurrency, kLoadConcurrency, [&](int i) {
    LoopbackExchange(AProgram.Port(), i % 2 ? kPageRequest : inputs[static_cast<std::size_t>(i) % inputs.size()].Bytes);
  });
  return ok;
}

bool CheckLoad(THeadless& AProgram, const std::string& APage, int AIdleThreads, long AIdleRss) {
  const auto started = steady_clock::now();
  TIdleConnections idle;
  std::string reason;
  if (!idle.Open(AProgram, kLoadIdle, AIdleThreads, reason)) {
    return Report(false, "load", std::to_string(kLoadIdle) + " idle connections: " + reason);
  }
  const long keysBefore = AProgram.Lines("key "), joyBefore = AProgram.Lines("joy SetBtn ");
  // Every twelfth request loads the page, the others go to the input routes in turn.
  const int total = kPageLoads + kInputRequests;
  const auto& inputs = InputRequests();
  std::atomic<long> keyLines{0}, joyLines{0};
  std::atomic<int> pages{0}, served{0};
  TFailures failures;
  RunParallel(total, kLoadConcurrency, [&](int i) {
    const bool page = i % 11 == 0;
    const TInputRequest& input = inputs[static_cast<std::size_t>(i - i / 11 - 1) % inputs.size()];
    const TLoopbackRead read = LoopbackExchange(AProgram.Port(), page ? kPageRequest : input.Bytes, 10s);
    const std::string problem = page ? CheckPageAnswer(read, APage) : CheckEmptyAnswer(read);
    if (!problem.empty()) return failures.Add(problem);
    ++served;
    if (page) {
      ++pages;
    } else {
      keyLines += input.KeyLines;
      joyLines += input.JoyLines;
    }
  });
  const bool idleHeld = idle.AllHeld();
  // Key events come from workers that run on after their answers.
  const long keys = AProgram.WaitForLines("key ", keysBefore + keyLines) - keysBefore;
  // Joystick lines are out before each answer, but the reader here may still be behind.
  const long joys = AProgram.WaitForLines("joy SetBtn ", joyBefore + joyLines) - joyBefore;
  idle.CloseAll();
  const int threads = AProgram.WaitForThreads(AIdleThreads);
  // Memory that only the load used goes back within moments.
  TProcessStatus after;
  after.RssKiB = AProgram.WaitForRss(AIdleRss + kMemoryTolerationKiB);
  const bool running = AProgram.Running();
  std::ostringstream detail;
  detail << kLoadIdle << " idle held " << (idleHeld ? "yes" : "NO") << ", " << served << "/" << total
         << " answered right (" << pages << " pages), failures " << failures.Summary() << ", key events " << keys << "/"
         << keyLines << ", joystick calls " << joys << "/" << joyLines << ", threads " << threads << " (idle "
         << AIdleThreads << "), RSS " << KiB(AIdleRss) << " -> " << KiB(after.RssKiB) << " ("
         << (after.RssKiB - AIdleRss) << " KiB, allowed " << kMemoryTolerationKiB << "), "
         << duration_cast<milliseconds>(steady_clock::now() - started).count() << " ms";
  return Report(idleHeld && failures.Count() == 0 && served == total && keys == keyLines && joys == joyLines &&
                    threads == AIdleThreads && after.RssKiB - AIdleRss <= kMemoryTolerationKiB && running,
                "load", detail.str());
}

// ---- Check 3: more requests inside routes than the pool has instances ----------------------

bool CheckPool(THeadless& AProgram, int AIdleThreads) {
  // Sixty-four buttons held 30 ms each: every request stays in its route for about two
  // seconds, so all forty are inside or refused before the first one leaves, with room to
  // spare on a busy machine.
  std::string ids;
  for (int id = 1; id <= 64; ++id) ids += "," + std::to_string(id);
  const std::string request = "GET /ButtonsPress?str=" + ids + " HTTP/1.1\r\nHost: localhost\r\n\r\n";
  TIdleConnections clients;
  std::string reason;
  if (!clients.Open(AProgram, kPoolRequests, AIdleThreads, reason)) {
    return Report(false, "pool", reason);
  }
  for (auto& client : clients.Clients()) client.Send(request);
  int ok = 0, refused = 0;
  TFailures failures;
  for (auto& client : clients.Clients()) {
    const TLoopbackRead read = client.Read(kSettleTime);
    const TLoopbackReply reply = ParseLoopbackReply(read.Bytes);
    if (!read.Closed) {
      failures.Add("no close within the time");
    } else if (reply.Status == 200 && CheckEmptyAnswer(read).empty()) {
      ++ok;
    } else if (reply.Status == 500 && reply.Header("Content-Type") == "text/html; charset=ISO-8859-1" &&
               reply.Body.find(kPoolMessage) != std::string::npos) {
      ++refused;
    } else {
      failures.Add(Printable(read.Bytes));
    }
  }
  clients.CloseAll();
  const std::string after =
      CheckEmptyAnswer(LoopbackExchange(AProgram.Port(), "GET /ButtonsPress?str=1 HTTP/1.1\r\nHost: localhost\r\n\r\n"));
  std::ostringstream detail;
  detail << kPoolRequests << " held in /ButtonsPress: " << ok << " got 200, " << refused
         << " got 500 with the pool message (want " << kPoolSize << " and " << kPoolRequests - kPoolSize
         << "), other answers " << failures.Summary() << ", next request " << (after.empty() ? "200" : after);
  const bool passed =
      Report(ok == kPoolSize && refused == kPoolRequests - kPoolSize && failures.Count() == 0 && after.empty(), "pool",
             detail.str());
  AProgram.WaitForThreads(AIdleThreads);
  return passed;
}

// ---- Check 4: resident memory of idle connections ---------------------------------------

bool CheckIdleMemory(THeadless& AProgram, int AIdleThreads) {
  std::this_thread::sleep_for(100ms);
  const long before = AProgram.Status().RssKiB;
  TIdleConnections idle;
  std::string reason;
  if (!idle.Open(AProgram, kMemoryIdle, AIdleThreads, reason)) {
    return Report(false, "idle memory", std::to_string(kMemoryIdle) + " idle connections: " + reason);
  }
  std::this_thread::sleep_for(100ms);
  const TProcessStatus held = AProgram.Status();
  const bool allHeld = idle.AllHeld();
  idle.CloseAll();
  const int threads = AProgram.WaitForThreads(AIdleThreads);
  const long after = AProgram.WaitForRss(before + kMemoryTolerationKiB);
  const double perConnection = static_cast<double>(held.RssKiB - before) / kMemoryIdle;
  char perText[32];
  std::snprintf(perText, sizeof perText, "%.1f", perConnection);
  std::ostringstream detail;
  detail << "RSS " << KiB(before) << " idle, " << KiB(held.RssKiB) << " with " << kMemoryIdle << " idle connections ("
         << perText << " KiB each, allowed " << kMaxKiBPerIdleConnection << "), " << KiB(after)
         << " after they closed (" << (after - before) << " KiB, allowed " << kMemoryTolerationKiB << "), threads "
         << held.Threads << " -> " << threads << " (idle " << AIdleThreads << "), all held "
         << (allHeld ? "yes" : "NO");
  return Report(allHeld && perConnection <= kMaxKiBPerIdleConnection && after - before <= kMemoryTolerationKiB &&
                    threads == AIdleThreads && held.Threads == AIdleThreads + kMemoryIdle,
                "idle memory", detail.str());
}

// ---- Check 2: faults, and a stop in the middle of them -----------------------------------

// One client that misbehaves in one of five ways. False when the program's side did not
// behave: a cut-off request must be closed, a started answer must have begun. Resets come a
// moment after the bytes, so the clients do not outrun the listener's accepts: a full listen
// queue drops the next connect, which then waits a second for its retry.
bool Misbehave(std::uint16_t APort, int AKind) {
  switch (AKind % 5) {
    case 0: {  // reset in the middle of the headers
      TLoopbackClient client(APort);
      client.Send("GET /KeyboardKey?str=a HTTP/1.1\r\nHost: localhost\r\nAcc");
      std::this_thread::sleep_for(1ms);
      client.Reset();
      return true;
    }
    case 1: {  // reset in the middle of a body
      TLoopbackClient client(APort);
      client.Send("POST /KeyboardKey HTTP/1.1\r\nHost: localhost\r\nContent-Length: 40\r\n\r\nstr=");
      std::this_thread::sleep_for(1ms);
      client.Reset();
      return true;
    }
    case 2: {  // reset after the first bytes of the page, while the rest is still being sent
      TLoopbackClient client(APort, {.NoDelay = false, .ReceiveBuffer = 2048});
      client.Send(kPageRequest);
      const TLoopbackRead read = client.Read(kAnswerTime, 10);
      client.Reset();
      return read.Bytes.rfind("HTTP/1.1 ", 0) == 0;
    }
    case 3: {  // reset while the route still runs, before its answer
      TLoopbackClient client(APort);
      client.Send("GET /ButtonsPress?str=5,6 HTTP/1.1\r\nHost: localhost\r\n\r\n");
      std::this_thread::sleep_for(10ms);
      client.Reset();
      return true;
    }
    default: {  // half a request, then the client says it has no more: the program closes
      TLoopbackClient client(APort);
      client.Send("POST /KeyboardKey HTTP/1.1\r\nHost: localhost\r\nContent-Length: 40\r\n\r\nstr=");
      client.ShutdownSend();
      const TLoopbackRead read = client.Read(kAnswerTime);
      return read.Closed && read.Bytes.empty();
    }
  }
}

// Requests cut off before their end, whose connections stay open and wait.
const std::vector<std::string> kHalfRequests = {
    "POST /KeyboardKey HTTP/1.1\r\nHost: localhost\r\nContent-Length: 100\r\n\r\nstr=",
    "GET /ButtonsDown?str=1 HTTP/1.1\r\nHost: localhost\r\nUser-Ag",
    "GET / HTTP/1.1\r\n",
    "POST /ButtonsUp?str=1 HTTP/1.1\r\nHost: localhost\r\nTransfer-Encoding: chunked\r\n\r\n10\r\nabc",
};

enum class TStopBy { Terminate, EndOfInput };

bool CheckFaultsAndStop(const std::string& AProgram, TStopBy AStop) {
  const std::string name = AStop == TStopBy::Terminate ? "faults, stop by SIGTERM" : "faults, stop by end of input";
  THeadless program(AProgram);
  if (program.Port() == 0) return Report(false, name, "tapdeck-headless did not start");
  const std::uint16_t port = program.Port();
  const std::string page = FetchPage(program);
  const int idleThreads = program.SettledThreads();

  // A first round of faults; afterwards the program serves as before.
  TFailures failures;
  RunParallel(200, 8, [&](int i) {
    if (!Misbehave(port, i)) failures.Add("fault kind " + std::to_string(i % 5));
  });
  const std::string next = CheckPageAnswer(LoopbackExchange(port, kPageRequest), page);
  const int settled = program.WaitForThreads(idleThreads);

  // Then half requests and idle connections held, faults going on, and the stop.
  TIdleConnections halves, idle;
  std::string reason;
  const bool heldOpen = halves.Open(program, kHeldHalves, idleThreads, reason, kHalfRequests) &&
                        idle.Open(program, kHeldIdle, idleThreads + kHeldHalves, reason);
  std::atomic<bool> stopFaults{false};
  std::atomic<int> faults{0};
  std::vector<std::thread> faulting;
  for (int t = 0; t < 4; ++t)
    faulting.emplace_back([&, t] {
      for (int i = t; !stopFaults; i += 4) {
        Misbehave(port, i);
        ++faults;
      }
    });
  // The stop comes in the middle of them: once each kind has been done a few times.
  for (const auto deadline = steady_clock::now() + kSettleTime; faults < 20 && steady_clock::now() < deadline;)
    std::this_thread::sleep_for(5ms);
  const int threadsBeforeStop = program.Status().Threads;
  const int faultsBeforeStop = faults;
  const auto stopAt = steady_clock::now();
  if (AStop == TStopBy::Terminate)
    program.Terminate();
  else
    program.CloseInput();
  const std::optional<milliseconds> stopped = program.WaitForStopped(stopAt, kStopTime);
  const std::optional<int> status = program.Wait(stopped ? kStopTime : 1ms);
  const auto exitedAfter = duration_cast<milliseconds>(steady_clock::now() - stopAt);
  stopFaults = true;
  for (auto& thread : faulting) thread.join();
  // The program closed every held connection as it stopped.
  int closed = 0;
  for (auto* group : {&halves, &idle})
    for (auto& client : group->Clients()) closed += client.Read(kAnswerTime).Closed ? 1 : 0;

  std::ostringstream detail;
  detail << "200 faults: wrong " << failures.Summary() << ", then page " << (next.empty() ? "200" : next)
         << ", threads " << settled << " (idle " << idleThreads << "); stop with " << kHeldHalves
         << " half requests and " << kHeldIdle << " idle connections held (" << (heldOpen ? "all taken" : reason)
         << ") and faults running (" << faultsBeforeStop << " done, " << threadsBeforeStop << " threads): 'stopped' after "
         << (stopped ? std::to_string(stopped->count()) + " ms" : std::string("NONE")) << ", exit status "
         << (status ? std::to_string(*status) : std::string("NONE")) << " after " << exitedAfter.count()
         << " ms, held connections closed " << closed << "/" << kHeldHalves + kHeldIdle;
  return Report(failures.Count() == 0 && next.empty() && settled == idleThreads && heldOpen && stopped && status == 0 &&
                    exitedAfter <= kStopTime && closed == kHeldHalves + kHeldIdle,
                name, detail.str());
}

// ---- The run ----------------------------------------------------------------------------

bool EnoughDescriptors() {
  rlimit limit{};
  getrlimit(RLIMIT_NOFILE, &limit);
  const rlim_t needed = kMemoryIdle + 200;
  if (limit.rlim_cur >= needed) return true;
  std::printf("FAIL setup: open-file limit %llu is below the %llu this run needs (ulimit -n)\n",
              static_cast<unsigned long long>(limit.rlim_cur), static_cast<unsigned long long>(needed));
  return false;
}

int Run(const std::string& AProgram) {
  if (!EnoughDescriptors()) return 1;
  int failed = 0;
  {
    THeadless program(AProgram);
    if (program.Port() == 0) {
      Report(false, "start", "tapdeck-headless did not print its listening line");
      return 1;
    }
    const std::string page = FetchPage(program);
    const int startThreads = program.SettledThreads();
    const long startRss = program.Status().RssKiB;
    if (page.empty() || !WarmUp(program, startThreads, page))
      failed += !Report(false, "warm-up", "the first pages did not come");
    const int idleThreads = program.SettledThreads();
    const long idleRss = program.Status().RssKiB;
    std::printf("idle: %d threads, RSS %ld KiB after the first page, %ld KiB after warm-up\n", idleThreads, startRss,
                idleRss);
    failed += !CheckLoad(program, page, idleThreads, idleRss);
    failed += !CheckPool(program, idleThreads);
    failed += !CheckIdleMemory(program, idleThreads);
    const auto stopAt = steady_clock::now();
    program.CloseInput();
    const std::optional<milliseconds> stopped = program.WaitForStopped(stopAt, kStopTime);
    const std::optional<int> status = program.Wait(kStopTime);
    failed += !Report(stopped && status == 0, "stop after load",
                      "'stopped' after " + (stopped ? std::to_string(stopped->count()) + " ms" : std::string("NONE")) +
                          ", exit status " + (status ? std::to_string(*status) : std::string("NONE")));
  }
  failed += !CheckFaultsAndStop(AProgram, TStopBy::Terminate);
  failed += !CheckFaultsAndStop(AProgram, TStopBy::EndOfInput);
  std::printf("%s\n", failed == 0 ? "all load and fault checks passed" : "some load or fault checks FAILED");
  return failed == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::string program = (std::filesystem::path(argv[0]).parent_path() / "tapdeck-headless").string();
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--headless" && i + 1 < argc) {
      program = argv[++i];
    } else {
      std::fprintf(stderr, "usage: tapdeck-load [--headless PATH]\n");
      return 2;
    }
  }
  if (!std::filesystem::exists(program)) {
    std::fprintf(stderr, "no program at %s\n", program.c_str());
    return 2;
  }
  return Run(program);
}
