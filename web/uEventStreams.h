#pragma once
// The live stream of every open control page: a response that stays open (server-sent events)
// and carries what changes in the program to the page at once: the game's state, the panel in
// use, the game's key bindings. A beat every second lets the page tell that the PC is gone. A
// stream holds no web-module instance, and Stop ends it at once.
//
// Events, each "event: <name>" and one line of JSON data:
//   state     {"values": {name: value, ...}, "source": "Elite Dangerous: docked"}
//   panel     {"version": n}: the page reloads itself when n changes
//   actions   {"<game>:<action>": {"bound": true, "reading": "Shift + L"}, or
//             {"bound": false, "text": "Landing Gear has no key in your game bindings"}},
//             for the game actions of the panel in use
//   device    {"joystick": true|false, "released": true|false}: whether the PC has a joystick,
//             and whether the PC let go of what this page held while it was gone
//   beat      {}

#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string>

#include "game/uGameState.h"
#include "web/uWebRequest.h"

class TPageInfo;

// GET /events?page=<the page's id>.
inline constexpr std::u16string_view kEventsPath = u"/events";

class TEventStreams {
 public:
  TEventStreams();
  ~TEventStreams();
  TEventStreams(const TEventStreams&) = delete;
  TEventStreams& operator=(const TEventStreams&) = delete;

  // Serves one stream on the request's connection until the client goes, the service stops
  // or a write fails; a service that cannot stream gets 503.
  void Serve(TWebRequest& ARequest, TWebResponse& AResponse);
  // Something changed (the bindings, the panel, the joystick): every stream looks again.
  void WakeAll();
  int Count() const;

  // The state's values as the stream sends them, and the source in words.
  static std::string StateJson(const std::map<std::string, TStateValue>& AValues);
  static std::string SourceText(const std::map<std::string, TStateValue>& AValues);
  // The game actions of the panel in use, bound or not, as the "actions" event sends them.
  static std::string ActionsJson(const TPageInfo& APageInfo);

  static constexpr auto kBeat = std::chrono::seconds(1);

 private:
  mutable std::mutex FLock;
  std::set<TConnectionSignal*> FSignals;
  int FListener = 0;
};

TEventStreams& GetEventStreams();
