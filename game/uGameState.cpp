#include "game/uGameState.h"

#include <algorithm>
#include <cmath>
#include <thread>
#include <vector>

struct TGameState::TListener {
  std::function<void()> Function;
  bool Removed = false;
  std::vector<std::thread::id> Running;  // the threads running it now
};

bool IsStateName(std::string_view AName) {
  return !AName.empty() && AName.size() <= kMaxStateNameLength &&
         std::all_of(AName.begin(), AName.end(), [](char c) {
           return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                  c == '_' || c == '-';
         });
}

std::optional<TStateData> StateData(TStateData AValue) {
  if (const double* number = std::get_if<double>(&AValue); number && !std::isfinite(*number)) return std::nullopt;
  if (std::string* text = std::get_if<std::string>(&AValue); text && text->size() > kMaxStateTextBytes) {
    // Back to the first byte of the character the limit falls in.
    std::size_t size = kMaxStateTextBytes;
    while (size > 0 && (static_cast<unsigned char>((*text)[size]) & 0xC0) == 0x80) --size;
    text->resize(size);
  }
  return AValue;
}

TGameState::TGameState() = default;
TGameState::~TGameState() = default;

bool TGameState::Store(const std::string& AName, const TStateData& AValue, std::uint64_t AVersion,
                       std::chrono::system_clock::time_point ANow) {
  const auto found = FValues.find(AName);
  if (found != FValues.end()) {
    if (found->second.Data == AValue) return false;
    found->second = {AValue, ANow, AVersion};
    return true;
  }
  if (FValues.size() >= kMaxStateNames) return false;
  FValues.emplace(AName, TStateValue{AValue, ANow, AVersion});
  return true;
}

void TGameState::Set(const std::string& AName, TStateData AValue) {
  const auto data = StateData(std::move(AValue));
  if (!data || !IsStateName(AName)) return;
  bool changed = false;
  {
    std::lock_guard lock(FLock);
    changed = Store(AName, *data, FVersion + 1, std::chrono::system_clock::now());
    if (changed) ++FVersion;
  }
  if (changed) Notify();
}

void TGameState::ReplacePrefix(const std::string& APrefix, const std::map<std::string, TStateData>& AValues) {
  std::map<std::string, TStateData> values;
  for (const auto& [name, value] : AValues)
    if (name.starts_with(APrefix) && IsStateName(name))
      if (auto data = StateData(value)) values.emplace(name, std::move(*data));
  bool changed = false;
  {
    std::lock_guard lock(FLock);
    for (auto it = FValues.lower_bound(APrefix); it != FValues.end() && it->first.starts_with(APrefix);) {
      if (values.contains(it->first)) {
        ++it;
      } else {
        it = FValues.erase(it);
        changed = true;
      }
    }
    const auto now = std::chrono::system_clock::now();
    for (const auto& [name, value] : values) changed = Store(name, value, FVersion + 1, now) || changed;
    if (changed) ++FVersion;
  }
  if (changed) Notify();
}

void TGameState::Remove(const std::string& AName) {
  bool changed = false;
  {
    std::lock_guard lock(FLock);
    changed = FValues.erase(AName) > 0;
    if (changed) ++FVersion;
  }
  if (changed) Notify();
}

std::optional<TStateValue> TGameState::Get(const std::string& AName) const {
  std::lock_guard lock(FLock);
  const auto found = FValues.find(AName);
  if (found == FValues.end()) return std::nullopt;
  return found->second;
}

std::map<std::string, TStateValue> TGameState::Snapshot(const std::string& APrefix) const {
  std::lock_guard lock(FLock);
  std::map<std::string, TStateValue> values;
  for (auto it = FValues.lower_bound(APrefix); it != FValues.end() && it->first.starts_with(APrefix); ++it)
    values.insert(values.end(), *it);
  return values;
}

std::uint64_t TGameState::Version() const {
  std::lock_guard lock(FLock);
  return FVersion;
}

int TGameState::AddListener(std::function<void()> AListener) {
  std::lock_guard lock(FListenersLock);
  const int id = FNextListenerId++;
  FListeners.emplace(id, std::make_shared<TListener>(TListener{std::move(AListener), false, {}}));
  return id;
}

void TGameState::RemoveListener(int AId) {
  std::unique_lock lock(FListenersLock);
  const auto found = FListeners.find(AId);
  if (found == FListeners.end()) return;
  const std::shared_ptr<TListener> listener = found->second;
  FListeners.erase(found);
  listener->Removed = true;
  // A listener that removes itself is not waited for.
  const auto self = std::this_thread::get_id();
  FListenerDone.wait(lock, [&] {
    return std::all_of(listener->Running.begin(), listener->Running.end(), [&](auto id) { return id == self; });
  });
}

void TGameState::Notify() {
  std::vector<std::shared_ptr<TListener>> listeners;
  {
    std::lock_guard lock(FListenersLock);
    for (const auto& [id, listener] : FListeners) listeners.push_back(listener);
  }
  const auto self = std::this_thread::get_id();
  for (const auto& listener : listeners) {
    {
      std::lock_guard lock(FListenersLock);
      if (listener->Removed) continue;
      listener->Running.push_back(self);
    }
    // Ends the run however the listener returns.
    struct TRunEnd {
      TGameState& State;
      TListener& Listener;
      std::thread::id Self;
      ~TRunEnd() {
        std::lock_guard lock(State.FListenersLock);
        Listener.Running.erase(std::find(Listener.Running.begin(), Listener.Running.end(), Self));
        State.FListenerDone.notify_all();
      }
    } end{*this, *listener, self};
    listener->Function();
  }
}

TGameState& GetGameState() {
  static TGameState state;
  return state;
}
