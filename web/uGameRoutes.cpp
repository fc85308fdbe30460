#include "web/uGameRoutes.h"

#include <nlohmann/json.hpp>

#include <cmath>

#include "base/uText.h"
#include "game/uBindingsWatcher.h"
#include "game/uGameState.h"
#include "game/uStatusFile.h"
#include "joystick/vJoyClass.h"
#include "keys/uSendKeys.h"
#include "page/uPageInfo.h"
#include "web/uDevices.h"
#include "web/uHeldInputs.h"

using json = nlohmann::json;

namespace {

// Names of the program's own sources, which a script may not set.
constexpr std::string_view kToggleStates = "cell.";
constexpr std::size_t kMaxScriptValues = 256;

TRouteAnswer Error(std::int32_t AStatus, const std::string& AMessage) {
  return {AStatus, u"application/json", json{{"error", AMessage}}.dump(-1, ' ', false, json::error_handler_t::replace)};
}

TRouteAnswer Done() { return {200, u"application/json", "{}"}; }

// What a game action plays now: the keys or the button, or why nothing.
struct TActionPlay {
  std::u16string Keys;
  int Button = 0;
  std::string Error;
};

TActionPlay ResolvePlay(const std::u16string& AAction, const std::u16string& AFallbackKeys) {
  TActionPlay play;
  const std::string name = Utf16ToUtf8(AAction);
  const std::size_t colon = name.find(':');
  if (colon == std::string::npos || name.substr(0, colon) != "elite") {
    play.Error = "unknown game action " + name;
    return play;
  }
  const std::optional<TActionBinding> binding = GetBindings().Current()->Lookup(name.substr(colon + 1));
  if (!binding) {
    // The bindings are in no file (a built-in preset, no game found): the panel's own keys.
    play.Keys = AFallbackKeys;
    if (play.Keys.empty())
      play.Error = Utf16ToUtf8(ActionLabel(name.substr(colon + 1))) + " has no key: the game's bindings are not in a file";
  } else if (binding->Kind == TBindingKind::Keys) {
    play.Keys = binding->Sequence();
  } else if (binding->Kind == TBindingKind::Joystick) {
    play.Button = binding->Button;
  } else {
    play.Error = Utf16ToUtf8(binding->Label) + " has no key in your game bindings";
  }
  return play;
}

TRouteAnswer ActionAnswer(TWebRequest& ARequest, bool ADown) {
  const std::u16string action = ARequest.QueryFields().Values(u"str");
  const std::u16string fallback = ARequest.QueryFields().Values(u"keys");
  if (action.empty()) return Error(400, "name the action in str");
  const TRequester from = RequesterOf(ARequest);
  // What the press pressed is noted under the action, so its release lets go of that even when
  // the player rebound it in between.
  const std::u16string noted = u"action:" + action;
  if (!ADown) {
    std::u16string pressed = GetHeldInputs().KeysUp(from.Page, noted);
    if (pressed.empty()) {
      const TActionPlay play = ResolvePlay(action, fallback);
      if (!play.Error.empty()) return Error(409, play.Error);
      if (play.Button > 0) {
        if (!GetPageInfo().NoJoystick()) GetvJoy().ButtonUp(static_cast<std::uint8_t>(play.Button));
        GetHeldInputs().ButtonsUp(from.Page, {static_cast<std::uint8_t>(play.Button)});
        return Done();
      }
      pressed = play.Keys;
    }
    StartKeySequence(pressed, {skUp}, true);
    return Done();
  }
  const TActionPlay play = ResolvePlay(action, fallback);
  if (!play.Error.empty()) return Error(409, play.Error);
  if (play.Button > 0) {
    if (GetPageInfo().NoJoystick()) return Error(409, "no joystick on the PC");
    const auto button = static_cast<std::uint8_t>(play.Button);
    GetvJoy().ButtonDown(button);
    GetHeldInputs().ButtonsDown(from.Page, from.Device, {button});
    return Done();
  }
  GetHeldInputs().KeysDown(from.Page, from.Device, noted, play.Keys);
  StartKeySequence(play.Keys, {skDown}, true);
  return Done();
}

TRouteAnswer ToggleAnswer(TWebRequest& ARequest) {
  const std::string name = Utf16ToUtf8(ARequest.QueryFields().Values(u"str"));
  if (!name.starts_with(kToggleStates) || !IsStateName(name)) return Error(400, "not a toggle cell's state: " + name);
  const std::u16string set = ARequest.QueryFields().Values(u"set");
  TGameState& state = GetGameState();
  bool value = true;
  if (set == u"0" || set == u"1") {
    value = set == u"1";
  } else if (const auto now = state.Get(name); now && std::holds_alternative<bool>(now->Data)) {
    value = !std::get<bool>(now->Data);
  }
  state.Set(name, value);
  return {200, u"application/json", json{{name, value}}.dump()};
}

TRouteAnswer ScriptStateAnswer(TWebRequest& ARequest) {
  if (ARequest.MethodType() != mtPost) return Error(405, "use POST with a JSON object of names and values");
  const json body = json::parse(ARequest.Content(), nullptr, false);
  if (!body.is_object()) return Error(400, "the body must be a JSON object of names and values");
  if (body.size() > kMaxScriptValues) return Error(400, "at most " + std::to_string(kMaxScriptValues) + " values at once");
  std::vector<std::pair<std::string, TStateData>> values;
  for (const auto& [name, value] : body.items()) {
    if (!IsStateName(name) || name.find('.') == std::string::npos)
      return Error(400, "\"" + name + "\": a name is a prefix of the script's own, a dot and letters, digits, \".\", \"_\" or \"-\"");
    if (name.starts_with(kElitePrefix) || name.starts_with(kToggleStates))
      return Error(403, "\"" + name + "\": names under \"elite.\" and \"cell.\" belong to the game and the panel");
    if (value.is_boolean())
      values.emplace_back(name, value.get<bool>());
    else if (value.is_number() && std::isfinite(value.get<double>()))
      values.emplace_back(name, value.get<double>());
    else if (value.is_string())
      values.emplace_back(name, value.get<std::string>());
    else
      return Error(400, "\"" + name + "\": a value is true, false, a number or a text");
  }
  for (auto& [name, value] : values) GetGameState().Set(name, std::move(value));
  return Done();
}

}  // namespace

std::vector<std::u16string> ActingGamePaths() {
  return {std::u16string(kActionDownPath), std::u16string(kActionUpPath), std::u16string(kStateTogglePath),
          std::u16string(kStatePath)};
}

TRequester RequesterOf(const TWebRequest& ARequest) {
  TRequester from;
  from.Page = ARequest.GetFieldByName(kPageHeader);
  if (from.Page.size() > 64) from.Page.resize(64);
  // Already checked by the admission, which noted the device as seen.
  if (const auto device = GetDeviceStore().Authenticate(ARequest.GetFieldByName(kDeviceHeader))) from.Device = *device;
  GetHeldInputs().Heard(from.Page, from.Device);
  return from;
}

TRouteAnswer GameRouteAnswer(TWebRequest& ARequest) {
  const std::u16string& path = ARequest.PathInfo();
  if (SameText(path, kActionDownPath)) return ActionAnswer(ARequest, true);
  if (SameText(path, kActionUpPath)) return ActionAnswer(ARequest, false);
  if (SameText(path, kStateTogglePath)) return ToggleAnswer(ARequest);
  if (SameText(path, kStatePath)) return ScriptStateAnswer(ARequest);
  if (SameText(path, kAlivePath)) {
    RequesterOf(ARequest);
    return Done();
  }
  return {0, {}, {}};
}
