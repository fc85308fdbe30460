#pragma once
// The paths beyond the specified routes that a control page or a script uses: the game's
// actions pressed and released as the player bound them, the toggle cells' own state, values
// a script sets, and the heartbeat of a page. They are answered by the page route, so the
// route table stays as it is; those that act on the PC are guarded as the input routes are.

#include <string>
#include <string_view>
#include <vector>

#include "web/uRouteAnswer.h"
#include "web/uWebRequest.h"

// GET /ActionDown?str=elite:LandingGearToggle[&keys=l]: presses the player's binding of the
// action (the keys, modifiers held, or Tapdeck's joystick button), or the panel's own keys
// when the game's bindings are in no file; 409 {"error"} when it has none. /ActionUp lets go
// of what the press pressed.
inline constexpr std::u16string_view kActionDownPath = u"/ActionDown";
inline constexpr std::u16string_view kActionUpPath = u"/ActionUp";
// GET /StateToggle?str=cell.<...>[&set=0|1]: flips (or sets) a toggle cell's own state.
inline constexpr std::u16string_view kStateTogglePath = u"/StateToggle";
// POST /State, a JSON object of names and values (true/false, numbers, texts) under a prefix
// of the script's own: sets them.
inline constexpr std::u16string_view kStatePath = u"/State";
// GET /alive: a page's heartbeat, with its Tapdeck-Page header.
inline constexpr std::u16string_view kAlivePath = u"/alive";

// The paths above that act on the PC or its state, guarded like the input routes.
std::vector<std::u16string> ActingGamePaths();

// The answer of one of the paths above, or nothing (Status 0) for another path.
TRouteAnswer GameRouteAnswer(TWebRequest& ARequest);

// The page and device a request comes from (the Tapdeck-Page and Tapdeck-Device headers;
// empty when absent or not a device of the list), noted as heard from.
struct TRequester {
  std::string Page;
  std::string Device;
};
TRequester RequesterOf(const TWebRequest& ARequest);
