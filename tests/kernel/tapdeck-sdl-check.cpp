// tapdeck-sdl-check: runs inside the test kernel (tests/kernel/run.sh) after
// tapdeck-kernel-check, and reads the devices of tapdeck-headless as a game does, through
// SDL 2: the joystick among SDL's joysticks with its 32 buttons and 2 axes, the buttons
// of the joystick routes as SDL_JOYBUTTONDOWN and SDL_JOYBUTTONUP, and the key events of
// /KeyboardKey through SDL's evdev input without a window. One PASS or FAIL line per check.

#include <SDL.h>
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/kernel/GuestSupport.h"

namespace {

TCheckList Checks;

std::string Join(const std::vector<std::string>& AParts) {
  std::string text;
  for (const std::string& part : AParts) text += (text.empty() ? "" : " ") + part;
  return text.empty() ? "(none)" : text;
}

// The events of the given kinds that SDL delivers within ATimeout until ACount came, then
// within AQuiet, each described by ADescribe.
template <typename TDescribe>
std::vector<std::string> Collect(std::size_t ACount, std::initializer_list<Uint32> ATypes, TDescribe ADescribe,
                                 Uint32 ATimeout = 10000, Uint32 AQuiet = 300) {
  std::vector<std::string> seen;
  Uint32 deadline = SDL_GetTicks() + ATimeout;
  bool quiet = false;
  while (!SDL_TICKS_PASSED(SDL_GetTicks(), deadline)) {
    if (!quiet && seen.size() >= ACount) {
      quiet = true;
      deadline = SDL_GetTicks() + AQuiet;
    }
    SDL_Event event;
    if (!SDL_WaitEventTimeout(&event, 20)) continue;
    for (Uint32 type : ATypes)
      if (event.type == type) seen.push_back(ADescribe(event));
  }
  return seen;
}

std::string DescribeButton(const SDL_Event& AEvent) {
  return "button " + std::to_string(AEvent.jbutton.button) + (AEvent.type == SDL_JOYBUTTONDOWN ? "+" : "-");
}

std::string DescribeKey(const SDL_Event& AEvent) {
  return std::string(SDL_GetScancodeName(AEvent.key.keysym.scancode)) + (AEvent.type == SDL_KEYDOWN ? "+" : "-");
}

// The joystick as SDL lists it: found by name, 32 buttons, 2 axes at rest; its buttons
// pressed through the routes arrive as SDL's button numbers, one less than the page's.
void CheckJoystick(std::uint16_t APort) {
  const std::string name = "Tapdeck Virtual Joystick 2";
  SDL_Joystick* joystick = nullptr;
  int index = -1;
  std::vector<std::string> listed;
  for (int i = 0; i < SDL_NumJoysticks(); ++i) {
    listed.push_back(std::string("[") + SDL_JoystickNameForIndex(i) + "]");
    if (index < 0 && name == SDL_JoystickNameForIndex(i)) index = i;
  }
  if (index >= 0) joystick = SDL_JoystickOpen(index);
  if (!Checks.Check(joystick != nullptr, "SDL lists and opens \"" + name + "\"", "joysticks: " + Join(listed))) return;
  const int buttons = SDL_JoystickNumButtons(joystick);
  const int axes = SDL_JoystickNumAxes(joystick);
  Checks.Check(buttons == 32 && axes == 2 && SDL_JoystickNumHats(joystick) == 0,
               "SDL: the joystick has 32 buttons, 2 axes and no hat",
               std::to_string(buttons) + " buttons, " + std::to_string(axes) + " axes");
  SDL_JoystickUpdate();
  const int x = SDL_JoystickGetAxis(joystick, 0);
  const int y = SDL_JoystickGetAxis(joystick, 1);
  Checks.Check(std::abs(x) <= 327 && std::abs(y) <= 327, "SDL: both axes at rest in the centre",
               "x " + std::to_string(x) + ", y " + std::to_string(y));
  // For the record: the controller mapping SDL makes up for it, if any.
  char* mapping = SDL_IsGameController(index) ? SDL_GameControllerMappingForDeviceIndex(index) : nullptr;
  std::printf("info: SDL game controller mapping: %s\n", mapping ? mapping : "none");
  SDL_free(mapping);

  const struct {
    const char* Route;
    std::vector<std::string> Expected;
  } routes[] = {
      {"/ButtonsDown", {"button 0+", "button 15+", "button 16+", "button 31+"}},
      {"/ButtonsUp", {"button 0-", "button 15-", "button 16-", "button 31-"}},
      {"/ButtonsPress",
       {"button 0+", "button 0-", "button 15+", "button 15-", "button 16+", "button 16-", "button 31+", "button 31-"}},
  };
  for (const auto& route : routes) {
    const int status = SendRoute(APort, route.Route, ",1,16,17,32");
    const std::vector<std::string> seen =
        Collect(route.Expected.size(), {SDL_JOYBUTTONDOWN, SDL_JOYBUTTONUP}, DescribeButton);
    Checks.Check(status == 200 && seen == route.Expected,
                 std::string("SDL: ") + route.Route + "?str=,1,16,17,32 gives " + Join(route.Expected),
                 "status " + std::to_string(status) + ", got " + Join(seen));
  }
  SDL_JoystickClose(joystick);
}

// Key events through SDL's evdev input (the "evdev" video driver: no window, no display
// server; SDL finds the keyboards through libudev).
void CheckKeyboard(std::uint16_t APort) {
  const bool video = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
  if (!Checks.Check(video, "SDL: the evdev video driver starts without a window", SDL_GetError())) return;
  SDL_PumpEvents();
  SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
  const struct {
    const char* Sequence;
    std::vector<std::string> Expected;
  } rows[] = {
      {"A", {"Left Shift+", "A+", "A-", "Left Shift-"}},
      {"^{F4}", {"Left Ctrl+", "F4+", "F4-", "Left Ctrl-"}},
      {"{LEFT 2}", {"Left+", "Left-", "Left+", "Left-"}},
  };
  for (const auto& row : rows) {
    const int status = SendRoute(APort, "/KeyboardKey", row.Sequence);
    const std::vector<std::string> seen = Collect(row.Expected.size(), {SDL_KEYDOWN, SDL_KEYUP}, DescribeKey);
    Checks.Check(status == 200 && seen == row.Expected,
                 std::string("SDL: /KeyboardKey ") + row.Sequence + " gives " + Join(row.Expected),
                 "status " + std::to_string(status) + ", got " + Join(seen));
  }
}

}  // namespace

int main(int, char**) {
  ::signal(SIGPIPE, SIG_IGN);
  // Keyboard input without a window or display server: SDL's dummy video driver with its
  // evdev input.
  ::setenv("SDL_VIDEODRIVER", "evdev", 1);
  THeadless headless(2);
  if (!Checks.Check(headless.Port() != 0, "tapdeck-headless starts with the system keyboard and joystick",
                    headless.Errors()))
    return Checks.Finish("SDL checks");
  // SDL finds the devices that exist when it starts; wait until the kernel has made them.
  const bool made = TEventDevice::Find("Tapdeck Virtual Keyboard") && TEventDevice::Find("Tapdeck Virtual Joystick 2");
  Checks.Check(made, "the keyboard and joystick 2 exist before SDL starts");

  if (Checks.Check(SDL_Init(SDL_INIT_JOYSTICK | SDL_INIT_GAMECONTROLLER) == 0,
                   "SDL_Init(SDL_INIT_JOYSTICK | SDL_INIT_GAMECONTROLLER)", SDL_GetError())) {
    std::printf("info: %s\n", SDL_GetRevision());
    CheckJoystick(headless.Port());
    CheckKeyboard(headless.Port());
    SDL_Quit();
  }
  const std::optional<int> status = headless.Stop();
  Checks.Check(status == 0, "end of input: tapdeck-headless stops with status 0");
  return Checks.Finish("SDL checks");
}
