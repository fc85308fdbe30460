// tapdeck-kernel-check: runs inside the test kernel (tests/kernel/run.sh), as root, with
// uinput, evdev and joydev loaded. It starts tapdeck-headless with the system keyboard and
// joystick and checks, through the kernel's own event and joystick nodes, what a game that
// reads them sees: the two devices, every row of the key table in each keyboard mode, the
// buttons of every joystick route, and the devices' life through Stop, Start, a new device
// number and the end of the program. One PASS or FAIL line per check; exit status 1 when
// any failed.

#include <signal.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <sstream>

#include "tests/kernel/GuestSupport.h"

namespace {

const std::string kKeyboardName = "Tapdeck Virtual Keyboard";
std::string JoystickName(int ADevice) { return "Tapdeck Virtual Joystick " + std::to_string(ADevice); }

TCheckList Checks;

std::string Hex(unsigned AValue) {
  char text[16];
  std::snprintf(text, sizeof text, "%04x", AValue);
  return text;
}

std::string DescribeId(const input_id& AId) {
  return "bus " + Hex(AId.bustype) + ", vendor " + Hex(AId.vendor) + ", product " + Hex(AId.product) +
         ", version " + Hex(AId.version);
}

std::string DescribeCodes(const std::vector<int>& ACodes) {
  std::string text;
  for (int code : ACodes) text += (text.empty() ? "" : " ") + CodeName(code);
  return text.empty() ? "(none)" : text;
}

std::vector<int> Range(int AFirst, int ALast) {
  std::vector<int> codes;
  for (int code = AFirst; code <= ALast; ++code) codes.push_back(code);
  return codes;
}

// ---- The devices -------------------------------------------------------------------

// The keys the key table presses.
const std::map<std::string, int> kKeys = {
    {"A", KEY_A},        {"F", KEY_F},         {"X", KEY_X},       {"L", KEY_L},
    {"F4", KEY_F4},      {"Left", KEY_LEFT},   {"Enter", KEY_ENTER},
    {"Shift", KEY_LEFTSHIFT}, {"Ctrl", KEY_LEFTCTRL}, {"Alt", KEY_LEFTALT},
};

void CheckKeyboardDevice(const TEventDevice& AKeyboard) {
  const input_id id = AKeyboard.Id();
  Checks.Check(id.bustype == BUS_VIRTUAL && id.vendor == 0x1209 && id.product == 0x7464,
               "keyboard device: virtual bus, vendor 1209, product 7464", DescribeId(id));
  // Without EV_REP the kernel never repeats a key that /KeyboardDown leaves held.
  const std::vector<int> types = AKeyboard.Capabilities(0);
  Checks.Check(types == std::vector<int>{EV_SYN, EV_KEY}, "keyboard device: key events only, no autorepeat",
               "event types " + DescribeCodes(types));
  const std::vector<int> keys = AKeyboard.Capabilities(EV_KEY);
  std::string missing;
  for (const auto& [name, code] : kKeys)
    if (!std::binary_search(keys.begin(), keys.end(), code)) missing += " " + name;
  Checks.Check(missing.empty(), "keyboard device: has every key of the key table", "missing" + missing);
  // A game must not take the keyboard for a controller or a mouse.
  const bool buttons = std::any_of(keys.begin(), keys.end(), [](int code) {
    return (code >= BTN_MISC && code < KEY_OK) || (code >= BTN_DPAD_UP && code <= BTN_DPAD_RIGHT) ||
           code >= BTN_TRIGGER_HAPPY;
  });
  Checks.Check(!buttons, "keyboard device: no joystick or mouse buttons", DescribeCodes(keys));
}

// The event codes of buttons 1 to 32, in order.
std::vector<int> ButtonCodes() {
  std::vector<int> codes = Range(BTN_TRIGGER, BTN_TRIGGER + 15);
  for (int code : Range(BTN_TRIGGER_HAPPY1, BTN_TRIGGER_HAPPY16)) codes.push_back(code);
  return codes;
}

void CheckJoystickDevice(const TEventDevice& AJoystick, int ADevice) {
  const std::string what = "joystick " + std::to_string(ADevice) + " device: ";
  const input_id id = AJoystick.Id();
  Checks.Check(id.bustype == BUS_VIRTUAL && id.vendor == 0 && id.product == ADevice && id.version == 0x0100,
               what + "virtual bus, vendor 0000, product " + Hex(static_cast<unsigned>(ADevice)) + ", version 0100",
               DescribeId(id));
  const std::vector<int> types = AJoystick.Capabilities(0);
  Checks.Check(types == std::vector<int>{EV_SYN, EV_KEY, EV_ABS}, what + "key and axis events",
               "event types " + DescribeCodes(types));
  const std::vector<int> keys = AJoystick.Capabilities(EV_KEY);
  Checks.Check(keys == ButtonCodes(), what + "32 buttons, BTN_TRIGGER to BTN_DEAD and BTN_TRIGGER_HAPPY1 to 16",
               DescribeCodes(keys));
  const std::vector<int> axes = AJoystick.Capabilities(EV_ABS);
  Checks.Check(axes == std::vector<int>{ABS_X, ABS_Y}, what + "two axes, X and Y", DescribeCodes(axes));
  for (int axis : {ABS_X, ABS_Y}) {
    const std::optional<input_absinfo> info = AJoystick.AbsInfo(axis);
    const bool ok = info && info->minimum == 0 && info->maximum == 32767 && info->value == 16384;
    Checks.Check(ok, what + (axis == ABS_X ? "X" : "Y") + " from 0 to 32767, at its centre 16384",
                 info ? "from " + std::to_string(info->minimum) + " to " + std::to_string(info->maximum) + " at " +
                            std::to_string(info->value)
                      : "no axis information");
  }
}

// The joystick node's state when it opens: 32 buttons up and two axes at the centre
// (joydev scales 0..32767 to -32767..32767).
void CheckJoystickNode(TJoystickNode& ANode, int ADevice) {
  const std::string what = "joystick " + std::to_string(ADevice) + " node " + ANode.Path() + ": ";
  Checks.Check(ANode.Buttons() == 32 && ANode.Axes() == 2, what + "32 buttons and 2 axes",
               std::to_string(ANode.Buttons()) + " buttons, " + std::to_string(ANode.Axes()) + " axes");
  const std::vector<js_event> initial = ANode.Read(34, 5s, 100ms);
  int buttonsUp = 0, axesCentred = 0;
  std::string detail;
  for (const js_event& e : initial) {
    if (e.type == (JS_EVENT_BUTTON | JS_EVENT_INIT) && e.value == 0) ++buttonsUp;
    if (e.type == (JS_EVENT_AXIS | JS_EVENT_INIT) && std::abs(e.value) <= 327) ++axesCentred;
    detail += " (" + std::to_string(e.type) + "," + std::to_string(e.number) + "," + std::to_string(e.value) + ")";
  }
  Checks.Check(initial.size() == 34 && buttonsUp == 32 && axesCentred == 2,
               what + "opens with every button up and both axes centred", "initial events:" + detail);
}

// ---- The key table -----------------------------------------------------------------

enum TMode { Key, Down, Up };
const char* const kRoutes[] = {"/KeyboardKey", "/KeyboardDown", "/KeyboardUp"};

struct TKeyRow {
  const char* Sequence;
  const char* Events[3];  // by TMode: "Shift+" is a key-down of Shift, "Shift-" its key-up
};

// /KeyboardUp only releases: no key-down at all, one key-up however often the key was pressed.
const TKeyRow kKeyTable[] = {
    {"a", {"A+ A-", "A+", "A-"}},
    {"l", {"L+ L-", "L+", "L-"}},
    {"A", {"Shift+ A+ A- Shift-", "Shift+ A+", "A- Shift-"}},
    {"+a", {"Shift+ A+ A- Shift-", "Shift+ A+ Shift-", "A- Shift-"}},
    {"^{F4}", {"Ctrl+ F4+ F4- Ctrl-", "Ctrl+ F4+ Ctrl-", "F4- Ctrl-"}},
    {"{LEFT 3}", {"Left+ Left- Left+ Left- Left+ Left-", "Left+ Left+ Left+", "Left-"}},
    {"%(fx)", {"Alt+ F+ F- X+ X- Alt-", "Alt+ F+ X+ Alt-", "F- X- Alt-"}},
    {"~", {"Enter+ Enter-", "Enter+ Enter-", "Enter-"}},
    {"{NUMLOCK}", {"", "", ""}},  // Num Lock flips in the process's key state; no event
};

std::vector<TEvent> ParseKeyEvents(const char* AText) {
  std::vector<TEvent> events;
  std::istringstream words(AText);
  for (std::string word; words >> word;) {
    const bool down = word.back() == '+';
    events.push_back({EV_KEY, static_cast<std::uint16_t>(kKeys.at(word.substr(0, word.size() - 1))), down ? 1 : 0});
  }
  return events;
}

// What a reader of the device receives of those key events: the kernel passes a key-down
// only for a key that is up and a key-up only for a key that is down, and drops the rest
// (the repeated key-downs of "{LEFT 3}" in /KeyboardDown mode, a /KeyboardUp's key-ups of
// keys that are not held). So a /KeyboardUp with nothing held must show nothing at all: a
// key-down of its own would show. AHeld is the device's key state, carried along.
std::vector<TEvent> AsTheKernelPasses(const std::vector<TEvent>& AEvents, std::set<int>& AHeld) {
  std::vector<TEvent> passed;
  for (const TEvent& e : AEvents) {
    const bool changes = e.Value ? AHeld.insert(e.Code).second : AHeld.erase(e.Code) > 0;
    if (changes) passed.push_back(e);
  }
  return passed;
}

void CheckKeyRequest(std::uint16_t APort, TEventDevice& AKeyboard, const TKeyRow& ARow, TMode AMode,
                     std::set<int>& AHeld, const std::string& AAfter) {
  const std::vector<TEvent> expected = AsTheKernelPasses(ParseKeyEvents(ARow.Events[AMode]), AHeld);
  const std::string name = std::string("keyboard ") + kRoutes[AMode] + " " + ARow.Sequence + AAfter + ": " +
                           DescribeEvents(expected) + ", each with its SYN_REPORT";
  const int status = SendRoute(APort, kRoutes[AMode], ARow.Sequence);
  const std::vector<TEvent> events = AKeyboard.Read(expected.size() * 2);
  std::string error;
  const std::vector<TEvent> keys = KeyEventsWithReports(events, error);
  if (status != 200) error = "status " + std::to_string(status);
  if (error.empty() && keys != expected) error = "got " + DescribeEvents(keys);
  Checks.Check(error.empty(), name, error);
}

void CheckKeyTable(std::uint16_t APort, TEventDevice& AKeyboard) {
  std::set<int> held;
  for (const TKeyRow& row : kKeyTable) {
    CheckKeyRequest(APort, AKeyboard, row, Key, held, "");
    CheckKeyRequest(APort, AKeyboard, row, Down, held, "");
    // The keys that /KeyboardDown left held are released by the matching /KeyboardUp.
    CheckKeyRequest(APort, AKeyboard, row, Up, held, " after /KeyboardDown");
    CheckKeyRequest(APort, AKeyboard, row, Up, held, "");
    const std::vector<int> pressed = AKeyboard.Pressed();
    Checks.Check(pressed.empty() && held.empty(), std::string("keyboard: no key held after ") + row.Sequence,
                 "held: " + DescribeCodes(pressed));
  }
}

// ---- Joystick buttons --------------------------------------------------------------

struct TButton {
  int Number;  // as the page's cells and the routes number it
  int Code;    // the event code
};
const TButton kButtons[] = {{1, BTN_TRIGGER}, {16, BTN_DEAD}, {17, BTN_TRIGGER_HAPPY1}, {32, BTN_TRIGGER_HAPPY16}};
const std::string kButtonList = ",1,16,17,32";  // as the page's cells carry it

std::string DescribeJsEvents(const std::vector<js_event>& AEvents) {
  std::string text;
  for (const js_event& e : AEvents)
    text += (text.empty() ? "" : " ") +
            (e.type == JS_EVENT_BUTTON ? "button " + std::to_string(e.number) + (e.value ? "+" : "-")
                                       : "(" + std::to_string(e.type) + "," + std::to_string(e.number) + "," +
                                             std::to_string(e.value) + ")");
  return text.empty() ? "(none)" : text;
}

// Sends the route and compares what the event node and the joystick node receive with the
// button presses (value 1) and releases (0) expected.
void CheckButtonRoute(std::uint16_t APort, TEventDevice& AJoystick, TJoystickNode& ANode, const std::string& ARoute,
                      const std::string& AList, const std::vector<std::pair<TButton, int>>& AExpected) {
  std::vector<TEvent> expectedEvents;
  std::vector<js_event> expectedJs;
  for (const auto& [button, value] : AExpected) {
    expectedEvents.push_back({EV_KEY, static_cast<std::uint16_t>(button.Code), value});
    js_event e{};
    e.type = JS_EVENT_BUTTON;
    e.number = static_cast<std::uint8_t>(button.Number - 1);
    e.value = static_cast<std::int16_t>(value);
    expectedJs.push_back(e);
  }
  const int status = SendRoute(APort, ARoute, AList);
  std::string error = status == 200 ? "" : "status " + std::to_string(status);
  const std::vector<TEvent> keys = KeyEventsWithReports(AJoystick.Read(expectedEvents.size() * 2), error);
  if (error.empty() && keys != expectedEvents) error = "got " + DescribeEvents(keys);
  Checks.Check(error.empty(), "joystick " + ARoute + "?str=" + AList + " on " + AJoystick.Path() + ": " +
                                  DescribeEvents(expectedEvents) + ", each with its SYN_REPORT",
               error);

  std::vector<js_event> jsEvents = ANode.Read(expectedJs.size());
  const bool same = std::equal(jsEvents.begin(), jsEvents.end(), expectedJs.begin(), expectedJs.end(),
                               [](const js_event& a, const js_event& b) {
                                 return a.type == b.type && a.number == b.number && a.value == b.value;
                               });
  Checks.Check(same, "joystick " + ARoute + "?str=" + AList + " on " + ANode.Path() + ": " +
                         DescribeJsEvents(expectedJs),
               "got " + DescribeJsEvents(jsEvents));
}

void CheckButtonRoutes(std::uint16_t APort, TEventDevice& AJoystick, TJoystickNode& ANode) {
  std::vector<std::pair<TButton, int>> downs, ups, presses;
  for (const TButton& button : kButtons) {
    downs.push_back({button, 1});
    ups.push_back({button, 0});
    presses.push_back({button, 1});
    presses.push_back({button, 0});
  }
  CheckButtonRoute(APort, AJoystick, ANode, "/ButtonsDown", kButtonList, downs);
  CheckButtonRoute(APort, AJoystick, ANode, "/ButtonsUp", kButtonList, ups);
  CheckButtonRoute(APort, AJoystick, ANode, "/ButtonsPress", kButtonList, presses);
}

// ---- The devices' life -------------------------------------------------------------

// Stop lets go of a held button but keeps the device: Start finds the same nodes.
void CheckStopAndStart(THeadless& AHeadless, TEventDevice& AJoystick, TJoystickNode& ANode) {
  const TButton held = kButtons[0];
  CheckButtonRoute(AHeadless.Port(), AJoystick, ANode, "/ButtonsDown", "1", {{held, 1}});
  const std::uint16_t oldPort = AHeadless.Port();
  std::string error;
  Checks.Check(AHeadless.Command("stop", "server stopped", error), "stop: the server stops", error);
  Checks.Check(SendRoute(oldPort, "/ButtonsUp", "1") == 0, "stop: nothing answers on the port any more");
  std::vector<TEvent> events = AJoystick.Read(0, 0s, 300ms);
  std::string detail;
  const std::vector<TEvent> keys = KeyEventsWithReports(events, detail);
  const std::vector<TEvent> release{{EV_KEY, static_cast<std::uint16_t>(held.Code), 0}};
  Checks.Check(keys == release && detail.empty() && AJoystick.Pressed().empty(),
               "stop: the held button 1 is let go, and nothing else is sent", "events: " + DescribeEvents(events));
  const std::vector<js_event> jsEvents = ANode.Read(1);
  Checks.Check(DescribeJsEvents(jsEvents) == "button 0-", "stop: " + ANode.Path() + " reads button 0-",
               "got " + DescribeJsEvents(jsEvents));
  Checks.Check(AHeadless.Command("start", "listening IPv4", error), "start: the server starts again", error);
  events = AJoystick.Read(0, 0s, 300ms);
  Checks.Check(events.empty() && TEventDevice::Exists(JoystickName(2)),
               "stop and start: joystick 2 stays, with nothing sent to it", "events: " + DescribeEvents(events));
  // The same open nodes receive the next press: the device was not made anew.
  CheckButtonRoute(AHeadless.Port(), AJoystick, ANode, "/ButtonsPress", "1", {{held, 1}, {held, 0}});
}

// A new device number gives the old device up at once and the next Start makes the new
// one. The old device releases its held buttons just before it goes, but a reader sees that
// release only when it reads before the kernel removes the device, so it may be missed.
void CheckNewDeviceNumber(THeadless& AHeadless, TEventDevice& AJoystick, TJoystickNode& ANode) {
  const TButton held = kButtons[1];
  CheckButtonRoute(AHeadless.Port(), AJoystick, ANode, "/ButtonsDown", "16", {{held, 1}});
  std::string error;
  Checks.Check(AHeadless.Command("stop", "server stopped", error) && AHeadless.Command("device 3", "device 3", error),
               "device 3: stop, then the new number", error);
  std::vector<TEvent> events;
  const bool gone = AJoystick.WaitGone(events);
  std::string detail;
  const std::vector<TEvent> keys = KeyEventsWithReports(events, detail);
  const std::vector<TEvent> release{{EV_KEY, static_cast<std::uint16_t>(held.Code), 0}};
  Checks.Check(gone && (events.empty() || (keys == release && detail.empty())),
               "device 3: joystick 2 goes away from " + AJoystick.Path() + ", at most releasing button 16 first",
               std::string(gone ? "" : "still there; ") + "events: " + DescribeEvents(events));
  Checks.Check(ANode.WaitGone() && !TEventDevice::Exists(JoystickName(2)),
               "device 3: joystick 2 and " + ANode.Path() + " are gone");
  Checks.Check(!TEventDevice::Exists(JoystickName(3)), "device 3: no new device before Start");

  Checks.Check(AHeadless.Command("start", "listening IPv4", error), "device 3: start", error);
  std::unique_ptr<TEventDevice> joystick3 = TEventDevice::Find(JoystickName(3));
  std::unique_ptr<TJoystickNode> node3 = TJoystickNode::Find(JoystickName(3));
  if (!Checks.Check(joystick3 && node3, "device 3: start makes joystick 3 with an event and a joystick node")) return;
  CheckJoystickDevice(*joystick3, 3);
  CheckJoystickNode(*node3, 3);
  const TButton button = kButtons[2];
  CheckButtonRoute(AHeadless.Port(), *joystick3, *node3, "/ButtonsPress", "17", {{button, 1}, {button, 0}});
}

void CheckNothingLeft(THeadless& AHeadless, TEventDevice& AKeyboard) {
  const std::optional<int> status = AHeadless.Stop();
  Checks.Check(status == 0, "end of input: tapdeck-headless stops with status 0",
               status ? "status " + std::to_string(*status) : "still running");
  std::vector<TEvent> events;
  Checks.Check(AKeyboard.WaitGone(events), "end of input: the keyboard device goes away");
  std::string left;
  for (const std::string& name : TEventDevice::AllNames())
    if (name.rfind("Tapdeck", 0) == 0) left += " [" + name + "]";
  Checks.Check(left.empty(), "end of input: no Tapdeck device is left", "left:" + left);
}

}  // namespace

int main() {
  ::signal(SIGPIPE, SIG_IGN);
  THeadless headless(2);
  if (!Checks.Check(headless.Port() != 0, "tapdeck-headless starts with the system keyboard and joystick",
                    headless.Errors()))
    return Checks.Finish("kernel checks");

  std::unique_ptr<TEventDevice> keyboard = TEventDevice::Find(kKeyboardName);
  std::unique_ptr<TEventDevice> joystick = TEventDevice::Find(JoystickName(2));
  std::unique_ptr<TJoystickNode> node = TJoystickNode::Find(JoystickName(2));
  const bool found = Checks.Check(keyboard != nullptr, "an event node named \"" + kKeyboardName + "\"") &
                     Checks.Check(joystick != nullptr, "an event node named \"" + JoystickName(2) + "\"") &
                     Checks.Check(node != nullptr, "a joystick node named \"" + JoystickName(2) + "\"");
  if (!found) return Checks.Finish("kernel checks");

  CheckKeyboardDevice(*keyboard);
  CheckJoystickDevice(*joystick, 2);
  CheckJoystickNode(*node, 2);
  CheckKeyTable(headless.Port(), *keyboard);
  CheckButtonRoutes(headless.Port(), *joystick, *node);
  CheckStopAndStart(headless, *joystick, *node);
  CheckNewDeviceNumber(headless, *joystick, *node);
  CheckNothingLeft(headless, *keyboard);
  return Checks.Finish("kernel checks");
}
