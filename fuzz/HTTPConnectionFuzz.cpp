// Fuzz target: one connection's bytes through the whole request path — the request reader,
// the dispatcher with the real route table of TwmMainPage, the routes themselves and the
// response writer — up to the bytes that would go back to the client. The keyboard is the
// recorder and the joystick library the simulated one, as in tapdeck-headless.
//
// The input is the request as it arrives. How it is cut into receives follows from the
// input itself (see Pieces), so the reader also meets lines and bodies split anywhere.

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "joystick/vJoyClass.h"
#include "joystick/vJoySimulated.h"
#include "keys/uKeyboardRecorder.h"
#include "keys/uSendKeys.h"
#include "log/uGlobals.h"
#include "tests/support/KeyboardWatch.h"
#include "tests/support/MemoryByteChannel.h"
#include "web/uHTTPConnection.h"
#include "web/uDevices.h"
#include "web/uMainPage.h"
#include "web/uWebRequestHandler.h"

namespace {

// The recorder keeps the first events of an input only: a sequence like "{A 65535}" repeated
// would otherwise fill memory with calls nobody looks at.
class TBoundedRecorder : public TKeyboardRecorder {
 public:
  static constexpr int kRecordedEvents = 10000;
  TBoundedRecorder() : TKeyboardRecorder(false) {}
  void keybd_event(std::uint8_t bVk, std::uint8_t bScan, std::uint32_t dwFlags, std::uintptr_t dwExtraInfo) override {
    if (fEvents.fetch_add(1, std::memory_order_relaxed) < kRecordedEvents)
      TKeyboardRecorder::keybd_event(bVk, bScan, dwFlags, dwExtraInfo);
  }
  // Forgets the calls and releases every key, so each input starts alike.
  void Reset() {
    const std::uint8_t released[256] = {};
    SetKeyboardState(released);
    Clear();
    fEvents = 0;
  }

 private:
  std::atomic<int> fEvents{0};
};

struct TFuzzWorld {
  std::shared_ptr<TBoundedRecorder> Keyboard;
  // Selects the keyboard for the key-sequence workers, and waits for them.
  std::unique_ptr<TKeyboardWatch> Workers;
  TvJoySimulated* Joystick = nullptr;
  TWebRequestHandler Handler;
};

TFuzzWorld& World() {
  static TFuzzWorld world;
  return world;
}

void Fail(const char* AWhat, std::string_view AResponse) {
  std::fprintf(stderr, "response check failed: %s\n--- response (%zu bytes) ---\n%.*s\n---\n", AWhat,
               AResponse.size(), static_cast<int>(std::min<std::size_t>(AResponse.size(), 2000)), AResponse.data());
  std::abort();
}

bool ContainsNoCase(std::string_view AText, std::string_view AWord) {
  return std::search(AText.begin(), AText.end(), AWord.begin(), AWord.end(), [](char a, char b) {
           return std::toupper(static_cast<unsigned char>(a)) == std::toupper(static_cast<unsigned char>(b));
         }) != AText.end();
}

// What the client receives must be one well-formed response or nothing: optional interim
// "100 Continue" lines, one status line "HTTP/1.1 <code> <reason>", "Connection: close", one
// Content-Length that the body matches (a HEAD request and bodiless codes send none).
void CheckResponse(std::string_view AOut, std::string_view AInput) {
  const std::string_view full = AOut;
  for (;;) {
    const std::size_t blank = AOut.find(' ');
    if (blank == std::string_view::npos) break;
    constexpr std::string_view kInterim = " 100 Continue\r\n\r\n";
    if (AOut.substr(blank, kInterim.size()) != kInterim || AOut.substr(0, blank).find('\n') != std::string_view::npos)
      break;
    AOut.remove_prefix(blank + kInterim.size());
  }
  if (AOut.size() != full.size() && !ContainsNoCase(AInput, "100-continue")) Fail("an interim line unasked", full);
  if (AOut.empty()) return;
  if (!AOut.starts_with("HTTP/1.1 ")) Fail("does not start with \"HTTP/1.1 \"", full);
  const std::size_t headEnd = AOut.find("\r\n\r\n");
  if (headEnd == std::string_view::npos) Fail("no end of the header block", full);
  const std::string_view head = AOut.substr(0, headEnd + 2);
  const std::string_view body = AOut.substr(headEnd + 4);

  const std::size_t statusEnd = head.find("\r\n");
  const std::string_view status = head.substr(9, statusEnd - 9);
  if (status.size() < 5 || status[3] != ' ' ||
      !std::all_of(status.begin(), status.begin() + 3, [](char c) { return c >= '0' && c <= '9'; }))
    Fail("malformed status line", full);
  const int code = (status[0] - '0') * 100 + (status[1] - '0') * 10 + (status[2] - '0');

  // The codes this service answers with; the header-only ones carry nothing else.
  const bool headerOnly = code == 400 || code == 403 || code == 411 || code == 413 || code == 417;
  if (!headerOnly && code != 200 && code != 500) Fail("a status code this service never sends", full);

  bool connectionClose = false;
  bool contentType = false;
  int lengthHeaders = 0;
  std::uint64_t length = 0;
  std::size_t pos = statusEnd + 2;
  while (pos < head.size()) {
    const std::size_t end = head.find("\r\n", pos);
    const std::string_view line = head.substr(pos, end - pos);
    pos = end + 2;
    const std::size_t colon = line.find(": ");
    if (colon == std::string_view::npos || colon == 0) Fail("malformed header line", full);
    const std::string_view name = line.substr(0, colon);
    const std::string_view value = line.substr(colon + 2);
    if (name == "Connection") connectionClose = value == "close";
    if (name == "Content-Type") contentType = true;
    if (name == "Content-Length") {
      ++lengthHeaders;
      if (value.empty() || value.size() > 19 ||
          !std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; }))
        Fail("Content-Length is not a number", full);
      length = std::stoull(std::string(value));
    }
  }
  if (!connectionClose) Fail("no \"Connection: close\"", full);
  if (lengthHeaders != 1) Fail("not exactly one Content-Length", full);
  if (headerOnly && (contentType || length != 0 || !body.empty())) Fail("a header-only answer with content", full);
  if (contentType != (length != 0)) Fail("a Content-Type without content or content without one", full);
  if (body.size() == length) return;
  const bool bodiless = (code >= 100 && code <= 199) || code == 204 || code == 304;
  // Only the method decides about HEAD; the request text must at least name it.
  if (body.empty() && (bodiless || ContainsNoCase(AInput, "HEAD"))) return;
  Fail("body size differs from Content-Length", full);
}

// Receive sizes taken from the input: its length picks one whole receive, one byte at a
// time, or pieces whose sizes follow from the byte each piece starts with.
std::vector<std::size_t> Pieces(std::string_view AInput) {
  std::vector<std::size_t> pieces;
  switch (AInput.size() % 4) {
    case 0: return pieces;
    case 1: return std::vector<std::size_t>(AInput.size(), 1);
    default: break;
  }
  for (std::size_t pos = 0; pos < AInput.size();) {
    const auto b = static_cast<unsigned char>(AInput[pos]);
    const std::size_t size = 1 + (b * 131u + pos) % 61u;
    pieces.push_back(size);
    pos += size;
  }
  return pieces;
}

// What one serve of the input produced: the bytes sent (the Date value blanked) and what
// reached the keyboard and the joystick.
struct TServeResult {
  std::string Response;
  std::vector<TKeyEvent> Keys;
  std::vector<std::string> Joystick;
};

// The one Date header is that of the final response; an interim line comes before it.
std::string WithoutDate(std::string AResponse) {
  const std::size_t date = AResponse.find("\r\nDate: ");
  if (date == std::string::npos) return AResponse;
  const std::size_t end = AResponse.find("\r\n", date + 2);
  AResponse.replace(date + 8, end - date - 8, "-");
  return AResponse;
}

TServeResult Serve(std::string_view AInput, std::vector<std::size_t> APieces) {
  TFuzzWorld& world = World();
  TMemoryByteChannel channel(AInput, std::move(APieces));
  ServeHTTPConnection(channel, world.Handler, THTTPConnectionLimits{});
  if (channel.SendsAfterShutdown() != 0) Fail("sent after shutting the sending side", channel.Sent());
  CheckResponse(channel.Sent(), AInput);

  // Nothing of this serve may outlive it: key-sequence workers end, recordings go.
  world.Workers->WaitForWorkers();
  TServeResult result{WithoutDate(channel.Sent()), world.Keyboard->Events(), {}};
  for (const TvJoyCall& call : world.Joystick->Calls()) result.Joystick.push_back(call.Text());
  world.Keyboard->Reset();
  world.Joystick->ResetButtons(2);
  world.Joystick->ClearCalls();
  return result;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  TFuzzWorld& world = World();
  CreateGlobals();
  // The recorder stays selected, and so alive, to the end. A pressed button is held with
  // its Sleep, which only records: no time at all.
  world.Keyboard = std::make_shared<TBoundedRecorder>();
  world.Workers = std::make_unique<TKeyboardWatch>(world.Keyboard);
  auto library = std::make_unique<TvJoySimulated>();
  world.Joystick = library.get();
  SelectvJoyLibrary(std::move(library));
  // As Start leaves it: device 2 owned.
  GetvJoy().SetId(2);
  GetvJoy().Acquire();
  world.Joystick->ClearCalls();
  // The page files lie beside the executable. Open mode: the routes themselves are fuzzed,
  // not only their refusal.
  world.Handler.SetWebModuleClass(MainPageModuleClass());
  GetDeviceStore().SetOpenMode(true);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* AData, std::size_t ASize) {
  const std::string_view input(reinterpret_cast<const char*>(AData), ASize);
  std::vector<std::size_t> pieces = Pieces(input);
  const bool split = !pieces.empty();
  const TServeResult first = Serve(input, std::move(pieces));
  if (!split) return 0;
  // However the bytes were cut into receives, the same request was read and answered.
  const TServeResult whole = Serve(input, {});
  if (first.Response != whole.Response) Fail("the answer depends on how the request arrived", first.Response);
  if (first.Keys != whole.Keys) Fail("the keys depend on how the request arrived", first.Response);
  if (first.Joystick != whole.Joystick) Fail("the joystick calls depend on how the request arrived", first.Response);
  return 0;
}
