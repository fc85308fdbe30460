// tapdeck-headless: the runner for tests, benchmarks and browser tests. It does what
// pressing Start in the main window does, without a window, and serves until SIGINT,
// SIGTERM or the end of standard input. Every output line goes out whole and flushed.

#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/uVersion.h"
#include "base/uFiles.h"
#include "base/uIntConv.h"
#include "base/uText.h"
#include "joystick/vJoyClass.h"
#include "joystick/vJoyIF.h"
#include "joystick/vJoySimulated.h"
#include "keys/uKeyboard.h"
#include "keys/uKeyboardRecorder.h"
#include "log/uGlobals.h"
#include "page/uPageInfo.h"
#include "page/uPanelFile.h"
#include "tools/uStopRequest.h"
#include "web/uDevices.h"
#include "web/uHTTPWebBrokerBridge.h"
#include "web/uHeldInputs.h"
#include "web/uLiveSources.h"
#include "web/uMainPage.h"
#include "web/uPairing.h"
#include "web/uWebRequestHandler.h"

namespace {

// ---- Output ------------------------------------------------------------------------
// Lines come from the main thread, connection threads and key-sequence workers; one lock
// keeps each line whole and in the order the events happen.

std::mutex OutputLock;
const auto StartTime = std::chrono::steady_clock::now();
bool Timestamps = false;  // --timestamps

// AStamped: the line starts with the milliseconds since the start, taken under the lock so
// that the times rise with the lines.
void WriteLine(std::FILE* AStream, std::string_view ALine, bool AStamped = false) {
  std::string line;
  line.reserve(ALine.size() + 16);
  for (char c : ALine) line += (c == '\r' || c == '\n') ? ' ' : c;
  line += '\n';
  std::lock_guard lock(OutputLock);
  if (AStamped) {
    const std::chrono::duration<double, std::milli> elapsed = std::chrono::steady_clock::now() - StartTime;
    std::fprintf(AStream, "%.3f ", elapsed.count());
  }
  std::fwrite(line.data(), 1, line.size(), AStream);
  std::fflush(AStream);
}

// One line on standard output; listeners of the input subsystems print through this.
void PrintLine(std::string_view ALine) { WriteLine(stdout, ALine, Timestamps); }
void PrintError(std::string_view AMessage) { WriteLine(stderr, "error: " + std::string(AMessage)); }

// "log <logger> <message>" for every report that reaches the log.
class TLogPrinter : public TLogObserver {
 public:
  void Reported(const std::u16string& pMessage, const std::u16string& pLogger) override {
    PrintLine("log " + Utf16ToUtf8(pLogger) + " " + Utf16ToUtf8(pMessage));
  }
};

// ---- Options -----------------------------------------------------------------------

enum class TKeysChoice { Record, System };
enum class TJoystickChoice { Simulated, System };

struct THeadlessOptions {
  std::uint16_t Port = 8080;
  std::u16string Dir;  // empty: beside the executable
  std::u16string Panel;  // empty: panel.json in Dir when there is one, else the built-in page
  std::int32_t Device = 2;
  std::optional<std::u16string> Title;
  TKeysChoice Keys = TKeysChoice::Record;
  TJoystickChoice Joystick = TJoystickChoice::Simulated;
  std::optional<std::int32_t> MissingDevice;
  bool VersionMismatch = false;
  bool Timestamps = false;
  bool Open = false;       // --open: any device may press keys, as without pairing
  std::u16string Devices;  // --devices FILE: the paired devices; empty: kept in memory only
  bool NoJoystick = false;  // --no-joystick: the window's "No joystick (keys only)"
  TGameFolderChoice Game;      // --game DIR|auto: the game's status file
  TGameFolderChoice Bindings;  // --bindings DIR|FILE|auto: the player's key bindings
  std::u16string Toggles;      // --toggles FILE: the toggle cells' state; empty: in memory only
};

const char* const kUsage =
    "usage: tapdeck-headless [--port N] [--dir DIR] [--panel FILE] [--device N] [--title TEXT]\n"
    "                        [--keys record|system] [--joystick simulated|system]\n"
    "                        [--missing-device N] [--version-mismatch] [--timestamps]\n"
    "                        [--open] [--devices FILE] [--no-joystick] [--game DIR|auto]\n"
    "                        [--bindings DIR|FILE|auto] [--toggles FILE]\n";

// An option's value that is not acceptable.
struct TUsageError {
  std::string Message;
};

// Command-line text: UTF-8 where it is valid, the ANSI code page otherwise.
std::u16string ArgumentText(std::string_view AArg) {
  std::u16string text;
  return TryUtf8ToUtf16(AArg, text) ? text : AnsiToUtf16(AArg);
}

std::int32_t IntegerOption(std::string_view AName, std::string_view AValue, std::int32_t AMin, std::int32_t AMax) {
  const std::optional<std::int32_t> value = TryStrToInt(ArgumentText(AValue));
  if (!value || *value < AMin || *value > AMax)
    throw TUsageError{std::string(AName) + " expects a number from " + std::to_string(AMin) + " to " +
                      std::to_string(AMax) + ", not '" + std::string(AValue) + "'"};
  return *value;
}

THeadlessOptions ParseOptions(const std::vector<std::string_view>& AArgs) {
  THeadlessOptions options;
  for (std::size_t i = 0; i < AArgs.size(); ++i) {
    const std::string_view name = AArgs[i];
    if (name == "--version-mismatch") {
      options.VersionMismatch = true;
      continue;
    }
    if (name == "--timestamps") {
      options.Timestamps = true;
      continue;
    }
    if (name == "--open") {
      options.Open = true;
      continue;
    }
    if (name == "--no-joystick") {
      options.NoJoystick = true;
      continue;
    }
    const bool takesValue = name == "--port" || name == "--dir" || name == "--panel" || name == "--device" ||
                            name == "--title" || name == "--devices" || name == "--game" || name == "--bindings" ||
                            name == "--toggles" ||
                            name == "--keys" || name == "--joystick" || name == "--missing-device";
    if (!takesValue) throw TUsageError{"unknown option '" + std::string(name) + "'"};
    if (i + 1 >= AArgs.size()) throw TUsageError{std::string(name) + " needs a value"};
    const std::string_view value = AArgs[++i];
    if (name == "--port") {
      options.Port = static_cast<std::uint16_t>(IntegerOption(name, value, 0, 65535));
    } else if (name == "--dir") {
      options.Dir = ArgumentText(value);
    } else if (name == "--panel") {
      options.Panel = ArgumentText(value);
    } else if (name == "--devices") {
      options.Devices = ArgumentText(value);
    } else if (name == "--game" || name == "--bindings") {
      TGameFolderChoice& choice = name == "--game" ? options.Game : options.Bindings;
      choice = value == "auto" ? TGameFolderChoice{TGameFolderChoice::Automatic, {}}
                               : TGameFolderChoice{TGameFolderChoice::Picked, ArgumentText(value)};
    } else if (name == "--toggles") {
      options.Toggles = ArgumentText(value);
    } else if (name == "--device") {
      options.Device = IntegerOption(name, value, 1, 16);
    } else if (name == "--title") {
      options.Title = ArgumentText(value);
    } else if (name == "--keys") {
      if (value != "record" && value != "system") throw TUsageError{"--keys expects record or system"};
      options.Keys = value == "record" ? TKeysChoice::Record : TKeysChoice::System;
    } else if (name == "--joystick") {
      if (value != "simulated" && value != "system") throw TUsageError{"--joystick expects simulated or system"};
      options.Joystick = value == "simulated" ? TJoystickChoice::Simulated : TJoystickChoice::System;
    } else {
      options.MissingDevice = IntegerOption(name, value, 1, 16);
    }
  }
  return options;
}

// ---- Input subsystems --------------------------------------------------------------
// The keyboard and the joystick library are chosen here, before the service starts.
//   Keyboard (--keys): record -> the recorder as the process-wide keyboard, with a listener
//     that prints each call through PrintLine ("key vk=0x41 scan=30 flags=0 extra=13",
//     "numlock on") and no history kept, since nobody reads it here; system -> the
//     platform's keyboard.
//   Joystick (--joystick): simulated -> the simulated library as the process-wide one, with
//     --missing-device and --version-mismatch applied and a listener printing each
//     state-changing call ("joy SetBtn -1 2 5"), again without a history; system -> the
//     platform's library.

void ChooseKeyboard(const THeadlessOptions& AOptions) {
  if (AOptions.Keys == TKeysChoice::System) {
    SelectKeyboard(CreateSystemKeyboard());
    return;
  }
  auto recorder = std::make_unique<TKeyboardRecorder>();
  recorder->SetListener([](const std::string& ALine) { PrintLine(ALine); });
  recorder->SetKeepCalls(false);
  SelectKeyboard(std::move(recorder));
}

void ChooseJoystick(const THeadlessOptions& AOptions) {
  if (AOptions.Joystick == TJoystickChoice::System) {
    SelectvJoyLibrary(CreateSystemvJoyLibrary());
    return;
  }
  TvJoySimulatedOptions options;
  options.MissingDevice = AOptions.MissingDevice.value_or(0);
  options.VersionMismatch = AOptions.VersionMismatch;
  auto library = std::make_unique<TvJoySimulated>(options);
  library->SetListener([](const std::string& ALine) { PrintLine("joy " + ALine); });
  library->SetKeepCalls(false);
  SelectvJoyLibrary(std::move(library));
}

// What Start does with the joystick once the settings are stored: the device number the
// window's field would have set (GetvJoy().SetId(Device)), then GetvJoy().Acquire(), whose
// result is ignored and whose error stops the start.
void AcquireJoystick(const THeadlessOptions& AOptions) {
  GetvJoy().SetId(AOptions.Device);
  if (!AOptions.NoJoystick) GetvJoy().Acquire();
}

// ---- Start and stop ----------------------------------------------------------------

// What pressing Start does: store the settings, acquire the joystick, listen on the port.
void StartServer(TIdHTTPWebBrokerBridge& AServer, const THeadlessOptions& AOptions) {
  TPageInfo& pageInfo = GetPageInfo();
  // The panel file of the command line or of the page folder; never the user's own.
  std::u16string panel = AOptions.Panel;
  if (panel.empty()) {
    std::u16string dir = AOptions.Dir.empty() ? ExtractFilePath(ExecutablePath()) : AOptions.Dir;
    if (!dir.empty() && dir.back() != u'/' && dir.back() != PathDelimiter()) dir.push_back(PathDelimiter());
    panel = dir + u"panel.json";
  }
  // The editor saves to that same file, which need not exist yet.
  pageInfo.SetPanelSaveFile(panel);
  // A --panel file must be there; panel.json in the folder may be missing.
  if (!AOptions.Panel.empty() || FileExists(panel)) {
    UsePanel(pageInfo, ReadPanelFile(panel));
    pageInfo.SetPanelFile(panel);
  }
  if (AOptions.Title) pageInfo.SetPageTitle(*AOptions.Title);
  pageInfo.SetVirtualJoystickId(AOptions.Device);
  pageInfo.SetNoJoystick(AOptions.NoJoystick);
  pageInfo.SetWebServerPortNr(AOptions.Port);
  AcquireJoystick(AOptions);
  AServer.Bindings().Clear();
  AServer.SetDefaultPort(static_cast<std::uint16_t>(pageInfo.WebServerPortNr() & 0xFFFF));
  AServer.SetActive(true);
  for (int i = 0; i < AServer.Bindings().Count(); ++i) {
    const TIdSocketHandle& binding = AServer.Bindings().Items(i);
    PrintLine(std::string("listening ") + (binding.IPVersion() == Id_IPv4 ? "IPv4 " : "IPv6 ") +
              std::to_string(binding.BoundPort()));
  }
}

// ---- Commands on standard input ----------------------------------------------------
// While it serves, lines on standard input press the window's buttons, so a test can take
// the joystick device through Stop, Start and a new device number as a user does:
//   "stop": what Stop does (the service ends, the device stays owned); prints
//     "server stopped";
//   "start": what Start does; prints the listening lines again, or "error: <message>" on
//     standard error and goes on, as the window does after its error box;
//   "device N": a new number in the device field, which only takes one while the server is
//     stopped; prints "device N";
//   "pair": what "Pair a phone" does; prints "pairing code <6 digits> secret <secret>", the
//     code to type and the secret of the QR code's address ("#pair=<secret>");
//   "unpair": closes the pairing card; prints "pairing closed";
//   "devices": prints "device <id> <kind> <name>" for each paired device, then "devices end";
//   "forget <id>" or "forget all": what the window's Forget does; prints "forgot <id>" each;
//   "script-key <name>": a key for a script; prints "script-key <id> <credential>";
//   "open on" or "open off": the open mode; prints "open on" or "open off".
// Other lines are ignored. The commands run on the standard-input reader's thread; the lock
// keeps them apart from the final stop, after which they do nothing.

std::mutex CommandLock;
TIdHTTPWebBrokerBridge* CommandServer = nullptr;  // null outside the serving time
THeadlessOptions CommandOptions;

void RunCommand(const std::string& ALine) {
  std::lock_guard lock(CommandLock);
  if (CommandServer == nullptr) return;
  TIdHTTPWebBrokerBridge& server = *CommandServer;
  try {
    if (ALine == "stop") {
      server.SetActive(false);
      server.Bindings().Clear();
      ReleaseEverythingHeld();
      PrintLine("server stopped");
    } else if (ALine == "start") {
      if (!server.Active()) StartServer(server, CommandOptions);
    } else if (ALine == "pair") {
      const TPairingOffer offer = GetPairing().Begin();
      PrintLine("pairing code " + offer.Code + " secret " + offer.Secret);
    } else if (ALine == "unpair") {
      GetPairing().Cancel();
      PrintLine("pairing closed");
    } else if (ALine == "devices") {
      for (const TDevice& device : GetDeviceStore().Devices())
        PrintLine("device " + device.Id + (device.Kind == TDeviceKind::Script ? " script " : " phone ") +
                  Utf16ToUtf8(device.Name));
      PrintLine("devices end");
    } else if (ALine.rfind("forget ", 0) == 0) {
      const std::string which = ALine.substr(7);
      std::vector<std::string> ids;
      for (const TDevice& device : GetDeviceStore().Devices())
        if (which == "all" || device.Id == which) ids.push_back(device.Id);
      if (ids.empty()) throw TUsageError{"no device " + which};
      for (const std::string& id : ids) {
        GetDeviceStore().Forget(id);
        PrintLine("forgot " + id);
      }
    } else if (ALine.rfind("script-key ", 0) == 0) {
      std::string id;
      const std::string token = GetDeviceStore().Add(ArgumentText(ALine.substr(11)), TDeviceKind::Script, &id);
      PrintLine("script-key " + id + " " + token);
    } else if (ALine == "open on" || ALine == "open off") {
      GetDeviceStore().SetOpenMode(ALine == "open on");
      PrintLine(ALine);
    } else if (ALine.rfind("device ", 0) == 0) {
      if (server.Active()) throw TUsageError{"stop the server before changing the device number"};
      CommandOptions.Device = IntegerOption("device", ALine.substr(7), 1, 16);
      GetvJoy().SetId(CommandOptions.Device);
      PrintLine("device " + std::to_string(CommandOptions.Device));
    }
  } catch (const TUsageError& e) {
    PrintError(e.Message);
  } catch (const Exception& e) {
    PrintError(Utf16ToUtf8(e.Message()));
  } catch (const std::exception& e) {
    PrintError(e.what());
  }
}

int Run(const THeadlessOptions& AOptions) {
  CreateGlobals();
  TLogPrinter logPrinter;
  Globals->SetObserver(&logPrinter);
  ChooseKeyboard(AOptions);
  ChooseJoystick(AOptions);
  WebRequestHandler().SetWebModuleClass(MainPageModuleClass(AOptions.Dir));
  // Paired devices live in memory unless a file is named; --open is the window's setting
  // "Any device on this network may press keys".
  if (const std::u16string problem = GetDeviceStore().Open(AOptions.Devices); !problem.empty())
    PrintError(Utf16ToUtf8(problem));
  if (AOptions.Open) GetDeviceStore().SetOpenMode(true);
  TLiveSources sources;
  sources.SetStatusFolder(AOptions.Game);
  sources.SetBindings(AOptions.Bindings, AOptions.Device);
  if (const std::u16string problem = sources.SetToggleFile(AOptions.Toggles); !problem.empty())
    PrintError(Utf16ToUtf8(problem));

  int status = 0;
  {
    TIdHTTPWebBrokerBridge server;
    try {
      StartServer(server, AOptions);
    } catch (const Exception& e) {
      PrintError(Utf16ToUtf8(e.Message()));
      status = 1;
    } catch (const std::exception& e) {
      PrintError(e.what());
      status = 1;
    }
    if (status == 0) {
      {
        std::lock_guard lock(CommandLock);
        CommandServer = &server;
        CommandOptions = AOptions;
      }
      WaitForStopRequest(RunCommand);
      std::lock_guard lock(CommandLock);
      CommandServer = nullptr;
      server.SetActive(false);
      server.Bindings().Clear();
      ReleaseEverythingHeld();
      GetDeviceStore().Flush();
      PrintLine("stopped");
    }
  }
  Globals->SetObserver(nullptr);
  DestroyGlobals();
  FreePageInfo();
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::string_view(argv[1]) == "--version") {
    std::puts("tapdeck-headless " TAPDECK_VERSION);
    return 0;
  }
  if (argc == 2 && (std::string_view(argv[1]) == "--help" || std::string_view(argv[1]) == "-h")) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  PrepareStopRequest();
  THeadlessOptions options;
  try {
    options = ParseOptions(std::vector<std::string_view>(argv + 1, argv + argc));
  } catch (const TUsageError& e) {
    PrintError(e.Message);
    std::fputs(kUsage, stderr);
    return 2;
  }
  Timestamps = options.Timestamps;
  return Run(options);
}
