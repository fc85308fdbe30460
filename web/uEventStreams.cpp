#include "web/uEventStreams.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <utility>

#include "base/uText.h"
#include "game/uBindingsWatcher.h"
#include "game/uStatusFile.h"
#include "page/uPageInfo.h"
#include "web/uConnectionSignal.h"
#include "web/uHeldInputs.h"

using json = nlohmann::json;

namespace {

bool Holds(const std::map<std::string, TStateValue>& AValues, const char* AName) {
  const auto it = AValues.find(AName);
  return it != AValues.end() && std::holds_alternative<bool>(it->second.Data) && std::get<bool>(it->second.Data);
}

std::string Event(const char* AName, const std::string& AData) {
  return std::string("event: ") + AName + "\ndata: " + AData + "\n\n";
}

}  // namespace

TEventStreams::TEventStreams() {
  FListener = GetGameState().AddListener([this] { WakeAll(); });
}

TEventStreams::~TEventStreams() { GetGameState().RemoveListener(FListener); }

void TEventStreams::WakeAll() {
  std::lock_guard lock(FLock);
  for (TConnectionSignal* signal : FSignals) signal->Wake();
}

int TEventStreams::Count() const {
  std::lock_guard lock(FLock);
  return static_cast<int>(FSignals.size());
}

std::string TEventStreams::StateJson(const std::map<std::string, TStateValue>& AValues) {
  json values = json::object();
  for (const auto& entry : AValues)
    std::visit([&values, &entry](const auto& data) { values[entry.first] = data; }, entry.second.Data);
  return json{{"values", std::move(values)}, {"source", SourceText(AValues)}}.dump(-1, ' ', false,
                                                                                   json::error_handler_t::replace);
}

std::string TEventStreams::SourceText(const std::map<std::string, TStateValue>& AValues) {
  if (Holds(AValues, kEliteRunning)) {
    static const std::pair<const char*, const char*> kStates[] = {
        {"elite.Docked", "docked"},          {"elite.Landed", "landed"},       {"elite.OnFoot", "on foot"},
        {"elite.InSRV", "in the SRV"},       {"elite.InFighter", "in a fighter"}, {"elite.FsdJump", "jumping"},
        {"elite.Supercruise", "in supercruise"}, {"elite.InMainShip", "in flight"}};
    for (const auto& [name, words] : kStates)
      if (Holds(AValues, name)) return std::string("Elite Dangerous: ") + words;
    return "Elite Dangerous: running";
  }
  // A script's state: named by its prefix.
  for (const auto& [name, value] : AValues)
    if (!name.starts_with(kElitePrefix) && !name.starts_with("cell.")) return "state from " + name.substr(0, name.find('.'));
  return "no game state";
}

std::string TEventStreams::ActionsJson(const TPageInfo& APageInfo) {
  const std::vector<std::u16string> actions = APageInfo.Model()->GameActions();
  const std::shared_ptr<const TBindings> bindings = GetBindings().Current();
  json answer = json::object();
  for (const std::u16string& action : actions) {
    const std::string name = Utf16ToUtf8(action);
    const std::optional<TActionBinding> binding = bindings->Lookup(name.substr(name.find(':') + 1));
    if (!binding)
      answer[name] = {{"bound", true}, {"reading", "the panel's own keys"}};
    else if (binding->Bound())
      answer[name] = {{"bound", true}, {"reading", Utf16ToUtf8(binding->Reading)}};
    else
      answer[name] = {{"bound", false},
                      {"text", Utf16ToUtf8(binding->Label) + " has no key in your game bindings"},
                      {"why", Utf16ToUtf8(binding->Why)}};
  }
  return answer.dump(-1, ' ', false, json::error_handler_t::replace);
}

void TEventStreams::Serve(TWebRequest& ARequest, TWebResponse& AResponse) {
  TConnectionSignal* signal = AResponse.Signal();
  if (!AResponse.CanStream()) {
    AResponse.SetStatusCode(503);
    return;
  }
  const std::string page = Utf16ToUtf8(ARequest.QueryFields().Values(u"page"));
  AResponse.SetContentType(u"text/event-stream; charset=utf-8");
  AResponse.AddHeader("Cache-Control", "no-store");
  if (!AResponse.BeginStream()) return;
  {
    std::lock_guard lock(FLock);
    FSignals.insert(signal);
  }
  const int generation = page.empty() ? 0 : GetHeldInputs().StreamOpened(page);

  // What this stream sent last; anything newer goes out at the next look.
  std::uint64_t sentState = ~std::uint64_t{0};
  std::uint64_t sentPanel = ~std::uint64_t{0};
  std::string sentActions, sentDevice;
  auto lastWrite = std::chrono::steady_clock::now();
  bool live = true;
  while (live && !signal->Cancelled()) {
    std::string out;
    if (const std::uint64_t version = GetGameState().Version(); version != sentState) {
      sentState = version;
      out += Event("state", StateJson(GetGameState().Snapshot()));
    }
    TPageInfo& info = GetPageInfo();
    if (const std::uint64_t panel = info.ModelVersion(); panel != sentPanel) {
      sentPanel = panel;
      out += Event("panel", json{{"version", panel}}.dump());
    }
    if (std::string actions = ActionsJson(info); actions != sentActions) {
      sentActions = actions;
      out += Event("actions", actions);
    }
    const json device = {{"joystick", !info.NoJoystick()},
                         {"released", !page.empty() && GetHeldInputs().TakeReleasedNote(page, generation)}};
    if (std::string text = device.dump(); text != sentDevice || device["released"].get<bool>()) {
      sentDevice = text;
      out += Event("device", text);
    }
    const auto now = std::chrono::steady_clock::now();
    if (out.empty() && now - lastWrite >= kBeat) out = Event("beat", "{}");
    if (!out.empty()) {
      live = AResponse.WriteMore(out);
      lastWrite = now;
    }
    // Asleep until there is news, the next beat is due or the service stops.
    const auto untilBeat = std::chrono::ceil<std::chrono::milliseconds>(lastWrite + kBeat - std::chrono::steady_clock::now());
    live = live && !AResponse.ClientGone() && signal->Wait(std::max(untilBeat, std::chrono::milliseconds(1)));
  }
  {
    std::lock_guard lock(FLock);
    FSignals.erase(signal);
  }
  if (!page.empty()) GetHeldInputs().StreamClosed(page);
}

TEventStreams& GetEventStreams() {
  static TEventStreams streams;
  return streams;
}
