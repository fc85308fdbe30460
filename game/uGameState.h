#pragma once
// The live game state: named values (true/false, numbers, short texts), each with the time
// and version of its last change, held in one place for the whole program. Sources (the
// game's status file, the panel's own toggle cells, scripts) write it; the page, the editor
// and the stream read it and hear of every change through listeners.
//
// Names are 1 to 128 characters of ASCII letters, digits, ".", "_" and "-", grouped by a
// prefix ("elite.", "cell.", "ets2."); a call with any other name changes nothing. Texts are
// UTF-8, cut (at a character boundary) to 256 bytes; numbers that are not finite are not
// stored. At most 4096 names are held; new names beyond that are dropped.
//
// Every method may be called from any thread.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

// A value: true/false, a number, or a short UTF-8 text.
using TStateData = std::variant<bool, double, std::string>;

// The kinds of value, in the order of TStateData's alternatives (Kind == Data.index()).
enum class TStateKind { Bool, Number, Text };

// A name a source can give, with the kind of its values (for the panel reader and the editor).
struct TStateName {
  std::string Name;
  TStateKind Kind;
};

struct TStateValue {
  TStateData Data;
  std::chrono::system_clock::time_point Changed;  // when Data took this value
  std::uint64_t Version = 0;                      // the state's Version() right after that change
};

inline constexpr std::size_t kMaxStateNameLength = 128;
inline constexpr std::size_t kMaxStateTextBytes = 256;
inline constexpr std::size_t kMaxStateNames = 4096;

// Whether AName can name a value (see above).
bool IsStateName(std::string_view AName);
// The value as the state keeps it: a text cut to its limit. Nothing for a number that is not
// finite.
std::optional<TStateData> StateData(TStateData AValue);

class TGameState {
 public:
  TGameState();
  ~TGameState();
  TGameState(const TGameState&) = delete;
  TGameState& operator=(const TGameState&) = delete;

  // Sets one value. Its Changed and Version move (and listeners run) only when it differs
  // from the value held, a different kind counting as different.
  void Set(const std::string& AName, TStateData AValue);
  // Replaces every name starting with APrefix by AValues, as one change: names under the
  // prefix that AValues lacks are removed; values that did not change keep their Changed and
  // Version. Entries of AValues outside the prefix are ignored.
  void ReplacePrefix(const std::string& APrefix, const std::map<std::string, TStateData>& AValues);
  void Remove(const std::string& AName);

  std::optional<TStateValue> Get(const std::string& AName) const;
  // Every value, or those whose names start with APrefix.
  std::map<std::string, TStateValue> Snapshot(const std::string& APrefix = {}) const;
  // Rises by one with every call that changed anything; 0 before the first change.
  std::uint64_t Version() const;

  // AListener runs after every call that changed anything, once, on the thread that made the
  // change, with no lock of the state held: it may read the state, and even change it (which
  // runs the listeners again). Returns the id that removes it.
  int AddListener(std::function<void()> AListener);
  // Once this returns, the listener is not running (unless it is the caller) and never runs
  // again.
  void RemoveListener(int AId);

 private:
  struct TListener;
  // Stores AValue under AName unless it holds it already; true when it changed.
  bool Store(const std::string& AName, const TStateData& AValue, std::uint64_t AVersion,
             std::chrono::system_clock::time_point ANow);
  void Notify();

  mutable std::mutex FLock;
  std::map<std::string, TStateValue> FValues;
  std::uint64_t FVersion = 0;

  std::mutex FListenersLock;
  std::condition_variable FListenerDone;
  std::map<int, std::shared_ptr<TListener>> FListeners;
  int FNextListenerId = 1;
};

// The program's one state.
TGameState& GetGameState();
